// The line file: its reader and writer by the line rules, what it opens, and writes that fail.
#include "core/lines/linefile.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Every line that ReadTextLine returns for the bytes, with maxChars as given.
std::vector<std::string> ReadAllLines(const std::string& bytes, unsigned maxChars) {
    CTempDir dir;
    WriteWholeFile(dir / "f", bytes);
    CLineFile file;
    EXPECT_TRUE(file.OpenRead(dir / "f"));
    std::vector<char> buffer(maxChars + 1);
    std::vector<std::string> lines;
    while (ReadTextLine(file, buffer.data(), maxChars) == 0)
        lines.emplace_back(buffer.data(), strnlen(buffer.data(), maxChars + 1));
    // End of file stays end of file.
    EXPECT_EQ(ReadTextLine(file, buffer.data(), maxChars), 1);
    return lines;
}

struct LineCase {
    const char* name;
    std::string bytes;
    unsigned maxChars;
    std::vector<std::string> lines;
};

TEST(ReadTextLine, FollowsTheLineRules) {
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
        {"long line in pieces",
         std::string(2500, 'z') + "\r\n",
         1024,
         {std::string(1024, 'z'), std::string(1024, 'z'), std::string(452, 'z')}},
        {"NUL hides the rest of the line", std::string("ab\0cd\nef", 8), 1024, {"ab", "ef"}},
        {"CR LF across a buffer refill",
         std::string(CLineFile::BUFFER_SIZE - 1, 'q') + "\r\nend",
         1u << 20,
         {std::string(CLineFile::BUFFER_SIZE - 1, 'q'), "end"}},
        {"maximum of one never sees a pair", "ab\r\n", 1, {"a", "b", "\r", "\n"}},
        {"maximum of one and LF", "a\nb\n", 1, {"a", "", "b", ""}},
    };
    for (const LineCase& c : cases)
        EXPECT_EQ(ReadAllLines(c.bytes, c.maxChars), c.lines) << c.name;
}

TEST(ReadWholeTextLine, KeepsTheStartOfEachWholeLine) {
    const LineCase cases[] = {
        {"long lines cut, the rest skipped",
         std::string(40, 'x') + "\r\nshort\r\n\r\n" + std::string(5000, 'y') + "\r\r\nlast",
         30,
         {std::string(30, 'x'), "short", "", std::string(30, 'y'), "last"}},
        {"LF ends a line too", "\nyear\ndate\r\n\nmonth", 30, {"", "year", "date", "", "month"}},
        {"exactly the kept length, and a kept CR before CR LF",
         "abc\r\nab\r\r\nabcd\n",
         3,
         {"abc", "ab\r", "abc"}},
        {"a CR LF split by the kept length", "ab\r\nx", 2, {"ab", "x"}},
    };
    CTempDir dir;
    for (const LineCase& c : cases) {
        WriteWholeFile(dir / "f", c.bytes);
        CLineFile file;
        ASSERT_TRUE(file.OpenRead(dir / "f"));
        std::string line;
        std::vector<std::string> lines;
        while (ReadWholeTextLine(file, line, c.maxChars) == 0)
            lines.push_back(line);
        EXPECT_EQ(lines, c.lines) << c.name;
    }
}

TEST(WriteTextLine, WritesTextThenCrLfAndAFullDiskIsReportedByClose) {
    CTempDir dir;
    CLineFile file;
    ASSERT_TRUE(file.Create(dir / "out"));
    WriteTextLine(file, std::string());
    WriteTextLine(file, std::string("line"));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadWholeFile(dir / "out"), "\r\nline\r\n");
    // Create truncates what was there.
    ASSERT_TRUE(file.Create(dir / "out"));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadWholeFile(dir / "out"), "");
    ASSERT_TRUE(file.Create("/dev/full"));
    WriteTextLine(file, std::string("lost"));
    EXPECT_FALSE(file.Close());
}

// A FIFO whose reader takes nothing: once the stop signal is set, the write gives up within
// about a second instead of waiting for ever (the descriptor never blocks).
TEST(CLineFile, AReaderThatTakesNothingCannotHoldAWriteAfterAStop) {
    CTempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    StopFlag stop = 0;
    CLineFile file;
    ASSERT_TRUE(file.Create(fifo));
    file.SetStopSignal(&stop);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = 1;
    });
    const std::string line(1000, 'x');
    for (int i = 0; i < 2000 && !file.WriteFailed(); ++i)
        WriteTextLine(file, line);
    EXPECT_FALSE(file.Close());
    stopper.join();
    ::close(reader);
}

TEST(CLineFile, OpensOnlyRegularFilesForReading) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    CLineFile file;
    EXPECT_FALSE(file.OpenRead(dir.Path()));   // a directory
    EXPECT_FALSE(file.OpenRead(dir / "fifo")); // would block forever
    EXPECT_FALSE(file.OpenRead("/dev/zero"));  // endless
    EXPECT_FALSE(file.OpenRead(dir / "none"));
    EXPECT_FALSE(file.OpenRead(""));
    EXPECT_FALSE(file.Create(dir / "fifo")); // no reader: fails instead of blocking
    EXPECT_FALSE(file.Create(dir.Path()));
}

} // namespace
