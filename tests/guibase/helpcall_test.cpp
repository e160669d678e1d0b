// Where the program looks for its help file.
#include "gui/base/helpcall.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(HelpFilePath, FollowsTheProgramFileNameBesideItThenWhereItIsInstalled) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/kavel/kavel32", "/opt/kavel/kavel.html"},
        {"/opt/kavel/KAVEL32.exe", "/opt/kavel/kavel.html"},
        {"/usr/local/bin/y2k", "/usr/local/bin/y2k.html"},
        {"/e/kavel32.html.d/kavel32", "/e/kavel.html.d/kavel.html"},
        {"/home/ann/.profile", "/home/ann/.profile.html"},
    };
    for (const auto& [program, help] : cases)
        EXPECT_EQ(HelpFilePathFor(program), help) << program;
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
