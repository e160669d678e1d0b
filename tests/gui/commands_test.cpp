#include "framefixture.h"
#include "resources/resource.h"
#include "shell/commands.h"
#include "shell/helpcall.h"
#include "toolkit/messages.h"
#include "toolkit/messagetext.h"

#include <QMenu>
#include <QMenuBar>
#include <QTextCursor>

#include <utility>
#include <vector>

namespace {

TEST(CommandRules, EnableTheCommandsByRunAndSelection) {
    // Columns: idle, idle with a selection, running, running with a selection.
    struct Case {
        int id;
        bool enabled[4];
    };
    const Case cases[] = {
        {ID_FILE_SET_OUTPUT, {true, true, false, false}},
        {ID_FILE_SET_SEARCH_STRINGS, {true, true, false, false}},
        {ID_FILE_EDIT_SEARCH_STRINGS, {true, true, false, false}},
        {ID_FILE_START_REPORTING, {true, true, false, false}},
        {ID_FILE_STOP_REPORTING, {false, false, true, true}},
        {ID_FILE_EDIT_FILE, {false, true, false, true}},
        {ID_FILE_EXIT, {true, true, false, false}},
        {ID_EDIT_COPY_REPORT, {false, true, false, true}},
        {ID_EDIT_CLEAR_SCREEN, {true, true, true, true}},
        {ID_HELP_INDEX, {true, true, true, true}},
        {ID_HELP_SEARCH, {true, true, true, true}},
        {ID_HELP_USING, {true, true, true, true}},
        {ID_HELP_ABOUT, {true, true, true, true}},
        {ID_HELP, {true, true, true, true}},
        {12345, {false, false, false, false}},
    };
    const CCommandState states[] = {{false, false}, {false, true}, {true, false}, {true, true}};
    for (const Case& c : cases)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(IsCommandEnabled(c.id, states[i]), c.enabled[i]) << c.id << " state " << i;
}

struct CommandTest : FrameFixture {
    std::vector<std::pair<unsigned, unsigned long>> helpCalls;
    std::vector<std::pair<std::string, int>> boxes;
    bool helpWorks = true;

    void SetUp() override {
        SetHelpHandler([this](unsigned command, unsigned long data) {
            helpCalls.emplace_back(command, data);
            return helpWorks;
        });
        SetMessageBoxAnswerer([this](const std::string& text, int, int helpId) {
            boxes.emplace_back(text, helpId);
            return IDOK;
        });
    }
    void TearDown() override {
        SetHelpHandler({});
        SetMessageBoxAnswerer({});
    }
};

TEST_F(CommandTest, HelpCommandsCallTheHelpWithTheirCommandAndContext) {
    ShowFrame();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(Report(), Qt::Key_F1);
    QTest::keyClick(Report(), Qt::Key_F1, Qt::ShiftModifier); // no effect
    frame->RunCommand(ID_HELP_INDEX);
    frame->RunCommand(ID_HELP_USING);
    frame->RunCommand(ID_HELP_SEARCH);
    const std::vector<std::pair<unsigned, unsigned long>> expected = {
        {HELP_CONTEXT, 3000}, {HELP_INDEX, 0}, {HELP_HELPONHELP, 0}, {HELP_PARTIALKEY, 0}};
    EXPECT_EQ(helpCalls, expected);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(CommandTest, AHelpViewerThatCannotBeCreatedIsReportedWithoutHelp) {
    CreateFrame();
    helpWorks = false;
    frame->RunCommand(ID_HELP);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Failed to launch help.");
    EXPECT_EQ(boxes[0].second, 0);
}

TEST_F(CommandTest, ADisabledCommandDoesNothing) {
    ShowFrame();
    frame->AppendReportLine("some text");
    // Nothing selected: Copy and Edit File cannot run.
    EXPECT_FALSE(frame->RunCommand(ID_EDIT_COPY_REPORT));
    EXPECT_FALSE(frame->RunCommand(ID_FILE_EDIT_FILE));
    // While a run is active, Exit cannot close the window.
    frame->m_bReporting = 1;
    EXPECT_FALSE(frame->RunCommand(ID_FILE_EXIT));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->RunCommand(ID_FILE_START_REPORTING));
    EXPECT_TRUE(frame->RunCommand(ID_EDIT_CLEAR_SCREEN));
    frame->m_bReporting = 0;
    EXPECT_TRUE(frame->RunCommand(ID_FILE_EXIT));
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(CommandTest, OpeningAMenuAppliesTheRulesToItsItems) {
    ShowFrame();
    auto* menuBar = Child<QMenuBar>("ApplicationMenu");
    QMenu* fileMenu = menuBar->actions().at(0)->menu();
    auto enabled = [&](int id) {
        return fileMenu->findChild<QAction*>(QString::number(id))->isEnabled();
    };
    frame->m_bReporting = 1;
    menuBar->setActiveAction(fileMenu->menuAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }, 2000));
    EXPECT_FALSE(enabled(ID_FILE_START_REPORTING));
    EXPECT_TRUE(enabled(ID_FILE_STOP_REPORTING));
    EXPECT_FALSE(enabled(ID_FILE_EXIT));
    EXPECT_FALSE(enabled(ID_FILE_EDIT_FILE));
    fileMenu->hide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileMenu->isVisible(); }, 2000));

    frame->m_bReporting = 0;
    frame->AppendReportLine("/tmp/a.c");
    QTextCursor cursor = Report()->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    Report()->setTextCursor(cursor);
    menuBar->setActiveAction(fileMenu->menuAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }, 2000));
    EXPECT_TRUE(enabled(ID_FILE_START_REPORTING));
    EXPECT_FALSE(enabled(ID_FILE_STOP_REPORTING));
    EXPECT_TRUE(enabled(ID_FILE_EDIT_FILE));
    fileMenu->hide();
}

} // namespace
