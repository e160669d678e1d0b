#include "shell/reportlines.h"

void CReportLines::PushBack(std::string_view line) {
    if (m_nCount == m_lines.size()) {
        // Full: move the lines to the start of a larger ring.
        std::vector<std::string> lines(m_lines.size() * 2 + 64);
        for (size_t i = 0; i < m_nCount; ++i)
            lines[i].swap(m_lines[(m_nFirst + i) % m_lines.size()]);
        m_lines.swap(lines);
        m_nFirst = 0;
    }
    m_lines[(m_nFirst + m_nCount) % m_lines.size()].assign(line);
    ++m_nCount;
}

void CReportLines::PopFront() {
    if (m_nCount == 0)
        return;
    m_nFirst = (m_nFirst + 1) % m_lines.size();
    --m_nCount;
}

void CReportLines::Clear() {
    m_nFirst = 0;
    m_nCount = 0;
}
