#pragma once
// What the widget tests share: modal windows driven or closed, message boxes and help calls
// recorded instead of shown.

#include "core/text/resource.h"
#include "gui/base/helpcall.h"
#include "gui/base/messagebox.h"
#include "gui/widgets/messages.h"
#include "support/testfiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// While it exists: calls act with the first visible modal widget that is not `except`, once
// unless it repeats, polling every `ms` from the event loop (so also from inside a modal exec()).
class [[nodiscard]] CModalAction {
  public:
    explicit CModalAction(std::function<void(QWidget*)> act, QWidget* except = nullptr, int ms = 10,
                          bool bRepeat = false) {
        m_timer.setInterval(ms);
        QObject::connect(&m_timer, &QTimer::timeout, [this, act, except, bRepeat] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal == except || !modal->isVisible())
                return;
            if (!bRepeat)
                m_timer.stop();
            act(modal);
        });
        m_timer.start();
    }
    // Starts the wait anew: a full interval before the next call.
    void Restart() { m_timer.start(); }

  private:
    QTimer m_timer;
};

// While it exists, every 3 s: clicks the first button of an open message box, or closes the
// active modal widget, so that a failing test cannot hang in a modal loop.
struct CDialogWatchdog : CModalAction {
    CDialogWatchdog()
        : CModalAction(
              [](QWidget* modal) {
                  auto* box = qobject_cast<QMessageBox*>(modal);
                  if (box != nullptr && !box->buttons().isEmpty())
                      box->buttons().first()->click();
                  else
                      modal->close();
              },
              nullptr, 3000, true) {}
};

using HelpCalls = std::vector<std::pair<unsigned, unsigned long>>;

// Message boxes answered with `answer` and help calls that succeed, both recorded.
struct BoxRecorder : ::testing::Test {
    std::vector<std::pair<std::string, int>> boxes; // text, (style << 8) | help id
    int answer = IDYES;
    HelpCalls helpCalls;
    CDialogWatchdog watchdog;

    BoxRecorder() {
        SetMessageBoxAnswerer([this](const std::string& text, int style, int helpId) {
            boxes.emplace_back(text, (style << 8) | helpId);
            return answer;
        });
        SetHelpHandler([this](unsigned command, unsigned long data) {
            helpCalls.emplace_back(command, data);
            return true;
        });
    }
    ~BoxRecorder() override {
        SetBeepHandler({});
        SetMessageBoxAnswerer({});
        SetHelpHandler({});
    }
};
