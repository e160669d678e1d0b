#pragma once
// The report view's lines as bytes, oldest first, in a ring whose strings keep their storage:
// a long run appends and drops hundreds of thousands of lines without allocating for each.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CReportLines {
  public:
    size_t Size() const { return m_nCount; }
    bool Empty() const { return m_nCount == 0; }
    // Line i, counted from the oldest.
    const std::string& operator[](size_t i) const {
        return m_lines[(m_nFirst + i) % m_lines.size()];
    }
    const std::string& Front() const { return (*this)[0]; }

    void PushBack(std::string_view line);
    void PopFront();
    void Clear();

  private:
    std::vector<std::string> m_lines;
    size_t m_nFirst = 0;
    size_t m_nCount = 0;
};

// The report view holds at most this many characters, each line counted with its CR LF.
constexpr int REPORT_VIEW_LIMIT = 16000;

// The report view's text as bytes, without the widget: the lines it holds (at most
// REPORT_VIEW_LIMIT characters; whole oldest lines go to make room), and during a run the
// lines that wait for the next catch-up. It keeps what the widget still lacks: lines to drop
// at its top and lines to add at its end.
class CReportBuffer {
  public:
    // nLength: the characters the view holds, kept up to date here.
    explicit CReportBuffer(int& nLength) : m_nLength(nLength) {}

    // Appends a report line (with CR LF inside it, several lines of the view). bWait: a run
    // is active, and the line waits in a buffer; lines that can no longer be shown are
    // dropped there, so a line costs no more than copying its bytes.
    void Append(std::string_view text, bool bWait);
    // Takes the waiting lines in.
    void TakePending();
    // Empties the view.
    void Clear();

    const CReportLines& Lines() const { return m_lines; }
    // What the widget lacks since MarkShown: its lines to drop at the top (all of them when
    // this reaches ShownLines) and the lines to add at the end.
    int Dropped() const { return m_nDropped; }
    int Added() const { return m_nAdded; }
    int ShownLines() const { return m_nShownLines; }
    // The widget now shows Lines().
    void MarkShown();

  private:
    size_t PendingSize() const { return m_strPending.size() + 2 * m_pendingLengths.size(); }
    size_t FirstShowablePendingLine() const;
    void DropHiddenPendingLines();
    void AddText(std::string_view text);

    int& m_nLength;
    CReportLines m_lines;
    // Lines appended during a run and not yet taken in: their bytes one after the other, and
    // each one's length.
    std::string m_strPending;
    std::vector<uint32_t> m_pendingLengths;
    int m_nShownLines = 0;
    int m_nDropped = 0;
    int m_nAdded = 0;
};
