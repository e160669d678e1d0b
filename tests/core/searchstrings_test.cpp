#include "core/match/searchstrings.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<std::string> TableStrings(const SearchStringTable& table) {
    std::vector<std::string> out;
    for (int i = 0; i < CountSearchStrings(table); ++i)
        out.emplace_back(table[i]);
    return out;
}

struct StringsCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> table;
};

TEST(LoadSearchStrings, FillsTheTableWithoutGaps) {
    std::string many;
    for (int i = 0; i < 250; ++i)
        many += "s" + std::to_string(i) + "\r\n";
    std::vector<std::string> first200;
    for (int i = 0; i < 200; ++i)
        first200.push_back("s" + std::to_string(i));
    const StringsCase cases[] = {
        {"empty lines skipped", "date\r\n\r\nyear\r\n", {"date", "year"}},
        {"blanks are a string", "   \r\n", {"   "}},
        {"duplicates kept", "Date\r\nDATE\r\n", {"Date", "DATE"}},
        {"last line without CR LF", "a\r\nb", {"a", "b"}},
        {"LF line ends", "alpha\nbeta\n\ngamma", {"alpha", "beta", "gamma"}},
        {"LF and CR LF mixed, CR CR LF keeps a CR", "a\r\nb\nc\r\r\n", {"a", "b", "c\r"}},
        {"lone CR is part of a string", "a\rb\n", {"a\rb"}},
        {"cut to 30", std::string(45, 'L') + "\r\nnext\r\n", {std::string(30, 'L'), "next"}},
        {"NUL ends a line", std::string("ab\0c\r\n\0x\r\nyear", 14), {"ab", "year"}},
        {"only empty lines", "\r\n\r\n", {}},
        {"empty file", "", {}},
        {"first 200 of 250", many, first200},
    };
    CTempDir dir;
    for (const StringsCase& c : cases) {
        WriteWholeFile(dir / "s.str", c.bytes);
        SearchStringTable table;
        std::memset(table, 'x', sizeof table);
        EXPECT_TRUE(LoadSearchStrings(table, dir / "s.str")) << c.name;
        EXPECT_EQ(TableStrings(table), c.table) << c.name;
        for (int i = static_cast<int>(c.table.size()); i < MAX_SEARCH_STRINGS; ++i)
            ASSERT_EQ(table[i][0], '\0') << c.name << " slot " << i;
    }
}

TEST(LoadSearchStrings, AFileThatCannotBeOpenedLeavesTheTableEmpty) {
    CTempDir dir;
    SearchStringTable table;
    for (const std::string& path :
         {dir / "none", std::string(), dir.Path(), std::string("/proc/self/mem")}) {
        std::memset(table, 'x', sizeof table);
        EXPECT_FALSE(LoadSearchStrings(table, path)) << path;
        EXPECT_EQ(CountSearchStrings(table), 0) << path;
    }
}

// Reading stops after the 200th string, and whenever the caller asks, also inside a line too
// long to keep: a huge strings file cannot hold a run or its stop.
TEST(LoadSearchStrings, StopsAfterTheLastStringOrWhenAsked) {
    CTempDir dir;
    std::string bytes;
    for (int i = 0; i < 200; ++i)
        bytes += "s" + std::to_string(i) + "\n";
    WriteWholeFile(dir / "full.str", bytes + std::string(10u << 20, 'x'));
    WriteWholeFile(dir / "long.str", std::string(10u << 20, 'y') + "\nyear\n");
    SearchStringTable table;
    int asked = 0;
    EXPECT_TRUE(LoadSearchStrings(table, dir / "full.str", [&] { return ++asked > 0; }));
    EXPECT_EQ(CountSearchStrings(table), 200);
    EXPECT_EQ(asked, 1); // one read of the file's start
    asked = 0;
    EXPECT_TRUE(LoadSearchStrings(table, dir / "long.str", [&] { return ++asked < 3; }));
    EXPECT_EQ(CountSearchStrings(table), 0); // not even the cut start of the line
    EXPECT_EQ(asked, 3);
}

TEST(StringsFileEntries, LoadEveryLineAndSaveWithCrLf) {
    CTempDir dir;
    std::string bytes;
    for (int i = 0; i < 250; ++i)
        bytes += (i == 3 ? std::string() : "e" + std::to_string(i)) + "\r\n";
    bytes += "e1\r\n" + std::string(400, 'w'); // a duplicate, and a long last line without CR LF
    WriteWholeFile(dir / "s.str", bytes);
    std::vector<std::string> entries;
    ASSERT_TRUE(LoadStringsFileEntries(dir / "s.str", entries));
    ASSERT_EQ(entries.size(), 252u);
    EXPECT_EQ(entries[3], "");
    EXPECT_EQ(entries[250], "e1");
    EXPECT_EQ(entries[251], std::string(EDITOR_LINE_MAX, 'w'));

    entries = {"one", "", "three"};
    ASSERT_TRUE(SaveStringsFileEntries(dir / "s.str", entries));
    EXPECT_EQ(ReadWholeFile(dir / "s.str"), "one\r\n\r\nthree\r\n");
    ASSERT_TRUE(SaveStringsFileEntries(dir / "s.str", {}));
    EXPECT_EQ(ReadWholeFile(dir / "s.str"), "");

    EXPECT_FALSE(LoadStringsFileEntries(dir / "missing", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(SaveStringsFileEntries(dir / "no/such/dir", {"x"}));
    EXPECT_FALSE(SaveStringsFileEntries("/dev/full", {"x"}));
}

} // namespace
