#include "scan/matcher.h"

#include <cstring>

CSearchMatcher::CSearchMatcher(const SearchStringTable& table) {
    int n = CountSearchStrings(table);
    for (int i = 0; i < n; ++i) {
        std::string s(table[i], strnlen(table[i], SEARCH_STRING_SIZE));
        for (char& c : s)
            c = AsciiUpper(c);
        m_strings.push_back(std::move(s));
    }
}

bool CSearchMatcher::Matches(const char* line, size_t len) {
    if (m_strings.empty())
        return false;
    m_folded.resize(len);
    for (size_t i = 0; i < len; ++i)
        m_folded[i] = AsciiUpper(line[i]);
    for (const std::string& s : m_strings)
        if (s.size() <= len && memmem(m_folded.data(), len, s.data(), s.size()) != nullptr)
            return true;
    return false;
}
