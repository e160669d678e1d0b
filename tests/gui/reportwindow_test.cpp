#include "core/lines/linefile.h"
#include "framefixture.h"
#include "gui/base/dirlisting.h"
#include "gui/window/stopsignals.h"
#include "support/reporttext.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <QMessageBox>
#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Files to check in src/ (the current directory), a strings file and an output path beside
// it, both named in the settings.
struct ReportWindowTest : FrameFixture {
    CTempDir files;
    std::string before = CurrentDirectory();
    std::string src = files / "src", output = files / "OUTPUT.TXT", strings = files / "y2k.str";

    void SetUp() override {
        ASSERT_EQ(::mkdir(src.c_str(), 0700), 0);
        WriteWholeFile(strings, "year\r\nDATE\r\n");
        WriteWholeFile(src + "/a.c", "int Year = 97;\r\nint x;\r\nDATE d; /* date */\r\n");
        WriteWholeFile(src + "/b.txt", "nothing\r\nhere\r\n");
        WriteWholeFile(src + "/c.cob", "MOVE YR TO X.\r\n\r\nACCEPT TODAY FROM DATE.");
        store.WriteSettingString("Application", "Output", output);
        store.WriteSettingString("Application", "SearchStrings", strings);
        ASSERT_EQ(::chdir(src.c_str()), 0);
        NewFrame();
    }
    void TearDown() override { ASSERT_EQ(::chdir(before.c_str()), 0); }

    void NewFrame() {
        CreateFrame();
        frame->m_drainInterval = std::chrono::milliseconds(0); // a drain after every line
        frame->m_nJobs = 1; // a stop after the very line at which it came
    }
    void Select(const std::vector<const char*>& names) {
        for (const char* name : names) {
            const auto items = FileList()->findItems(QLatin1String(name), Qt::MatchExactly);
            ASSERT_EQ(items.size(), 1) << name;
            items[0]->setSelected(true);
        }
    }
    std::string Header() const { return ReportHeader(output, strings); }
    std::string Pane() const { return Child<QLabel>("MessagePane")->text().toStdString(); }
    void Start() { ASSERT_TRUE(frame->RunCommand(ID_FILE_START_REPORTING)); }
    template <typename F> void DuringRun(F f) { QTimer::singleShot(0, frame.get(), f); }
};

// Runs one after another in one window: the view keeps what came before, the output file holds
// the last run, files come in the list's order. During a run only Stop and Help run and the
// file controls are off. Stop answered Yes ends the run after the line being checked, No lets
// it go on; Clear Screen empties the view and the run goes on; a close request stops the run
// without asking and closes the window once the run is off the stack.
TEST_F(ReportWindowTest, RunsOneAfterAnotherWithStopClearAndClose) {
    const std::string a1 = Header() + src + "/a.c\r\n" + ReportHit(1, "int Year = 97;");
    const std::string cob = src + "/c.cob\r\n" + ReportHit(3, "ACCEPT TODAY FROM DATE.") +
                            ReportSummary(3, 1) + "\r\n" + END_LINE;
    const std::string full =
        a1 + ReportHit(3, "DATE d; /* date */") + ReportSummary(3, 2) + "\r\n" + cob;
    // Stopped at the first drain, after line 1 of a.c.
    const std::string stopped = a1 + ReportSummary(1, 1) + "\r\n" + CANCEL_LINE;
    const std::string cleared = full.substr(full.find("  >int Year = 97;\r\n") + 19);
    constexpr int CLOSE = -1;
    const struct {
        std::vector<const char*> files;
        int reply, command;
        std::string file;
    } cases[] = {{{"c.cob", "a.c"}, IDYES, 0, full},
                 {{"c.cob"}, IDYES, 0, Header() + cob},
                 {{"a.c", "c.cob"}, IDNO, ID_FILE_STOP_REPORTING, full},
                 {{"a.c", "c.cob"}, IDYES, ID_FILE_STOP_REPORTING, stopped},
                 {{"a.c", "c.cob"}, IDYES, ID_EDIT_CLEAR_SCREEN, full},
                 {{"a.c", "c.cob"}, IDYES, CLOSE, stopped}};
    ShowFrame(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        answer = c.reply;
        boxes.clear();
        helpCalls.clear();
        FileList()->clearSelection();
        Select(c.files);
        const std::string view =
            c.command == ID_EDIT_CLEAR_SCREEN ? cleared : ReportText() + c.file;
        DuringRun([&] {
            EXPECT_FALSE(FileList()->isEnabled() || DirList()->isEnabled() ||
                         DriveBox()->isEnabled());
            for (int id :
                 {ID_FILE_SET_OUTPUT, ID_FILE_SET_SEARCH_STRINGS, ID_FILE_EDIT_SEARCH_STRINGS,
                  ID_FILE_START_REPORTING, ID_FILE_EXIT, ID_EDIT_COPY_REPORT})
                EXPECT_FALSE(frame->RunCommand(id)) << id;
            for (int id : {ID_HELP_INDEX, ID_HELP_USING, ID_HELP_SEARCH})
                EXPECT_TRUE(frame->RunCommand(id)) << id;
            QTest::keyClick(Report(), Qt::Key_F1);
            QTest::keyClick(Report(), Qt::Key_F1, Qt::ShiftModifier); // no effect
            if (c.command == CLOSE) {
                frame->close();
            } else if (c.command != 0) {
                EXPECT_TRUE(frame->RunCommand(c.command));
            }
            EXPECT_TRUE(frame->isVisible());
        });
        Start();
        EXPECT_EQ(ReadWholeFile(output), c.file);
        EXPECT_EQ(ReportText(), view);
        EXPECT_EQ(static_cast<int>(view.size()), frame->m_nReportLength);
        EXPECT_EQ(frame->isVisible(), c.command != CLOSE);
        EXPECT_EQ(Pane(), "Ready");
        EXPECT_TRUE(FileList()->isEnabled() && DirList()->isEnabled() && DriveBox()->isEnabled());
        EXPECT_EQ(helpCalls, (HelpCalls{{HELP_INDEX, 0},
                                        {HELP_HELPONHELP, 0},
                                        {HELP_PARTIALKEY, 0},
                                        {HELP_CONTEXT, 3000}}));
        const int question = ((MB_YESNO | MB_ICONQUESTION) << 8) | 2;
        EXPECT_EQ(boxes, (c.command == ID_FILE_STOP_REPORTING
                              ? decltype(boxes){{"Are you sure you wish to stop the reporting ?",
                                                 question}}
                              : decltype(boxes){}));
    }
}

// Reads that take their time, so that a run lasts until a box has come on any machine.
ssize_t SlowRead(int fd, void* buffer, size_t count) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return ::read(fd, buffer, count);
}

// Where the descriptor open on path has got to in it, or -1.
long long ReadPosition(const std::string& path) {
    for (int fd = 0; fd < 1024; ++fd) {
        char link[4096];
        const std::string name = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(name.c_str(), link, sizeof link);
        if (n <= 0 || std::string(link, static_cast<size_t>(n)) != path)
            continue;
        const std::string info = ReadWholeFile("/proc/self/fdinfo/" + std::to_string(fd));
        return std::atoll(info.c_str() + info.find("pos:") + 4);
    }
    return -1;
}

// A box opened during a run on several cores holds the run where it stands: its workers wait
// (the file being checked is read no further), the status bar shows the progress while the box
// is open (not the prompt of the command that opened it), and the progress does not move. After
// Yes to the stop question the file being written ends with the count shown; after the About
// box the run goes on to its end. Lines, or one long line of zeros cut into pieces, alike.
TEST_F(ReportWindowTest, ABoxHoldsARunOnSeveralCoresWhereItStands) {
    std::string big;
    constexpr long LINES = 600000;
    for (long i = 1; i <= LINES; ++i)
        big += "year " + std::to_string(i) + "\r\n";
    WriteWholeFile(src + "/big.c", big);
    {
        const std::string zeros = src + "/zeros.dat"; // 1 GiB, a hole but for its last line
        const int fd = ::open(zeros.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "tail year line\r\n", 16, off_t(1) << 30), 16);
        ::close(fd);
    }
    SetMessageBoxAnswerer({}); // the real question box
    CLineFile::SetReadCall(SlowRead);
    const std::unique_ptr<void, void (*)(void*)> fastAgain(
        this, [](void*) { CLineFile::SetReadCall(nullptr); });
    const std::pair<int, const char*> cases[] = {{ID_FILE_STOP_REPORTING, "big.c"},
                                                 {ID_HELP_ABOUT, "big.c"},
                                                 {ID_FILE_STOP_REPORTING, "zeros.dat"}};
    for (const auto& [command, file] : cases) {
        SCOPED_TRACE(file);
        watchdog.Restart(); // not to answer the box while it is held open below
        NewFrame();
        frame->m_nJobs = 3;
        frame->m_drainInterval = std::chrono::milliseconds(2);
        ShowFrame(true);
        Select({file});
        const std::string path = src + "/" + file;
        long long readTo = -2, readLater = -3;
        auto* menuBar = Child<QMenuBar>("ApplicationMenu");
        QMenu* menu = menuBar->actions().at(command == ID_HELP_ABOUT ? 2 : 0)->menu();
        QAction* action = menu->findChild<QAction*>(QString::number(command));
        std::string inBox, inBoxLater;
        bool bHeld = false;
        std::optional<CModalAction> answerBox;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            // Some lines into the run, as shown: a slow machine may take long to show any.
            if (frame->m_bReporting != 1 || std::atol(Pane().c_str()) <= 0)
                return;
            poll.stop();
            answerBox.emplace([&](QWidget* box) {
                inBox = Pane();
                bHeld = frame->IsRunHeld();
                QTest::qWait(200);
                readTo = ReadPosition(path);
                QTest::qWait(200);
                readLater = ReadPosition(path);
                inBoxLater = Pane();
                if (auto* question = qobject_cast<QMessageBox*>(box))
                    question->button(QMessageBox::Yes)->click();
                else
                    box->close();
            });
            // Chosen from the menu, whose prompt fills the pane until the menu closes.
            menuBar->setActiveAction(menu->menuAction());
            ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
            menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        poll.start();
        Start();
        ASSERT_FALSE(inBox.empty()) << "the run ended before the box came";
        EXPECT_TRUE(bHeld) << command;
        EXPECT_FALSE(frame->IsRunHeld()) << command;
        EXPECT_TRUE(inBox.ends_with(" line(s) checked")) << inBox;
        EXPECT_EQ(inBoxLater, inBox);
        EXPECT_GT(readTo, 0);
        EXPECT_EQ(readLater, readTo);
        const std::string report = ReadWholeFile(output);
        const long shown = std::atol(inBox.c_str());
        if (file == std::string("zeros.dat")) {
            EXPECT_TRUE(report.ends_with(ReportSummary(shown, 0) + "\r\n" + CANCEL_LINE))
                << inBox << "\n"
                << report.substr(report.size() - 200);
        } else if (command == ID_FILE_STOP_REPORTING) {
            EXPECT_TRUE(report.ends_with(ReportHit(shown, "year " + std::to_string(shown)) +
                                         ReportSummary(shown, shown) + "\r\n" + CANCEL_LINE))
                << inBox << "\n"
                << report.substr(report.size() - 200);
        } else {
            EXPECT_TRUE(report.ends_with(ReportSummary(LINES, LINES) + "\r\n" + END_LINE));
        }
    }
}

// An output file whose reader takes nothing (a FIFO opened for reading and never read) does not
// hold the window: while a write waits, the window's events go on and Stop reporting ends the
// run; the writes left then give up instead of waiting for the reader.
TEST_F(ReportWindowTest, AReaderThatTakesNothingDoesNotHoldTheWindow) {
    std::string big;
    for (int i = 1; i <= 5000; ++i)
        big += "year " + std::to_string(i) + " of a report longer than a pipe holds\r\n";
    WriteWholeFile(src + "/big.c", big);
    ASSERT_TRUE(::unlink(output.c_str()) == 0 || errno == ENOENT);
    ASSERT_EQ(::mkfifo(output.c_str(), 0600), 0);
    const int reader = ::open(output.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    // Should the run stay held, the reader takes all after 30 s: the test fails, not hangs.
    std::atomic<bool> done{false}, rescued{false};
    std::thread rescue([&] {
        for (int i = 0; i < 3000 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        rescued = !done;
        char buffer[65536];
        while (!done)
            if (::read(reader, buffer, sizeof buffer) <= 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    NewFrame();
    ShowFrame();
    Select({"big.c"});
    // Half the pipe filled: the rest of the report cannot go out without the reader.
    bool bStopAsked = false;
    QTimer half;
    half.setInterval(5);
    QObject::connect(&half, &QTimer::timeout, [&] {
        int pending = 0;
        if (!bStopAsked && ::ioctl(reader, FIONREAD, &pending) == 0 && pending >= 32768) {
            bStopAsked = true;
            EXPECT_TRUE(frame->RunCommand(ID_FILE_STOP_REPORTING));
        }
    });
    half.start();
    Start();
    done = true;
    rescue.join();
    ::close(reader);
    EXPECT_TRUE(bStopAsked);
    EXPECT_FALSE(rescued);
    EXPECT_TRUE(ReportText().ends_with(CANCEL_LINE));
    EXPECT_EQ(Pane(), "Ready");
}

// SIGTERM, SIGINT and SIGHUP close the window as the window manager's close does: during a run
// (it ends as stopped, the output file complete up to its last line), when the signal comes
// before there is a window (the program starting), and with a dialog open (its loop runs above
// the window's: the dialog is cancelled first).
TEST_F(ReportWindowTest, StopSignalsCloseTheWindow) {
    std::string big;
    for (int i = 1; i <= 3000; ++i)
        big += "line " + std::to_string(i) + (i % 100 == 0 ? " year\r\n" : "\r\n");
    WriteWholeFile(src + "/big.c", big);
    NewFrame();
    CloseOnStopSignals(frame.get());
    ShowFrame();
    Select({"big.c"});
    DuringRun([] { ::raise(SIGTERM); });
    Start();
    EXPECT_FALSE(frame->isVisible());
    const std::string report = ReadWholeFile(output);
    EXPECT_EQ(report, ReportText());
    EXPECT_TRUE(report.starts_with(Header() + src + "/big.c\r\n"));
    EXPECT_TRUE(
        report.ends_with(" potential compliance problem(s) identified\r\n\r\n" + CANCEL_LINE));
    EXPECT_EQ(report.find("  3000 line(s) checked"), std::string::npos);
    CloseOnStopSignals(nullptr); // no window yet
    ::raise(SIGINT);
    QTest::qWait(20);
    NewFrame();
    CloseOnStopSignals(frame.get());
    frame->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame->isVisible(); }, 5000));
    NewFrame();
    CloseOnStopSignals(frame.get());
    ShowFrame();
    CModalAction signal([](QWidget*) { ::raise(SIGHUP); });
    EXPECT_TRUE(frame->RunCommand(ID_HELP_ABOUT));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame->isVisible(); }, 5000));
}

} // namespace
