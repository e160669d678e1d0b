// The line file: its reader and writer by the line rules, what it opens, and writes that fail.
#include "core/lines/linefile.h"
#include "support/plainrule.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {

struct LineCase {
    const char* name;
    std::string bytes;
    unsigned maxChars;
    std::vector<std::string> lines;
};

// Every line that ReadTextLine (bWhole: ReadWholeTextLine) returns for the case's bytes.
std::vector<std::string> ReadAllLines(const LineCase& c, bool bWhole) {
    CTempDir dir;
    WriteWholeFile(dir / "f", c.bytes);
    CLineFile file;
    EXPECT_TRUE(file.OpenRead(dir / "f"));
    return ReadLines(file, c.maxChars, bWhole);
}

TEST(ReadTextLine, FollowsTheLineRules) {
    const std::string z(1024, 'z'), q(CLineFile::BUFFER_SIZE - 1, 'q');
    // clang-format off
    const LineCase cases[] = {
        {"empty file", "", 1024, {}},
        {"empty line between", "abc\r\n\r\ndef", 1024, {"abc", "", "def"}},
        {"no line after final CR LF", "abc\r\n", 1024, {"abc"}},
        {"LF ends a line", "a\nb\nc", 1024, {"a", "b", "c"}},
        {"no line after final LF", "a\n\n", 1024, {"a", ""}},
        {"LF first in file ends an empty line", "\nx\r\n", 1024, {"", "x"}},
        {"lone CR is data", "a\rb\r\n", 1024, {"a\rb"}},
        {"one CR of CR CR LF is data", "a\r\r\nb\r\r", 1024, {"a\r", "b\r\r"}},
        {"exact maximum gives an extra empty line", "abcd\r\nx\r\n", 4, {"abcd", "", "x"}},
        {"the same with LF", "abcd\nx\n", 4, {"abcd", "", "x"}},
        {"cut between CR and LF keeps the CR", "abc\r\nx\r\n", 4, {"abc\r", "\nx"}},
        {"the LF after a cut CR is data, the next ends", "abc\r\n\nx", 4, {"abc\r", "\n", "x"}},
        {"long line in pieces", z + z + z.substr(572) + "\r\n", 1024, {z, z, z.substr(572)}},
        {"NUL hides the rest of the line", std::string("ab\0cd\nef", 8), 1024, {"ab", "ef"}},
        {"CR LF across a buffer refill", q + "\r\nend", 1u << 20, {q, "end"}},
        {"maximum of one never sees a pair", "ab\r\n", 1, {"a", "b", "\r", "\n"}},
        {"maximum of one and LF", "a\nb\n", 1, {"a", "", "b", ""}},
    };
    // clang-format on
    for (const LineCase& c : cases)
        EXPECT_EQ(ReadAllLines(c, false), c.lines) << c.name;
}

TEST(ReadWholeTextLine, KeepsTheStartOfEachWholeLine) {
    const std::string x(30, 'x'), y(30, 'y');
    // clang-format off
    const LineCase cases[] = {
        {"long lines cut, the rest skipped",
         x + "xx\r\nshort\r\n\r\n" + std::string(5000, 'y') + "\r\r\nlast", 30,
         {x, "short", "", y, "last"}},
        {"LF ends a line too", "\nyear\ndate\r\n\nmonth", 30, {"", "year", "date", "", "month"}},
        {"kept length exactly, a kept CR before CR LF", "abc\r\nab\r\r\nabcd\n", 3,
         {"abc", "ab\r", "abc"}},
        {"a CR LF split by the kept length", "ab\r\nx", 2, {"ab", "x"}},
    };
    // clang-format on
    for (const LineCase& c : cases)
        EXPECT_EQ(ReadAllLines(c, true), c.lines) << c.name;
}

// Lines end in CR LF, Create truncates, and a full disk is reported by Close.
TEST(WriteTextLine, WritesTextThenCrLfAndAFullDiskIsReportedByClose) {
    CTempDir dir;
    WriteWholeFile(dir / "out", "older and longer");
    CLineFile file;
    ASSERT_TRUE(file.Create(dir / "out"));
    WriteTextLine(file, std::string());
    WriteTextLine(file, std::string("line"));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadWholeFile(dir / "out"), "\r\nline\r\n");
    ASSERT_TRUE(file.Create("/dev/full"));
    WriteTextLine(file, std::string("lost"));
    EXPECT_FALSE(file.Close());
}

// Only regular files are read (a FIFO would block, a device never end); a FIFO without a
// reader or a folder is not created over.
TEST(CLineFile, OpensOnlyRegularFilesForReading) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    CLineFile file;
    for (const std::string& path :
         {dir.Path(), dir / "fifo", std::string("/dev/zero"), std::string()})
        EXPECT_FALSE(file.OpenRead(path)) << path;
    EXPECT_FALSE(file.Create(dir / "fifo"));
    EXPECT_FALSE(file.Create(dir.Path()));
}

} // namespace
