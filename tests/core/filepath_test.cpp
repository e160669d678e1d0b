// Paths in the report: joined to their folder, shown on one line.
#include "core/lines/filepath.h"

#include <gtest/gtest.h>

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

} // namespace
