// Settings files that are not what the program wrote: every value reads as its default or as
// what was stored, nothing breaks, and nothing is shown.
#include "gui/window/settings.h"
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
    int writes = 0;
    for (const SettingsFault& c : cases) {
        WriteWholeFile(path, c.bytes);
        // A time of its own for each file: the settings reader may keep what it read while a
        // file's size and modification time stay the same.
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() +
                                                   std::chrono::seconds(++writes));
        const CSettingsStore store(QString::fromStdString(path)); // reads its file once
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

// A settings file linked to a FIFO, a device or a folder (a common way to keep a program from
// saving settings) reads as missing without waiting and is never replaced; a link to a regular
// file is followed and stays a link.
TEST(SettingsFileFaults, OnlyARegularFileIsReadOrWritten) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
    for (const std::string& target : {dir / "fifo", dir / "folder"}) {
        const std::string link = dir / "Kavel 2000.conf";
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
        for (const std::string& path : {link, target}) {
            CSettingsStore store(QString::fromStdString(path));
            EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), 99) << path;
            EXPECT_FALSE(store.WriteSettingInt("Window", "Left", 5)) << path;
            EXPECT_FALSE(store.WriteSettingString("Application", "Output", "/x")) << path;
        }
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(std::filesystem::status(target).type(),
                  target == dir / "fifo" ? std::filesystem::file_type::fifo
                                         : std::filesystem::file_type::directory);
    }
    WriteWholeFile(dir / "real.conf", "[Window]\nLeft=7\n");
    const std::string link = dir / "link.conf";
    std::filesystem::create_symlink(dir / "real.conf", link);
    CSettingsStore store(QString::fromStdString(link));
    EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), 7);
    EXPECT_TRUE(store.WriteSettingInt("Window", "Left", 8));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(ReadWholeFile(dir / "real.conf").find("Left=8"), std::string::npos);
}

// The file is read once; a value that is stored already is not written again, so a start and
// exit that change nothing leave the file as it was, however large it is.
TEST(SettingsFileFaults, ReadOnceAndWrittenOnlyWhenAValueChanges) {
    CTempDir dir;
    const std::string path = dir / "Kavel 2000.conf";
    std::string big = "[Window]\nLeft=3\nTop=4\n[Padding]\n";
    for (int i = 0; i < 20000; ++i)
        big += "k" + std::to_string(i) + "=" + std::string(40, 'v') + "\n";
    WriteWholeFile(path, big);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    CSettingsStore store(QString::fromStdString(path));
    EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), 3);
    EXPECT_TRUE(store.WriteSettingInts("Window", {{"Left", 3}, {"Top", 4}}));
    EXPECT_TRUE(store.WriteSettingInt("Window", "Left", 3));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino); // a write would have put a new file in its place
    EXPECT_EQ(ReadWholeFile(path), big);
    // A change is written, with everything else the file holds.
    EXPECT_TRUE(store.WriteSettingInt("Window", "Left", 5));
    CSettingsStore again(QString::fromStdString(path));
    EXPECT_EQ(again.ReadSettingInt("Window", "Left", 99), 5);
    EXPECT_EQ(again.ReadSettingInt("Window", "Top", 99), 4);
    EXPECT_EQ(again.ReadSettingString("Padding", "k19999", ""), std::string(40, 'v'));
    // Written by another program meanwhile, the file is not read again until a change is
    // written; the change then joins what that program wrote.
    WriteWholeFile(path, "[Window]\nLeft=9\nTop=1\n");
    EXPECT_EQ(again.ReadSettingInt("Window", "Left", 99), 5);
    EXPECT_TRUE(again.WriteSettingInt("Window", "Maximise", 3));
    const CSettingsStore third(QString::fromStdString(path));
    EXPECT_EQ(third.ReadSettingInt("Window", "Top", 99), 1);
    EXPECT_EQ(third.ReadSettingInt("Window", "Maximise", 99), 3);
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
