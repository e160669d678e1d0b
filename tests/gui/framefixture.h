#pragma once
// A main window over a private settings file, with helpers to reach its children; message
// boxes and help calls are recorded instead of shown.

#include "core/text/helpcall.h"
#include "core/text/messagetext.h"
#include "gui/widgets/messages.h"
#include "gui/window/mainframe.h"
#include "gui/window/settings.h"
#include "support/recordinghost.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using HelpCalls = std::vector<std::pair<unsigned, unsigned long>>;

// The main window with the header's clock fixed at 5 December 2026, 14:03:09.
class CFixedClockFrame : public CMainFrame {
  public:
    using CMainFrame::CMainFrame;
    std::tm GetLocalTime() override { return CRecordingHost::FixedTime(); }
};

struct FrameFixture : ::testing::Test {
    CTempDir dir;
    CSettingsStore store{QString::fromStdString(dir / "settings.conf")};
    std::unique_ptr<CMainFrame> frame;
    std::vector<std::pair<std::string, int>> boxes; // text, (style << 8) | help id
    int answer = IDYES;
    HelpCalls helpCalls;

    FrameFixture() {
        SetMessageBoxAnswerer([this](const std::string& text, int style, int helpId) {
            boxes.emplace_back(text, (style << 8) | helpId);
            return answer;
        });
        SetHelpHandler([this](unsigned command, unsigned long data) {
            helpCalls.emplace_back(command, data);
            return true;
        });
    }
    ~FrameFixture() override {
        frame.reset();
        SetMessageBoxAnswerer({});
        SetHelpHandler({});
    }

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
