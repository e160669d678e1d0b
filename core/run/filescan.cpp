#include "core/run/filescan.h"

#include "core/match/markers.h"

#include <cstring>

CFileScanner::CFileScanner(const CSearchMatcher& matcher, unsigned maxChars)
    : m_matcher(matcher), m_nMaxChars(maxChars),
      m_lfBits(new uint64_t[CLineFile::BUFFER_SIZE / 64 + 1]),
      m_lines(new CLineSpan[MAX_BLOCK_LINES]), m_lineHits(new uint8_t[MAX_BLOCK_LINES]),
      m_physical(new long[MAX_BLOCK_LINES]), m_starts(new CPieceStart[MAX_BLOCK_LINES]),
      m_first(new uint32_t[MAX_BLOCK_LINES]) {}

void CFileScanner::Reset() {
    m_pBlock = nullptr;
    m_nLines = 0;
    m_nBlockBytes = 0;
    m_hits.clear();
    m_hitMarked.clear();
    m_loneMarkers.clear();
    m_bAtEnd = false;
    m_nPhysicalFirst = m_nPhysicalNext = 1;
    m_bSpans = false;
    m_bContinues = false;
}

bool CFileScanner::NextBlock(CLineFile& file) {
    file.Consume(m_nBlockBytes);
    m_nBlockBytes = 0;
    m_nLines = 0;
    m_hits.clear();
    m_hitMarked.clear();
    m_loneMarkers.clear();
    m_bAtEnd = false; // a file may have grown since its end was last met
    for (;;) {
        auto [data, avail] = file.Peek();
        if (avail == 0)
            return false;
        m_pBlock = data;
        const bool crBefore = file.CutAfterCr();
        // Most blocks: lines that all end with a LF (or CR LF) in reach.
        m_nBlockBytes = FindLfLines(data, avail, m_nMaxChars, crBefore, m_lfBits.get(), m_nLines);
        if (m_nBlockBytes > 0) {
            // Each of these lines ends with its own LF.
            m_bSpans = false;
            m_nPhysicalFirst = m_nPhysicalNext;
            m_nPhysicalNext += static_cast<long>(m_nLines);
            // Only the first line can go on with a piece before it; each ends its own.
            m_firstStart = m_columns.Start({data, m_nBlockBytes}, m_bContinues);
            m_bContinues = false;
            file.SetCutAfterCr(false);
            m_matcher.MatchLfLines(data, m_nBlockBytes, m_lfBits.get(), m_hits);
            FindMarkers(data);
            return true;
        }
        m_nBlockBytes = SplitTextLines(data, avail, m_bAtEnd, m_nMaxChars, crBefore, m_lines.get(),
                                       MAX_BLOCK_LINES, m_nLines);
        if (m_nLines == 0) {
            // The last line's end lies beyond the buffer: keep its start and read on.
            if (!file.ReadMore())
                m_bAtEnd = true;
            continue;
        }
        // A LF after the block is data when its last line was cut right after a CR.
        const CLineSpan& last = m_lines[m_nLines - 1];
        file.SetCutAfterCr(last.nLength == m_nMaxChars &&
                           last.nOffset + last.nLength == m_nBlockBytes &&
                           data[m_nBlockBytes - 1] == '\r');
        CountPhysicalLines(data);
        m_matcher.MatchLines(data, m_lines.get(), m_nLines, m_lineHits.get());
        for (size_t i = 0; i < m_nLines; ++i)
            if (m_lineHits[i] != 0)
                m_hits.push_back({static_cast<uint32_t>(i), m_lines[i]});
        FindMarkers(data);
        return true;
    }
}

// A line of the block starts the next physical line after a line end (LF or CR LF) between it
// and the line before, and when it starts with a LF itself (data, after a cut CR). A line
// that goes on with the one before starts at the column after it, counted when it is asked for
// (most pieces of a long line hold no string), or here for the line that the next block goes
// on with.
void CFileScanner::CountPhysicalLines(const char* data) {
    m_bSpans = true;
    m_blockStart = m_columns;
    m_nCounted = SIZE_MAX;
    long physical = m_nPhysicalNext;
    for (size_t i = 0; i < m_nLines; ++i) {
        const CLineSpan& line = m_lines[i];
        if (line.nLength > 0 && data[line.nOffset] == '\n') {
            ++physical;
            m_bContinues = false;
        }
        if (i == 0)
            m_bFirstContinues = m_bContinues;
        m_physical[i] = physical;
        m_first[i] = m_bContinues && i > 0 ? m_first[i - 1] : static_cast<uint32_t>(i);
        m_starts[i] = {m_bContinues ? 0 : 1, 0};
        const size_t end = line.nOffset + line.nLength;
        const size_t next = i + 1 < m_nLines ? m_lines[i + 1].nOffset : m_nBlockBytes;
        m_bContinues = next == end; // no line end lies between them
        if (!m_bContinues)
            ++physical;
    }
    m_nPhysicalNext = physical;
    if (m_bContinues && m_nLines > 0) { // the next block goes on with the last line
        const size_t last = m_nLines - 1;
        const CPieceStart start = SpanStart(last); // counts the pieces before it
        CPieceColumns columns = m_counted;
        if (m_first[last] == last)
            columns = last == 0 && m_bFirstContinues ? m_blockStart : CPieceColumns();
        columns.End(SpanText(last), start, true);
        m_columns = columns;
    }
}

std::string_view CFileScanner::SpanText(size_t i) const {
    std::string_view text(m_pBlock + m_lines[i].nOffset, m_lines[i].nLength);
    if (!text.empty() && text[0] == '\n')
        text.remove_prefix(1);
    return text;
}

CPieceStart CFileScanner::SpanStart(size_t i) const {
    if (m_starts[i].nColumn != 0)
        return m_starts[i];
    // The pieces of the line before i: from the last one counted, or from its first piece in
    // the block (after the pieces of the blocks before, when it goes on from them).
    const size_t first = m_first[i];
    size_t j = first;
    CPieceColumns columns = first == 0 && m_bFirstContinues ? m_blockStart : CPieceColumns();
    if (m_nCounted != SIZE_MAX && m_nCounted >= first && m_nCounted < i) {
        j = m_nCounted + 1;
        columns = m_counted;
    }
    for (;; ++j) {
        const std::string_view text = SpanText(j);
        m_starts[j] = columns.Start(text, j != first || (first == 0 && m_bFirstContinues));
        if (j == i)
            break;
        columns.End(text, m_starts[j], true);
        m_nCounted = j;
        m_counted = columns;
    }
    return m_starts[i];
}

std::string_view CFileScanner::TextOf(const CLineSpan& span) const {
    const char* text = m_pBlock + span.nOffset;
    const void* nul = std::memchr(text, '\0', span.nLength);
    return {text, nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : span.nLength};
}

// The span of the LF line at offset in a block of LF lines: from the LF before it (or the
// block's start) to its own LF, a CR before that left out.
CLineSpan CFileScanner::LfLineAt(size_t offset) const {
    size_t begin = 0, end = m_nBlockBytes;
    for (size_t w = offset / 64 + 1; w-- > 0;) {
        uint64_t bits = m_lfBits[w];
        if (w == offset / 64)
            bits &= (uint64_t{1} << (offset % 64)) - 1;
        if (bits != 0) {
            begin = w * 64 + 63 - static_cast<size_t>(__builtin_clzll(bits)) + 1;
            break;
        }
    }
    for (size_t w = offset / 64; w * 64 < m_nBlockBytes; ++w) {
        uint64_t bits = m_lfBits[w];
        if (w == offset / 64)
            bits &= ~((uint64_t{1} << (offset % 64)) - 1);
        if (bits != 0) {
            end = w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
            break;
        }
    }
    if (end > begin && m_pBlock[end - 1] == '\r')
        --end;
    return {static_cast<uint32_t>(begin), static_cast<uint32_t>(end - begin)};
}

void CFileScanner::FindMarkers(const char* data) {
    m_hitMarked.assign(m_hits.size(), 0);
    m_loneMarkers.clear();
    if (!m_matcher.FindsMarkers())
        return;
    m_markerOffsets.clear();
    FindMarkerWords(data, m_nBlockBytes, m_markerOffsets);
    // Offsets to lines in one pass: by the spans, or by the LFs before each.
    size_t line = 0, word = 0, lfs = 0, hit = 0;
    for (const size_t offset : m_markerOffsets) {
        if (m_bSpans) {
            while (line + 1 < m_nLines && m_lines[line + 1].nOffset <= offset)
                ++line;
        } else {
            for (; word < offset / 64; ++word)
                lfs += static_cast<size_t>(__builtin_popcountll(m_lfBits[word]));
            line = lfs + static_cast<size_t>(__builtin_popcountll(
                             m_lfBits[word] & ((uint64_t{1} << (offset % 64)) - 1)));
        }
        while (hit < m_hits.size() && m_hits[hit].nLine < line)
            ++hit;
        if (hit < m_hits.size() && m_hits[hit].nLine == line) {
            m_hitMarked[hit] = 1;
        } else if (m_loneMarkers.empty() || m_loneMarkers.back().nLine != line) {
            m_loneMarkers.push_back(
                {static_cast<uint32_t>(line), m_bSpans ? m_lines[line] : LfLineAt(offset)});
        }
    }
}
