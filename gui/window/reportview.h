#pragma once
// The report view: the read-only text pane that shows the report, kept up to date from its
// lines as bytes (CReportBuffer) in one edit at a time, and during a run only as often as its
// cost allows.

#include "gui/window/reportlines.h"

#include <QString>

#include <chrono>
#include <string>
#include <string_view>

class QPlainTextEdit;

// A report line as shown: UTF-8 when it is valid UTF-8, else Latin-1; lone CR and LF as
// symbols, so that each line of the view stays one line.
QString DecodeReportText(std::string_view text);

class CReportView {
  public:
    // The widget must outlive the view; nLength is the characters the view holds.
    CReportView(QPlainTextEdit* widget, int& nLength);

    // Appends a line; during a run (bWait) it waits for the next catch-up.
    void Append(std::string_view text, bool bWait);
    // Brings the widget up to date with the lines, in one edit, and scrolls to the end.
    void Show();
    // During a run: Show when the last catch-up is long enough ago, a wait that follows what a
    // catch-up costs. True when it did; the caller then paints what else is due.
    bool CatchUpIfDue(std::chrono::steady_clock::time_point now);
    // Notes how long a catch-up that began at now took, paints included.
    void CaughtUp(std::chrono::steady_clock::time_point now);
    void Clear();
    // The selected text as the report's bytes: CR LF between its lines, lone CR and LF as they
    // were, and each line's part encoded back as it was decoded to be shown (UTF-8 or
    // Latin-1), so that a name that is not UTF-8 comes back as it is.
    std::string SelectedBytes() const;

  private:
    QPlainTextEdit* m_pWidget;
    CReportBuffer m_buffer;
    std::chrono::steady_clock::time_point m_lastUpdate;
    std::chrono::steady_clock::duration m_updateWait{};
    std::chrono::steady_clock::duration m_updateCost{};
};
