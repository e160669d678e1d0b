// A --files-from list read as a pipe delivers it: names whole across reads, a CR LF split
// between two writes still one line end, and the line of a name it cannot hold.
#include "core/run/namelist.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct CRead {
    std::vector<std::string> names;
    CListEnd end;
};

// The list as the pieces arrive, each written by itself to a pipe.
CRead ReadPieces(const std::vector<std::string>& pieces, bool bNul, size_t nameMax = 64) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    std::thread writer([&] {
        for (const std::string& piece : pieces) {
            EXPECT_EQ(::write(fds[1], piece.data(), piece.size()),
                      static_cast<ssize_t>(piece.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ::close(fds[1]);
    });
    CRead read;
    read.end = ReadNameList(
        fds[0], bNul, nameMax, [] { return false; },
        [&read](const std::string& name) { read.names.push_back(name); });
    writer.join();
    ::close(fds[0]);
    return read;
}

TEST(ReadNameList, NamesAreWholeAcrossTheWritesOfAPipe) {
    using Names = std::vector<std::string>;
    CRead read = ReadPieces({"src/a", ".c\r", "\n\nsrc/b.c\r\n", "last"}, false);
    EXPECT_EQ(read.names, (Names{"src/a.c", "src/b.c", "last"}));
    EXPECT_FALSE(read.end.bReadFailed);
    EXPECT_EQ(read.end.pszBad, nullptr);

    read = ReadPieces({std::string("a\nb\r\0c\0", 7), std::string("\0d", 2)}, true);
    EXPECT_EQ(read.names, (Names{"a\nb\r", "c", "d"})); // a CR stays where NUL ends a name

    read = ReadPieces({"ok\n", std::string("bad\0name\n", 9), "never\n"}, false);
    EXPECT_EQ(read.names, Names{"ok"});
    EXPECT_EQ(read.end.nLine, 2u);
    EXPECT_STREQ(read.end.pszBad, "a name holds a NUL byte: use --null for NUL-separated lists");

    read = ReadPieces({"short\n", std::string(40, 'x'), std::string(40, 'y') + "\n"}, false);
    EXPECT_EQ(read.names, Names{"short"});
    EXPECT_EQ(read.end.nLine, 2u); // longer than the 64 bytes allowed, over two writes
}

} // namespace
