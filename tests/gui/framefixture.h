#pragma once
// A main window over a private settings file, with helpers to reach its children; message
// boxes and help calls are recorded instead of shown.

#include "gui/window/mainframe.h"
#include "gui/window/settings.h"
#include "guitest.h"
#include "support/recordinghost.h"

#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>

#include <memory>

// The main window with the header's clock fixed at 5 December 2026, 14:03:09.
class CFixedClockFrame : public CMainFrame {
  public:
    using CMainFrame::CMainFrame;
    std::tm GetLocalTime() override { return CRecordingHost::FixedTime(); }
};

struct FrameFixture : BoxRecorder {
    CTempDir dir;
    CSettingsStore store{QString::fromStdString(dir / "settings.conf")};
    std::unique_ptr<CMainFrame> frame;

    ~FrameFixture() override { frame.reset(); }

    void CreateFrame() { frame = std::make_unique<CFixedClockFrame>(store); }
    void ShowFrame(bool activate = false) {
        if (!frame)
            CreateFrame();
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        if (activate) {
            frame->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        }
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
