#include "modaldriver.h"
#include "resources/resource.h"
#include "shell/helpcall.h"
#include "toolkit/messages.h"
#include "toolkit/messagetext.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

struct Shown {
    std::string text;
    int style = -1;
    int helpId = -1;
};

class MessageBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetHelpHandler([this](unsigned command, unsigned long data) {
            m_calls.emplace_back(command, data);
            return true;
        });
    }
    void TearDown() override {
        SetHelpHandler({});
        SetMessageBoxAnswerer({});
    }
    std::vector<std::pair<unsigned, unsigned long>> m_calls;
    CDialogWatchdog m_watchdog;
};

TEST_F(MessageBoxTest, AnswererReceivesParsedTextStyleAndHelpId) {
    Shown shown;
    SetMessageBoxAnswerer([&](const std::string& text, int style, int helpId) {
        shown = {text, style, helpId};
        return IDYES;
    });
    EXPECT_EQ(ShowMessage(IDP_CONFIRM_DELETE, 3), IDYES);
    EXPECT_EQ(shown.text, "Are you sure you wish to delete this string ?");
    EXPECT_EQ(shown.style, MB_ICONQUESTION | MB_YESNO);
    EXPECT_EQ(shown.helpId, 3);

    ShowMessageText("5Try again", -1);
    EXPECT_EQ(shown.style, MB_RETRYCANCEL);
    EXPECT_EQ(shown.helpId, 0);

    ShowMessageText("%1 and %1, not %2", 2, "a.c");
    EXPECT_EQ(shown.text, "a.c and a.c, not %2");
    EXPECT_EQ(shown.style, MB_ICONEXCLAMATION | MB_OK);
}

// The real box: icon and buttons from the prefix, the text as shown, the id of the button
// that was pressed.
struct BoxCase {
    const char* text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    const char* shownText;
    QMessageBox::StandardButton press;
    int result;
};

TEST_F(MessageBoxTest, RealBoxShowsPrefixStyleAndReturnsPressedButton) {
    using B = QMessageBox;
    const BoxCase cases[] = {
        {"?3Are you sure ?", B::Question, B::Yes | B::No, "Are you sure ?", B::Yes, IDYES},
        {"?3Are you sure ?", B::Question, B::Yes | B::No, "Are you sure ?", B::No, IDNO},
        {"!Error: exists!\nIt cannot be added again.", B::Warning, B::Ok,
         "Error: exists!\nIt cannot be added again.", B::Ok, IDOK},
        {"No prefix", B::Warning, B::Ok, "No prefix", B::Ok, IDOK},
        {"5Try again", B::NoIcon, B::Retry | B::Cancel, "Try again", B::Retry, IDRETRY},
        {"6Disk", B::NoIcon, B::Abort | B::Retry | B::Ignore, "Disk", B::Ignore, IDIGNORE},
        {"6Disk", B::NoIcon, B::Abort | B::Retry | B::Ignore, "Disk", B::Abort, IDABORT},
        {"*4Stop", B::Critical, B::Yes | B::No | B::Cancel, "Stop", B::Cancel, IDCANCEL},
        {"i2Note", B::Information, B::Ok | B::Cancel, "Note", B::Ok, IDOK},
        {"31Left", B::Warning, B::Yes | B::No, "1Left", B::No, IDNO},
        {"<b>a</b>", B::Warning, B::Ok, "<b>a</b>", B::Ok, IDOK},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.text);
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
            box->button(c.press)->click();
        });
        EXPECT_EQ(ShowMessageText(c.text, 1), c.result);
        EXPECT_TRUE(seen);
    }
}

TEST_F(MessageBoxTest, F1InBoxAsksForTheMessageContext) {
    struct {
        int helpId;
        std::vector<std::pair<unsigned, unsigned long>> calls;
    } const cases[] = {
        {6, {{HELP_CONTEXT, 0x30006}}},
        {1, {{HELP_CONTEXT, 0x30001}}},
        {0, {}},
        {-1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.helpId);
        m_calls.clear();
        CModalAction action([](QWidget* box) {
            QWidget* target = box->focusWidget() ? box->focusWidget() : box;
            QTest::keyClick(target, Qt::Key_F1);
            // The box stays open after F1.
            EXPECT_TRUE(box->isVisible());
            static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        });
        EXPECT_EQ(ShowMessageText("!Help me", c.helpId), IDOK);
        EXPECT_EQ(m_calls, c.calls);
    }
}

TEST_F(MessageBoxTest, HelpThatCannotStartIsReportedInABoxWithoutHelp) {
    SetHelpHandler([this](unsigned command, unsigned long data) {
        m_calls.emplace_back(command, data);
        return false;
    });
    std::vector<Shown> shown;
    SetMessageBoxAnswerer([&](const std::string& text, int style, int helpId) {
        shown.push_back({text, style, helpId});
        return IDOK;
    });
    EXPECT_FALSE(ShowHelp(HELP_CONTEXT, 0x20005));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Failed to launch help.");
    EXPECT_EQ(shown[0].style, MB_ICONEXCLAMATION | MB_OK);
    EXPECT_EQ(shown[0].helpId, 0);

    SetHelpHandler({});
    shown.clear();
    EXPECT_TRUE(ShowHelp(HELP_INDEX, 0));
    EXPECT_TRUE(shown.empty());
}

} // namespace
