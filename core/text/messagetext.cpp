#include "core/text/messagetext.h"

#include "core/text/stringtable.h"

void ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement) {
    if (pattern.empty() || text.empty())
        return;
    size_t pos = text.find(pattern);
    while (pos != std::string::npos) {
        text.replace(pos, pattern.size(), replacement);
        pos = text.find(pattern, pos + replacement.size());
    }
}

void SubstituteInserts(std::string& text, const char* first, const char* second) {
    if (first != nullptr)
        ReplaceAll(text, "%1", first);
    if (second != nullptr)
        ReplaceAll(text, "%2", second);
}

const std::string& LoadMessageText(int id, const char* first, const char* second) {
    static std::string shared;
    shared = LoadStringResource(id, 255);
    SubstituteInserts(shared, first, second);
    return shared;
}

CParsedMessage ParseMessageText(const std::string& text, const char* first, const char* second) {
    CParsedMessage result;
    size_t pos = 0;
    int icon = 0;
    if (!text.empty()) {
        switch (text[0]) {
        case '!': icon = MB_ICONEXCLAMATION; break;
        case 'i': icon = MB_ICONINFORMATION; break;
        case '?': icon = MB_ICONQUESTION; break;
        case '*': icon = MB_ICONSTOP; break;
        default: break;
        }
        if (icon != 0)
            pos = 1;
    }
    // Each digit is tested once, in this order; a later match replaces an earlier one.
    static const int ButtonSets[6] = {MB_OK,          MB_OKCANCEL,    MB_YESNO,
                                      MB_YESNOCANCEL, MB_RETRYCANCEL, MB_ABORTRETRYIGNORE};
    int buttons = MB_OK;
    for (int digit = 0; digit < 6; ++digit) {
        if (pos < text.size() && text[pos] == '1' + digit) {
            buttons = ButtonSets[digit];
            ++pos;
        }
    }
    result.text = text.substr(pos);
    SubstituteInserts(result.text, first, second);
    result.nStyle = icon | buttons;
    return result;
}

int ApplyDefaultIcon(int style) {
    const int buttons = style & MB_TYPEMASK;
    if ((style & MB_ICONMASK) == 0 && (buttons == MB_OK || buttons == MB_OKCANCEL ||
                                       buttons == MB_YESNOCANCEL || buttons == MB_YESNO))
        style |= MB_ICONEXCLAMATION;
    return style;
}
