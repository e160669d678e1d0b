// Paths in the report: joined to their folder, shown on one line.
#include "core/lines/filepath.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <utility>

namespace {

TEST(FilePath, JoinsAndShowsReportPaths) {
    const std::pair<std::string, std::string> trailing[] = {
        {"", "/"}, {"/", "/"}, {"/src", "/src/"}, {"/src/", "/src/"}, {"~", "~/"}};
    for (auto [in, out] : trailing) {
        AddTrailingBackslash(in);
        EXPECT_EQ(in, out);
    }
    EXPECT_EQ(BuildReportPath("/", "a"), "/a");
    EXPECT_EQ(BuildReportPath("/x", "/abs/B"), "/abs/B");
    EXPECT_EQ(BuildReportPath("/x/", "sub/b"), "/x/sub/b");
    // A name cannot break a report line or forge one; every other byte stays.
    EXPECT_EQ(ReportPathText("/a\r\n*** End\n\xe9\t.c"), "/a??*** End?\xe9\t.c");
}

// A descriptor has one owner at a time: moved, it is closed once, by the last owner; the
// close of a cleanup leaves the errno of the failure before it.
TEST(CFd, ClosesOnceByItsLastOwnerAndKeepsErrno) {
    const auto open = [](int fd) { return ::fcntl(fd, F_GETFD) >= 0; };
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    {
        CFd last;
        {
            CFd first(fd);
            last = std::move(first);
            EXPECT_EQ(first.Get(), -1);
        }
        EXPECT_TRUE(open(fd));
        errno = ENAMETOOLONG;
        last.Reset();
        EXPECT_EQ(errno, ENAMETOOLONG);
        EXPECT_FALSE(open(fd));
    }
    CFd held(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int released = held.Release();
    EXPECT_EQ(held.Get(), -1);
    EXPECT_TRUE(open(released));
    ::close(released);
}

} // namespace
