// Checked files that are not what a run expects: each is reported, the run goes on, and
// nothing already read is lost.
#include "core/run/reportrun.h"
#include "support/recordinghost.h"
#include "support/reporttext.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The part of the report between the header and the end line.
std::string Body(const std::string& report) {
    const size_t start = report.find("Using Search String file: ");
    const size_t from = report.find("\r\n\r\n", start) + 4;
    const size_t end = report.rfind("*** ");
    return report.substr(from, end - from);
}

// Run with one thread, and with files scanned by two workers.
struct FaultFixture : RecordingRunTest, ::testing::WithParamInterface<int> {
    void SetUp() override { host.m_options.nJobs = GetParam(); }
    // The run's report; the output file must hold the same bytes.
    std::string Run(CReportResult* result = nullptr) {
        CReportResult r = RunReport(host);
        if (result != nullptr)
            *result = r;
        EXPECT_EQ(ReadWholeFile(host.m_strOutput), host.m_view);
        EXPECT_TRUE(host.m_view.ends_with("*** End of Report ***\r\n\r\n") ||
                    host.m_view.ends_with("*** Report Cancelled ***\r\n\r\n"));
        return Body(host.m_view);
    }
};

// With one thread only: workers open files ahead of the report.
struct VanishFixture : FaultFixture {};

TEST_P(VanishFixture, FilesThatVanishBetweenListingAndChecking) {
    AddFile("a.c", "year 1\r\nyear 2\r\n");
    AddFile("gone.c", "year\r\n");
    AddFile("c.c", "year 3\r\n");
    // a.c is unlinked while it is read (its lines are still all read); gone.c before its turn.
    host.m_onDrain = [this](CRecordingHost&) {
        std::remove((dir / "a.c").c_str());
        std::remove((dir / "gone.c").c_str());
    };
    CReportResult result;
    EXPECT_EQ(Run(&result), dir / "a.c" + "\r\n" + ReportHit(1, "year 1") + ReportHit(2, "year 2") +
                                ReportSummary(2, 2) + "\r\n" + dir / "gone.c" +
                                "\r\n  Failed to open file.\r\n\r\n" + dir / "c.c" + "\r\n" +
                                ReportHit(1, "year 3") + ReportSummary(1, 1) + "\r\n");
    EXPECT_EQ(result.nFilesFailed, 1);
}

TEST_P(FaultFixture, AFileThatGrowsWhileCheckedIsCheckedAsFarAsItReachedAtItsStart) {
    AddFile("log.txt", "year 1\r\nyear 2\r\n");
    // Every line checked adds one more: read to its moving end, the run would never stop.
    int drains = 0;
    host.m_onDrain = [&](CRecordingHost& h) {
        std::ofstream(dir / "log.txt", std::ios::app | std::ios::binary) << "year more\r\n";
        if (++drains > 10000)
            h.Stop();
    };
    CReportResult result;
    const std::string body = Run(&result);
    EXPECT_FALSE(result.bCancelled);
    if (GetParam() == 1) {
        EXPECT_EQ(body, dir / "log.txt" + "\r\n" + ReportHit(1, "year 1") + ReportHit(2, "year 2") +
                            ReportSummary(2, 2) + "\r\n");
    } else {
        // A worker opens the file when its turn comes: the lines added before then count.
        EXPECT_NE(body.find(ReportSummary(result.nProblems, result.nProblems)), std::string::npos);
        EXPECT_GE(result.nProblems, 2);
    }
}

// A file that is empty when its check begins is checked as empty, however it grows; a kernel
// file that says it is empty (procfs) is read to its end all the same.
std::string g_growing;
ssize_t GrowThenRead(int fd, void* buffer, size_t count) {
    struct stat st, grow;
    if (::fstat(fd, &st) == 0 && ::stat(g_growing.c_str(), &grow) == 0 &&
        st.st_ino == grow.st_ino && grow.st_size == 0)
        std::ofstream(g_growing, std::ios::app | std::ios::binary) << "year grown\n";
    return ::read(fd, buffer, count);
}

TEST_P(FaultFixture, AFileEmptyWhenItsCheckBeginsStaysEmpty) {
    AddFile("empty.txt", "");
    host.m_files.push_back("/proc/version");
    g_growing = dir / "empty.txt";
    CLineFile::SetReadCall(GrowThenRead);
    const std::string body = Run();
    CLineFile::SetReadCall(nullptr);
    EXPECT_EQ(body, dir / "empty.txt" + "\r\n" + ReportSummary(0, 0) + "\r\n/proc/version\r\n" +
                        ReportSummary(1, 0) + "\r\n");
}

TEST_P(FaultFixture, AHundredMegabyteLineIsCheckedInPieces) {
    const size_t size = 100u << 20;
    std::string line(size, '.');
    const size_t at = 50u << 20; // "year" starts the piece after 51200 full ones
    line.replace(at, 4, "YeAr");
    AddFile("huge.txt", line + "\r\nyear after\r\n");
    line.clear();
    const long pieces = size / SCAN_LINE_MAX;
    EXPECT_EQ(Run(), dir / "huge.txt" + "\r\n" + ReportHit(51201, "YeAr" + std::string(1020, '.')) +
                         ReportHit(pieces + 2, "year after") + ReportSummary(pieces + 2, 2) +
                         "\r\n");
}

// A read that fails after the first 500 bytes of one file (by its inode), whatever the thread.
ino_t g_failingInode = 0;
ssize_t ReadFailingAfter500(int fd, void* buffer, size_t count) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_ino != g_failingInode)
        return ::read(fd, buffer, count);
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at >= 500) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, buffer, std::min<size_t>(count, static_cast<size_t>(500 - at)));
}

TEST_P(FaultFixture, AReadErrorAfterSomeLinesCountsThoseLines) {
    std::string lines;
    for (int i = 1; i <= 100; ++i)
        lines += i % 10 == 0 ? "year " + std::to_string(i % 100 / 10) + "xx\r\n" : "12345678\r\n";
    AddFile("fails.c", lines); // 50 lines of 10 bytes in the first 500
    AddFile("b.c", "year\r\n");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "fails.c").c_str(), &st), 0);
    g_failingInode = st.st_ino;
    CLineFile::SetReadCall(ReadFailingAfter500);
    CReportResult result;
    const std::string report = Run(&result);
    CLineFile::SetReadCall(nullptr);
    std::string expected = dir / "fails.c" + "\r\n";
    for (int i = 10; i <= 50; i += 10)
        expected += ReportHit(i, "year " + std::to_string(i / 10) + "xx");
    expected += "  Failed to read file.\r\n" + ReportSummary(50, 5) + "\r\n" + dir / "b.c" +
                "\r\n" + ReportHit(1, "year") + ReportSummary(1, 1) + "\r\n";
    EXPECT_EQ(report, expected);
    EXPECT_EQ(result.nFilesFailed, 1);
    EXPECT_EQ(result.nFilesChecked, 2);
}

INSTANTIATE_TEST_SUITE_P(Jobs, FaultFixture, ::testing::Values(1, 2));
INSTANTIATE_TEST_SUITE_P(Jobs, VanishFixture, ::testing::Values(1));

} // namespace
