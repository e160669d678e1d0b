#include "gui/base/dirlisting.h"

#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A non-UTF-8 name byte: Latin-1 e acute.
const std::string E_ACUTE = "\xe9";
using Texts = std::vector<std::string>;

// Keeps the process's current directory, $HOME and the volume memory apart per test.
class DirListingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::mkdir((m_tree / "home").c_str(), 0700);
        ::setenv("HOME", (m_tree / "home").c_str(), 1);
        ForgetVolumeDirectories();
    }
    void TearDown() override {
        EXPECT_EQ(::chdir(m_strSavedDir.c_str()), 0);
        m_savedHome ? ::setenv("HOME", m_savedHome->c_str(), 1) : ::unsetenv("HOME");
        ForgetVolumeDirectories();
    }
    std::string Dir(const std::string& relative) {
        EXPECT_EQ(::mkdir((m_tree / relative).c_str(), 0755), 0) << relative;
        return m_tree / relative;
    }

    CTempDir m_tree;
    const std::string m_strSavedDir = CurrentDirectory();
    const std::optional<std::string> m_savedHome =
        std::getenv("HOME") ? std::optional<std::string>(std::getenv("HOME")) : std::nullopt;
};

TEST_F(DirListingTest, ListsTreeByKindWithHiddenSpecialAndNonUtf8NamesInTheirOrder) {
    const std::string deep = Dir("deep");
    for (const std::string& name :
         Texts{"src", "Old.src", ".git", "trailing.", "bin", "Bin", "d" + E_ACUTE + "j"})
        Dir("deep/" + name);
    for (const std::string& name :
         Texts{"README", "readme", ".hidden", "a.TXT", "notes.txt", "caf" + E_ACUTE + ".txt"})
        WriteWholeFile(m_tree / ("deep/" + name), "x");
    ASSERT_EQ(::mkfifo((m_tree / "deep/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("bin", (m_tree / "deep/link").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (m_tree / "deep/dangling").c_str()), 0);

    std::vector<CDirEntry> entries;
    ASSERT_EQ(ReadDirectory(deep, entries), 0);
    EXPECT_EQ(DirectoryListEntries(entries, deep),
              (Texts{"[..]", "[Bin]", "[bin]", "[d" + E_ACUTE + "j]", "[link]", "[src]"}));
    EXPECT_EQ(FileListEntries(entries, "*.*"),
              (Texts{".hidden", "a.TXT", "caf" + E_ACUTE + ".txt", "dangling", "notes.txt", "pipe",
                     "README", "readme"}));
    EXPECT_EQ(FileListEntries(entries, "*.txt"), (Texts{"caf" + E_ACUTE + ".txt", "notes.txt"}));
    EXPECT_EQ(FileListEntries(entries, "n?tes.*"), Texts{"notes.txt"});
    // "[..]" once even where the enumeration lacks "..", and with the current directory gone.
    EXPECT_EQ(DirectoryListEntries({{"src", true}}, "/work"), (Texts{"[..]", "[src]"}));
    EXPECT_EQ(DirectoryListEntries({}, ""), Texts{"[..]"});

    ASSERT_EQ(ReadDirectory("/", entries), 0);
    EXPECT_EQ(DirectoryListEntries(entries, "/")[0].rfind("[..]"), std::string::npos);

    EXPECT_EQ(ReadDirectory(m_tree / "missing", entries), -1);
    EXPECT_TRUE(entries.empty());
}

TEST_F(DirListingTest, VolumeOfDirectoryAndTheResolvedHome) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"/home/ann", "/home/ann", "~"},
        {"/home/ann/src", "/home/ann", "~"},
        {"/home/anna", "/home/ann", "/"},
        {"/home", "/home/ann", "/"},
        {"/tmp", "", "/"},
        {"/anything", "/", "~"},
        {"", "/home/ann", ""}};
    for (const auto& [dir, home, volume] : cases)
        EXPECT_EQ(VolumeOfDirectory(dir, home), volume) << dir << " in " << home;
}

TEST_F(DirListingTest, VolumesReturnToTheirLastDirectory) {
    // Unused volumes start at their root.
    ASSERT_EQ(EnterDirectory(Dir("elsewhere")), 0);
    ASSERT_EQ(EnterDirectory("~:"), 0);
    EXPECT_EQ(CurrentDirectory(), HomeDirectory());
    ForgetVolumeDirectories();

    const std::string work = Dir("work"), deeper = Dir("work/deeper");
    const std::string project = Dir("home/project");
    ASSERT_EQ(EnterDirectory(deeper + "/"), 0);
    EXPECT_EQ(CurrentDirectory(), deeper);
    ASSERT_EQ(EnterDirectory(".."), 0);
    EXPECT_EQ(CurrentDirectory(), work);
    ASSERT_EQ(EnterDirectory(project), 0);
    ASSERT_EQ(EnterDirectory("/:"), 0);
    EXPECT_EQ(CurrentDirectory(), work);
    for (int i = 0; i < 2; ++i) { // entering the current volume stays where it is
        ASSERT_EQ(EnterDirectory("~:"), 0);
        EXPECT_EQ(CurrentDirectory(), HomeDirectory() + "/project");
    }
    // A failed entry changes nothing, the volume memory neither.
    WriteWholeFile(work + "/plain", "x");
    ASSERT_EQ(EnterDirectory(work), 0);
    for (const std::string& path : {std::string("plain"), std::string("plain/"), std::string()})
        EXPECT_EQ(EnterDirectory(path), -1) << path;
    ASSERT_EQ(EnterDirectory("~:"), 0);
    ASSERT_EQ(EnterDirectory("/:"), 0);
    EXPECT_EQ(CurrentDirectory(), work);
    // A remembered directory that has gone, even the current one, leaves the root reachable.
    ASSERT_EQ(EnterDirectory(deeper), 0);
    ASSERT_EQ(::rmdir(deeper.c_str()), 0);
    EXPECT_EQ(CurrentDirectory(), "");
    ASSERT_EQ(EnterDirectory("/:"), 0);
    EXPECT_EQ(CurrentDirectory(), "/");
}

TEST_F(DirListingTest, CurrentDirectoryOfAnyLength) {
    // Deeper than the system's path limit: walked down one name at a time.
    std::string path = m_tree.Path();
    ASSERT_EQ(EnterDirectory(path), 0);
    const std::string part(200, 'n');
    while (path.size() < 5000) {
        ASSERT_EQ(::mkdir(part.c_str(), 0755), 0);
        ASSERT_EQ(EnterDirectory(part), 0);
        path += "/" + part;
    }
    EXPECT_EQ(CurrentDirectory(), path);
    EXPECT_EQ(EnterDirectory(".."), 0);
    EXPECT_EQ(CurrentDirectory(), path.substr(0, path.size() - part.size() - 1));
}

} // namespace
