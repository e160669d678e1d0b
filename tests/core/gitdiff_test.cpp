// The patch reader: names as git quotes them, the new side's lines of each hunk, and pieces
// of any size, the long lines of text among them.
#include "core/run/gitchanges.h"

#include <gtest/gtest.h>

namespace {

const std::string PATCH = "diff --git a/a.c b/a.c\n"
                          "index 1111111..2222222 100644\n"
                          "--- a/a.c\n"
                          "+++ b/a.c\n"
                          "@@ -1,0 +1,2 @@\n"
                          "+diff --git a/forged b/forged\n"
                          "+@@ -1 +100,5 @@\n"
                          "@@ -5 +7 @@ int main()\n"
                          "-old\n"
                          "+new\n"
                          "@@ -9,2 +10,0 @@\n"
                          "-gone\n"
                          "-gone\n"
                          "@@ -20,1 +8,2 @@\n"
                          "+x\n"
                          "+y\n"
                          "@@ -30 +3 @@\n"
                          "+out of order\n"
                          "@@ -1 +99999999999999999999,1 @@\n"
                          "@@ -1 +1099511627777 @@\n"
                          "\\ No newline at end of file\n"
                          "diff --git \"a/tab\\there \\303\\251\" \"b/tab\\there \\303\\251\"\n"
                          "new file mode 100644\n"
                          "index 0000000..3333333\n"
                          "--- /dev/null\n"
                          "+++ \"b/tab\\there \\303\\251\"\n"
                          "@@ -0,0 +1 @@\n"
                          "+" +
                          std::string(100000, 'z') +
                          "\n"
                          "diff --git a/old name.c b/new name.c\n"
                          "similarity index 90%\n"
                          "rename from old name.c\n"
                          "rename to new name.c\n"
                          "--- a/old name.c\t\n"
                          "+++ b/new name.c\t\n"
                          "@@ -3 +3 @@\n"
                          "-a\n"
                          "+b\n"
                          "diff --git a/bin a/bin b/bin a/bin\n"
                          "index 4444444..5555555 100644\n"
                          "Binary files a/bin a/bin and b/bin a/bin differ\n"
                          "diff --git a/link b/link\n"
                          "index 6666666..7777777 120000\n"
                          "--- a/link\n"
                          "+++ b/link\n"
                          "@@ -1 +1 @@\n"
                          "-x\n"
                          "+y\n"
                          "diff --git a/gone.c b/gone.c\n"
                          "deleted file mode 100644\n"
                          "index 8888888..0000000\n"
                          "--- a/gone.c\n"
                          "+++ /dev/null\n"
                          "@@ -1 +0,0 @@\n"
                          "-z\n"
                          "diff --git a/m.c b/m.c\n"
                          "--- a/m.c\n"
                          "+++ b/m.c\n"
                          "@@ -2 +1,0 @@\n"
                          "-// kavel-ignore-next-line\n"
                          "@@ -10 +9 @@\n"
                          "-x // Kavel-Ignore-Next-Line: year\n"
                          "+y\n";

TEST(DiffReader, ReadsNamesAndTheNewSidesLinesInPiecesOfAnySize) {
    for (const size_t piece : {PATCH.size(), size_t{1}, size_t{7}, size_t{13}, size_t{4096}}) {
        CDiffReader reader;
        for (size_t at = 0; at < PATCH.size(); at += piece)
            reader.Feed(std::string_view(PATCH).substr(at, piece));
        const std::vector<CDiffFile> files = reader.End();
        ASSERT_EQ(files.size(), 7u) << piece;
        EXPECT_EQ(files[0].name, "a.c");
        // Lines of text that look like headers are text; spans are ordered and merged where
        // they touch; a number past any file's is no line.
        EXPECT_EQ(files[0].lines.spans, (std::vector<std::pair<long, long>>{{1, 3}, {7, 9}}));
        EXPECT_EQ(files[1].name, "tab\there \xc3\xa9");
        EXPECT_EQ(files[1].lines.spans, (std::vector<std::pair<long, long>>{{1, 1}}));
        EXPECT_EQ(files[2].name, "new name.c");
        EXPECT_EQ(files[2].oldName, "old name.c");
        EXPECT_EQ(files[3].name, "bin a/bin");
        EXPECT_TRUE(files[3].bBinary);
        EXPECT_TRUE(files[4].bSkip);
        EXPECT_TRUE(files[5].bDeleted);
        EXPECT_EQ(files[5].name, "gone.c");
        // A next-line marker removed: the line it was for, after the hunk, counts as changed.
        EXPECT_EQ(files[6].lines.spans, (std::vector<std::pair<long, long>>{{2, 2}, {9, 10}}));
    }
}

TEST(DiffReader, LineRangesHoldTheirLinesOnly) {
    CLineRanges lines;
    lines.spans = {{2, 3}, {7, 7}};
    std::string held;
    for (long line = 0; line <= 8; ++line)
        held += lines.Holds(line) ? '1' : '0';
    EXPECT_EQ(held, "001100010");
    lines.bWhole = true;
    EXPECT_TRUE(lines.Holds(100));
    EXPECT_EQ(GitName("\"a/\\\"q\\\\\\001\"", "a/"), "\"q\\\x01");
}

} // namespace
