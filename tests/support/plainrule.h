#pragma once
// The line and matching rules read literally, byte by byte: the oracles that the fast line
// splitter and matcher are compared against, in the tests and the fuzz targets.

#include "core/lines/linefile.h"
#include "core/match/searchstrings.h"
#include "core/text/ascii.h"
#include "support/linerules.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

// Every line that ReadTextLine returns for the bytes with maxChars, whole (NULs included).
inline std::vector<std::string> PlainLines(const std::string& bytes, unsigned maxChars) {
    std::vector<std::string> lines;
    size_t pos = 0;
    bool cutAtCr = false;
    while (pos < bytes.size())
        lines.push_back(ModelLine(bytes, pos, maxChars, cutAtCr));
    return lines;
}

// Every line the file gives from where it stands: by ReadTextLine into exactly maxChars + 1
// bytes (up to a NUL), or by ReadWholeTextLine keeping maxChars. After them the end, twice.
inline std::vector<std::string> ReadLines(CLineFile& file, unsigned maxChars, bool whole) {
    const std::unique_ptr<char[]> buffer(new char[maxChars + 1]);
    std::string line;
    const auto read = [&] {
        return whole ? ReadWholeTextLine(file, line, maxChars)
                     : ReadTextLine(file, buffer.get(), maxChars);
    };
    std::vector<std::string> lines;
    while (read() == 0)
        lines.push_back(whole ? line
                              : std::string(buffer.get(), strnlen(buffer.get(), maxChars + 1)));
    if (read() != 1)
        lines.push_back("(not the end)");
    return lines;
}

// True when one of the strings occurs in the line's text (up to its first NUL): upper-case
// copies of both, searched byte for byte.
inline bool PlainMatches(const std::vector<std::string>& strings, const std::string& line) {
    const std::string text = AsciiUpperCopy(UpToNul(line));
    for (const std::string& s : strings)
        if (text.find(AsciiUpperCopy(s)) != std::string::npos)
            return true;
    return false;
}

// The strings of a table, slot by slot up to the first empty one.
inline std::vector<std::string> TableStrings(const SearchStringTable& table) {
    std::vector<std::string> strings;
    for (int i = 0; i < MAX_SEARCH_STRINGS && table[i][0] != '\0'; ++i)
        strings.emplace_back(table[i], strnlen(table[i], SEARCH_STRING_SIZE));
    return strings;
}

// The same with the strings of a table.
inline bool PlainMatches(const SearchStringTable& table, const std::string& line) {
    return PlainMatches(TableStrings(table), line);
}
