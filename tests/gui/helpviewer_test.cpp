#include "core/text/helpcall.h"
#include "core/text/messagetext.h"
#include "core/text/resource.h"
#include "core/text/stringtable.h"
#include "gui/widgets/messages.h"
#include "gui/window/helpviewer.h"
#include "modaldriver.h"
#include "support/testfiles.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

const std::string HELP_FILE = KAVEL_HELP_SOURCE;

CHelpViewer* FindViewer() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* viewer = dynamic_cast<CHelpViewer*>(widget); viewer && viewer->isVisible())
            return viewer;
    return nullptr;
}

QString PageText(CHelpViewer* viewer) {
    return viewer->findChild<QTextBrowser*>("helpText")->toPlainText();
}

class HelpViewerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        CallHelp(HELP_QUIT, 0);
        EXPECT_TRUE(QTest::qWaitFor([] { return FindViewer() == nullptr; }, 2000));
        SetHelpHandler({});
    }
    CDialogWatchdog m_watchdog;
};

// Every context the program asks for has its topic, titled by the window's caption or the
// message's first line.
TEST_F(HelpViewerTest, EveryContextOfTheProgramHasItsTopic) {
    std::vector<std::pair<unsigned long, std::string>> cases = {
        {HELP_CONTEXT_MAIN_WINDOW, "The main window"},
        {HELP_BASE_DIALOG + 1, "Set Output File"},
        {HELP_BASE_DIALOG + 2, "Set Search Strings File"},
        {HELP_BASE_DIALOG + 3, "About Kavel 2000"},
        {HELP_BASE_DIALOG + 5, "Edit Search Strings"},
        {HELP_BASE_MESSAGE + 2, "Are you sure you wish to stop the reporting ?"},
    };
    const std::pair<int, int> messages[] = {
        {1, IDP_NO_STRINGS_FILE},     {3, IDP_CONFIRM_DELETE},  {4, IDP_TOO_MANY_STRINGS},
        {5, IDP_STRING_REQUIRED},     {6, IDP_STRING_EXISTS},   {7, IDP_NOTHING_TO_MODIFY},
        {8, IDP_EDIT_FILE_NO_MEMORY}, {9, IDP_EDIT_FILE_FAILED}};
    for (const auto& [helpId, textId] : messages) {
        const std::string text = ParseMessageText(LoadStringResource(textId, 255)).text;
        cases.emplace_back(HELP_BASE_MESSAGE + helpId, text.substr(0, text.find('\n')));
    }
    CHelpViewer viewer(HELP_FILE);
    ASSERT_TRUE(viewer.Load());
    for (const auto& [context, title] : cases) {
        viewer.ShowContext(context);
        EXPECT_EQ(viewer.CurrentTopic(), QString::number(context));
        EXPECT_TRUE(PageText(&viewer).startsWith(QString::fromStdString(title))) << title;
    }
}

TEST_F(HelpViewerTest, HelpCommandsReachOneViewer) {
    InstallHelpViewer(HELP_FILE);
    const std::pair<unsigned, unsigned long> calls[] = {
        {HELP_CONTEXT, 3000}, {HELP_INDEX, 0}, {HELP_CONTEXT, 0x20005}, {HELP_HELPONHELP, 0}};
    const char* topics[] = {"3000", "contents", "131077", "usinghelp"};
    QPointer<CHelpViewer> first;
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(CallHelp(calls[i].first, calls[i].second));
        ASSERT_NE(FindViewer(), nullptr);
        if (first == nullptr)
            first = FindViewer();
        EXPECT_EQ(FindViewer(), first.data()); // one window for every call
        EXPECT_EQ(FindViewer()->CurrentTopic(), topics[i]);
    }

    // Search for Help On: the start of a keyword and Enter.
    EXPECT_TRUE(CallHelp(HELP_PARTIALKEY, 0));
    auto* filter = first->findChild<QLineEdit*>("helpFilter");
    EXPECT_TRUE(filter->isVisible());
    QTest::keyClicks(filter, "dupl");
    EXPECT_EQ(first->findChild<QListWidget*>("helpKeywords")->currentItem()->text(),
              "duplicate string");
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(first->CurrentTopic(), "196614");

    EXPECT_TRUE(CallHelp(HELP_QUIT, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 2000));
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 0x20003));
    ASSERT_NE(FindViewer(), nullptr);
    EXPECT_EQ(FindViewer()->CurrentTopic(), "131075");
}

// A screen reader finds a window named by its title with a named topic in it; Esc closes it.
TEST_F(HelpViewerTest, TheViewerIsANamedWindowThatEscCloses) {
    InstallHelpViewer(HELP_FILE);
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 3000));
    QPointer<CHelpViewer> viewer = FindViewer();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(viewer);
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name), viewer->windowTitle());
    EXPECT_FALSE(viewer->windowTitle().isEmpty());
    auto* text = viewer->findChild<QTextBrowser*>("helpText");
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(text)->text(QAccessible::Name).isEmpty());
    viewer->activateWindow();
    text->setFocus();
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer.isNull(); }, 2000));
}

TEST_F(HelpViewerTest, AHelpFileThatCannotBeReadIsReportedInTheViewer) {
    CTempDir dir;
    InstallHelpViewer(dir / "kavel.html");
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 3000));
    ASSERT_NE(FindViewer(), nullptr);
    EXPECT_TRUE(PageText(FindViewer()).contains(QString::fromStdString(dir / "kavel.html")));
    EXPECT_TRUE(PageText(FindViewer()).contains("cannot be read"));
}

// F1 in a message box opens the message's topic; the viewer, opened before the box or by it,
// is not blocked by the modal box, also when no F1 is pressed in the box.
TEST_F(HelpViewerTest, F1InAMessageBoxOpensItsTopicInAViewerItDoesNotBlock) {
    InstallHelpViewer(HELP_FILE);
    for (int mode = 0; mode < 3; ++mode) {
        const bool openBefore = mode > 0, pressF1 = mode < 2;
        SCOPED_TRACE(!openBefore ? "viewer opened by the box"
                     : pressF1   ? "viewer open before the box"
                                 : "viewer open before the box, no F1");
        if (openBefore)
            CallHelp(HELP_INDEX, 0);
        QString topicFromBox, topicAfterClick;
        CModalAction action([&](QWidget* box) {
            if (pressF1)
                QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_F1);
            else
                QTest::qWait(50); // the viewer is let go after the box is up
            if (CHelpViewer* viewer = FindViewer()) {
                topicFromBox = viewer->CurrentTopic();
                // Clicked the way the window system clicks, which a blocked window misses.
                for (QPushButton* button : viewer->findChildren<QPushButton*>())
                    if (button->text() == "&Using Help")
                        QTest::mouseClick(viewer->windowHandle(), Qt::LeftButton, {},
                                          button->mapTo(viewer, button->rect().center()));
                topicAfterClick = viewer->CurrentTopic();
            }
            static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        });
        ShowMessage(IDP_STRING_EXISTS, 6);
        EXPECT_EQ(topicFromBox.toStdString(), pressF1 ? "196614" : "contents");
        EXPECT_EQ(topicAfterClick.toStdString(), "usinghelp");
    }
}

} // namespace
