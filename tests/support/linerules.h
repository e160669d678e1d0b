#pragma once
// The line rule read literally, one byte at a time: the model the line readers are checked
// against.

#include <cstddef>
#include <string>

// The line starting at pos as a reader with the given maximum would return it (NULs and all),
// and moves pos behind the bytes it consumed. Only a CR LF pair inside one call ends a line.
inline std::string ModelLine(const std::string& bytes, size_t& pos, size_t maxChars) {
    std::string line(1, bytes[pos++]);
    while (line.size() < maxChars && pos < bytes.size()) {
        char c = bytes[pos++];
        if (c == '\n' && line.back() == '\r') {
            line.pop_back();
            break;
        }
        line.push_back(c);
    }
    return line;
}

// The text up to its first NUL, as every user of a line sees it.
inline std::string UpToNul(const std::string& s) {
    return s.substr(0, s.find('\0'));
}
