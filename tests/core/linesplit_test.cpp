// The bulk line splitters against the line rule: where a block's lines end, what is left for
// the next block, and a LF after a cut CR.
#include "core/lines/linesplit.h"
#include "support/plainrule.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitTextLines, LeavesALineWhoseEndIsNotInSight) {
    CLineSpan spans[8];
    size_t count = 0;
    // The last line may still grow, or meet its LF, with more bytes.
    EXPECT_EQ(SplitTextLines("ab\r\ncd\r", 7, false, 1024, false, spans, 8, count), 4u);
    EXPECT_EQ(count, 1u);
    // At the end it is a line of its own.
    EXPECT_EQ(SplitTextLines("ab\r\ncd\r", 7, true, 1024, false, spans, 8, count), 7u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(spans[1].nLength, 3u);
    // A line of the maximum length is complete without its end in sight.
    EXPECT_EQ(SplitTextLines("abcdef", 6, false, 4, false, spans, 8, count), 4u);
    EXPECT_EQ(count, 1u);
    // At most maxLines spans.
    EXPECT_EQ(SplitTextLines("\r\n\n\r\n", 5, true, 4, false, spans, 2, count), 3u);
    EXPECT_EQ(count, 2u);
}

// A block that starts right after a line cut after a CR: a LF first in it is data, which the
// fast finder leaves to the careful split.
TEST(SplitTextLines, TakesALfAfterACutCrAsData) {
    CLineSpan spans[8];
    size_t count = 0;
    EXPECT_EQ(SplitTextLines("\nab\n\n", 5, true, 1024, true, spans, 8, count), 5u);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(spans[0].nOffset, 0u);
    EXPECT_EQ(spans[0].nLength, 3u);
    EXPECT_EQ(spans[1].nLength, 0u);
    EXPECT_EQ(SplitTextLines("\nab\n\n", 5, true, 1024, false, spans, 8, count), 5u);
    EXPECT_EQ(count, 3u);

    const std::string lfFirst = "\n" + std::string(200, 'x') + "\n";
    std::vector<uint64_t> lfBits(lfFirst.size() / 64 + 1);
    EXPECT_EQ(FindLfLines(lfFirst.data(), lfFirst.size(), 1024, true, lfBits.data(), count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_GT(FindLfLines(lfFirst.data(), lfFirst.size(), 1024, false, lfBits.data(), count), 0u);
    EXPECT_EQ(count, 1u); // the empty first line; the second LF is not in a whole window
}

} // namespace
