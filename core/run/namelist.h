#pragma once
// A list of names to check (--files-from), read as it comes, so that the first files are
// checked while a pipe still delivers the rest.

#include <cstddef>
#include <functional>
#include <string>

// How a list ended: at its end or a stop (nothing set), at a read error, or at a name it
// cannot hold (its line, from 1, and what is wrong with it).
struct CListEnd {
    bool bReadFailed = false;
    size_t nLine = 0;
    const char* pszBad = nullptr;
};

// Reads the names of the list at fd in order, handing each to name: one per line (LF, a CR
// before it dropped) or, with bNul, ended by NUL; empty names are skipped. A NUL in a list read
// by lines, or a name longer than nameMax bytes, ends the list there. stopped is asked between
// reads, at least every 50 ms while the list waits for its writer; a stop ends the list
// without its last name unended.
CListEnd ReadNameList(int fd, bool bNul, size_t nameMax, const std::function<bool()>& stopped,
                      const std::function<void(const std::string&)>& name);
