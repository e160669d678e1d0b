#pragma once
// A main window over a private settings file, with helpers to reach its children.

#include "shell/mainframe.h"
#include "shell/settings.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QString>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <string>

struct FrameFixture : ::testing::Test {
    CTempDir dir;
    CSettingsStore store{QString::fromStdString(dir / "settings.conf")};
    std::unique_ptr<CMainFrame> frame;

    void CreateFrame() { frame = std::make_unique<CMainFrame>(store); }
    void ShowFrame() {
        if (!frame)
            CreateFrame();
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }

    template <typename T> T* Child(const char* name) const {
        return frame->findChild<T*>(QLatin1String(name));
    }
    QPlainTextEdit* Report() const { return Child<QPlainTextEdit>("IDC_REPORT"); }
    QListWidget* FileList() const { return Child<QListWidget>("IDC_FILE_LIST"); }
    QListWidget* DirList() const { return Child<QListWidget>("IDC_DIR_LIST"); }
    QComboBox* DriveBox() const { return Child<QComboBox>("IDC_DRIVE_BOX"); }

    // The report view's text with CR LF line ends, as the output file holds it.
    std::string ReportText() const {
        QString text = Report()->toPlainText();
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        return text.toStdString();
    }
};

// Closes whatever modal window is open after ms milliseconds, so that a failing test cannot
// hang on it.
class CModalWatchdog {
  public:
    explicit CModalWatchdog(int ms = 10000) {
        m_timer.setInterval(ms);
        QObject::connect(&m_timer, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        m_timer.start();
    }

  private:
    QTimer m_timer;
};
