#pragma once
// Message texts: loading them from the string table with inserts, and replacing.

#include <string>

// Replaces every occurrence of pattern in text by replacement, scanning left to right and
// never rescanning inserted text. An empty pattern or text changes nothing.
void ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement);

// Replaces "%1" by first (when given), then "%2" by second (when given).
void SubstituteInserts(std::string& text, const char* first, const char* second);

// The string-table text with that id (at most 254 characters, "" when missing), inserts
// substituted, in one shared buffer that the next call overwrites.
const std::string& LoadMessageText(int id, const char* first = nullptr,
                                   const char* second = nullptr);
