#include "core/text/dirlisting.h"
#include "core/text/resource.h"
#include "framefixture.h"
#include "gui/window/app.h"
#include "gui/window/commands.h"
#include "gui/window/mainlayout.h"

#include <QAccessible>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMoveEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <climits>
#include <cstdlib>
#include <functional>
#include <sys/stat.h>
#include <tuple>

namespace {

TEST(MainLayout, PlacesTheControlsByTheLayoutNumbers) {
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
    for (const Case& c : cases) {
        const CMainLayout l = ComputeMainLayout(c.width, c.area);
        EXPECT_EQ((std::vector<QRect>{l.rcFileList, l.rcDirList, l.rcDriveBox, l.rcReport}),
                  (std::vector<QRect>{c.files, c.dirs, c.drives, c.report}))
            << c.area;
    }
}

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
        for (auto [key, value] : {std::pair("Left", left),
                                  {"Top", top},
                                  {"Right", right},
                                  {"Bottom", bottom},
                                  {"Maximise", SW_SHOW}})
            store.WriteSettingInt("Window", key, value);
    }
    int Setting(const char* key) { return store.ReadSettingInt("Window", key, CW_USEDEFAULT); }
    bool WaitForSetting(const char* key, int value) {
        return QTest::qWaitFor([&] { return Setting(key) == value; }, 2000);
    }
};

// The controls follow the layout at several sizes; the client area is grey with sunken
// bevels around itself and around the report view.
TEST_F(MainFrameTest, ChildrenFollowTheClientSizeAndTheFramesArePainted) {
    StoreRect(10, 10, 710, 510);
    ShowFrame();
    QWidget* client = frame->centralWidget();
    for (const QSize size : {QSize(420, 260), QSize(300, 90), QSize(600, 450)}) {
        frame->resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return frame->size() == size; }, 2000));
        const CMainLayout layout = ComputeMainLayout(client->width(), client->height());
        EXPECT_EQ(FileList()->geometry(), layout.rcFileList);
        EXPECT_EQ(DirList()->geometry(), layout.rcDirList);
        EXPECT_EQ(Report()->geometry(), layout.rcReport);
        EXPECT_EQ(DriveBox()->geometry().topLeft(), layout.rcDriveBox.topLeft());
        EXPECT_EQ(client->geometry().bottom() + 1, // the status bar lies below the client area
                  frame->findChild<QWidget*>("IDC_STATUS_BAR")->geometry().top());
    }
    const QImage image = client->grab().toImage();
    const int w = client->width(), a = client->height();
    const QRgb grey = qRgb(192, 192, 192), dark = qRgb(128, 128, 128), light = qRgb(255, 255, 255);
    // Rings around the client area at 0 and 1 (right at w - 2 and w - 3); around the report
    // view at left 147, top 8, right w - 10, bottom a - 9.
    const std::tuple<int, int, QRgb> pixels[] = {
        {0, 0, dark},      {w - 1, 0, grey},     {1, 1, dark},       {w - 3, 2, light},
        {1, a - 1, light}, {1, a - 2, dark},     {2, 2, grey},       {147, 8, dark},
        {148, 100, dark},  {w - 11, 100, light}, {w - 9, 100, grey}, {200, a - 10, light},
    };
    for (const auto& [x, y, colour] : pixels)
        EXPECT_EQ(image.pixel(x, y), colour) << x << "," << y;
    // Each pane's frame is drawn a pixel around it: the last one's right border lies inside
    // the status bar, not past the window's edge.
    const QWidget* bar = frame->findChild<QWidget*>("IDC_STATUS_BAR");
    const QWidget* scrl = bar->findChild<QWidget*>("SCRL");
    EXPECT_LT(scrl->geometry().right() + 1, bar->width() - 1);
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

// A window started minimised stores its placement once it is restored, though its size may not
// change on the way.
TEST_F(MainFrameTest, RestoringAMinimisedWindowStoresItsPlacement) {
    StoreRect(40, 30, 680, 510);
    CreateFrame();
    ShowWithCommand(*frame, 7); // minimised, not active: as a shortcut can start it
    QTest::qWait(50);
    store.WriteSettingInt("Window", "Maximise", SW_SHOWMAXIMIZED); // from an earlier start
    StoreRect(1, 2, 3, 4);
    frame->showNormal();
    ASSERT_TRUE(WaitForSetting("Maximise", SW_SHOW));
    EXPECT_EQ(Setting("Right") - Setting("Left"), frame->frameGeometry().width());
}

// An X11 window manager restoring a maximised window tells the new state before the new size:
// the window is briefly normal at its maximised size. Started maximised, the window restores
// to the stored outer rectangle all the same, and stores it back unchanged.
TEST_F(MainFrameTest, RestoringAWindowStartedMaximisedGivesTheStoredRectangle) {
    StoreRect(40, 30, 680, 510);
    store.WriteSettingInt("Window", "Maximise", SW_SHOWMAXIMIZED);
    CreateFrame();
    ShowWithCommand(*frame, SW_SHOWMAXIMIZED);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->isMaximized(); }, 2000));
    QTest::qWait(50);
    const QSize maximised = frame->size();
    ASSERT_NE(maximised, QSize(640, 480));

    frame->overrideWindowState(Qt::WindowNoState);
    QMoveEvent stale(frame->pos(), frame->pos());
    QCoreApplication::sendEvent(frame.get(), &stale);
    EXPECT_EQ(frame->size(), maximised);
    frame->setGeometry(QRect(QPoint(40, 30), QSize(640, 480)));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frame->frameGeometry().size() == QSize(640, 480); }, 2000))
        << frame->frameGeometry().width() << "x" << frame->frameGeometry().height();
    ASSERT_TRUE(WaitForSetting("Maximise", SW_SHOW));
    EXPECT_EQ(Setting("Right") - Setting("Left"), 640);
    EXPECT_EQ(Setting("Bottom") - Setting("Top"), 480);
}

// A stored rectangle too large for the screens is cut to them (a window of absurd size would
// take memory without end), and what is stored back is the window's real rectangle.
TEST_F(MainFrameTest, AbsurdStoredRectanglesAreCutToTheScreen) {
    const QSize screen = QGuiApplication::primaryScreen()->availableVirtualGeometry().size();
    // The last value: the size asked for reaches past the screens, and is cut to them.
    const std::tuple<int, int, int, int, bool> cases[] = {
        {0, 0, INT_MAX, INT_MAX, true},      {10, 20, 40010, 520, false},
        {-5, 0, 300, INT_MAX, false},        {INT_MAX - 100, 0, INT_MAX, 200, false},
        {INT_MIN, INT_MIN, 0, 0, false},     {-100, -100, INT_MAX, INT_MAX, true},
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

// The keyboard chooses as the mouse does: Enter or Space in the directory list enters the
// highlighted directory, Enter in the volume box enters the volume shown.
TEST_F(MainFrameTest, EnterAndSpaceEnterDirectoriesAndVolumes) {
    const std::string before = CurrentDirectory();
    CTempDir tree;
    ASSERT_EQ(::mkdir((tree / "sub").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((tree / "sub/caf\xe9").c_str(), 0755), 0); // not UTF-8
    ASSERT_EQ(EnterDirectory(tree.Path()), 0);
    const std::string top = CurrentDirectory();
    ShowFrame(true);
    const auto highlight = [&](const char* text) {
        const QList<QListWidgetItem*> items =
            DirList()->findItems(QString::fromUtf8(text), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << text;
        DirList()->setCurrentItem(items[0], QItemSelectionModel::NoUpdate);
    };
    DirList()->setFocus();
    highlight("[sub]");
    QTest::keyClick(DirList(), Qt::Key_Return);
    EXPECT_EQ(CurrentDirectory(), top + "/sub");
    EXPECT_EQ(frame->windowTitle(), QString::fromStdString("Kavel 2000 - " + top + "/sub"));
    highlight("[caf\u00e9]"); // shown as Latin-1, as the report shows it
    QTest::keyClick(DirList(), Qt::Key_Space);
    EXPECT_EQ(CurrentDirectory(), top + "/sub/caf\xe9");
    EXPECT_EQ(frame->windowTitle(),
              QString::fromStdString("Kavel 2000 - " + top) + QString::fromUtf8("/sub/caf\u00e9"));
    // The volume box: the home volume chosen with the arrow keys is entered by Enter, at its
    // top as nothing was used on it yet.
    CTempDir home;
    const char* oldHome = std::getenv("HOME");
    const std::string keptHome = oldHome ? oldHome : "";
    ::setenv("HOME", home.Path().c_str(), 1);
    ForgetVolumeDirectories();
    DriveBox()->setFocus();
    DriveBox()->setCurrentIndex(DriveBox()->findText(QStringLiteral("[-~-]")));
    QTest::keyClick(DriveBox(), Qt::Key_Return);
    EXPECT_EQ(CurrentDirectory(), HomeDirectory());
    if (oldHome)
        ::setenv("HOME", keptHome.c_str(), 1);
    else
        ::unsetenv("HOME");
    ForgetVolumeDirectories();
    EXPECT_EQ(::chdir(before.c_str()), 0);
}

// Every control of the window has a name for a screen reader, and a description: the browser,
// the report, the menu and the status bar with its panes.
TEST_F(MainFrameTest, EveryControlIsNamedForScreenReaders) {
    ShowFrame();
    std::vector<QWidget*> controls{Child<QMenuBar>("ApplicationMenu"),
                                   Child<QLabel>("MessagePane")};
    for (QWidget* widget : frame->findChildren<QWidget*>())
        if (widget->property("controlId").isValid())
            controls.push_back(widget);
    EXPECT_GE(controls.size(), 10u); // 4 browser and report controls, the bar, its 4 panes
    for (QWidget* widget : controls) {
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(node, nullptr);
        EXPECT_FALSE(node->text(QAccessible::Name).isEmpty()) << widget->objectName().toStdString();
        EXPECT_FALSE(node->text(QAccessible::Description).isEmpty())
            << widget->objectName().toStdString();
    }
    const auto name = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).toStdString();
    };
    EXPECT_EQ(name(FileList()), "Files");
    EXPECT_EQ(name(DirList()), "Folders");
    EXPECT_EQ(name(Report()), "Report");
    // The message pane says what it is, and carries its text as it changes.
    EXPECT_EQ(name(Child<QLabel>("MessagePane")), "Status: Ready");
    frame->SetStatusText("12 line(s) checked");
    EXPECT_EQ(name(Child<QLabel>("MessagePane")), "Status: 12 line(s) checked");
    EXPECT_TRUE(name(Child<QLabel>("CAP")).starts_with("Caps Lock o"));
    // The volume box is read by what it shows, and labelled "Volume".
    std::vector<std::string> labels;
    for (const auto& [label, relation] :
         QAccessible::queryAccessibleInterface(DriveBox())->relations(QAccessible::Label))
        labels.push_back(label->text(QAccessible::Name).toStdString());
    EXPECT_EQ(labels, std::vector<std::string>{"Volume"});
}

// A screen reader reads a menu item by its name alone, its key apart, and its state as the
// rules have it before any menu has been opened; a key shown beside an item is no accelerator.
TEST_F(MainFrameTest, MenuItemsReadByNameWithTheirStatesBeforeAMenuOpens) {
    ShowFrame(true);
    QMenuBar* menuBar = Child<QMenuBar>("ApplicationMenu");
    const auto item = [&](int menu, int index) {
        return QAccessible::queryAccessibleInterface(menuBar->actions().at(menu)->menu())
            ->child(index);
    };
    QAccessibleInterface* copy = item(1, 0);
    EXPECT_EQ(copy->text(QAccessible::Name).toStdString(), "Copy");
    EXPECT_EQ(copy->text(QAccessible::Accelerator).toStdString(), "Ctrl+C");
    EXPECT_EQ(item(2, 0)->text(QAccessible::Name).toStdString(), "Index");
    EXPECT_TRUE(copy->state().disabled);
    EXPECT_TRUE(item(0, 6)->state().disabled);  // Stop reporting
    EXPECT_FALSE(item(0, 5)->state().disabled); // Start Reporting
    frame->AppendReportLine("/tmp/a.c");
    Report()->selectAll();
    EXPECT_FALSE(copy->state().disabled);
    // Ctrl+C with the menu bar in the focus does not copy; F1 there still asks for help on the
    // window, as F1 does everywhere in it.
    QApplication::clipboard()->clear();
    menuBar->setFocus();
    QTest::keyClick(menuBar, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
    for (QWidget* where : {static_cast<QWidget*>(menuBar), static_cast<QWidget*>(Report())}) {
        helpCalls.clear();
        where->setFocus();
        QTest::keyClick(where, Qt::Key_F1);
        EXPECT_EQ(helpCalls, (HelpCalls{{HELP_CONTEXT, 3000}}));
    }
}

// The window carries the program's icon, for the window manager and the task bar.
TEST_F(MainFrameTest, TheWindowCarriesTheProgramsIcon) {
    CreateFrame();
    ASSERT_FALSE(frame->windowIcon().isNull());
    EXPECT_EQ(frame->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
              QImage(QStringLiteral(":/kavel/icon.xpm")).convertToFormat(QImage::Format_ARGB32));
}

// A start and an exit that change nothing leave the settings file as it was.
TEST_F(MainFrameTest, AStartAndExitWithoutChangesWriteNothing) {
    StoreRect(40, 30, 680, 510);
    CreateFrame();
    ShowFrame();
    QTest::qWait(50);
    frame->close();
    frame.reset();
    struct stat before {};
    ASSERT_EQ(::stat((dir / "settings.conf").c_str(), &before), 0);
    CSettingsStore again(QString::fromStdString(dir / "settings.conf"));
    frame = std::make_unique<CFixedClockFrame>(again);
    ShowFrame();
    QTest::qWait(50);
    frame->close();
    frame.reset();
    struct stat after {};
    ASSERT_EQ(::stat((dir / "settings.conf").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino); // a write puts a new file in its place
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(MainFrameTest, TabCyclesTheFourControlsForwardOnlyAndActivationFocusesTheReport) {
    ShowFrame(true);
    EXPECT_EQ(QApplication::focusWidget(), Report());
    for (QWidget* expected :
         std::initializer_list<QWidget*>{FileList(), DirList(), DriveBox(), Report(), FileList()}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected);
    }
    // No way back, and Ctrl+Tab moves nothing.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), FileList());
    // From outside the four controls: the file list.
    QApplication::focusWidget()->clearFocus();
    QTest::keyClick(frame.get(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), FileList());
}

TEST_F(MainFrameTest, AppendTrimsWholeOldestLinesToStayWithinTheLimit) {
    CreateFrame();
    // 159 lines of 100 characters with their CR LF, and one of 90: 10 below the limit.
    for (int i = 0; i < 159; ++i)
        frame->AppendReportLine(std::to_string(1000 + i) + std::string(94, 'x'));
    frame->AppendReportLine(std::string(88, 'y'));
    ASSERT_EQ(frame->m_nReportLength, REPORT_VIEW_LIMIT - 10);
    auto first = [&] { return Report()->document()->firstBlock().text().left(4); };
    // 20 more characters: the first line goes, so that at most LIMIT - 22 are left before.
    frame->AppendReportLine(std::string(20, 'z'));
    EXPECT_EQ(frame->m_nReportLength, REPORT_VIEW_LIMIT - 10 - 100 + 22);
    EXPECT_EQ(first(), "1001");
    EXPECT_TRUE(ReportText().ends_with(std::string(20, 'z') + "\r\n"));
    // A long line drops as many lines as it needs.
    frame->AppendReportLine(std::string(1030, 'w'));
    EXPECT_EQ(static_cast<int>(ReportText().size()), frame->m_nReportLength);
    EXPECT_EQ(first(), "1011");
}

TEST_F(MainFrameTest, AfterClearScreenTheNextLineStartsAtTheTop) {
    ShowFrame();
    frame->AppendReportLine("first");
    frame->AppendReportLine("second");
    ASSERT_TRUE(frame->RunCommand(ID_EDIT_CLEAR_SCREEN));
    EXPECT_EQ(frame->m_nReportLength, 0);
    frame->AppendReportLine("third");
    EXPECT_EQ(ReportText(), "third\r\n");
    EXPECT_EQ(Report()->textCursor().position(), 6);
    EXPECT_EQ(frame->m_nReportLength, 7);
}

// A catch-up during a run, whether it replaces every line or only some, leaves the newest
// line in sight at the bottom of the view.
TEST_F(MainFrameTest, CatchUpsKeepTheNewestLineInSight) {
    ShowFrame();
    frame->m_bReporting = 1;
    for (int count : {3000, 40, 1}) {
        for (int i = 0; i < count; ++i)
            frame->AppendReportLine("line " + std::to_string(i) + std::string(40, '.'));
        frame->EndReporting();
        EXPECT_GT(Report()->verticalScrollBar()->maximum(), 0) << count;
        EXPECT_TRUE(Report()->textCursor().atEnd()) << count;
        QTextCursor newest(Report()->document()->lastBlock().previous());
        EXPECT_EQ(newest.block().text().toStdString(),
                  "line " + std::to_string(count - 1) + std::string(40, '.'));
        EXPECT_TRUE(Report()->viewport()->rect().contains(Report()->cursorRect(newest))) << count;
    }
    frame->m_bReporting = 0;
}

// Menu items show their prompts and follow the enable rules when the menu opens; "Ready"
// comes back when it closes.
TEST_F(MainFrameTest, FileMenuPromptsAndEnablesItsItems) {
    ShowFrame();
    auto* pane = Child<QLabel>("MessagePane");
    EXPECT_EQ(pane->text(), "Ready");
    auto* menuBar = Child<QMenuBar>("ApplicationMenu");
    QMenu* fileMenu = menuBar->actions().at(0)->menu();
    auto enabled = [&](int id) {
        return fileMenu->findChild<QAction*>(QString::number(id))->isEnabled();
    };
    frame->AppendReportLine("/tmp/a.c");
    Report()->selectAll(); // Edit File needs a selection
    menuBar->setActiveAction(fileMenu->menuAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }, 2000));
    EXPECT_TRUE(enabled(ID_FILE_START_REPORTING) && enabled(ID_FILE_EDIT_FILE));
    EXPECT_FALSE(enabled(ID_FILE_STOP_REPORTING));
    for (QAction* action : fileMenu->actions())
        if (!action->isSeparator() && action->isEnabled()) {
            fileMenu->setActiveAction(action);
            EXPECT_EQ(pane->text(), action->statusTip());
            EXPECT_FALSE(action->statusTip().isEmpty());
        }
    fileMenu->hide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileMenu->isVisible(); }, 2000));
    QTest::qWait(20);
    EXPECT_EQ(pane->text(), "Ready");
}

// During a run a menu's prompts stay in the pane while the menu is open, whatever progress the
// run shows meanwhile; the newest progress comes back when the menu closes.
TEST_F(MainFrameTest, MenuPromptsStayDuringARunAndProgressResumesAfter) {
    ShowFrame();
    auto* pane = Child<QLabel>("MessagePane");
    QMenu* fileMenu = Child<QMenuBar>("ApplicationMenu")->actions().at(0)->menu();
    const auto drainFor = [&](int ms, const std::function<bool()>& until) {
        return QTest::qWaitFor(
            [&] {
                frame->DrainMessageQueue();
                return until();
            },
            ms);
    };
    frame->m_bReporting = 1;
    frame->SetStatusText("Checking one");
    ASSERT_TRUE(drainFor(2000, [&] { return pane->text() == "Checking one"; }));
    Child<QMenuBar>("ApplicationMenu")->setActiveAction(fileMenu->menuAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }, 2000));
    QAction* stop = fileMenu->findChild<QAction*>(QString::number(ID_FILE_STOP_REPORTING));
    fileMenu->setActiveAction(stop);
    frame->SetStatusText("Checking two");
    drainFor(300, [] { return false; }); // several catch-ups pass
    EXPECT_EQ(pane->text().toStdString(), stop->statusTip().toStdString());
    fileMenu->hide();
    EXPECT_TRUE(drainFor(2000, [&] { return pane->text() == "Checking two"; }))
        << pane->text().toStdString();
    frame->m_bReporting = 0;
}

// Lines appended during a run are taken into the view in bulk, some dropped unseen: the view
// must end exactly as when every line is taken at once.
TEST_F(FrameFixture, ReportViewBatchingEndsAsLineByLineAppending) {
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
            if (next(400) == 0)
                batched.EndReporting(); // a catch-up in the middle of the run
        }
        batched.m_bReporting = 0;
        batched.EndReporting();
        EXPECT_EQ(batched.m_nReportLength, direct.m_nReportLength) << round;
        EXPECT_TRUE(batched.findChild<QPlainTextEdit*>("IDC_REPORT")->toPlainText() ==
                    direct.findChild<QPlainTextEdit*>("IDC_REPORT")->toPlainText())
            << round;
    }
}

} // namespace
