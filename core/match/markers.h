#pragma once
// In-source markers that accept a hit where it stands: "kavel-ignore" accepts the strings
// found on its line, "kavel-ignore-next-line" those on the next line; either may be followed
// by ":" and a list of strings (to the end of the line, or to the first "*/" or "-->"),
// which then are the only ones accepted. The words count anywhere on a line, letters in
// either case: a line-based check cannot tell a comment from a string literal.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The word both markers begin with.
constexpr std::string_view MARKER_WORD = "kavel-ignore";

// Appends to offsets where the bytes hold the marker word, letters in either case.
void FindMarkerWords(const char* data, size_t len, std::vector<size_t>& offsets);

struct CMarker {
    size_t nBegin = 0, nEnd = 0; // its span in the text: the word to the end of its list
    bool bNextLine = false;
    bool bList = false;             // only the strings listed are accepted
    std::vector<std::string> items; // as written, blanks trimmed
};

// The markers of a line's text, in order.
std::vector<CMarker> ParseMarkers(std::string_view text);
