#include "core/text/helpcall.h"
#include "gui/window/app.h"
#include "gui/window/settings.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <filesystem>

namespace {

TEST(Settings, MissingOrMalformedValuesReadAsTheDefault) {
    CTempDir dir;
    const std::string path = dir / "Kavel 2000.conf";
    const CSettingsStore store(QString::fromStdString(path));
    EXPECT_EQ(store.ReadSettingString("Application", "Output", "fallback"), "fallback");
    // A store reads its file once: each file gets a store of its own, and a time of its own
    // (the settings reader keeps a file's contents while its size and time stay the same).
    int writes = 0;
    auto read = [&](const char* stored) {
        WriteWholeFile(path, std::string("[Window]\nLeft=") + stored + "\n");
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() +
                                                   std::chrono::seconds(++writes));
        return CSettingsStore(QString::fromStdString(path)).ReadSettingInt("Window", "Left", 99);
    };
    EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), 99); // missing
    EXPECT_EQ(read("12"), 12);
    EXPECT_EQ(read("-7"), -7);
    EXPECT_EQ(read("2147483647"), INT_MAX);
    EXPECT_EQ(read("-2147483648"), INT_MIN);
    for (const char* bad :
         {"2147483648", "-2147483649", "4294967295", "abc", "12abc", "1.5", "0x10", "", "1, 2"})
        EXPECT_EQ(read(bad), 99) << bad;
}

TEST(Settings, WritesReachTheFileBeforeReturningOrFailSilently) {
    CTempDir dir;
    const std::string path = dir / "s.conf";
    CSettingsStore store(QString::fromStdString(path));
    const std::string output = "/home/ann/reports, old/out=1 \xC3\xA9t\xC3\xA9.TXT";
    EXPECT_TRUE(store.WriteSettingInt("Window", "Maximise", 3));
    EXPECT_TRUE(store.WriteSettingString("Application", "Output", output));
    EXPECT_NE(ReadWholeFile(path).find("Maximise=3"), std::string::npos);
    const CSettingsStore other(QString::fromStdString(path));
    EXPECT_EQ(other.ReadSettingString("Application", "Output", ""), output);
    EXPECT_EQ(other.ReadSettingInt("Application", "Output", 7), 7); // text is no integer
    // A plain file where the folder should be: not even root can create the store there.
    CSettingsStore blocked(QString::fromStdString(path + "/x.conf"));
    EXPECT_FALSE(blocked.WriteSettingInt("Window", "Maximise", 3));
    EXPECT_EQ(blocked.ReadSettingInt("Window", "Maximise", 5), 5);
}

TEST(HelpFilePath, FollowsTheProgramFileName) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/kavel/kavel32", "/opt/kavel/kavel.html"},
        {"/opt/kavel/KAVEL32.exe", "/opt/kavel/kavel.html"},
        {"/usr/local/bin/y2k", "/usr/local/bin/y2k.html"},
        {"/e/kavel32.html.d/kavel32", "/e/kavel.html.d/kavel.html"},
        {"/home/ann/.profile", "/home/ann/.profile.html"},
    };
    for (const auto& [program, help] : cases)
        EXPECT_EQ(HelpFilePathFor(program), help) << program;
}

// Installed, the program finds its help file in ../share/kavel2000/; beside it comes first.
TEST(HelpFilePath, BesideTheProgramFirstThenWhereItIsInstalled) {
    EXPECT_EQ(HelpFileCandidates("/usr/bin/kavel32"),
              (std::vector<std::string>{"/usr/bin/kavel.html",
                                        "/usr/bin/../share/kavel2000/kavel.html"}));
    CTempDir dir;
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_directories(dir / "share/kavel2000");
    const std::vector<std::string> candidates = HelpFileCandidates(dir / "bin/kavel32");
    EXPECT_EQ(FirstHelpFile(candidates), dir / "bin/kavel.html"); // none yet: the first
    WriteWholeFile(dir / "share/kavel2000/kavel.html", "<html></html>");
    EXPECT_EQ(FirstHelpFile(candidates), dir / "bin/../share/kavel2000/kavel.html");
    WriteWholeFile(dir / "bin/kavel.html", "<html></html>");
    EXPECT_EQ(FirstHelpFile(candidates), dir / "bin/kavel.html");
}

} // namespace
