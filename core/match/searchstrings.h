#pragma once
// The search string table and the strings file: one search string per line.

#include "core/lines/linefile.h"

#include <functional>
#include <string>
#include <vector>

constexpr int MAX_SEARCH_STRINGS = 200;
constexpr int SEARCH_STRING_SIZE = 31;
// The longest search string; a longer line of a hand-made strings file is cut to this.
constexpr int SEARCH_STRING_MAX = SEARCH_STRING_SIZE - 1;
// The editor keeps this many characters of a loaded line.
constexpr int EDITOR_LINE_MAX = 299;

// Filled from slot 0 without gaps; the first empty slot ends the list.
using SearchStringTable = char[MAX_SEARCH_STRINGS][SEARCH_STRING_SIZE];

// Empties the table, then fills it with the non-empty lines of the file, in file order, at
// most 200; a line longer than 30 characters is cut to its first 30, a NUL ends a line. The
// file is read no further than its 200th string. Returns false (table empty) when the file
// cannot be opened or read. keepReading, when given, is asked now and then while the file is
// read; once it returns false, loading ends with the strings found so far.
bool LoadSearchStrings(SearchStringTable& table, const std::string& path,
                       std::function<bool()> keepReading = {});
// The same from a file opened already (false when it is not open).
bool LoadSearchStrings(SearchStringTable& table, CLineFile& file,
                       std::function<bool()> keepReading = {});

// Number of strings in the table (index of the first empty slot).
int CountSearchStrings(const SearchStringTable& table);

// The editor's load: every line, empty ones included, with no limit on their number; a NUL
// ends a line, and a line is cut to EDITOR_LINE_MAX. False when the file cannot be opened or
// read (entries is then empty).
bool LoadStringsFileEntries(const std::string& path, std::vector<std::string>& entries);

// The editor's save: creates or truncates the file and writes every entry followed by CR LF.
// False when the file cannot be created or a write fails.
bool SaveStringsFileEntries(const std::string& path, const std::vector<std::string>& entries);
