#pragma once
// The line and matching rules read literally, byte by byte: the oracles that the fast line
// splitter and matcher are compared against.

#include "scan/searchstrings.h"
#include "support/linerules.h"

#include <string>
#include <vector>

// Every line that ReadTextLine returns for the bytes with maxChars, whole (NULs included).
std::vector<std::string> PlainLines(const std::string& bytes, unsigned maxChars);

// True when some string of the table, tried slot by slot, occurs in the line's text: upper-case
// copies of both, searched byte for byte.
bool PlainMatches(const SearchStringTable& table, const std::string& line);
