#pragma once
// UTF-8 sequences, and the columns of a line counted in characters: a valid sequence is one
// character, any other byte one (as a reader shows it, U+FFFD or its Latin-1 reading), TAB one.

#include <cstddef>
#include <string_view>

// The length of the valid UTF-8 sequence at the start of bytes (1 to 4: no overlong form, no
// surrogate, nothing past U+10FFFF), or 0.
size_t Utf8Length(std::string_view bytes);
bool IsUtf8(std::string_view bytes);

// The characters of bytes.
long Utf8Columns(std::string_view bytes);

// The bytes at the end that begin a valid sequence which the bytes end before it is complete
// (1 to 3), else 0: a line's piece cut there may go on with the rest of that character.
size_t Utf8CutTail(std::string_view bytes);

// Where a piece of a line starts: the column (from 1) of its first character, and the bytes
// at its start (0 to 3) that complete a character which began in the piece before, counted
// there.
struct CPieceStart {
    long nColumn = 1;
    unsigned nContinued = 0;
};

// The columns of the pieces of a line, piece after piece, each piece's bytes seen once. Each
// piece but the last is at least 4 bytes long (a character is cut by one piece's end at most).
class CPieceColumns {
  public:
    // Where a piece starts: at column 1 when it starts a line, else after the piece before.
    CPieceStart Start(std::string_view piece, bool bContinuesLine) const;
    // The piece that starts at start has ended; the next one continues its line when bCut.
    void End(std::string_view piece, CPieceStart start, bool bCut);

  private:
    long m_nNext = 1;    // the column after the last piece's whole characters
    char m_tail[3] = {}; // a character that the last piece's end cut, or none
    unsigned m_nTail = 0;
};

// The column of the byte at offset in a piece that starts at start (offset at or after
// start.nContinued; an offset before it counts as that).
long PieceColumn(std::string_view piece, CPieceStart start, size_t offset);
