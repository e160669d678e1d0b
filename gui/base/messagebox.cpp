#include "gui/base/messagebox.h"

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
