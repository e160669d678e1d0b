#include "core/run/filescan.h"

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

std::string_view CFileScanner::HitText(size_t j) const {
    const char* text = m_pBlock + m_hits[j].span.nOffset;
    const size_t length = m_hits[j].span.nLength;
    const void* nul = std::memchr(text, '\0', length);
    return {text, nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : length};
}
