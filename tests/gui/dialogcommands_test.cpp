// The main window's commands that open the editor and the about box.
#include "editor/searchstringsdlg.h"
#include "framefixture.h"
#include "modaldriver.h"
#include "resources/resource.h"
#include "shell/helpcall.h"
#include "toolkit/aboutbox.h"
#include "toolkit/messages.h"
#include "toolkit/messagetext.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>
#include <vector>

namespace {

struct DialogCommandTest : FrameFixture {
    std::vector<std::pair<std::string, int>> boxes;
    std::vector<std::pair<unsigned, unsigned long>> helpCalls;
    CDialogWatchdog watchdog;

    void SetUp() override {
        SetMessageBoxAnswerer([this](const std::string& text, int, int helpId) {
            boxes.emplace_back(text, helpId);
            return IDOK;
        });
        SetHelpHandler([this](unsigned command, unsigned long data) {
            helpCalls.emplace_back(command, data);
            return true;
        });
    }
    void TearDown() override {
        SetMessageBoxAnswerer({});
        SetHelpHandler({});
    }
};

TEST_F(DialogCommandTest, EditSearchStringsWithoutAFileSetShowsMessage10000) {
    ShowFrame();
    bool opened = false;
    CModalAction action([&](QWidget* modal) {
        opened = true;
        modal->close();
    });
    frame->RunCommand(ID_FILE_EDIT_SEARCH_STRINGS);
    QTest::qWait(50);
    EXPECT_FALSE(opened);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0],
              std::make_pair(std::string("Error: No search string file has been set!"), 1));
}

TEST_F(DialogCommandTest, EditSearchStringsEditsTheFileInTheSettings) {
    const std::string path = dir / "y2k.str";
    WriteWholeFile(path, "YEAR\r\n");
    store.WriteSettingString("Application", "SearchStrings", path);
    ShowFrame();
    std::string label;
    CModalAction action([&](QWidget* modal) {
        auto* dlg = dynamic_cast<CSearchStringsDlg*>(modal);
        ASSERT_NE(dlg, nullptr);
        label = dlg->findChild<QLabel*>("600")->text().toStdString();
        QTest::keyClicks(dlg->findChild<QLineEdit*>("551"), "DATE");
        dlg->findChild<QPushButton*>("582")->click();
        dlg->findChild<QPushButton*>("1")->click();
    });
    frame->RunCommand(ID_FILE_EDIT_SEARCH_STRINGS);
    EXPECT_EQ(label, "Strings defined in: " + path);
    EXPECT_EQ(ReadWholeFile(path), "YEAR\r\nDATE\r\n");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DialogCommandTest, AboutShowsTheBoxWithItsHelpContext) {
    ShowFrame();
    QString caption;
    CModalAction action([&](QWidget* modal) {
        auto* dlg = dynamic_cast<CAboutDlg*>(modal);
        ASSERT_NE(dlg, nullptr);
        caption = dlg->windowTitle();
        dlg->findChild<QPushButton*>("57670")->click();
        dlg->findChild<QPushButton*>("1")->click();
    });
    frame->RunCommand(ID_HELP_ABOUT);
    EXPECT_EQ(caption.toStdString(), "About Kavel 2000");
    const std::vector<std::pair<unsigned, unsigned long>> expected{{HELP_CONTEXT, 0x20003}};
    EXPECT_EQ(helpCalls, expected);
}

} // namespace
