#include "gui/base/helpcall.h"

#include "core/text/ascii.h"

#include <sys/stat.h>

namespace {

HelpHandler& Handler() {
    static HelpHandler handler;
    return handler;
}

bool EqualsIgnoringCase(const std::string& text, size_t pos, const char* word, size_t len) {
    return AsciiEqualNoCase(std::string_view(text).substr(pos, len), std::string_view(word, len));
}

} // namespace

void SetHelpHandler(HelpHandler handler) {
    Handler() = std::move(handler);
}

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

std::vector<std::string> HelpFileCandidates(const std::string& programPath) {
    const std::string beside = HelpFilePathFor(programPath);
    const size_t slash = beside.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : beside.substr(0, slash);
    const std::string name = slash == std::string::npos ? beside : beside.substr(slash + 1);
    return {beside, folder + "/../share/kavel2000/" + name};
}

std::string FirstHelpFile(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return path;
    }
    return candidates.empty() ? std::string() : candidates.front();
}
