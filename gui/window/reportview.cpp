#include "gui/window/reportview.h"

#include "gui/widgets/bytetext.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace {

// Lone CR and LF inside a report line are shown as these symbols, so that each line of the
// view stays one line; the selection hands them back as CR and LF.
constexpr char16_t SHOWN_CR = 0x240D;
constexpr char16_t SHOWN_LF = 0x240A;

// During a run the report view is brought up to date at most this often: laying out its text
// costs far more than the lines it receives.
constexpr std::chrono::milliseconds UPDATE_INTERVAL{40};
// Where painting is slow the view waits longer: after a catch-up that took t, the next one
// comes no sooner than this many times t later, so that the view takes at most a small share
// of the run; but it never waits longer than the most below.
constexpr int COST_SHARE = 50;
constexpr std::chrono::milliseconds UPDATE_INTERVAL_MAX{500};

} // namespace

QString DecodeReportText(std::string_view text) {
    QString decoded = ShowBytes(text);
    if (text.find_first_of("\r\n") != std::string_view::npos) {
        decoded.replace(QLatin1Char('\r'), QChar(SHOWN_CR));
        decoded.replace(QLatin1Char('\n'), QChar(SHOWN_LF));
    }
    return decoded;
}

CReportView::CReportView(QPlainTextEdit* widget, int& nLength)
    : m_pWidget(widget), m_buffer(nLength) {}

void CReportView::Append(std::string_view text, bool bWait) {
    m_buffer.Append(text, bWait);
    if (!bWait)
        Show();
}

void CReportView::Show() {
    m_buffer.TakePending();
    const int nDropped = m_buffer.Dropped();
    const int nAdded = m_buffer.Added();
    if (nDropped == 0 && nAdded == 0)
        return;
    // One edit drops the lines at the top and adds the new ones at the end, so that the layout
    // hears of it once. Even when every line goes this beats setPlainText, which first
    // scrolls to the top and then lays out every line passed on the way back to the end.
    const CReportLines& lines = m_buffer.Lines();
    const int nLines = static_cast<int>(lines.Size());
    QTextDocument* document = m_pWidget->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    const bool bAll = nDropped >= m_buffer.ShownLines();
    if (bAll)
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    else if (nDropped > 0)
        cursor.setPosition(document->findBlockByNumber(nDropped).position(),
                           QTextCursor::KeepAnchor);
    if (cursor.hasSelection())
        cursor.removeSelectedText();
    QString text;
    for (int i = bAll ? 0 : nLines - nAdded; i < nLines; ++i) {
        text += DecodeReportText(lines[i]);
        text += QLatin1Char('\n');
    }
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    // The lines that come into sight are shaped once for their layout and drawn from that:
    // without the cache a line's layout keeps no glyphs and painting shapes it again.
    const int nLineHeight = std::max(m_pWidget->fontMetrics().lineSpacing(), 1);
    int nShown = m_pWidget->viewport()->height() / nLineHeight + 2;
    for (QTextBlock block = document->lastBlock(); block.isValid() && nShown-- > 0;
         block = block.previous())
        block.layout()->setCacheEnabled(true);
    cursor.endEditBlock();
    m_buffer.MarkShown();
    QTextCursor end = m_pWidget->textCursor();
    end.movePosition(QTextCursor::End);
    m_pWidget->setTextCursor(end);
    m_pWidget->ensureCursorVisible();
}

bool CReportView::CatchUpIfDue(std::chrono::steady_clock::time_point now) {
    if (now - m_lastUpdate < m_updateWait)
        return false;
    Show();
    return true;
}

void CReportView::CaughtUp(std::chrono::steady_clock::time_point now) {
    m_lastUpdate = std::chrono::steady_clock::now();
    // A catch-up that happened to be slow weighs a quarter.
    m_updateCost = (3 * m_updateCost + (m_lastUpdate - now)) / 4;
    m_updateWait = std::clamp<std::chrono::steady_clock::duration>(
        m_updateCost * COST_SHARE, UPDATE_INTERVAL, UPDATE_INTERVAL_MAX);
}

void CReportView::Clear() {
    m_buffer.Clear();
    m_pWidget->clear();
}

std::string CReportView::SelectedBytes() const {
    const QTextCursor cursor = m_pWidget->textCursor();
    if (!cursor.hasSelection())
        return {};
    const int start = cursor.selectionStart(), end = cursor.selectionEnd();
    std::string bytes;
    for (QTextBlock block = m_pWidget->document()->findBlock(start);
         block.isValid() && block.position() <= end; block = block.next()) {
        if (block.position() > start)
            bytes += "\r\n"; // the end of the line before
        const int from = std::max(start - block.position(), 0);
        const int to = std::min(end - block.position(), block.length() - 1);
        QString text = block.text().mid(from, std::max(to - from, 0));
        text.replace(QChar(SHOWN_CR), QLatin1Char('\r'));
        text.replace(QChar(SHOWN_LF), QLatin1Char('\n'));
        // The view's block b is line b - Dropped() of the buffer until the next catch-up.
        const int line = block.blockNumber() - m_buffer.Dropped();
        const bool bLatin1 = line >= 0 && line < static_cast<int>(m_buffer.Lines().Size()) &&
                             !IsShownAsUtf8(m_buffer.Lines()[static_cast<size_t>(line)]);
        bytes += (bLatin1 ? text.toLatin1() : text.toUtf8()).toStdString();
    }
    return bytes;
}
