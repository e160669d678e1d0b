#include "shell/helpcall.h"

#include <cctype>

namespace {

HelpHandler& Handler() {
    static HelpHandler handler;
    return handler;
}

bool EqualsIgnoringCase(const std::string& text, size_t pos, const char* word, size_t len) {
    for (size_t i = 0; i < len; ++i)
        if (std::tolower(static_cast<unsigned char>(text[pos + i])) != word[i])
            return false;
    return true;
}

} // namespace

void SetHelpHandler(HelpHandler handler) { Handler() = std::move(handler); }

bool CallHelp(unsigned command, unsigned long data) {
    HelpHandler& handler = Handler();
    return handler ? handler(command, data) : true;
}

std::string HelpFilePathFor(const std::string& programPath) {
    std::string path = programPath;
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        path.resize(dot);
    path += ".html";
    static const char From[] = "kavel32.html";
    static const char To[] = "kavel.html";
    const size_t fromLen = sizeof From - 1;
    for (size_t pos = 0; pos + fromLen <= path.size();) {
        if (EqualsIgnoringCase(path, pos, From, fromLen)) {
            path.replace(pos, fromLen, To);
            pos += sizeof To - 1;
        } else {
            ++pos;
        }
    }
    return path;
}
