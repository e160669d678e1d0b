// The settings store: values round trip, a file that is not what the program wrote reads as
// defaults or as what was stored, only a regular file is read or written, and a write happens
// only when a value changes.
#include "gui/window/settings.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <random>
#include <sys/stat.h>

namespace {

TEST(Settings, WhatIsNotAStoredValueReadsAsTheDefault) {
    std::mt19937 rng(1999);
    std::string binary;
    for (int i = 0; i < 100000; ++i)
        binary.push_back(static_cast<char>(rng()));
    const std::string window = "[Window]\nLeft=";
    const std::tuple<std::string, int, std::string> cases[] = {
        {window + "12\n", 12, "-"},
        {window + "-2147483648\n", INT_MIN, "-"},
        {window + "2147483647\n", INT_MAX, "-"},
        {window + "2147483648\n", 99, "-"},
        {window + "12abc\n", 99, "-"},
        {window + "+-5\n", 99, "-"},
        {window + "\"12\"\n", 12, "-"},
        {window + std::string(1 << 20, '7') + "\n", 99, "-"},
        {std::string("[Window]\nLeft=1\0 2\n", 19), 1, "-"},
        {"[Window]\r\n  Left = 3 \r\n", 3, "-"},
        {"Left=5\nOutput=/x\n", 99, "-"},
        {window +
             "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5QFont)\n[Application]\nOutput=@ByteArray(/a)\n",
         99, "/a"},
        {window + "@Rect(1 2 3 4)\n[Application]\nOutput=a, b\n", 99, "-"},
        {binary, 99, "-"},
    };
    CTempDir dir;
    int n = 0; // a file of its own for each case: the reader may keep what it read of a name
    for (const auto& [bytes, left, output] : cases) {
        const std::string path = dir / std::to_string(++n);
        WriteWholeFile(path, bytes);
        const CSettingsStore store(QString::fromStdString(path));
        EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), left) << bytes.substr(0, 40);
        EXPECT_EQ(store.ReadSettingString("Application", "Output", "-"), output);
    }
}

// A settings file that is a FIFO, a device, a folder or a link to one (a common way to keep a
// program from saving settings) reads as missing without waiting and is never replaced; a link
// to a regular file is followed and stays a link.
TEST(Settings, OnlyARegularFileIsReadOrWritten) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
    std::filesystem::create_symlink(dir / "fifo", dir / "fifo.conf");
    std::filesystem::create_symlink(dir / "folder", dir / "folder.conf");
    WriteWholeFile(dir / "real.conf", "[Window]\nLeft=7\n");
    // The last: a plain file where the folder should be, so that not even root can write it.
    for (const std::string& path :
         {dir / "fifo", dir / "folder", dir / "fifo.conf", dir / "folder.conf",
          std::string("/dev/null"), dir / "real.conf/x.conf"}) {
        CSettingsStore store(QString::fromStdString(path));
        EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), 99) << path;
        EXPECT_FALSE(store.WriteSettingInt("Window", "Left", 5)) << path;
        EXPECT_FALSE(store.WriteSettingString("Application", "Output", "/x")) << path;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "fifo.conf"));
    EXPECT_EQ(std::filesystem::status(dir / "fifo").type(), std::filesystem::file_type::fifo);
    const std::string link = dir / "link.conf";
    std::filesystem::create_symlink(dir / "real.conf", link);
    CSettingsStore store(QString::fromStdString(link));
    EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), 7);
    EXPECT_TRUE(store.WriteSettingInt("Window", "Left", 8));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(ReadWholeFile(dir / "real.conf").find("Left=8"), std::string::npos);
}

// Values round trip, written before the call returns. The file is read once; a value that is
// stored already is not written again, so a start and exit that change nothing leave the file
// as it was, however large it is.
TEST(Settings, ValuesRoundTripReadOnceAndWrittenOnlyWhenAValueChanges) {
    CTempDir dir;
    const std::string path = dir / "Kavel 2000.conf";
    for (const std::string& output :
         {std::string("/home/ann/reports, old/out=1 \xC3\xA9t\xC3\xA9.TXT"),
          std::string("/tmp/\xff\xfe\x80.str")}) {
        EXPECT_TRUE(CSettingsStore(QString::fromStdString(path))
                        .WriteSettingString("Application", "Output", output));
        const CSettingsStore other(QString::fromStdString(path));
        EXPECT_EQ(other.ReadSettingString("Application", "Output", ""), output);
        EXPECT_EQ(other.ReadSettingInt("Application", "Output", 7), 7); // text is no integer
    }
    std::string big = "[Window]\nLeft=3\nTop=4\n[Padding]\n";
    for (int i = 0; i < 20000; ++i)
        big += "k" + std::to_string(i) + "=" + std::string(40, 'v') + "\n";
    WriteWholeFile(path, big);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    CSettingsStore store(QString::fromStdString(path));
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

} // namespace
