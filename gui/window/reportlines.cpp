#include "gui/window/reportlines.h"

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

namespace {

// Lines wait during a run until they fill this many characters, each with its CR LF; then
// those that can no longer be shown are dropped.
constexpr size_t PENDING_TEXT_LIMIT = 8 * size_t(REPORT_VIEW_LIMIT);

} // namespace

void CReportBuffer::Append(std::string_view text, bool bWait) {
    m_strPending.append(text);
    m_pendingLengths.push_back(static_cast<uint32_t>(text.size()));
    if (!bWait)
        TakePending();
    else if (PendingSize() > PENDING_TEXT_LIMIT)
        DropHiddenPendingLines();
}

// The view ends as the longest tail of whole lines that fits, so lines behind a stretch of
// newer text longer than the limit can never be in it, nor can any older line. Returns the
// first waiting line that still can.
size_t CReportBuffer::FirstShowablePendingLine() const {
    size_t tail = 0;
    for (size_t i = m_pendingLengths.size(); i-- > 1;) {
        tail += m_pendingLengths[i] + 2;
        if (tail > size_t(REPORT_VIEW_LIMIT))
            return i;
    }
    return 0;
}

// Forgets the waiting lines that can never be shown. Those left are still longer than the
// view, so the view's own lines go when they are taken in.
void CReportBuffer::DropHiddenPendingLines() {
    if (const size_t first = FirstShowablePendingLine(); first > 0) {
        size_t bytes = 0;
        for (size_t i = 0; i < first; ++i)
            bytes += m_pendingLengths[i];
        m_strPending.erase(0, bytes);
        m_pendingLengths.erase(m_pendingLengths.begin(), m_pendingLengths.begin() + first);
    }
    // What is left may still be long (a few very long lines): take it in as it is.
    if (PendingSize() > PENDING_TEXT_LIMIT / 2)
        TakePending();
}

void CReportBuffer::TakePending() {
    const size_t first = FirstShowablePendingLine();
    if (first > 0) {
        m_nDropped += static_cast<int>(m_lines.Size());
        m_lines.Clear();
        m_nLength = 0;
    }
    size_t offset = 0;
    for (size_t i = 0; i < first; ++i)
        offset += m_pendingLengths[i];
    for (size_t i = first; i < m_pendingLengths.size(); ++i) {
        const std::string_view text(m_strPending.data() + offset, m_pendingLengths[i]);
        offset += m_pendingLengths[i];
        AddText(text);
    }
    m_strPending.clear();
    m_pendingLengths.clear();
}

// Lengths count bytes, as the lines are 8-bit text; the widget shows them decoded.
void CReportBuffer::AddText(std::string_view text) {
    const int nLength = static_cast<int>(text.size());
    while (m_nLength + nLength + 2 > REPORT_VIEW_LIMIT && !m_lines.Empty()) {
        m_nLength -= static_cast<int>(m_lines.Front().size()) + 2;
        m_lines.PopFront();
        ++m_nDropped;
    }
    for (size_t start = 0;;) {
        const size_t end = text.find("\r\n", start);
        m_lines.PushBack(text.substr(start, end == text.npos ? text.npos : end - start));
        ++m_nAdded;
        if (end == text.npos)
            break;
        start = end + 2;
    }
    m_nLength += nLength + 2;
}

void CReportBuffer::Clear() {
    m_strPending.clear();
    m_pendingLengths.clear();
    m_lines.Clear();
    m_nShownLines = 0;
    m_nDropped = 0;
    m_nAdded = 0;
    m_nLength = 0;
}

void CReportBuffer::MarkShown() {
    m_nShownLines = static_cast<int>(m_lines.Size());
    m_nDropped = 0;
    m_nAdded = 0;
}
