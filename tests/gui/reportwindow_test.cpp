#include "framefixture.h"
#include "modaldriver.h"
#include "resources/resource.h"
#include "shell/helpcall.h"
#include "shell/shellopen.h"
#include "toolkit/filebrowser.h"
#include "toolkit/messages.h"
#include "toolkit/messagetext.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTextCursor>
#include <QTimer>

#include <cstdio>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const char END_LINE[] = "*** End of Report ***\r\n\r\n";
const char CANCEL_LINE[] = "*** Report Cancelled ***\r\n\r\n";

std::string Summary(long lines, long problems) {
    return "  " + std::to_string(lines) + " line(s) checked, " + std::to_string(problems) +
           " potential compliance problem(s) identified\r\n";
}

std::string Hit(long line, const std::string& text) {
    return "  Potential problem in line " + std::to_string(line) + ":\r\n  >" + text + "\r\n";
}

// A folder of files to check (src/), a strings file and an output path beside it, the
// settings naming both, and the window opened in src/.
struct ReportWindowTest : FrameFixture {
    CTempDir files;
    std::string before = CurrentDirectory();
    std::string src, output, strings;
    std::vector<std::pair<std::string, int>> questions;
    int answer = IDYES;

    void SetUp() override {
        src = files / "src";
        output = files / "OUTPUT.TXT";
        strings = files / "y2k.str";
        ASSERT_EQ(::mkdir(src.c_str(), 0700), 0);
        WriteWholeFile(strings, "year\r\nDATE\r\n");
        WriteWholeFile(src + "/a.c", "int Year = 97;\r\nint x;\r\nDATE d; /* date */\r\n");
        WriteWholeFile(src + "/b.txt", "nothing\r\nhere\r\n");
        WriteWholeFile(src + "/c.cob", "MOVE YR TO X.\r\n\r\nACCEPT TODAY FROM DATE.");
        store.WriteSettingString("Application", "Output", output);
        store.WriteSettingString("Application", "SearchStrings", strings);
        ASSERT_EQ(::chdir(src.c_str()), 0);
        SetMessageBoxAnswerer([this](const std::string& text, int style, int helpId) {
            questions.emplace_back(text, (style << 8) | helpId);
            return answer;
        });
        CreateFrame();
        frame->m_drainInterval = std::chrono::milliseconds(0); // a drain after every line
    }
    void TearDown() override {
        SetMessageBoxAnswerer({});
        ASSERT_EQ(::chdir(before.c_str()), 0);
    }

    void Select(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const QList<QListWidgetItem*> items =
                FileList()->findItems(QLatin1String(name), Qt::MatchExactly);
            ASSERT_EQ(items.size(), 1) << name;
            items[0]->setSelected(true);
        }
    }
    std::string Header(const std::string& out = "", const std::string& str = "") const {
        return "\r\n"
               "*** Kavel 2000 - Year 2000 Compliance Checker ***\r\n\r\n"
               "Report: Check of files for year 2000 compliance\r\n"
               "Created: 05 Dec 2026 at 14:03:09\r\n\r\n\r\n"
               "Writing to output file: " +
               (out.empty() ? output : out) + "\r\n" +
               "Using Search String file: " + (str.empty() ? strings : str) + "\r\n\r\n";
    }
    std::string ReportA() const {
        return src + "/a.c\r\n" + Hit(1, "int Year = 97;") + Hit(3, "DATE d; /* date */") +
               Summary(3, 2) + "\r\n";
    }
    std::string ReportC() const {
        return src + "/c.cob\r\n" + Hit(3, "ACCEPT TODAY FROM DATE.") + Summary(3, 1) + "\r\n";
    }
    std::string Pane() const { return Child<QLabel>("MessagePane")->text().toStdString(); }
    void Start() { ASSERT_TRUE(frame->RunCommand(ID_FILE_START_REPORTING)); }
};

TEST_F(ReportWindowTest, AWholeRunFillsTheViewAndTheOutputFileAlike) {
    ShowFrame();
    frame->AppendReportLine("kept from before");
    Select({"c.cob", "a.c"});
    Start();
    const std::string expected = Header() + ReportA() + ReportC() + END_LINE;
    EXPECT_EQ(ReadWholeFile(output), expected);
    EXPECT_EQ(ReportText(), "kept from before\r\n" + expected);
    EXPECT_EQ(Pane(), "Ready");
    EXPECT_TRUE(FileList()->isEnabled());
    EXPECT_TRUE(DirList()->isEnabled());
    EXPECT_TRUE(DriveBox()->isEnabled());
    EXPECT_EQ(frame->m_bReporting, 0);
}

TEST_F(ReportWindowTest, NoFileSelectedGivesTheHeaderAndTheEndLine) {
    Start();
    EXPECT_EQ(ReadWholeFile(output), Header() + END_LINE);
    EXPECT_EQ(ReportText(), Header() + END_LINE);
}

TEST_F(ReportWindowTest, FailuresBecomeReportLines) {
    struct Case {
        const char* what;
        std::string outputSetting, stringsSetting;
        bool removeB;
        std::string view;
        bool outputWritten;
    };
    const std::string missing = files / "missing.str";
    const Case cases[] = {
        {"no output file", "", strings, false,
         std::string("Error: Failed to create output file\r\n") + END_LINE, false},
        {"output folder missing", files / "no/such/OUT.TXT", strings, false,
         std::string("Error: Failed to create output file\r\n") + END_LINE, false},
        {"strings file missing", output, missing, false,
         Header(output, missing) + "Error: Unable to open string file\r\n" + END_LINE, true},
        {"checked file gone", output, strings, true,
         Header() + ReportA() + src + "/b.txt\r\n  Failed to open file.\r\n\r\n" + END_LINE, true},
    };
    for (const Case& c : cases) {
        std::remove(output.c_str());
        store.WriteSettingString("Application", "Output", c.outputSetting);
        store.WriteSettingString("Application", "SearchStrings", c.stringsSetting);
        CreateFrame();
        Select({"a.c", "b.txt"});
        if (c.removeB)
            std::remove((src + "/b.txt").c_str());
        Start();
        EXPECT_EQ(ReportText(), c.view) << c.what;
        EXPECT_EQ(ReadWholeFile(output), c.outputWritten ? c.view : "") << c.what;
        EXPECT_TRUE(FileList()->isEnabled()) << c.what;
        EXPECT_EQ(Pane(), "Ready") << c.what;
    }
}

TEST_F(ReportWindowTest, StopAnsweredYesEndsAfterTheLineBeingChecked) {
    Select({"a.c", "c.cob"});
    QTimer::singleShot(0, frame.get(), [this] { frame->RunCommand(ID_FILE_STOP_REPORTING); });
    Start();
    // The first drain comes after line 1 of a.c: its summary counts that line, c.cob is not
    // started.
    const std::string expected = Header() + src + "/a.c\r\n" + Hit(1, "int Year = 97;") +
                                 Summary(1, 1) + "\r\n" + CANCEL_LINE;
    EXPECT_EQ(ReadWholeFile(output), expected);
    EXPECT_EQ(ReportText(), expected);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].first, "Are you sure you wish to stop the reporting ?");
    EXPECT_EQ(questions[0].second, ((MB_YESNO | MB_ICONQUESTION) << 8) | 2);
    EXPECT_FALSE(frame->RunCommand(ID_FILE_STOP_REPORTING)); // no run: nothing to stop
}

TEST_F(ReportWindowTest, StopAnsweredNoLetsTheRunGoOn) {
    answer = IDNO;
    Select({"a.c", "c.cob"});
    QTimer::singleShot(0, frame.get(), [this] { frame->RunCommand(ID_FILE_STOP_REPORTING); });
    Start();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(ReadWholeFile(output), Header() + ReportA() + ReportC() + END_LINE);
}

TEST_F(ReportWindowTest, ClearScreenDuringARunStartsTheViewAfresh) {
    Select({"a.c", "c.cob"});
    QTimer::singleShot(0, frame.get(), [this] {
        EXPECT_TRUE(frame->RunCommand(ID_EDIT_CLEAR_SCREEN));
        EXPECT_TRUE(Report()->toPlainText().isEmpty());
    });
    Start();
    const std::string expected = Header() + ReportA() + ReportC() + END_LINE;
    EXPECT_EQ(ReadWholeFile(output), expected);
    const std::string cut = "  >int Year = 97;\r\n";
    EXPECT_EQ(ReportText(), expected.substr(expected.find(cut) + cut.size()));
    EXPECT_EQ(static_cast<int>(ReportText().size()), frame->m_nReportLength);
}

TEST_F(ReportWindowTest, ALongRunLeavesTheLongestTailOfTheReportThatFitsTheView) {
    std::string big;
    for (int i = 0; i < 3000; ++i)
        big += "year " + std::to_string(i) + (i % 7 ? " \xE9t\xE9\r\n" : "\r\n");
    WriteWholeFile(src + "/big.txt", big);
    CreateFrame();
    frame->m_drainInterval = std::chrono::milliseconds(0);
    Select({"big.txt"});
    Start();
    // Appending drops whole oldest lines as needed, so the view ends as the longest tail of
    // whole lines whose bytes, with their CR LF, stay within the limit.
    const std::string report = ReadWholeFile(output);
    size_t start = report.size() - 2; // the last line's CR LF
    while (true) {
        const size_t previous = report.rfind("\r\n", start - 1);
        const size_t from = previous == std::string::npos ? 0 : previous + 2;
        if (report.size() - from > static_cast<size_t>(REPORT_VIEW_LIMIT) || from == 0)
            break;
        start = previous;
    }
    const std::string tail = report.substr(start + 2);
    EXPECT_EQ(frame->m_nReportLength, static_cast<int>(tail.size()));
    EXPECT_EQ(Report()->toPlainText(), QString::fromLatin1(tail).replace("\r\n", "\n"));
}

TEST_F(ReportWindowTest, TwoRunsInARowTheFileHoldsTheSecondTheViewBoth) {
    Select({"a.c"});
    Start();
    FileList()->clearSelection();
    Select({"c.cob"});
    Start();
    const std::string second = Header() + ReportC() + END_LINE;
    EXPECT_EQ(ReadWholeFile(output), second);
    EXPECT_EQ(ReportText(), Header() + ReportA() + END_LINE + second);
}

TEST_F(ReportWindowTest, DuringARunOnlyStopClearHelpAndSelectionCommandsRun) {
    std::vector<std::pair<unsigned, unsigned long>> helpCalls;
    SetHelpHandler([&](unsigned command, unsigned long data) {
        helpCalls.emplace_back(command, data);
        return true;
    });
    ShowFrame();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    answer = IDNO;
    Select({"a.c"});
    std::vector<std::pair<int, bool>> ran;
    bool bControlsEnabled = true;
    std::string progress;
    QTimer::singleShot(0, frame.get(), [&] {
        bControlsEnabled =
            FileList()->isEnabled() || DirList()->isEnabled() || DriveBox()->isEnabled();
        progress = Pane();
        for (int id : {ID_FILE_SET_OUTPUT, ID_FILE_SET_SEARCH_STRINGS, ID_FILE_EDIT_SEARCH_STRINGS,
                       ID_FILE_START_REPORTING, ID_FILE_EXIT, ID_FILE_EDIT_FILE,
                       ID_EDIT_COPY_REPORT, ID_FILE_STOP_REPORTING, ID_HELP_INDEX})
            ran.emplace_back(id, frame->RunCommand(id));
        QTest::keyClick(Report(), Qt::Key_F1);
    });
    Start();
    SetHelpHandler({});
    const std::vector<std::pair<int, bool>> expected = {{ID_FILE_SET_OUTPUT, false},
                                                        {ID_FILE_SET_SEARCH_STRINGS, false},
                                                        {ID_FILE_EDIT_SEARCH_STRINGS, false},
                                                        {ID_FILE_START_REPORTING, false},
                                                        {ID_FILE_EXIT, false},
                                                        {ID_FILE_EDIT_FILE, false},
                                                        {ID_EDIT_COPY_REPORT, false},
                                                        {ID_FILE_STOP_REPORTING, true},
                                                        {ID_HELP_INDEX, true}};
    EXPECT_EQ(ran, expected);
    EXPECT_EQ(
        (std::vector<std::pair<unsigned, unsigned long>>{{HELP_INDEX, 0}, {HELP_CONTEXT, 3000}}),
        helpCalls);
    EXPECT_FALSE(bControlsEnabled);
    EXPECT_EQ(progress, "1 line(s) checked");
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(ReadWholeFile(output), Header() + ReportA() + END_LINE);
}

TEST_F(ReportWindowTest, ACloseRequestDuringARunStopsItThenCloses) {
    ShowFrame();
    Select({"a.c", "c.cob"});
    QTimer::singleShot(0, frame.get(), [this] {
        frame->close();
        EXPECT_TRUE(frame->isVisible()); // not while the run is on the stack
    });
    Start();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(ReadWholeFile(output), Header() + src + "/a.c\r\n" + Hit(1, "int Year = 97;") +
                                         Summary(1, 1) + "\r\n" + CANCEL_LINE);
}

TEST_F(ReportWindowTest, SetOutputFileProposesOutputTxtHereAndRestoresTheDirectory) {
    store.WriteSettingString("Application", "Output", "");
    CDialogWatchdog watchdog;
    std::string proposed, title;
    WhenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle().toStdString();
        proposed = dialog->selectedFiles().value(0).toStdString();
        EXPECT_EQ(::chdir("/"), 0); // whatever the dialog does to the current directory
        dialog->selectFile(QString::fromStdString(files / "report.txt"));
        static_cast<QDialog*>(dialog)->accept();
    });
    ASSERT_TRUE(frame->RunCommand(ID_FILE_SET_OUTPUT));
    EXPECT_EQ(title, "Set Output File");
    EXPECT_EQ(proposed, src + "/OUTPUT.TXT");
    EXPECT_EQ(store.ReadSettingString("Application", "Output", ""), files / "report.txt");
    EXPECT_EQ(CurrentDirectory(), src);

    // Cancel writes nothing; the stored path is the next proposal.
    WhenModalShown([&](QWidget* modal) {
        proposed = qobject_cast<QFileDialog*>(modal)->selectedFiles().value(0).toStdString();
        EXPECT_EQ(::chdir("/"), 0);
        static_cast<QDialog*>(modal)->reject();
    });
    ASSERT_TRUE(frame->RunCommand(ID_FILE_SET_OUTPUT));
    EXPECT_EQ(proposed, files / "report.txt");
    EXPECT_EQ(store.ReadSettingString("Application", "Output", ""), files / "report.txt");
    EXPECT_EQ(CurrentDirectory(), src);
}

TEST_F(ReportWindowTest, SetSearchStringsFileStartsEmptyAndTakesANewName) {
    CDialogWatchdog watchdog;
    std::string typed = "unset", title;
    WhenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle().toStdString();
        typed = dialog->findChild<QLineEdit*>("fileNameEdit")->text().toStdString();
        EXPECT_EQ(::chdir("/"), 0);
        dialog->selectFile(QString::fromStdString(files / "new.str"));
        static_cast<QDialog*>(dialog)->accept();
    });
    ASSERT_TRUE(frame->RunCommand(ID_FILE_SET_SEARCH_STRINGS));
    EXPECT_EQ(title, "Set Search Strings File");
    EXPECT_EQ(typed, "");
    EXPECT_EQ(store.ReadSettingString("Application", "SearchStrings", ""), files / "new.str");
    EXPECT_EQ(CurrentDirectory(), src);

    WhenModalShown([&](QWidget* modal) {
        EXPECT_EQ(::chdir("/"), 0);
        static_cast<QDialog*>(modal)->reject();
    });
    ASSERT_TRUE(frame->RunCommand(ID_FILE_SET_SEARCH_STRINGS));
    EXPECT_EQ(store.ReadSettingString("Application", "SearchStrings", ""), files / "new.str");
    EXPECT_EQ(CurrentDirectory(), src);
}

TEST_F(ReportWindowTest, EditFileHandsOverExactlyTheSelection) {
    std::vector<QString> opened;
    SetOpenHandler([&](const QString& text) {
        opened.push_back(text);
        return false; // a failure shows nothing
    });
    frame->AppendReportLine("  >first line");
    frame->AppendReportLine("/tmp/src/main.c");
    frame->AppendReportLine(std::string(300, 'n'));
    auto select = [&](int from, int to) {
        QTextCursor cursor = Report()->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        Report()->setTextCursor(cursor);
        return frame->RunCommand(ID_FILE_EDIT_FILE);
    };
    EXPECT_TRUE(select(14, 29));
    EXPECT_TRUE(select(1, 20));
    EXPECT_TRUE(select(30, 330));
    EXPECT_FALSE(select(5, 5));
    SetOpenHandler({});
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0], "/tmp/src/main.c");
    EXPECT_EQ(opened[1], " >first line\r\n/tmp/s");
    EXPECT_EQ(opened[2], QString(255, QLatin1Char('n')));
    EXPECT_TRUE(questions.empty());
}

} // namespace
