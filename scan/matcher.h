#pragma once
// Finds whether a line holds any search string, ASCII letters compared without case.

#include "scan/searchstrings.h"

#include <string>
#include <vector>

// Maps a to z onto A to Z; every other byte stays.
inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

class CSearchMatcher {
  public:
    // Takes the strings of the table up to its first empty slot.
    explicit CSearchMatcher(const SearchStringTable& table);
    // True when the len bytes at line hold at least one of the strings as a contiguous run.
    // The caller passes the line's text only (up to its first NUL).
    bool Matches(const char* line, size_t len);
    bool Empty() const { return m_strings.empty(); }

  private:
    std::vector<std::string> m_strings; // upper-cased
    std::string m_folded;               // scratch: the upper-cased line
};
