#include "editor/searchstringsdlg.h"
#include "modaldriver.h"
#include "resources/resource.h"
#include "resources/stringtable.h"
#include "shell/helpcall.h"
#include "shell/helpviewer.h"
#include "support/testfiles.h"
#include "toolkit/aboutbox.h"
#include "toolkit/messages.h"
#include "toolkit/messagetext.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
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
        SetMessageBoxAnswerer({});
    }
    CDialogWatchdog m_watchdog;
};

// Every context the program asks for has its topic; a message's topic is titled by the
// message's first line, so the two cannot drift apart unnoticed.
TEST_F(HelpViewerTest, EveryContextOfTheProgramHasItsTopic) {
    struct {
        unsigned long context;
        std::string title;
    } cases[] = {
        {HELP_CONTEXT_MAIN_WINDOW, "The main window"},
        {HELP_BASE_DIALOG + 1, "Set Output File"},
        {HELP_BASE_DIALOG + 2, "Set Search Strings File"},
        {HELP_BASE_DIALOG + 3, "About Kavel 2000"},
        {HELP_BASE_DIALOG + 5, "Edit Search Strings"},
        {HELP_BASE_MESSAGE + 2, "Are you sure you wish to stop the reporting ?"},
    };
    const std::pair<int, int> messages[] = {{1, IDP_NO_STRINGS_FILE},    {3, IDP_CONFIRM_DELETE},
                                            {4, IDP_TOO_MANY_STRINGS},   {5, IDP_STRING_REQUIRED},
                                            {6, IDP_STRING_EXISTS},      {7, IDP_NOTHING_TO_MODIFY},
                                            {8, IDP_EDIT_FILE_NO_MEMORY}};
    CHelpViewer viewer(HELP_FILE);
    ASSERT_TRUE(viewer.Load());
    auto check = [&](unsigned long context, const std::string& title) {
        SCOPED_TRACE(context);
        viewer.ShowContext(context);
        EXPECT_EQ(viewer.CurrentTopic(), QString::number(context));
        EXPECT_TRUE(PageText(&viewer).startsWith(QString::fromStdString(title)))
            << PageText(&viewer).left(80).toStdString();
    };
    for (const auto& c : cases)
        check(c.context, c.title);
    for (const auto& [helpId, textId] : messages) {
        const std::string text = ParseMessageText(LoadStringResource(textId, 255)).text;
        check(HELP_BASE_MESSAGE + static_cast<unsigned>(helpId), text.substr(0, text.find('\n')));
    }
}

TEST_F(HelpViewerTest, EveryLinkLeadsToATopic) {
    CHelpViewer viewer(HELP_FILE);
    ASSERT_TRUE(viewer.Load());
    for (const char* name : {"contents", "usinghelp", "report", "strings"})
        EXPECT_TRUE(viewer.HasTopic(name)) << name;
    const QString html = QString::fromStdString(ReadWholeFile(HELP_FILE));
    const QRegularExpression link("href=\"#([^\"]*)\"");
    int links = 0;
    for (auto it = link.globalMatch(html); it.hasNext(); ++links) {
        const QString target = it.next().captured(1);
        EXPECT_TRUE(viewer.HasTopic(target)) << target.toStdString();
    }
    EXPECT_GT(links, 20);
}

TEST_F(HelpViewerTest, HelpCommandsReachTheViewer) {
    InstallHelpViewer(HELP_FILE);
    struct {
        unsigned command;
        unsigned long data;
        const char* topic;
    } const cases[] = {
        {HELP_CONTEXT, 3000, "3000"},
        {HELP_INDEX, 0, "contents"},
        {HELP_CONTEXT, 0x20005, "131077"},
        {HELP_HELPONHELP, 0, "usinghelp"},
    };
    QPointer<CHelpViewer> first;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.topic);
        EXPECT_TRUE(CallHelp(c.command, c.data));
        CHelpViewer* viewer = FindViewer();
        ASSERT_NE(viewer, nullptr);
        if (first == nullptr)
            first = viewer;
        EXPECT_EQ(viewer, first.data()); // one window for every call
        EXPECT_EQ(viewer->CurrentTopic(), c.topic);
    }

    // Search for Help On: the keyword list, a typed start of a word, Enter.
    EXPECT_TRUE(CallHelp(HELP_PARTIALKEY, 0));
    CHelpViewer* viewer = FindViewer();
    ASSERT_NE(viewer, nullptr);
    auto* filter = viewer->findChild<QLineEdit*>("helpFilter");
    EXPECT_TRUE(filter->isVisible());
    QTest::keyClicks(filter, "dupl");
    EXPECT_EQ(viewer->findChild<QListWidget*>("helpKeywords")->currentItem()->text(),
              "duplicate string");
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(viewer->CurrentTopic(), "196614");

    // Back and Forward walk the topics seen.
    for (QPushButton* button : viewer->findChildren<QPushButton*>())
        if (button->text() == "&Back")
            button->click();
    EXPECT_EQ(viewer->CurrentTopic(), "usinghelp");

    EXPECT_TRUE(CallHelp(HELP_QUIT, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 2000));
    EXPECT_TRUE(CallHelp(HELP_QUIT, 0)); // nothing open: nothing to do
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 0x20003));
    ASSERT_NE(FindViewer(), nullptr);
    EXPECT_EQ(FindViewer()->CurrentTopic(), "131075");
}

TEST_F(HelpViewerTest, UnreadableFileAndUnknownContextAreReportedInTheViewer) {
    CTempDir dir;
    InstallHelpViewer(dir / "kavel.html");
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 3000));
    CHelpViewer* viewer = FindViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(PageText(viewer).contains(QString::fromStdString(dir / "kavel.html")));
    EXPECT_TRUE(PageText(viewer).contains("cannot be read"));
    CallHelp(HELP_QUIT, 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return FindViewer() == nullptr; }, 2000));

    CHelpViewer known(HELP_FILE);
    ASSERT_TRUE(known.Load());
    known.ShowContext(0x20009);
    EXPECT_TRUE(known.CurrentTopic().isEmpty());
    EXPECT_TRUE(PageText(&known).contains("0x20009"));
}

// F1 in a message box and the editor's Help button open their topics; the viewer opened from
// inside a modal box is not blocked by it.
TEST_F(HelpViewerTest, F1AndHelpButtonsOpenTheirTopics) {
    InstallHelpViewer(HELP_FILE);
    for (bool openBefore : {false, true}) {
        SCOPED_TRACE(openBefore ? "viewer open before the box" : "viewer opened by the box");
        if (openBefore)
            CallHelp(HELP_INDEX, 0);
        QString topicFromBox, topicAfterClick;
        CModalAction action([&](QWidget* box) {
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_F1);
            if (CHelpViewer* viewer = FindViewer()) {
                topicFromBox = viewer->CurrentTopic();
                // A click that goes the way of the window system's clicks, which a window
                // blocked by the modal box does not receive.
                for (QPushButton* button : viewer->findChildren<QPushButton*>())
                    if (button->text() == "&Using Help")
                        QTest::mouseClick(viewer->windowHandle(), Qt::LeftButton, {},
                                          button->mapTo(viewer, button->rect().center()));
                topicAfterClick = viewer->CurrentTopic();
            }
            static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        });
        ShowMessage(IDP_STRING_EXISTS, 6);
        EXPECT_EQ(topicFromBox.toStdString(), "196614");
        EXPECT_EQ(topicAfterClick.toStdString(), "usinghelp");
    }

    CTempDir dir;
    CSearchStringsDlg dlg(nullptr, dir / "y2k.str");
    dlg.show();
    dlg.findChild<QPushButton*>("57670")->click();
    ASSERT_NE(FindViewer(), nullptr);
    EXPECT_EQ(FindViewer()->CurrentTopic(), "131077");

    CAboutDlg about(nullptr);
    about.show();
    about.findChild<QPushButton*>("57670")->click();
    EXPECT_EQ(FindViewer()->CurrentTopic(), "131075");
}

} // namespace
