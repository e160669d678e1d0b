#pragma once
// ASCII letters without regard to case, whatever the locale: the folding of the matching rule
// and of the program's name comparisons. Every other byte, accented letters included, stays.

#include <string>
#include <string_view>

constexpr bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// a to z as A to Z; every other byte as it is.
constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A to Z as a to z; every other byte as it is.
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The text with its letters in upper case.
inline std::string AsciiUpperCopy(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        c = AsciiUpper(c);
    return folded;
}

// True when the bytes at text, their letters in upper case, are those of upper (upper.size()
// of them are read).
inline bool AsciiUpperAt(const unsigned char* text, std::string_view upper) {
    size_t i = 0;
    while (i < upper.size() && AsciiUpper(static_cast<char>(text[i])) == upper[i])
        ++i;
    return i == upper.size();
}

// True when the two texts differ at most in the case of their ASCII letters.
constexpr bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    return true;
}
