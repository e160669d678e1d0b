#include "shell/app.h"
#include "shell/helpcall.h"
#include "shell/mainframe.h"
#include "shell/settings.h"
#include "support/testfiles.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <climits>

namespace {

struct SettingsTest : ::testing::Test {
    CTempDir dir;
    std::string path = dir / "Kavel 2000.conf";
    CSettingsStore store{QString::fromStdString(path)};
};

TEST_F(SettingsTest, MissingValuesGiveTheDefaults) {
    EXPECT_EQ(store.ReadSettingInt("Window", "Left", CW_USEDEFAULT), CW_USEDEFAULT);
    EXPECT_EQ(store.ReadSettingInt("Window", "Maximise", 5), 5);
    EXPECT_EQ(store.ReadSettingString("Application", "Output", ""), "");
    EXPECT_EQ(store.ReadSettingString("Application", "Output", "fallback"), "fallback");
}

TEST_F(SettingsTest, StoredTextThatIsNoThirtyTwoBitIntegerReadsAsTheDefault) {
    struct Case {
        const char* stored;
        int expected;
    };
    const Case cases[] = {
        {"12", 12},
        {"-7", -7},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", 99},
        {"-2147483649", 99},
        {"4294967295", 99},
        {"abc", 99},
        {"12abc", 99},
        {"1.5", 99},
        {"0x10", 99},
        {"", 99},
        {"1, 2", 99},
    };
    for (const Case& c : cases) {
        WriteWholeFile(path, std::string("[Window]\nLeft=") + c.stored + "\n");
        EXPECT_EQ(store.ReadSettingInt("Window", "Left", 99), c.expected) << c.stored;
    }
}

TEST_F(SettingsTest, WritesReachTheFileBeforeReturningAndReadBack) {
    EXPECT_TRUE(store.WriteSettingInt("Window", "Left", -2147483647 - 1));
    EXPECT_TRUE(store.WriteSettingInt("Window", "Maximise", 3));
    const std::string outputPath = "/home/ann/reports, old/out=1 \xC3\xA9t\xC3\xA9.TXT";
    EXPECT_TRUE(store.WriteSettingString("Application", "Output", outputPath));

    const std::string file = ReadWholeFile(path);
    EXPECT_NE(file.find("[Window]"), std::string::npos);
    EXPECT_NE(file.find("Maximise=3"), std::string::npos);
    EXPECT_NE(file.find("[Application]"), std::string::npos);

    const CSettingsStore other(QString::fromStdString(path));
    EXPECT_EQ(other.ReadSettingInt("Window", "Left", 0), INT_MIN);
    EXPECT_EQ(other.ReadSettingInt("Window", "Maximise", 5), 3);
    EXPECT_EQ(other.ReadSettingString("Application", "Output", ""), outputPath);
    // Written as text, read as a number it is no integer.
    EXPECT_EQ(other.ReadSettingInt("Application", "Output", 7), 7);
}

TEST_F(SettingsTest, AStoreThatCannotBeWrittenFailsSilentlyAndReadsDefaults) {
    // A plain file where the folder should be: not even root can create the store there.
    WriteWholeFile(dir / "blocked", "");
    CSettingsStore blocked(QString::fromStdString(dir / "blocked/VornSoftware/Kavel 2000.conf"));
    EXPECT_FALSE(blocked.WriteSettingInt("Window", "Maximise", 3));
    EXPECT_FALSE(blocked.WriteSettingString("Application", "Output", "/tmp/x.txt"));
    EXPECT_EQ(blocked.ReadSettingInt("Window", "Maximise", 5), 5);
    EXPECT_EQ(blocked.ReadSettingString("Application", "Output", ""), "");
}

TEST(SettingsLocation, IsTheMakerFolderUnderTheUsersConfigFolder) {
    const QString path = CSettingsStore::DefaultFilePath("VornSoftware", "Kavel 2000");
    EXPECT_EQ(path.toStdString(),
              std::string(std::getenv("XDG_CONFIG_HOME")) + "/VornSoftware/Kavel 2000.conf");
}

TEST(HelpFilePath, FollowsTheProgramFileName) {
    struct Case {
        const char* program;
        const char* help;
    };
    const Case cases[] = {
        {"/opt/kavel/kavel32", "/opt/kavel/kavel.html"},
        {"/opt/kavel/KAVEL32", "/opt/kavel/kavel.html"},
        {"/opt/kavel/kavel32.exe", "/opt/kavel/kavel.html"},
        {"/usr/local/bin/y2k", "/usr/local/bin/y2k.html"},
        {"/e/kavel32.html.d/kavel32", "/e/kavel.html.d/kavel.html"},
        {"/tools.d/checker", "/tools.d/checker.html"},
        {"/home/ann/.profile", "/home/ann/.profile.html"},
        {"/Apps/Kavel32", "/Apps/kavel.html"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HelpFilePathFor(c.program), c.help) << c.program;
}

TEST(ShowCommand, MaximisedMinimisedOrNormalAndNeverHidden) {
    struct Case {
        int command;
        Qt::WindowState state;
    };
    const Case cases[] = {{3, Qt::WindowMaximized}, {5, Qt::WindowNoState},
                          {6, Qt::WindowMinimized}, {2, Qt::WindowMinimized},
                          {0, Qt::WindowNoState},   {1, Qt::WindowNoState},
                          {-4, Qt::WindowNoState},  {12345, Qt::WindowNoState}};
    for (const Case& c : cases) {
        QWidget window;
        ShowWithCommand(window, c.command);
        EXPECT_TRUE(window.isVisible()) << c.command;
        EXPECT_EQ(window.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized), c.state)
            << c.command;
    }
}

} // namespace
