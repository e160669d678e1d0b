#include "guitest.h"

namespace {

using MessageBoxTest = BoxRecorder;

// The real box: icon and buttons from the prefix, the text as shown, the id of the button
// that was pressed; F1 asks for the message's context and leaves the box open.
TEST_F(MessageBoxTest, RealBoxShowsPrefixStyleReturnsPressedButtonAndGivesHelp) {
    SetMessageBoxAnswerer({});
    using B = QMessageBox;
    struct {
        const char* text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        const char* shownText;
        QMessageBox::StandardButton press;
        int result;
        int helpId;
    } const cases[] = {
        {"?3Are you sure ?", B::Question, B::Yes | B::No, "Are you sure ?", B::Yes, IDYES, 6},
        {"!Error: exists!\nAgain.", B::Warning, B::Ok, "Error: exists!\nAgain.", B::Ok, IDOK, 0},
        {"5Try again", B::NoIcon, B::Retry | B::Cancel, "Try again", B::Retry, IDRETRY, 1},
        {"6Disk", B::NoIcon, B::Abort | B::Retry | B::Ignore, "Disk", B::Ignore, IDIGNORE, 1},
        {"*4Stop", B::Critical, B::Yes | B::No | B::Cancel, "Stop", B::Cancel, IDCANCEL, 1},
        {"<b>a</b>", B::Warning, B::Ok, "<b>a</b>", B::Ok, IDOK, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        helpCalls.clear();
        bool seen = false;
        CModalAction action([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            seen = true;
            EXPECT_EQ(box->windowTitle(), "Kavel 2000");
            EXPECT_EQ(box->icon(), c.icon);
            EXPECT_EQ(box->standardButtons(), c.buttons);
            EXPECT_EQ(box->text(), c.shownText);
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_F1);
            EXPECT_TRUE(box->isVisible());
            box->button(c.press)->click();
        });
        EXPECT_EQ(ShowMessageText(c.text, c.helpId), c.result);
        EXPECT_TRUE(seen);
        EXPECT_EQ(helpCalls,
                  (c.helpId ? HelpCalls{{HELP_CONTEXT, 0x30000ul + c.helpId}} : HelpCalls{}));
    }
}

TEST_F(MessageBoxTest, HelpThatCannotStartIsReportedInABoxWithoutHelp) {
    SetHelpHandler([](unsigned, unsigned long) { return false; });
    EXPECT_FALSE(ShowHelp(HELP_CONTEXT, 0x20005));
    EXPECT_EQ(boxes,
              (decltype(boxes){{"Failed to launch help.", (MB_ICONEXCLAMATION | MB_OK) << 8}}));
}

} // namespace
