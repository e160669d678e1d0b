// The file scanner: a file's lines block by block, with their hits.
#include "core/lines/linefile.h"
#include "core/run/filescan.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The scanner keeps the rule when a file grows after a CR at its end: a line that ended there
// was not cut, so a LF that comes later ends an empty line.
TEST(CFileScanner, AFileThatGrowsAfterACrIsReadByTheRule) {
    SearchStringTable table = {};
    std::strcpy(table[0], "xy");
    const CSearchMatcher matcher(table);
    CTempDir dir;
    WriteWholeFile(dir / "f", "ab\r");
    CLineFile file;
    ASSERT_TRUE(file.OpenRead(dir / "f"));
    CFileScanner scanner(matcher, 1024);
    size_t lines = 0;
    std::vector<std::pair<size_t, std::string>> hits;
    const auto readAll = [&] {
        while (scanner.NextBlock(file)) {
            for (size_t j = 0; j < scanner.HitCount(); ++j)
                hits.emplace_back(lines + scanner.HitLine(j) + 1, scanner.HitText(j));
            lines += scanner.LineCount();
        }
    };
    readAll();
    WriteWholeFile(dir / "f", "ab\r\nxy\n");
    readAll();
    EXPECT_EQ(lines, 3u);
    EXPECT_EQ(hits, (std::vector<std::pair<size_t, std::string>>{{3, "xy"}}));
}

} // namespace
