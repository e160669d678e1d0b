// The line file: its reader and writer by the line rules, what it opens, and writes that fail.
#include "core/lines/linefile.h"
#include "support/plainrule.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <memory>
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

// Only regular files are read (a FIFO would block, a device never end), and a file that fails
// says why; a FIFO without a reader or a folder is not created over.
TEST(CLineFile, OpensOnlyRegularFilesForReadingAndSaysWhy) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::string sockPath = dir / "sock";
    const int sock = BindSocket(sockPath);
    ASSERT_GE(sock, 0);
    const std::pair<std::string, std::string> failing[] = {
        {dir.Path(), "is a folder"},
        {dir / "fifo", "is a FIFO"},
        {sockPath, "is a socket"},
        {"/dev/zero", "is a device"},
        {dir / "gone", "No such file or directory"},
        {dir / "fifo/x", "Not a directory"},
        {"", "No such file or directory"},
    };
    CLineFile file;
    for (const auto& [path, why] : failing) {
        EXPECT_FALSE(file.OpenListed(CListedFile(path))) << path;
        ASSERT_NE(file.FailReason(), nullptr) << path;
        EXPECT_EQ(file.FailReason(), why) << path;
        if (!path.empty()) {
            EXPECT_FALSE(file.OpenRead(path)) << path;
        }
    }
    WriteWholeFile(dir / "f", "x");
    EXPECT_TRUE(file.OpenListed(CListedFile(dir / "f")));
    EXPECT_EQ(file.FailReason(), nullptr);
    // Below a walk's root: a name that is a link now was none when the walk listed it.
    ASSERT_EQ(::symlink("f", (dir / "link").c_str()), 0);
    const auto root = std::make_shared<const CWalkRoot>(::open(dir.Path().c_str(), O_RDONLY));
    for (const auto& [name, why] :
         {std::pair<const char*, const char*>{"link", "changed to a link while the walk ran"},
          {"sock", "is a socket"},
          {"gone", "No such file or directory"}}) {
        CListedFile walked(dir / name);
        walked.root = root;
        walked.nBelow = dir.Path().size() + 1;
        EXPECT_FALSE(file.OpenListed(walked)) << name;
        ASSERT_NE(file.FailReason(), nullptr) << name;
        EXPECT_EQ(file.FailReason(), std::string(why)) << name;
    }
    EXPECT_TRUE(file.OpenListed(CListedFile(dir / "link"))); // a name given is followed
    EXPECT_FALSE(file.Create(dir / "fifo"));
    EXPECT_FALSE(file.Create(dir.Path()));
    ::close(sock);
}

} // namespace
