// The run end to end through the recording host: the report's text, the result, progress and
// stops, the output file. Tests of the run's file loop go with one job and with workers.
#include "core/run/reportrun.h"
#include "support/plainrule.h"
#include "support/recordinghost.h"
#include "support/reporttext.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <thread>

namespace {

// Strings that the report's own lines hold too.
struct RunTest : RecordingRunTest {
    void SetUp() override { WriteWholeFile(host.m_strStrings, "year\r\n\r\nDate\r\n19\r\n"); }
    std::string Head() const { return ReportHeader(host.m_strOutput, host.m_strStrings); }
};

// The same with the files checked by the given number of jobs.
struct RunJobsTest : RunTest, ::testing::WithParamInterface<int> {
    void SetUp() override {
        RunTest::SetUp();
        host.m_options.nJobs = GetParam();
    }
    // Runs with progress on a time budget and stops at the first count shown; returns it. The
    // workers are held until then, so that it lies inside the first file, and run ahead while
    // the stop is being asked for (for open).
    long StopAtTheFirstCountShown(std::chrono::milliseconds open) {
        CRunPause pause;
        pause.Set(true);
        host.m_options.drainInterval = std::chrono::milliseconds(1);
        host.m_options.pPause = &pause;
        long shown = 0;
        host.m_onDrain = [&](CRecordingHost& h) {
            if (h.m_status.empty() || (shown = std::atol(h.m_status.back().c_str())) == 0)
                return;
            pause.Set(false);
            std::this_thread::sleep_for(open);
            h.Stop();
        };
        result = RunReport(host);
        return shown;
    }
    CReportResult result;
};
INSTANTIATE_TEST_SUITE_P(Jobs, RunJobsTest, ::testing::Values(1, 3));

TEST_P(RunJobsTest, ReportsHitsSummariesAndFilesThatCannotBeOpened) {
    AddFile("Main.c", "int x;\r\n\tyear = 97;\r\nno match\r\n");
    host.m_files.push_back("gone.c");
    AddFile("empty.c", "");
    const CReportResult result = RunReport(host);
    const std::string expected = Head() + dir / "Main.c" + "\r\n" + ReportHit(2, "\tyear = 97;") +
                                 ReportSummary(3, 1) + "\r\n" + dir / "gone.c" +
                                 "\r\n  Failed to open file.\r\n\r\n" + dir / "empty.c" + "\r\n" +
                                 ReportSummary(0, 0) + "\r\n" + END_LINE;
    EXPECT_EQ(host.m_view, expected);
    EXPECT_EQ(ReadWholeFile(host.m_strOutput), expected);
    EXPECT_EQ(result.nProblems, 1);
    EXPECT_EQ(result.nFilesChecked, 2);
    EXPECT_EQ(result.nFilesFailed, 1);
    EXPECT_FALSE(result.bCancelled);
    EXPECT_EQ(host.m_nBegin + host.m_nEnd, 2);
}

// A stop while a huge strings file is read ends the run as stopped, without checking a file.
TEST_F(RunTest, AStopWhileTheStringsFileIsReadEndsTheRun) {
    AddFile("a.c", "year\r\n");
    {
        std::ofstream huge(host.m_strStrings, std::ios::binary | std::ios::trunc);
        huge.seekp((4ll << 30) - 1); // 4 GB of NUL bytes, mostly holes
        huge.put('\n');
    }
    host.m_onDrain = [](CRecordingHost& h) { h.Stop(); };
    const CReportResult result = RunReport(host);
    std::filesystem::remove(host.m_strStrings);
    EXPECT_TRUE(result.bCancelled);
    EXPECT_EQ(result.nFilesChecked, 0);
    EXPECT_EQ(host.m_nDrains, 1);
    EXPECT_EQ(host.m_view, Head() + CANCEL_LINE);
}

// One job, a drain after every line: progress shows every line, and a stop ends the file after
// the line at which it came. On a time budget, progress waits for the budget to pass.
TEST_F(RunTest, ProgressAndAStopGoLineByLine) {
    AddFile("a.c", "1\r\n2\r\n3\r\n");
    RunReport(host);
    EXPECT_EQ(host.m_status, (std::vector<std::string>{"1 line(s) checked", "2 line(s) checked",
                                                       "3 line(s) checked"}));
    const std::string view = host.m_view;
    host.m_view.clear();
    host.m_status.clear();
    host.m_options.drainInterval = std::chrono::hours(1);
    RunReport(host);
    EXPECT_EQ(host.m_view, view);
    EXPECT_TRUE(host.m_status.empty()); // none was due

    std::string lines;
    for (int i = 0; i < 10; ++i)
        lines += "year " + std::to_string(i) + "\r\n";
    host.m_files.clear();
    AddFile("b.c", lines);
    AddFile("c.c", lines);
    host.m_options.drainInterval = std::chrono::milliseconds(0);
    host.m_onDrain = [](CRecordingHost& h) {
        if (h.m_status.back() == "3 line(s) checked")
            h.Stop();
    };
    host.m_view.clear();
    const CReportResult result = RunReport(host);
    EXPECT_EQ(host.m_view, Head() + dir / "b.c" + "\r\n" + ReportHit(1, "year 0") +
                               ReportHit(2, "year 1") + ReportHit(3, "year 2") +
                               ReportSummary(3, 3) + "\r\n" + CANCEL_LINE);
    EXPECT_TRUE(result.bCancelled);
}

// A stop on the time budget ends the file being written at the count shown when it came,
// however far workers checked meanwhile, and drops the files after it.
TEST_P(RunJobsTest, AStopEndsTheFileAtTheLinesShown) {
    std::string lines;
    for (int i = 1; i <= 300000; ++i)
        lines += "year " + std::to_string(i) + "\r\n";
    AddFile("a.c", lines);
    AddFile("b.c", lines);
    const long shown = StopAtTheFirstCountShown(std::chrono::milliseconds(50));
    ASSERT_GT(shown, 0);
    ASSERT_LT(shown, 300000);
    std::string expected = Head() + dir / "a.c" + "\r\n";
    for (long line = 1; line <= shown; ++line)
        expected += ReportHit(line, "year " + std::to_string(line));
    expected += ReportSummary(shown, shown) + "\r\n" + CANCEL_LINE;
    EXPECT_TRUE(host.m_view == expected) << shown << " shown; the report ends:\n"
                                         << host.m_view.substr(host.m_view.size() - 120);
    EXPECT_TRUE(result.bCancelled);
}

// The same where no line holds a string: the stop comes between blocks, not after a hit.
TEST_P(RunJobsTest, AStopBetweenBlocksEndsTheFileAtTheLinesShown) {
    constexpr long LINES = 1000000;
    std::string lines;
    for (long i = 0; i < LINES; ++i)
        lines += "a line\r\n";
    AddFile("a.c", lines);
    AddFile("b.c", "year\r\n");
    const long shown = StopAtTheFirstCountShown(std::chrono::milliseconds(0));
    if (shown == 0 || shown == LINES)
        GTEST_SKIP() << "the file was checked before the clock allowed a drain inside it";
    EXPECT_EQ(host.m_view,
              Head() + dir / "a.c" + "\r\n" + ReportSummary(shown, 0) + "\r\n" + CANCEL_LINE);
}

TEST_P(RunJobsTest, AFullDiskIsToldOnceAndTheViewGetsTheWholeReport) {
    AddFile("a.c", "year\r\n");
    host.m_strOutput = "/dev/full";
    const CReportResult result = RunReport(host);
    EXPECT_TRUE(result.bOutputWriteFailed);
    const std::string error = "Error: Failed to write output file\r\n";
    const size_t at = host.m_view.find(error);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(host.m_view.find(error, at + 1), std::string::npos);
    std::string rest = host.m_view;
    rest.erase(at, error.size());
    EXPECT_EQ(rest, ReportHeader("/dev/full", host.m_strStrings) + dir / "a.c" + "\r\n" +
                        ReportHit(1, "year") + ReportSummary(1, 1) + "\r\n" + END_LINE);
}

// The report's own lines hold the strings: the output file among the checked files is read up
// to and including its own path line, never on for ever.
TEST_P(RunJobsTest, TheOutputFileAmongTheCheckedFilesEndsWhereTheReportStood) {
    AddFile("a.c", "year\r\n");
    host.m_files.push_back("OUTPUT.TXT");
    AddFile("b.c", "");
    RunReport(host);
    const std::string& view = host.m_view;
    EXPECT_EQ(ReadWholeFile(host.m_strOutput), view);
    const std::string pathLine = "\r\n" + dir / "OUTPUT.TXT" + "\r\n";
    ASSERT_NE(view.find(pathLine), std::string::npos);
    const size_t scannedEnd = view.find(pathLine) + pathLine.size();
    const std::vector<std::string> strings = {"year", "Date", "19"};
    long lines = 0, problems = 0;
    for (size_t start = 0; start < scannedEnd; ++lines) {
        const size_t end = view.find("\r\n", start);
        problems += PlainMatches(strings, view.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_NE(view.find(ReportSummary(lines, problems) + "\r\n" + dir / "b.c"), std::string::npos)
        << view;
}

// Generated files against the report that the plain rules make: long lines cut into pieces
// (many right after their CR), both line ends, NULs, bytes above 0x7F, more lines than a block
// holds, a cut at the end of the file's first buffer, more hits than a worker holds back. Each hit
// also carries the number of the file's own line: one more than the LFs before the piece, one more
// again for a piece that starts with the LF of a cut CR LF.
TEST_P(RunJobsTest, ReportsWhatThePlainRulesReport) {
    std::mt19937 rng(1999);
    const std::vector<std::string> strings = {"year", "19", "ab", "yY", "z\xe4"};
    WriteWholeFile(host.m_strStrings, "year\n19\r\nab\nyY\r\nz\xe4\n");
    std::vector<std::string> contents = {
        "",
        std::string(20000, '\n') + std::string(5000, '\r') + "\r\n" + std::string(3000, '\r'),
        std::string(CLineFile::BUFFER_SIZE - 1, 'q') + "\r\nyear\nyear\r\n",
    };
    std::string lfText;
    for (int i = 0; i < 6000; ++i)
        lfText += i % 7 == 0 ? "the year " + std::to_string(1900 + i % 100) + "\n" : "x\n";
    contents.push_back(lfText);
    std::string manyHits; // more hits than a worker holds back
    for (int i = 0; i < 100000; ++i)
        manyHits += "year " + std::to_string(i) + "\r\n";
    contents.push_back(manyHits);
    for (int file = 0; file < 12; ++file) {
        std::string bytes;
        while (bytes.size() < 20000) {
            const size_t len = rng() % 4 != 0   ? rng() % 60
                               : rng() % 3 == 0 ? 1023 + 1024 * (rng() % 2)
                                                : 1000 + rng() % 1200;
            for (size_t i = 0; i < len; ++i)
                bytes.push_back("aby ea19r\xe4Z"[rng() % 11]);
            if (rng() % 7 == 0)
                bytes.push_back('\0');
            bytes += rng() % 2 ? "\r\n" : "\n";
        }
        if (file % 3 == 0)
            bytes.pop_back(); // no line end at the end
        contents.push_back(bytes);
    }
    std::string expected;
    std::vector<std::string> events;
    for (size_t i = 0; i < contents.size(); ++i) {
        const std::string& bytes = contents[i];
        AddFile("f" + std::to_string(i), bytes);
        expected += dir / ("f" + std::to_string(i)) + "\r\n";
        size_t pos = 0, piece = 0;
        long problems = 0, physical = 0, lfsBefore = 0;
        bool cutAtCr = false;
        while (pos < bytes.size()) {
            const size_t start = pos;
            const std::string line = ModelLine(bytes, pos, SCAN_LINE_MAX, cutAtCr);
            ++piece;
            physical = 1 + lfsBefore + (!line.empty() && line[0] == '\n');
            lfsBefore += std::count(bytes.begin() + start, bytes.begin() + pos, '\n');
            if (PlainMatches(strings, line)) {
                ++problems;
                expected += ReportHit(static_cast<long>(piece), UpToNul(line));
                events.push_back("hit " + std::to_string(piece) + " " + std::to_string(physical));
            }
        }
        expected += ReportSummary(static_cast<long>(piece), problems) + "\r\n";
        events.push_back("end " + std::to_string(piece) + " " + std::to_string(physical));
    }
    expected += END_LINE;
    // Progress after every line, and on a time budget.
    for (const int interval : {0, 20}) {
        host.m_options.drainInterval = std::chrono::milliseconds(interval);
        host.m_view.clear();
        host.m_viewSink.m_events.clear();
        RunReport(host);
        ASSERT_GE(host.m_view.size(), expected.size());
        EXPECT_TRUE(host.m_view.ends_with(expected)) << interval;
        EXPECT_EQ(host.m_viewSink.m_events, events) << interval;
        EXPECT_EQ(ReadWholeFile(host.m_strOutput), host.m_view);
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

TEST_P(RunJobsTest, ALongFileDoesNotHoldBackTheFilesBeforeIt) {
    AddFile("first.c", "year\n");
    AddFile("long.c", std::string(40 * CLineFile::BUFFER_SIZE, '\n'));
    struct stat st;
    ASSERT_EQ(::stat((dir / "long.c").c_str(), &st), 0);
    g_slowFile = st.st_ino;
    CLineFile::SetReadCall(SlowRead);
    host.m_options.drainInterval = std::chrono::milliseconds(20);
    bool seen = false;
    const auto start = std::chrono::steady_clock::now();
    host.m_onDrain = [&](CRecordingHost&) {
        if (!seen && std::chrono::steady_clock::now() - start > std::chrono::milliseconds(500))
            seen = ReadWholeFile(host.m_strOutput).find(ReportSummary(1, 1)) != std::string::npos;
    };
    RunReport(host);
    CLineFile::SetReadCall(nullptr);
    EXPECT_TRUE(seen);
}

} // namespace
