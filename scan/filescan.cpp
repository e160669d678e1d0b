#include "scan/filescan.h"

#include <cstring>

CFileScanner::CFileScanner(const CSearchMatcher& matcher, unsigned maxChars)
    : m_matcher(matcher), m_nMaxChars(maxChars), m_lines(new CLineSpan[MAX_BLOCK_LINES]),
      m_hits(new uint8_t[MAX_BLOCK_LINES]) {}

bool CFileScanner::NextBlock(CLineFile& file) {
    file.Consume(m_nBlockBytes);
    m_nBlockBytes = 0;
    m_nLines = 0;
    m_bAtEnd = false; // a file may have grown since its end was last met
    for (;;) {
        auto [data, avail] = file.Peek();
        if (avail == 0)
            return false;
        const size_t used = SplitTextLines(data, avail, m_bAtEnd, m_nMaxChars, m_lines.get(),
                                           MAX_BLOCK_LINES, m_nLines);
        if (m_nLines == 0) {
            // The last line's end lies beyond the buffer: keep its start and read on.
            if (!file.ReadMore())
                m_bAtEnd = true;
            continue;
        }
        m_pBlock = data;
        m_nBlockBytes = used;
        m_matcher.MatchLines(data, m_lines.get(), m_nLines, m_hits.get());
        return true;
    }
}

std::string_view CFileScanner::LineText(size_t i) const {
    const char* text = m_pBlock + m_lines[i].nOffset;
    const void* nul = std::memchr(text, '\0', m_lines[i].nLength);
    return {text,
            nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : m_lines[i].nLength};
}
