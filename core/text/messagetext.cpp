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
