#include "support/plainrule.h"

std::vector<std::string> PlainLines(const std::string& bytes, unsigned maxChars) {
    std::vector<std::string> lines;
    size_t pos = 0;
    bool cutAtCr = false;
    while (pos < bytes.size())
        lines.push_back(ModelLine(bytes, pos, maxChars, cutAtCr));
    return lines;
}

bool PlainMatches(const SearchStringTable& table, const std::string& line) {
    auto upper = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        return s;
    };
    const std::string text = upper(UpToNul(line));
    for (int i = 0; i < MAX_SEARCH_STRINGS && table[i][0] != '\0'; ++i)
        if (text.find(upper(table[i])) != std::string::npos)
            return true;
    return false;
}
