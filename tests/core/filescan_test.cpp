// The file scanner: a file's lines block by block, with their hits.
#include "core/lines/linefile.h"
#include "core/run/filescan.h"
#include "support/plainrule.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A file that grows after its end was met is read by the rule: a LF after a CR that ended the
// file (not a cut) ends an empty line, and the end of what is buffered is not the end of the
// file.
TEST(CFileScanner, AFileThatGrowsAfterItsEndIsReadByTheRule) {
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
    // A cut line first, then lines of 64 bytes: fewer than a block holds fill a buffer.
    std::string grown = "\nxy\n" + std::string(2000, 'z') + "\n";
    while (grown.size() < 3 * CLineFile::BUFFER_SIZE) {
        const std::string line = "the xy of line " + std::to_string(grown.size());
        grown += line + std::string(63 - line.size(), '.') + "\n";
    }
    WriteWholeFile(dir / "f", "ab\r" + grown);
    readAll();
    const std::vector<std::string> plain = PlainLines(grown, 1024);
    const std::vector<std::string> strings = {"xy"};
    std::vector<std::pair<size_t, std::string>> expected;
    for (size_t i = 0; i < plain.size(); ++i)
        if (PlainMatches(strings, plain[i]))
            expected.emplace_back(i + 2, plain[i]);
    EXPECT_EQ(lines, 1 + plain.size());
    EXPECT_TRUE(hits == expected);
}

} // namespace
