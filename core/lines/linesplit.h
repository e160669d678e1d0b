#pragma once
// The lines of a block of bytes in bulk, as ReadTextLine would return them one by one: a
// careful splitter for any block, and a fast finder for the common block whose lines all end
// with a LF in reach.

#include <cstddef>
#include <cstdint>

// Where one line lies in a block of text: the offset of its first byte and its length.
struct CLineSpan {
    uint32_t nOffset;
    uint32_t nLength;
};

// Splits the len bytes at data into the lines that ReadTextLine would return with maxChars,
// in bulk: stores up to maxLines spans in lines, sets count, and returns the number of bytes
// that those lines took (their line ends included). crBefore tells that the line before data
// was cut right after a CR (CLineFile::CutAfterCr). A line whose end cannot be told yet from
// the bytes given is left for the next call, unless atEnd says that no byte follows them.
size_t SplitTextLines(const char* data, size_t len, bool atEnd, unsigned maxChars, bool crBefore,
                      CLineSpan* lines, size_t maxLines, size_t& count);

// The common case of SplitTextLines, faster: the lines at data whose LF is in reach, so that
// none is cut, up to the last one found in whole 64-byte windows of the len bytes. In such a run
// every LF ends a line. Sets bit i % 64 of lfBits[i / 64] for each LF at i (lfBits holds
// len / 64 words), sets count to the number of those lines and returns the bytes they take: 0
// where the first line is not one of them (also a LF first after a cut CR, see crBefore above).
// maxChars is the line maximum of SplitTextLines; up to 64, no line is found.
size_t FindLfLines(const char* data, size_t len, unsigned maxChars, bool crBefore, uint64_t* lfBits,
                   size_t& count);
