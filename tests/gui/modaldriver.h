#pragma once
// Drives modal windows in widget tests: acts on a modal window once it is shown, and closes
// whatever is left open so that a failing test cannot hang in a modal loop.

#include <QTimer>

#include <functional>

class QWidget;

// While it exists: calls act once with the first visible modal widget that is not `except`,
// polling every 10 ms from the event loop (so also from inside a modal exec()).
class [[nodiscard]] CModalAction {
  public:
    explicit CModalAction(std::function<void(QWidget*)> act, QWidget* except = nullptr);
    CModalAction(const CModalAction&) = delete;
    CModalAction& operator=(const CModalAction&) = delete;

  private:
    QTimer m_timer;
};

// While it exists, every 3 s: clicks the first button of an open message box, or closes the
// active modal widget.
class CDialogWatchdog {
  public:
    CDialogWatchdog();
    CDialogWatchdog(const CDialogWatchdog&) = delete;
    CDialogWatchdog& operator=(const CDialogWatchdog&) = delete;

  private:
    QTimer m_timer;
};
