#pragma once
// The line rule read literally, one byte at a time: the model the line readers are checked
// against.

#include <cstddef>
#include <string>

// The line starting at pos as a reader with the given maximum would return it (NULs and all),
// and moves pos behind the bytes it consumed. A LF ends a line, and a CR read just before it in
// the same call belongs to the line end. A LF read first ends an empty line, unless the call
// before was cut with a CR as its last character: cutAtCr carries that from call to call (false
// before the first).
inline std::string ModelLine(const std::string& bytes, size_t& pos, size_t maxChars,
                             bool& cutAtCr) {
    const bool lfIsData = cutAtCr;
    cutAtCr = false;
    std::string line(1, bytes[pos++]);
    if (line[0] == '\n' && !lfIsData)
        return "";
    while (line.size() < maxChars && pos < bytes.size()) {
        char c = bytes[pos++];
        if (c == '\n') {
            if (line.back() == '\r')
                line.pop_back();
            return line;
        }
        line.push_back(c);
    }
    cutAtCr = line.size() == maxChars && line.back() == '\r';
    return line;
}

// The text up to its first NUL, as every user of a line sees it.
inline std::string UpToNul(const std::string& s) {
    return s.substr(0, s.find('\0'));
}
