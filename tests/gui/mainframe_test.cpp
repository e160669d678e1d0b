#include "core/text/resource.h"
#include "framefixture.h"
#include "gui/base/controlids.h"
#include "gui/window/app.h"
#include "gui/window/commands.h"
#include "gui/window/mainlayout.h"
#include "gui/window/reportview.h"

#include <climits>
#include <tuple>

namespace {

TEST(CommandRules, EnableTheCommandsByRunAndSelection) {
    // Columns: idle, idle with a selection, running, running with a selection.
    const std::pair<std::vector<int>, const char*> cases[] = {
        {{ID_FILE_SET_OUTPUT, ID_FILE_SET_SEARCH_STRINGS, ID_FILE_EDIT_SEARCH_STRINGS,
          ID_FILE_START_REPORTING, ID_FILE_EXIT},
         "1100"},
        {{ID_FILE_STOP_REPORTING}, "0011"},
        {{ID_FILE_EDIT_FILE, ID_EDIT_COPY_REPORT}, "0101"},
        {{ID_EDIT_CLEAR_SCREEN, ID_HELP_INDEX, ID_HELP_SEARCH, ID_HELP_USING, ID_HELP_ABOUT,
          ID_HELP},
         "1111"},
        {{12345}, "0000"},
    };
    const CCommandState states[] = {{false, false}, {false, true}, {true, false}, {true, true}};
    for (const auto& [ids, enabled] : cases)
        for (int id : ids)
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(IsCommandEnabled(id, states[i]), enabled[i] == '1') << id << ", " << i;
}

struct MainFrameTest : FrameFixture {
    void StoreRect(int left, int top, int right, int bottom) {
        store.WriteSettingInts("Window", {{"Left", left},
                                          {"Top", top},
                                          {"Right", right},
                                          {"Bottom", bottom},
                                          {"Maximise", SW_SHOW}});
    }
    int Setting(const char* key) { return store.ReadSettingInt("Window", key, CW_USEDEFAULT); }
    bool WaitForSetting(const char* key, int value) {
        return QTest::qWaitFor([&] { return Setting(key) == value; }, 2000);
    }
};

// The layout's numbers, and the controls placed by them as the window is resized.
TEST_F(MainFrameTest, ControlsArePlacedByTheLayoutNumbers) {
    struct Case {
        int width, area;
        QRect files, dirs, drives, report;
    };
    const Case cases[] = {
        // A = 400: d = 128; file list 9 to 257, directory list 264 to 363, drive box at 368.
        {600, 400, {8, 9, 130, 248}, {8, 264, 130, 99}, {8, 368, 130, 100}, {150, 11, 438, 379}},
        // d = (401 - 16) / 3 = 128 too: integer division.
        {600, 401, {8, 9, 130, 248}, {8, 264, 130, 99}, {8, 369, 130, 100}, {150, 11, 438, 380}},
        // Too small: heights and widths below zero become zero.
        {100, 40, {8, 9, 130, 8}, {8, 24, 130, 0}, {8, 8, 130, 100}, {150, 11, 0, 19}},
    };
    ShowFrame();
    QWidget* client = frame->centralWidget();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.area);
        const std::vector<QRect> expected{c.files, c.dirs, c.drives, c.report};
        const CMainLayout l = ComputeMainLayout(c.width, c.area);
        EXPECT_EQ((std::vector<QRect>{l.rcFileList, l.rcDirList, l.rcDriveBox, l.rcReport}),
                  expected);
        if (c.width < frame->minimumWidth())
            continue; // narrower than the menu bar lets the window be
        const QSize size(c.width, c.area);
        frame->resize(frame->size() - client->size() + size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return client->size() == size; }, 2000));
        const QRect drives(DriveBox()->geometry().topLeft(), c.drives.size()); // its own height
        EXPECT_EQ((std::vector<QRect>{FileList()->geometry(), DirList()->geometry(), drives,
                                      Report()->geometry()}),
                  expected);
        EXPECT_EQ(client->geometry().bottom() + 1, // the status bar lies below the client area
                  frame->findChild<QWidget*>("IDC_STATUS_BAR")->geometry().top());
    }
}

// First start with no settings, then a stored rectangle, maximised and restarted, then
// minimised and closed. What is stored is the outer rectangle, the frame included.
TEST_F(MainFrameTest, PlacementIsStoredAndRestored) {
    ShowFrame();
    ASSERT_TRUE(WaitForSetting("Maximise", SW_SHOW));
    const QRect outer = frame->frameGeometry();
    ASSERT_NE(outer.size(), frame->size()); // the headless platform draws a frame too
    EXPECT_EQ(Setting("Right") - Setting("Left"), outer.width());
    EXPECT_EQ(Setting("Bottom") - Setting("Top"), outer.height());
    EXPECT_GT(frame->width(), 200);
    frame->move(100, 80);
    frame->resize(800, 600);
    ASSERT_TRUE(WaitForSetting("Right", 100 + frame->frameGeometry().width()));
    EXPECT_EQ(Setting("Bottom"), 80 + frame->frameGeometry().height());

    StoreRect(40, 30, 680, 510);
    CreateFrame();
    ShowFrame();
    EXPECT_EQ(frame->frameGeometry(), QRect(40, 30, 640, 480));
    EXPECT_EQ(Setting("Right"), 680); // as it was: the start stored nothing new
    frame->showMaximized();
    ASSERT_TRUE(WaitForSetting("Maximise", SW_SHOWMAXIMIZED));
    EXPECT_EQ(Setting("Left"), 40);
    EXPECT_EQ(Setting("Right"), 680);
    CreateFrame();
    ShowWithCommand(*frame, Setting("Maximise"));
    EXPECT_TRUE(frame->isMaximized());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    // Restoring returns to this rectangle (the headless platform does not restore by itself).
    EXPECT_EQ(frame->normalGeometry().size(), QSize(640, 480));
    frame->showNormal();
    frame->setGeometry(frame->normalGeometry());
    ASSERT_TRUE(WaitForSetting("Maximise", SW_SHOW));
    EXPECT_EQ(Setting("Right") - Setting("Left"), 640);
    EXPECT_EQ(frame->frameGeometry().size(), QSize(640, 480));

    QTest::qWait(50);
    StoreRect(1, 2, 3, 4); // whatever is written from here on is the minimised state
    frame->showMinimized();
    frame->resize(300, 200);
    QTest::qWait(50);
    frame->close();
    EXPECT_EQ(Setting("Left"), 1);
    EXPECT_EQ(Setting("Bottom"), 4);
    EXPECT_EQ(Setting("Maximise"), SW_SHOW);
}

// A stored rectangle too large for the screens is cut to them (a window of absurd size would
// take memory without end), and what is stored back is the window's real rectangle.
TEST_F(MainFrameTest, AbsurdStoredRectanglesAreCutToTheScreen) {
    const QSize screen = QGuiApplication::primaryScreen()->availableVirtualGeometry().size();
    // The last value: the size asked for reaches past the screens, and is cut to them.
    const std::tuple<int, int, int, int, bool> cases[] = {{0, 0, INT_MAX, INT_MAX, true},
                                                          {10, 20, 40010, 520, false},
                                                          {INT_MIN, INT_MIN, 0, 0, false},
                                                          {-INT_MAX, -INT_MAX, 100, 100, true}};
    for (const auto& [left, top, right, bottom, cut] : cases) {
        StoreRect(left, top, right, bottom);
        CreateFrame();
        ShowFrame();
        const QSize outer = frame->frameGeometry().size();
        EXPECT_LE(outer.width(), screen.width()) << left << " " << right;
        EXPECT_LE(outer.height(), screen.height()) << top << " " << bottom;
        if (cut) {
            EXPECT_EQ(outer, screen) << left << " " << right;
        }
        frame->resize(frame->width() - 1, frame->height());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return Setting("Right") == Setting("Left") + frame->frameGeometry().width(); },
            2000));
        EXPECT_EQ(Setting("Bottom") - Setting("Top"), outer.height());
    }
}

// Lines appended during a run are taken into the view in bulk, some dropped unseen, with
// clears between: the view must end exactly as when every line is taken at once, and hold
// what the report buffer holds (the newest whole lines within the limit).
TEST_F(FrameFixture, ReportViewBatchingEndsAsLineByLineAppending) {
    uint32_t seed = 2000;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 20; ++round) {
        CMainFrame direct(store), batched(store);
        int length = 0;
        CReportBuffer held(length);
        held.Clear();
        batched.m_bReporting = 1;
        const int count = static_cast<int>(next(2000));
        for (int i = 0; i < count; ++i) {
            std::string text(next(next(8) == 0 ? 5000 : 120), static_cast<char>('a' + next(26)));
            if (next(10) == 0 && text.size() > 2)
                text.replace(next(static_cast<uint32_t>(text.size() - 1)), 2, "\r\n");
            if (next(500) == 0)
                text.assign(17000 + next(100), 'x'); // longer than the view can hold
            if (next(600) == 0) {
                EXPECT_TRUE(direct.RunCommand(ID_EDIT_CLEAR_SCREEN));
                EXPECT_TRUE(batched.RunCommand(ID_EDIT_CLEAR_SCREEN));
                held.Clear();
            }
            direct.AppendReportLine(text);
            batched.AppendReportLine(text);
            held.Append(text, false);
            if (next(400) == 0)
                batched.EndReporting(); // a catch-up in the middle of the run
        }
        batched.m_bReporting = 0;
        batched.EndReporting();
        QString shown;
        for (size_t i = 0; i < held.Lines().Size(); ++i)
            shown += DecodeReportText(held.Lines()[i]) + QLatin1Char('\n');
        EXPECT_EQ(direct.m_nReportLength, length) << round;
        EXPECT_EQ(batched.m_nReportLength, length) << round;
        EXPECT_TRUE(direct.findChild<QPlainTextEdit*>("IDC_REPORT")->toPlainText() == shown)
            << round;
        EXPECT_TRUE(batched.findChild<QPlainTextEdit*>("IDC_REPORT")->toPlainText() == shown)
            << round;
    }
}

} // namespace
