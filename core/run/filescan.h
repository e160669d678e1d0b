#pragma once
// One checked file read a block of lines at a time, each block matched at once.

#include "core/lines/linefile.h"
#include "core/lines/linesplit.h"
#include "core/match/matcher.h"
#include "core/text/utf8.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Splits a file into the lines of ReadTextLine and marks those that hold a search string.
// The matcher must outlive the scanner.
class CFileScanner {
  public:
    // The most lines in one block of spans. A block of lines that all end with a LF in reach
    // holds as many as the file's buffer.
    static constexpr size_t MAX_BLOCK_LINES = 4096;

    // maxChars: the longest line, well below CLineFile::BUFFER_SIZE.
    CFileScanner(const CSearchMatcher& matcher, unsigned maxChars);
    // Ready for a file opened anew (the buffers stay).
    void Reset();
    // Reads and matches the next block of lines of file; false at end of file. The block's
    // texts stay valid until the next call.
    bool NextBlock(CLineFile& file);
    size_t LineCount() const { return m_nLines; }
    // The lines of the block that hold a search string, in order: hit j is line HitLine(j) of
    // the block (from 0).
    size_t HitCount() const { return m_hits.size(); }
    size_t HitLine(size_t j) const { return m_hits[j].nLine; }
    // The text of hit j up to its first NUL, as the report prints it.
    std::string_view HitText(size_t j) const { return TextOf(m_hits[j].span); }
    // With a matcher that finds markers: whether hit j holds a marker's word, and the block's
    // lines that hold one and no string, in order (their texts as HitText gives them).
    bool HitMarked(size_t j) const { return m_hitMarked[j] != 0; }
    size_t LoneMarkerCount() const { return m_loneMarkers.size(); }
    size_t LoneMarkerLine(size_t k) const { return m_loneMarkers[k].nLine; }
    std::string_view LoneMarkerText(size_t k) const { return TextOf(m_loneMarkers[k].span); }
    // The number of the file's own line (counted by LF, from 1) in which line i of the block
    // lies: a LF that a cut CR LF left at the start of a line is passed over, so that line
    // lies in the next one.
    long PhysicalLine(size_t i) const {
        return m_bSpans ? m_physical[i] : m_nPhysicalFirst + static_cast<long>(i);
    }
    // Where line i of the block starts in the file's own line (its text after a LF that a cut
    // CR left): at column 1, or after the pieces of that line before it.
    CPieceStart LineStart(size_t i) const {
        return m_bSpans ? SpanStart(i) : i == 0 ? m_firstStart : CPieceStart{};
    }

  private:
    void CountPhysicalLines(const char* data);
    // The lines of the block that hold a marker's word: hits marked, the others listed.
    void FindMarkers(const char* data);
    std::string_view TextOf(const CLineSpan& span) const;
    CLineSpan LfLineAt(size_t offset) const;
    // The start of line i of a block of spans, counted when first asked for: only the pieces
    // before a hit, and those of a line that goes on in the next block, are counted.
    CPieceStart SpanStart(size_t i) const;
    std::string_view SpanText(size_t i) const; // after a LF that a cut CR left

    const CSearchMatcher& m_matcher;
    unsigned m_nMaxChars;
    // Left uninitialised: they are written before they are read. Blocks of lines that all end
    // with a LF in reach are found as bits (one per byte), any other as spans.
    std::unique_ptr<uint64_t[]> m_lfBits;
    std::unique_ptr<CLineSpan[]> m_lines;
    std::unique_ptr<uint8_t[]> m_lineHits;
    std::unique_ptr<long[]> m_physical; // of each line, for a block of spans
    // For a block of spans: each line's start once known (column 0 until then), and the first
    // line in the block of the file's line that it lies in.
    mutable std::unique_ptr<CPieceStart[]> m_starts;
    std::unique_ptr<uint32_t[]> m_first;
    CPieceStart m_firstStart;   // of the first line, for a block of LF lines
    CPieceColumns m_columns;    // after the last piece of a line that the next block goes on with
    CPieceColumns m_blockStart; // the same, as the block of spans began
    bool m_bFirstContinues = false;  // the block's first line goes on with the last block's
    bool m_bContinues = false;       // the next line goes on with the last one's
    mutable size_t m_nCounted = 0;   // the last line of a block of spans counted to its end
    mutable CPieceColumns m_counted; // after it
    long m_nPhysicalFirst = 1;       // of the first line, for a block of LF lines
    long m_nPhysicalNext = 1;        // where the line after the block lies
    bool m_bSpans = false;
    std::vector<CLineHit> m_hits;
    std::vector<uint8_t> m_hitMarked;    // for each hit
    std::vector<CLineHit> m_loneMarkers; // lines with a marker and no hit
    std::vector<size_t> m_markerOffsets;
    const char* m_pBlock = nullptr;
    size_t m_nLines = 0;
    size_t m_nBlockBytes = 0; // consumed from the file when the next block is read
    bool m_bAtEnd = false;
};
