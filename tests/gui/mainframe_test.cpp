#include "framefixture.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/mainlayout.h"
#include "toolkit/filebrowser.h"

#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTextBlock>

#include <unistd.h>

namespace {

TEST(MainLayout, PlacesTheControlsByTheLayoutNumbers) {
    struct Case {
        int width, area;
        QRect files, dirs, drives, report;
    };
    const Case cases[] = {
        // A = 400: d = 128; file list 9 to 257, directory list 264 to 363, drive box at 368,
        // report view 11 to 390.
        {600, 400, {8, 9, 130, 248}, {8, 264, 130, 99}, {8, 368, 130, 100}, {150, 11, 438, 379}},
        {1000, 700, {8, 9, 130, 448}, {8, 464, 130, 199}, {8, 668, 130, 100}, {150, 11, 838, 679}},
        // d = (401 - 16) / 3 = 128 too: integer division.
        {600, 401, {8, 9, 130, 248}, {8, 264, 130, 99}, {8, 369, 130, 100}, {150, 11, 438, 380}},
        // Too small: heights and widths below zero become zero.
        {100, 40, {8, 9, 130, 8}, {8, 24, 130, 0}, {8, 8, 130, 100}, {150, 11, 0, 19}},
        {0, 0, {8, 9, 130, 0}, {8, -2, 130, 0}, {8, -32, 130, 100}, {150, 11, 0, 0}},
    };
    for (const Case& c : cases) {
        const CMainLayout layout = ComputeMainLayout(c.width, c.area);
        EXPECT_EQ(layout.rcFileList, c.files) << c.area;
        EXPECT_EQ(layout.rcDirList, c.dirs) << c.area;
        EXPECT_EQ(layout.rcDriveBox, c.drives) << c.area;
        EXPECT_EQ(layout.rcReport, c.report) << c.area;
    }
}

using MainFrameTest = FrameFixture;

TEST_F(MainFrameTest, ChildrenFollowTheClientSize) {
    store.WriteSettingInt("Window", "Left", 10);
    store.WriteSettingInt("Window", "Top", 10);
    store.WriteSettingInt("Window", "Right", 710);
    store.WriteSettingInt("Window", "Bottom", 510);
    ShowFrame();
    for (const QSize size : {QSize(700, 500), QSize(420, 260), QSize(300, 90)}) {
        frame->resize(size);
        QWidget* client = frame->centralWidget();
        ASSERT_TRUE(QTest::qWaitFor([&] { return frame->size() == size; }, 2000));
        const CMainLayout layout = ComputeMainLayout(client->width(), client->height());
        EXPECT_EQ(FileList()->geometry(), layout.rcFileList);
        EXPECT_EQ(DirList()->geometry(), layout.rcDirList);
        EXPECT_EQ(Report()->geometry(), layout.rcReport);
        EXPECT_EQ(DriveBox()->geometry().topLeft(), layout.rcDriveBox.topLeft());
        // The status bar lies below the client area.
        EXPECT_EQ(client->geometry().bottom() + 1,
                  frame->findChild<QWidget*>("IDC_STATUS_BAR")->geometry().top());
    }
}

TEST_F(MainFrameTest, PaintsGreyWithTwoSunkenBevels) {
    ShowFrame();
    frame->resize(600, 450);
    QWidget* client = frame->centralWidget();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->size() == QSize(600, 450); }, 2000));
    const QImage image = client->grab().toImage();
    const int w = client->width(), a = client->height();
    const QRgb grey = qRgb(192, 192, 192), dark = qRgb(128, 128, 128), light = qRgb(255, 255, 255);
    struct Pixel {
        int x, y;
        QRgb colour;
    };
    const Pixel pixels[] = {
        // Around the client area: rings at 0 and 1, the right one at w - 2 and w - 3.
        {0, 0, dark},
        {w - 2, 0, dark},
        {w - 1, 0, grey},
        {1, 1, dark},
        {w - 2, 1, light},
        {w - 3, 2, light},
        {0, a - 1, dark},
        {1, a - 1, light},
        {w - 2, a - 1, light},
        {2, a - 2, light},
        {1, a - 2, dark},
        {2, 2, grey},
        {4, 100, grey},
        // Around the report view: left 147, top 8, right w - 10, bottom a - 9.
        {147, 8, dark},
        {148, 9, dark},
        {147, 100, dark},
        {148, 100, dark},
        {149, 100, grey},
        {w - 10, 9, light},
        {w - 11, 100, light},
        {w - 9, 100, grey},
        {200, a - 9, light},
        {200, a - 10, light},
        {147, a - 9, dark},
        {200, 7, grey},
    };
    for (const Pixel& p : pixels)
        EXPECT_EQ(image.pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST_F(MainFrameTest, FirstStartStoresThePlacementTheWindowSystemChose) {
    ShowFrame();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return store.ReadSettingInt("Window", "Maximise", 0) == SW_SHOW; }, 2000));
    const int left = store.ReadSettingInt("Window", "Left", CW_USEDEFAULT);
    const int top = store.ReadSettingInt("Window", "Top", CW_USEDEFAULT);
    EXPECT_NE(left, CW_USEDEFAULT);
    EXPECT_NE(top, CW_USEDEFAULT);
    EXPECT_EQ(store.ReadSettingInt("Window", "Right", 0) - left, frame->width());
    EXPECT_EQ(store.ReadSettingInt("Window", "Bottom", 0) - top, frame->height());
    EXPECT_GT(frame->width(), 200);
}

void StoreRect(CSettingsStore& store, int left, int top, int right, int bottom) {
    store.WriteSettingInt("Window", "Left", left);
    store.WriteSettingInt("Window", "Top", top);
    store.WriteSettingInt("Window", "Right", right);
    store.WriteSettingInt("Window", "Bottom", bottom);
    store.WriteSettingInt("Window", "Maximise", SW_SHOW);
}

TEST_F(MainFrameTest, MaximisedStartsMaximisedAndRestoresTheLastNormalRectangle) {
    StoreRect(store, 40, 30, 680, 510);
    ShowFrame();
    EXPECT_EQ(QRect(frame->pos(), frame->size()), QRect(40, 30, 640, 480));
    frame->showMaximized();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return store.ReadSettingInt("Window", "Maximise", 0) == SW_SHOWMAXIMIZED; }, 2000));
    EXPECT_EQ(store.ReadSettingInt("Window", "Left", 0), 40);
    EXPECT_EQ(store.ReadSettingInt("Window", "Right", 0), 680);
    frame.reset();

    CreateFrame();
    ShowWithCommand(*frame, store.ReadSettingInt("Window", "Maximise", SW_SHOW));
    EXPECT_TRUE(frame->isMaximized());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    // Restoring returns to this rectangle (the headless platform does not restore by itself).
    EXPECT_EQ(frame->normalGeometry().size(), QSize(640, 480));
    EXPECT_EQ(store.ReadSettingInt("Window", "Left", 0), 40);
    frame->showNormal();
    frame->setGeometry(frame->normalGeometry());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return store.ReadSettingInt("Window", "Maximise", 0) == SW_SHOW; }, 2000));
    EXPECT_EQ(store.ReadSettingInt("Window", "Right", 0) -
                  store.ReadSettingInt("Window", "Left", 0),
              640);
}

TEST_F(MainFrameTest, MinimisingStoresNothing) {
    StoreRect(store, 40, 30, 680, 510);
    ShowFrame();
    StoreRect(store, 1, 2, 3, 4); // whatever is written from here on is the minimised state
    frame->showMinimized();
    frame->resize(300, 200);
    QTest::qWait(50);
    frame->close();
    EXPECT_EQ(store.ReadSettingInt("Window", "Left", 0), 1);
    EXPECT_EQ(store.ReadSettingInt("Window", "Bottom", 0), 4);
    EXPECT_EQ(store.ReadSettingInt("Window", "Maximise", 0), SW_SHOW);
}

TEST_F(MainFrameTest, TabCyclesTheFourControlsForwardOnly) {
    ShowFrame();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    EXPECT_EQ(QApplication::focusWidget(), Report()); // activation focuses the report view

    QWidget* const cycle[] = {FileList(), DirList(), DriveBox(), Report(), FileList()};
    for (QWidget* expected : cycle) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected);
    }
    // No way back, and Ctrl+Tab moves nothing.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), FileList());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), FileList());

    // From outside the four controls: the file list.
    DirList()->setFocus();
    QApplication::focusWidget()->clearFocus();
    QTest::keyClick(frame.get(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), FileList());
}

TEST_F(MainFrameTest, ActivationPutsTheFocusInTheReportView) {
    ShowFrame();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    DirList()->setFocus();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    EXPECT_EQ(QApplication::focusWidget(), Report());
}

TEST_F(MainFrameTest, AppendTrimsWholeOldestLinesToStayWithinTheLimit) {
    CreateFrame();
    // 159 lines of 100 characters with their CR LF, and one of 90: 10 below the limit.
    const std::string hundred(98, 'x');
    for (int i = 0; i < 159; ++i)
        frame->AppendReportLine(std::to_string(1000 + i) + hundred.substr(4));
    frame->AppendReportLine(std::string(88, 'y'));
    ASSERT_EQ(frame->m_nReportLength, REPORT_VIEW_LIMIT - 10);

    // 20 more characters: the first line goes, so that at most LIMIT - 22 are left before.
    frame->AppendReportLine(std::string(20, 'z'));
    EXPECT_EQ(frame->m_nReportLength, REPORT_VIEW_LIMIT - 10 - 100 + 22);
    EXPECT_EQ(Report()->document()->firstBlock().text().left(4), "1001");
    EXPECT_EQ(static_cast<int>(ReportText().size()), frame->m_nReportLength);
    EXPECT_TRUE(ReportText().ends_with(std::string(20, 'z') + "\r\n"));

    // A long line drops as many lines as it needs.
    frame->AppendReportLine(std::string(1030, 'w'));
    EXPECT_LE(frame->m_nReportLength, REPORT_VIEW_LIMIT);
    EXPECT_EQ(static_cast<int>(ReportText().size()), frame->m_nReportLength);
    EXPECT_EQ(Report()->document()->firstBlock().text().left(4), "1011");
}

TEST_F(MainFrameTest, AppendedTextIsShownLineByLine) {
    CreateFrame();
    frame->AppendReportLine("*** End of Report ***\r\n"); // its own CR LF: an empty line follows
    frame->AppendReportLine("\xC3\xA9t\xC3\xA9");         // UTF-8
    frame->AppendReportLine("\xE9t\xE9");                 // not UTF-8: Latin-1
    frame->AppendReportLine("lone\nLF and lone\rCR");
    EXPECT_EQ(Report()->document()->blockCount(), 6); // five lines and the empty end
    EXPECT_EQ(Report()->document()->findBlockByNumber(1).text(), "");
    EXPECT_EQ(Report()->document()->findBlockByNumber(2).text(), QString::fromUtf8("été"));
    EXPECT_EQ(Report()->document()->findBlockByNumber(3).text(), QString::fromUtf8("été"));
    // Lengths count the bytes of the 8-bit text.
    EXPECT_EQ(frame->m_nReportLength, 23 + 2 + 5 + 2 + 3 + 2 + 19 + 2);
}

TEST_F(MainFrameTest, AfterClearScreenTheNextLineStartsAtTheTop) {
    ShowFrame();
    frame->AppendReportLine("first");
    frame->AppendReportLine("second");
    ASSERT_TRUE(frame->RunCommand(ID_EDIT_CLEAR_SCREEN));
    EXPECT_EQ(frame->m_nReportLength, 0);
    EXPECT_TRUE(Report()->toPlainText().isEmpty());
    frame->AppendReportLine("third");
    EXPECT_EQ(ReportText(), "third\r\n");
    EXPECT_EQ(Report()->document()->firstBlock().text(), "third");
    EXPECT_EQ(Report()->textCursor().position(), 6);
    EXPECT_EQ(frame->m_nReportLength, 7);
}

TEST_F(MainFrameTest, MenuPromptsInTheStatusBarThenReady) {
    ShowFrame();
    auto* pane = Child<QLabel>("MessagePane");
    EXPECT_EQ(pane->text(), "Ready");
    frame->SetStatusText(std::string(100, 'r'));
    EXPECT_EQ(pane->text().size(), 100);
    frame->SetStatusText(ID_FILE_EDIT_FILE); // a string id: cut to 79 characters
    EXPECT_EQ(pane->text().toStdString(),
              std::string("Use the highlighted text in the edit field as a file name to be edited")
                  .substr(0, 79));

    auto* menuBar = Child<QMenuBar>("ApplicationMenu");
    QMenu* fileMenu = menuBar->actions().at(0)->menu();
    menuBar->setActiveAction(fileMenu->menuAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }, 2000));
    for (QAction* action : fileMenu->actions()) {
        if (action->isSeparator() || !action->isEnabled())
            continue;
        fileMenu->setActiveAction(action);
        EXPECT_EQ(pane->text(), action->statusTip());
    }
    fileMenu->setActiveAction(fileMenu->actions().at(0));
    EXPECT_EQ(pane->text(), "Set the output file for reports");
    fileMenu->hide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileMenu->isVisible(); }, 2000));
    QTest::qWait(20);
    EXPECT_EQ(pane->text(), "Ready");
}

TEST_F(MainFrameTest, OpeningTheMenuBarRefreshesTheTitle) {
    ShowFrame();
    const std::string before = CurrentDirectory();
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    auto* menuBar = Child<QMenuBar>("ApplicationMenu");
    QMenu* editMenu = menuBar->actions().at(1)->menu();
    menuBar->setActiveAction(editMenu->menuAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return editMenu->isVisible(); }, 2000));
    EXPECT_EQ(frame->windowTitle().toStdString(), "Kavel 2000 - " + dir.Path());
    editMenu->hide();
    ASSERT_EQ(::chdir(before.c_str()), 0);
}

} // namespace

namespace {

// Lines appended during a run are taken into the view in bulk: the view must end exactly as
// when every line is taken at once.
TEST(ReportViewBatching, EndsAsLineByLineAppending) {
    CTempDir dir;
    CSettingsStore store(QString::fromStdString(dir / "settings.conf"));
    uint32_t seed = 2000;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 20; ++round) {
        CMainFrame direct(store), batched(store);
        batched.m_bReporting = 1;
        const int count = static_cast<int>(next(2000));
        for (int i = 0; i < count; ++i) {
            std::string text(next(next(8) == 0 ? 5000 : 120), static_cast<char>('a' + next(26)));
            if (next(10) == 0 && text.size() > 2)
                text.replace(next(static_cast<uint32_t>(text.size() - 1)), 2, "\r\n");
            if (next(500) == 0)
                text.assign(17000 + next(100), 'x'); // longer than the view can hold
            direct.AppendReportLine(text);
            batched.AppendReportLine(text);
        }
        batched.m_bReporting = 0;
        batched.EndReporting();
        const auto* directView = direct.findChild<QPlainTextEdit*>("IDC_REPORT");
        const auto* batchedView = batched.findChild<QPlainTextEdit*>("IDC_REPORT");
        EXPECT_EQ(batched.m_nReportLength, direct.m_nReportLength) << round;
        EXPECT_TRUE(batchedView->toPlainText() == directView->toPlainText()) << round;
    }
}

} // namespace
