// Settings files that are not what the program wrote: every value reads as its default or as
// what was stored, nothing breaks, and nothing is shown.
#include "shell/settings.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <sys/stat.h>

namespace {

struct SettingsFault {
    const char* name;
    std::string bytes;
    int left; // what Window/Left reads as with the default 99
    std::string output;
};

TEST(SettingsFileFaults, GarbageAndWrongTypesReadAsDefaults) {
    std::mt19937 rng(1999);
    std::string binary;
    for (int i = 0; i < 100000; ++i)
        binary.push_back(static_cast<char>(rng()));
    const SettingsFault cases[] = {
        {"binary", binary, 99, "-"},
        {"NUL bytes end a value", std::string("[Window]\nLeft=1\0 2\n", 19), 1, "-"},
        {"no section header", "Left=5\nOutput=/x\n", 99, "-"},
        {"unclosed header", "[Window\nLeft=5\n", 5, "-"},
        {"typed values",
         "[Window]\nLeft=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5QFont)\n"
         "[Application]\nOutput=@ByteArray(/tmp/a)\n",
         99, "/tmp/a"},
        {"a rectangle and a list", "[Window]\nLeft=@Rect(1 2 3 4)\n[Application]\nOutput=a, b\n",
         99, "-"},
        {"out of range and signs", "[Window]\nLeft=+-5\n", 99, "-"},
        {"quoted number", "[Window]\nLeft=\"12\"\n", 12, "-"},
        {"a line of a megabyte", "[Window]\nLeft=" + std::string(1 << 20, '7') + "\n", 99, "-"},
        {"duplicate keys", "[Window]\nLeft=1\nLeft=2\n", 2, "-"},
        {"CR LF and blanks", "[Window]\r\n  Left = 3 \r\n", 3, "-"},
    };
    CTempDir dir;
    const std::string path = dir / "Kavel 2000.conf";
    const CSettingsStore store(QString::fromStdString(path));
    int writes = 0;
    for (const SettingsFault& c : cases) {
        WriteWholeFile(path, c.bytes);
        // A time of its own for each write: the settings reader may keep what it read while a
        // file's size and modification time stay the same.
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() +
                                                   std::chrono::seconds(++writes));
        EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), c.left) << c.name;
        EXPECT_EQ(store.ReadSettingInt("Window", "Maximise", 5), 5) << c.name;
        EXPECT_EQ(store.ReadSettingString("Application", "Output", "-"), c.output) << c.name;
    }
}

TEST(SettingsFileFaults, AFileThatIsNoFileReadsAsDefaults) {
    CTempDir dir;
    ASSERT_EQ(::mkdir((dir / "adir.conf").c_str(), 0755), 0);
    for (const std::string& path : {dir / "adir.conf", std::string("/dev/null"), dir / "none"}) {
        const CSettingsStore store(QString::fromStdString(path));
        EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), 99) << path;
        EXPECT_EQ(store.ReadSettingString("Application", "Output", "-"), "-") << path;
    }
}

TEST(SettingsFileFaults, PathsThatAreNotUtf8ReadBackUnchanged) {
    CTempDir dir;
    CSettingsStore store(QString::fromStdString(dir / "Kavel 2000.conf"));
    for (const std::string& path :
         {std::string("/home/ann/caf\xe9.txt"), std::string("/tmp/\xff\xfe\x80.str"),
          std::string("/tmp/\xc3\xa9t\xc3\xa9.txt")}) {
        EXPECT_TRUE(store.WriteSettingString("Application", "Output", path));
        EXPECT_EQ(store.ReadSettingString("Application", "Output", ""), path);
    }
}

} // namespace
