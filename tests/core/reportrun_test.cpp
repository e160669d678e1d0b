#include "core/lines/filepath.h"
#include "core/run/reportrun.h"
#include "support/linerules.h"
#include "support/plainrule.h"
#include "support/recordinghost.h"
#include "support/reporttext.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sys/stat.h>
#include <thread>

namespace {

// A folder with a strings file, an output path and a host set up to use them.
struct RunFixture : ::testing::Test {
    CTempDir dir;
    CRecordingHost host;

    void SetUp() override {
        host.m_strDirectory = dir.Path();
        host.m_strOutput = dir / "OUTPUT.TXT";
        host.m_strStrings = dir / "dates.str";
        WriteWholeFile(host.m_strStrings, "year\r\n\r\nDate\r\n19\r\n");
    }
    void AddFile(const std::string& name, const std::string& bytes, bool selected = true) {
        WriteWholeFile(dir / name, bytes);
        host.m_files.push_back({name, selected});
    }
    std::string Head() const { return ReportHeader(host.m_strOutput, host.m_strStrings); }
};

TEST_F(RunFixture, TwoFilesOfWhichOneIsMissing) {
    AddFile("Main.c", "int x;\r\n\tyear = 97;\r\nno match\r\n");
    host.m_files.push_back({"gone.c", true});
    CReportResult result = RunReport(host);

    const std::string expected = Head() + dir / "Main.c" + "\r\n" + ReportHit(2, "\tyear = 97;") +
                                 ReportSummary(3, 1) + "\r\n" + dir / "gone.c" + "\r\n" +
                                 "  Failed to open file.\r\n\r\n" + END_LINE;
    EXPECT_EQ(host.m_view, expected);
    EXPECT_EQ(ReadWholeFile(host.m_strOutput), expected);
    EXPECT_EQ(result.nProblems, 1);
    EXPECT_EQ(result.nFilesFailed, 1);
    EXPECT_FALSE(result.bCancelled);
    EXPECT_EQ(host.m_bReporting, 0);
    EXPECT_EQ(host.m_nBegin, 1);
    EXPECT_EQ(host.m_nEnd, 1);
    EXPECT_EQ(host.m_status.back(), "Ready");
}

TEST_F(RunFixture, NoFileSelected) {
    AddFile("a.c", "year\r\n", false);
    RunReport(host);
    EXPECT_EQ(host.m_view, Head() + END_LINE);
    host.m_files.clear();
    host.m_view.clear();
    RunReport(host);
    EXPECT_EQ(host.m_view, Head() + END_LINE);
}

TEST_F(RunFixture, ErrorPathsEndTheRunAsUsual) {
    AddFile("a.c", "year\r\n");
    host.m_strStrings = dir / "missing.str";
    CReportResult result = RunReport(host);
    EXPECT_EQ(host.m_view, Head() + "Error: Unable to open string file\r\n" + END_LINE);
    EXPECT_EQ(ReadWholeFile(host.m_strOutput), host.m_view);
    EXPECT_FALSE(result.bStringsOpened);

    for (const std::string& output : {std::string(), dir / "no/such/dir/out.txt", dir.Path()}) {
        host.m_strOutput = output;
        host.m_view.clear();
        result = RunReport(host);
        EXPECT_EQ(host.m_view, std::string("Error: Failed to create output file\r\n") + END_LINE);
        EXPECT_FALSE(result.bOutputCreated);
        EXPECT_EQ(host.m_bReporting, 0);
        EXPECT_EQ(host.m_status.back(), "Ready");
    }
}

TEST_F(RunFixture, EmptyFileAndStringsFileWithoutStrings) {
    AddFile("empty.c", "");
    AddFile("b.c", "year 1999\r\n");
    WriteWholeFile(host.m_strStrings, "\r\n\r\n");
    RunReport(host);
    EXPECT_EQ(host.m_view, Head() + dir / "empty.c" + "\r\n" + ReportSummary(0, 0) + "\r\n" +
                               dir / "b.c" + "\r\n" + ReportSummary(1, 0) + "\r\n" + END_LINE);
}

TEST_F(RunFixture, StopInTheMiddleOfAFile) {
    std::string lines;
    for (int i = 0; i < 10; ++i)
        lines += "year " + std::to_string(i) + "\r\n";
    AddFile("a.c", lines);
    AddFile("b.c", lines);
    host.m_onDrain = [](CRecordingHost& h) {
        if (h.m_status.back() == "3 line(s) checked")
            h.m_bReporting = 0;
    };
    CReportResult result = RunReport(host);
    const std::string expected = Head() + dir / "a.c" + "\r\n" + ReportHit(1, "year 0") +
                                 ReportHit(2, "year 1") + ReportHit(3, "year 2") +
                                 ReportSummary(3, 3) + "\r\n" + CANCEL_LINE;
    EXPECT_EQ(host.m_view, expected);
    EXPECT_EQ(ReadWholeFile(host.m_strOutput), expected);
    EXPECT_TRUE(result.bCancelled);
    EXPECT_EQ(host.m_bReporting, 0);
    EXPECT_EQ(host.m_nEnd, 1);
}

// On several cores a stop ends the file being written at the count shown when it came, as
// with one thread, however far the workers checked while the stop was being asked for.
TEST_F(RunFixture, AStopOnSeveralCoresEndsTheFileAtTheLinesShown) {
    std::string lines;
    for (int i = 1; i <= 300000; ++i)
        lines += i % 1000 == 0 ? "a year\r\n" : "a line\r\n";
    AddFile("a.c", lines);
    AddFile("b.c", lines);
    // The workers are held at first, so that the first count shown lies inside the file; they
    // run ahead once the stop is being asked for.
    CRunPause pause;
    pause.Set(true);
    host.m_options = {2, std::chrono::milliseconds(1), nullptr, &pause, {}};
    long shown = 0;
    host.m_onDrain = [&](CRecordingHost& h) {
        if (h.m_status.empty())
            return;
        shown = std::atol(h.m_status.back().c_str());
        if (shown > 0 && h.m_bReporting == 1) {
            pause.Set(false);
            std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the question is open
            h.m_bReporting = 0;
        }
    };
    RunReport(host);
    ASSERT_GT(shown, 0);
    ASSERT_LT(shown, 300000);
    std::string expected = Head() + dir / "a.c" + "\r\n";
    for (long line = 1000; line <= shown; line += 1000)
        expected += ReportHit(line, "a year");
    expected += ReportSummary(shown, shown / 1000) + "\r\n" + CANCEL_LINE;
    EXPECT_TRUE(host.m_view == expected) << shown << " shown; the report ends:\n"
                                         << host.m_view.substr(host.m_view.size() - 120);
}

TEST_F(RunFixture, TwoRunsInARow) {
    AddFile("a.c", "year\r\n");
    RunReport(host);
    const std::string first = host.m_view;
    host.m_files.clear();
    RunReport(host);
    EXPECT_EQ(ReadWholeFile(host.m_strOutput), Head() + END_LINE);
    EXPECT_EQ(host.m_view, first + Head() + END_LINE);
}

TEST_F(RunFixture, ProgressAfterEveryLineOrOnATimeBudget) {
    AddFile("a.c", "1\r\n2\r\n3\r\n");
    RunReport(host);
    EXPECT_EQ(host.m_status, (std::vector<std::string>{"1 line(s) checked", "2 line(s) checked",
                                                       "3 line(s) checked", "Ready"}));
    EXPECT_EQ(host.m_nDrains, 3);

    // With a budget the report is the same, and each file still ends with its count.
    const std::string view = host.m_view;
    host.m_view.clear();
    host.m_status.clear();
    host.m_options.drainInterval = std::chrono::hours(1);
    RunReport(host);
    EXPECT_EQ(host.m_view, view);
    EXPECT_EQ(host.m_status, (std::vector<std::string>{"3 line(s) checked", "Ready"}));
}

TEST_F(RunFixture, PathsKeepTheirCaseAndAbsoluteNamesStay) {
    AddFile("MiXeD.C", "");
    host.m_files.push_back({dir / "MiXeD.C", true});
    host.m_strDirectory = dir.Path() + "/";
    RunReport(host);
    EXPECT_NE(host.m_view.find("\r\n" + dir / "MiXeD.C" + "\r\n" + ReportSummary(0, 0)),
              std::string::npos);
    EXPECT_EQ(BuildReportPath("/", "a"), "/a");
    EXPECT_EQ(BuildReportPath("/x", "/abs/B"), "/abs/B");
    EXPECT_EQ(BuildReportPath("/x", "sub/b"), "/x/sub/b");
}

TEST_F(RunFixture, AFullDiskIsNotASuccess) {
    AddFile("a.c", "year\r\n");
    host.m_strOutput = "/dev/full";
    CReportResult result = RunReport(host);
    EXPECT_TRUE(result.bOutputWriteFailed);
    const std::string error = "Error: Failed to write output file\r\n";
    const size_t at = host.m_view.find(error);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(host.m_view.find(error, at + 1), std::string::npos); // once
    // The view still gets the whole report.
    std::string rest = host.m_view;
    rest.erase(at, error.size());
    EXPECT_EQ(rest, ReportHeader("/dev/full", host.m_strStrings) + dir / "a.c" + "\r\n" +
                        ReportHit(1, "year") + ReportSummary(1, 1) + "\r\n" + END_LINE);
}

TEST_F(RunFixture, TheOutputFileAmongTheCheckedFilesEnds) {
    // The report's own lines hold "year"; reading them back must not go on for ever.
    AddFile("a.c", "year\r\n");
    host.m_files.push_back({"OUTPUT.TXT", true});
    RunReport(host);
    const std::string view = host.m_view;
    EXPECT_NE(view.find(dir / "OUTPUT.TXT" + "\r\n"), std::string::npos);
    EXPECT_NE(view.rfind(END_LINE), std::string::npos);
    EXPECT_EQ(ReadWholeFile(host.m_strOutput), view);
    // What was scanned is the report up to and including the output file's own path line.
    const std::string pathLine = "\r\n" + dir / "OUTPUT.TXT" + "\r\n";
    ASSERT_NE(view.find(pathLine), std::string::npos);
    const size_t scannedEnd = view.find(pathLine) + pathLine.size();
    long lines = 0, problems = 0;
    for (size_t start = 0; start < scannedEnd;) {
        size_t end = view.find("\r\n", start);
        const std::string line = AsciiUpperCopy(view.substr(start, end - start));
        ++lines;
        problems += line.find("YEAR") != std::string::npos ||
                    line.find("DATE") != std::string::npos || line.find("19") != std::string::npos;
        start = end + 2;
    }
    EXPECT_NE(view.find(ReportSummary(lines, problems)), std::string::npos) << view;
}

// The hits and counts of a run as the formats see them.
struct CHitRecorder : CRecordingSink {
    using CRecordingSink::CRecordingSink;
    std::vector<std::string> m_events; // "piece physical text", "end lines physical"
    void Hit(const CHit& hit) override {
        m_events.push_back(std::to_string(hit.nLine) + " " + std::to_string(hit.nPhysical) + " " +
                           std::string(hit.text));
    }
    void FileEnd(EFileOutcome, const CFileCounts& counts) override {
        m_events.push_back("end " + std::to_string(counts.nLines) + " " +
                           std::to_string(counts.nPhysical));
    }
};

// Every hit carries the number of the file's own line it lies in, against the rule read
// literally: one more than the LFs before the piece, and one more again for a piece that
// starts with the LF of a CR LF that a cut split. Long lines, both line ends, cuts between a
// CR and its LF, NULs; one job and several.
TEST_F(RunFixture, HitsCarryTheFilesOwnLineNumbers) {
    std::mt19937 rng(1024);
    const std::vector<std::string> strings = {"year", "19", "ab"};
    WriteWholeFile(host.m_strStrings, "year\n19\nab\n");
    std::vector<std::string> expected;
    for (int file = 0; file < 30; ++file) {
        std::string bytes;
        while (bytes.size() < 20000) {
            // Long lines, many of them cut right after their CR (1023 or 2047 bytes).
            const size_t len = rng() % 4 != 0   ? rng() % 60
                               : rng() % 3 == 0 ? 1023 + 1024 * (rng() % 2)
                                                : 1000 + rng() % 1200;
            for (size_t i = 0; i < len; ++i)
                bytes.push_back("aby ea19r"[rng() % 9]);
            if (rng() % 7 == 0)
                bytes.push_back('\0');
            bytes += rng() % 2 ? "\r\n" : "\n";
        }
        if (file % 3 == 0)
            bytes.pop_back(); // no line end at the end
        const std::string name = "f" + std::to_string(file);
        AddFile(name, bytes);
        size_t pos = 0, piece = 0;
        long physical = 0;
        bool cutAtCr = false;
        while (pos < bytes.size()) {
            const size_t start = pos;
            const std::string line = ModelLine(bytes, pos, SCAN_LINE_MAX, cutAtCr);
            ++piece;
            physical = 1 + std::count(bytes.begin(), bytes.begin() + start, '\n') +
                       (!line.empty() && line[0] == '\n');
            if (PlainMatches(strings, line))
                expected.push_back(std::to_string(piece) + " " + std::to_string(physical) + " " +
                                   UpToNul(line));
        }
        expected.push_back("end " + std::to_string(piece) + " " + std::to_string(physical));
    }
    for (const int jobs : {1, 3}) {
        std::string text;
        CHitRecorder recorder(text);
        RunReport(host, recorder,
                  CRunOptions{jobs, std::chrono::milliseconds(20), nullptr, nullptr, {}});
        EXPECT_EQ(recorder.m_events, expected) << jobs;
    }
}

// While a long file is checked, the files before it reach the output file: a crash or a kill
// then loses nothing that was finished.
ino_t g_slowFile = 0;
ssize_t SlowRead(int fd, void* buffer, size_t count) {
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_ino == g_slowFile)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return ::read(fd, buffer, count);
}

TEST_F(RunFixture, ALongFileDoesNotHoldBackTheFilesBeforeIt) {
    AddFile("first.c", "year\n");
    AddFile("long.c", std::string(40 * CLineFile::BUFFER_SIZE, '\n'));
    struct stat st;
    ASSERT_EQ(::stat((dir / "long.c").c_str(), &st), 0);
    g_slowFile = st.st_ino;
    CLineFile::SetReadCall(SlowRead);
    for (const int jobs : {1, 2}) {
        host.m_options.nJobs = jobs;
        host.m_options.drainInterval = std::chrono::milliseconds(20);
        bool seen = false;
        const auto start = std::chrono::steady_clock::now();
        host.m_onDrain = [&](CRecordingHost&) {
            if (!seen && std::chrono::steady_clock::now() - start > std::chrono::milliseconds(500))
                seen =
                    ReadWholeFile(host.m_strOutput).find(ReportSummary(1, 1)) != std::string::npos;
        };
        RunReport(host);
        EXPECT_TRUE(seen) << jobs;
        host.m_view.clear();
    }
    CLineFile::SetReadCall(nullptr);
}

// A list that grows by a file each time the run waits for it, as a walk of many small folders
// does, and that stays quiet once, after QUIET files: there the wait runs into its limit.
struct CGrowingHost : CRecordingHost {
    static constexpr int QUIET = 250;
    int m_nListed = 1;
    bool m_bQuietDone = false;
    std::string m_strOutputWhenQuiet; // the output file while the run waits on after the quiet
    int GetFileCount() override { return m_nListed; }
    int WaitForFiles(int known, std::chrono::milliseconds limit, bool& bTimedOut) override {
        bTimedOut = false;
        if (m_nListed == QUIET && !m_bQuietDone) {
            if (limit != std::chrono::milliseconds::max()) {
                bTimedOut = true;
                return known;
            }
            m_bQuietDone = true;
            m_strOutputWhenQuiet = ReadWholeFile(m_strOutput);
        }
        m_nListed = std::min(m_nListed + 1, static_cast<int>(m_files.size()));
        return m_nListed;
    }
};

struct CFlushCountingSink : CRecordingSink {
    using CRecordingSink::CRecordingSink;
    int m_nFlushes = 0;
    void Flush() override { ++m_nFlushes; }
};

// The run catches up with a growing list at nearly every file: what it wrote goes out now and
// then, not file by file; but once the list is quiet, all that was found is written out before
// the run waits on.
TEST_F(RunFixture, AGrowingListIsWrittenOutWhenItGoesQuietNotAtEveryWait) {
    CGrowingHost grow;
    grow.m_strDirectory = dir.Path();
    grow.m_strOutput = dir / "OUTPUT.TXT";
    grow.m_strStrings = host.m_strStrings;
    for (int i = 0; i < 500; ++i) {
        WriteWholeFile(dir / ("f" + std::to_string(i)), "year\n");
        grow.m_files.push_back({"f" + std::to_string(i), true});
    }
    for (const int jobs : {1, 4}) {
        grow.m_nListed = 1;
        grow.m_bQuietDone = false;
        std::string text;
        CFlushCountingSink view(text);
        RunReport(grow, view,
                  CRunOptions{jobs, std::chrono::milliseconds(20), nullptr, nullptr, {}});
        EXPECT_LT(view.m_nFlushes, 50) << jobs;
        const std::string last = dir / ("f" + std::to_string(CGrowingHost::QUIET - 1)) + "\r\n";
        const std::string& quiet = grow.m_strOutputWhenQuiet;
        ASSERT_NE(quiet.find(last), std::string::npos) << jobs;
        EXPECT_TRUE(quiet.ends_with(ReportSummary(1, 1) + "\r\n")) << jobs;
        EXPECT_EQ(ReadWholeFile(grow.m_strOutput), text) << jobs;
    }
}

} // namespace
