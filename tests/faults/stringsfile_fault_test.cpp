// Strings files far from what the editor writes: the run still loads what the rules say,
// checks every file, and reports no more and no less.
#include "core/run/reportrun.h"
#include "support/recordinghost.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

struct StringsFault {
    const char* name;
    std::string strings;    // the strings file's bytes
    std::string checked;    // one checked file, a line per candidate
    std::vector<long> hits; // line numbers reported
};

std::vector<long> HitLines(const std::string& report) {
    std::vector<long> lines;
    const std::string mark = "  Potential problem in line ";
    for (size_t at = report.find(mark); at != std::string::npos; at = report.find(mark, at + 1))
        lines.push_back(std::stol(report.substr(at + mark.size())));
    return lines;
}

TEST(StringsFileFaults, TheRunUsesWhatTheRulesLoad) {
    std::string manyLines;
    for (int i = 0; i < 10000; ++i)
        manyLines += "str" + std::to_string(i) + "#\r\n";
    const std::string longLine(1000, 'k');
    const StringsFault cases[] = {
        {"empty", "", "year\r\n", {}},
        {"10,000 lines: the first 200 are used",
         manyLines,
         "str0#\r\nstr199#\r\nstr200#\r\nstr9999#\r\n",
         {1, 2}},
        {"lines of 1,000 characters are cut to 30",
         longLine + "\r\n" + std::string(999, 'm') + "\r\n",
         std::string(30, 'k') + "\r\n" + std::string(29, 'k') + "\r\n" + std::string(30, 'M') +
             "\r\n",
         {1, 3}},
        {"a NUL ends a string", std::string("ye\0zz\r\n\0\r\n", 10), "YEs\r\nzz\r\n", {1}},
        {"LF line ends, as Linux editors write them",
         "year\ndate\n\nfortnight\n",
         "nothing\r\nthe date\nDATE\nno\r\nfortnight\n",
         {2, 3, 5}},
        {"a line of 1,000 characters ended by LF is cut to 30",
         longLine + "\nyear",
         std::string(30, 'k') + "\n" + std::string(29, 'k') + "\nyear\n",
         {1, 3}},
        {"a 100 MB line is one string of 30",
         std::string(100u << 20, 'q') + "\r\nyear\r\n",
         std::string(30, 'Q') + "\r\nyear\r\n",
         {1, 2}},
    };
    for (const StringsFault& c : cases) {
        CTempDir dir;
        CRecordingHost host;
        host.m_strOutput = dir / "out.txt";
        host.m_strStrings = dir / "s.str";
        host.m_strDirectory = dir.Path();
        WriteWholeFile(host.m_strStrings, c.strings);
        WriteWholeFile(dir / "a.c", c.checked);
        host.m_files.push_back({"a.c", true});
        const CReportResult result = RunReport(host);
        EXPECT_TRUE(result.bStringsOpened) << c.name;
        EXPECT_EQ(result.nFilesChecked, 1) << c.name;
        EXPECT_EQ(HitLines(host.m_view), c.hits) << c.name;
        EXPECT_TRUE(host.m_view.ends_with("*** End of Report ***\r\n\r\n")) << c.name;
    }
}

// Reading stops after the 200th string, and whenever the run asks, also inside a line too
// long to keep: a huge strings file cannot hold a run or its stop.
TEST(StringsFileFaults, ReadingStopsAfterTheLastStringOrWhenAsked) {
    CTempDir dir;
    std::string bytes;
    for (int i = 0; i < 200; ++i)
        bytes += "s" + std::to_string(i) + "\n";
    WriteWholeFile(dir / "full.str", bytes + std::string(10u << 20, 'x'));
    WriteWholeFile(dir / "long.str", std::string(10u << 20, 'y') + "\nyear\n");
    SearchStringTable table;
    int asked = 0;
    EXPECT_TRUE(LoadSearchStrings(table, dir / "full.str", [&] { return ++asked > 0; }));
    EXPECT_EQ(CountSearchStrings(table), 200);
    EXPECT_EQ(asked, 1); // one read of the file's start
    asked = 0;
    EXPECT_TRUE(LoadSearchStrings(table, dir / "long.str", [&] { return ++asked < 3; }));
    EXPECT_EQ(CountSearchStrings(table), 0); // not even the cut start of the line
    EXPECT_EQ(asked, 3);

    // A stop that comes while the run reads the strings file: the run ends as stopped.
    CRecordingHost host;
    host.m_strDirectory = dir.Path();
    host.m_strOutput = dir / "out.txt";
    host.m_strStrings = dir / "huge.str";
    host.m_files.push_back({"long.str", true});
    {
        std::ofstream huge(host.m_strStrings, std::ios::binary);
        huge.seekp((4ll << 30) - 1); // 4 GB of NUL bytes, mostly holes
        huge.put('\n');
    }
    host.m_onDrain = [](CRecordingHost& h) { h.m_bReporting = 0; };
    const CReportResult result = RunReport(host);
    std::filesystem::remove(host.m_strStrings);
    EXPECT_TRUE(result.bCancelled);
    EXPECT_EQ(result.nFilesChecked, 0);
    EXPECT_EQ(host.m_nDrains, 1);
    EXPECT_TRUE(host.m_view.ends_with(".str\r\n\r\n*** Report Cancelled ***\r\n\r\n"));
}

TEST(StringsFileFaults, AStringsFileThatCannotBeReadChecksNothing) {
    CTempDir dir;
    for (const std::string& strings : {dir / "missing.str", dir.Path(), std::string("/dev/null"),
                                       std::string("/proc/self/mem"), std::string()}) {
        CRecordingHost host;
        host.m_strOutput = dir / "out.txt";
        host.m_strStrings = strings;
        WriteWholeFile(dir / "a.c", "year\r\n");
        host.m_files.push_back({dir / "a.c", true});
        const CReportResult result = RunReport(host);
        EXPECT_EQ(result.nFilesChecked, 0) << strings;
        EXPECT_NE(host.m_view.find("Error: Unable to open string file\r\n*** End of Report"),
                  std::string::npos)
            << strings << host.m_view;
    }
}

} // namespace
