// The main window's commands that open the editor and the about box.
#include "core/text/resource.h"
#include "framefixture.h"
#include "gui/editor/searchstringsdlg.h"
#include "gui/widgets/aboutbox.h"
#include "modaldriver.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

TEST_F(FrameFixture, EditSearchStringsAndAboutOpenTheirDialogs) {
    CDialogWatchdog watchdog;
    ShowFrame();
    std::string opened; // E for the editor, A for the about box
    auto run = [&](int command, std::function<void(QWidget*)> act) {
        CModalAction action([&](QWidget* modal) {
            opened += dynamic_cast<CSearchStringsDlg*>(modal) ? 'E'
                      : dynamic_cast<CAboutDlg*>(modal)       ? 'A'
                                                              : '?';
            act(modal);
        });
        frame->RunCommand(command);
        QTest::qWait(20);
    };
    auto close = [](QWidget* modal) { modal->close(); };
    run(ID_FILE_EDIT_SEARCH_STRINGS, close); // no file set: a message with its help context
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second & 0xFF, 1);

    const std::string path = dir / "y2k.str";
    WriteWholeFile(path, "YEAR\r\n");
    store.WriteSettingString("Application", "SearchStrings", path);
    std::string label;
    run(ID_FILE_EDIT_SEARCH_STRINGS, [&](QWidget* dlg) {
        label = dlg->findChild<QLabel*>("600")->text().toStdString();
        QTest::keyClicks(dlg->findChild<QLineEdit*>("551"), "DATE");
        dlg->findChild<QPushButton*>("582")->click();
        dlg->findChild<QPushButton*>("1")->click();
    });
    EXPECT_TRUE(label.ends_with(": " + path));
    EXPECT_EQ(ReadWholeFile(path), "YEAR\r\nDATE\r\n");
    run(ID_HELP_ABOUT, close);
    EXPECT_EQ(opened, "EA");
    EXPECT_EQ(boxes.size(), 1u);
}

} // namespace
