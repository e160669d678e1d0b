#include "toolkit/dirlisting.h"

#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A non-UTF-8 name byte: Latin-1 e acute.
const std::string E_ACUTE = "\xe9";

void MakeSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    path.copy(address.sun_path, path.size());
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

// Keeps the process's current directory and $HOME, and the volume memory, apart per test.
class DirListingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_strSavedDir = CurrentDirectory();
        if (const char* home = std::getenv("HOME"))
            m_savedHome = home;
        ::mkdir((m_tree / "home").c_str(), 0700);
        ::setenv("HOME", (m_tree / "home").c_str(), 1);
        ForgetVolumeDirectories();
    }
    void TearDown() override {
        EXPECT_EQ(::chdir(m_strSavedDir.c_str()), 0);
        if (m_savedHome)
            ::setenv("HOME", m_savedHome->c_str(), 1);
        else
            ::unsetenv("HOME");
        ForgetVolumeDirectories();
    }
    std::string Dir(const std::string& relative) {
        const std::string path = m_tree / relative;
        EXPECT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
        return path;
    }

    CTempDir m_tree;
    std::string m_strSavedDir;
    std::optional<std::string> m_savedHome;
};

TEST(MatchesMask, Masks) {
    struct Case {
        const char* name;
        const char* mask;
        bool bMatch;
    };
    const Case cases[] = {
        {"README", "*.*", true},  {".hidden", "*.*", true},  {"a.b.c", "*.*", true},
        {"src", "*.", true},      {"old.src", "*.", false},  {".git", "*.", false},
        {".", "*.", false},       {"..", "*.", false},       {"trailing.", "*.", false},
        {"a.txt", "*.txt", true}, {"a.TXT", "*.txt", false}, {".txt", "*.txt", true},
        {"ab", "a?", true},       {"abc", "a?", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.bMatch) << c.name << " / " << c.mask;
}

TEST(ListOrderLess, FoldsAsciiCaseOnlyAndIsTotal) {
    std::vector<std::string> names = {"b", "[..]",          "B",    "a",    "[src]", "10",
                                      "A", "caf" + E_ACUTE, "cafe", "[Bin]"};
    std::sort(names.begin(), names.end(), ListOrderLess);
    const std::vector<std::string> expected = {
        "10", "A", "a", "B", "b", "cafe", "caf" + E_ACUTE, "[..]", "[Bin]", "[src]"};
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(ListOrderLess("same", "same"));
}

TEST(DirectoryListEntries, ParentExactlyOnceExceptAtRoot) {
    struct Case {
        const char* currentDir;
        std::vector<CDirEntry> entries;
        std::vector<std::string> expected;
    };
    const CDirEntry dot{".", true}, dotdot{"..", true};
    const Case cases[] = {
        {"/", {dot, dotdot, {"usr", true}, {"etc", true}}, {"[etc]", "[usr]"}},
        {"/work", {dot, dotdot, {"src", true}}, {"[..]", "[src]"}},
        // An enumeration without ".." still gets the parent entry, once.
        {"/work", {{"src", true}}, {"[..]", "[src]"}},
        {"/work", {}, {"[..]"}},
        // The current directory unknown (removed): the way up stays offered.
        {"", {}, {"[..]"}},
        {"/work", {{"old.src", true}, {".cache", true}, {"file", false}}, {"[..]"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DirectoryListEntries(c.entries, c.currentDir), c.expected) << c.currentDir;
}

TEST_F(DirListingTest, ListsTreeByKindWithHiddenSpecialAndNonUtf8Names) {
    const std::string deep = Dir("deep");
    for (const char* name : {"deep/src", "deep/Old.src", "deep/.git", "deep/bin"})
        Dir(name);
    Dir("deep/d" + E_ACUTE + "j");
    for (const char* name : {"deep/README", "deep/.hidden", "deep/notes.txt"})
        WriteWholeFile(m_tree / name, "x");
    WriteWholeFile(m_tree / ("deep/caf" + E_ACUTE + ".txt"), "x");
    ASSERT_EQ(::mkfifo((m_tree / "deep/pipe").c_str(), 0600), 0);
    MakeSocket(m_tree / "deep/sock");
    ASSERT_EQ(::symlink("bin", (m_tree / "deep/link").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (m_tree / "deep/dangling").c_str()), 0);

    std::vector<CDirEntry> entries;
    ASSERT_EQ(ReadDirectory(deep, entries), 0);
    const std::vector<std::string> dirs = {"[..]", "[bin]", "[d" + E_ACUTE + "j]", "[link]",
                                           "[src]"};
    EXPECT_EQ(DirectoryListEntries(entries, deep), dirs);
    const std::vector<std::string> files = {
        ".hidden", "caf" + E_ACUTE + ".txt", "dangling", "notes.txt", "pipe", "README", "sock"};
    EXPECT_EQ(FileListEntries(entries, "*.*"), files);
    EXPECT_EQ(FileListEntries(entries, "*.txt"),
              (std::vector<std::string>{"caf" + E_ACUTE + ".txt", "notes.txt"}));

    ASSERT_EQ(ReadDirectory("/", entries), 0);
    const std::vector<std::string> rootDirs = DirectoryListEntries(entries, "/");
    EXPECT_FALSE(rootDirs.empty());
    for (const std::string& text : rootDirs)
        EXPECT_TRUE(text != "[..]" && text != "[.]") << text;

    EXPECT_EQ(ReadDirectory(m_tree / "missing", entries), -1);
    EXPECT_TRUE(entries.empty());
}

TEST(VolumeOfDirectory, HomeAndEverythingElse) {
    struct Case {
        const char* dir;
        const char* home;
        const char* volume;
    };
    const Case cases[] = {
        {"/home/ann", "/home/ann", "~"},  {"/home/ann/src", "/home/ann", "~"},
        {"/home/anna", "/home/ann", "/"}, {"/home", "/home/ann", "/"},
        {"/", "/home/ann", "/"},          {"/tmp", "", "/"},
        {"/anything", "/", "~"},          {"", "/home/ann", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VolumeOfDirectory(c.dir, c.home), c.volume) << c.dir << " in " << c.home;
}

TEST_F(DirListingTest, HomeDirectoryIsResolvedWithoutTrailingSlash) {
    const std::string real = Dir("real");
    ASSERT_EQ(::symlink(real.c_str(), (m_tree / "alias").c_str()), 0);
    ::setenv("HOME", (m_tree / "alias/").c_str(), 1);
    const std::string resolved = HomeDirectory();
    EXPECT_EQ(VolumeOfDirectory(resolved, resolved), "~");
    EXPECT_EQ(resolved.back(), 'l');
    struct stat a, b;
    ASSERT_EQ(::stat(resolved.c_str(), &a), 0);
    ASSERT_EQ(::stat(real.c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    // A home that does not exist is kept as given.
    ::setenv("HOME", "/no/such/home//", 1);
    EXPECT_EQ(HomeDirectory(), "/no/such/home");
}

TEST_F(DirListingTest, VolumesReturnToTheirLastDirectory) {
    const std::string work = Dir("work");
    const std::string deeper = Dir("work/deeper");
    const std::string project = Dir("home/project");
    const std::string home = HomeDirectory();

    ASSERT_EQ(EnterDirectory(deeper + "/"), 0);
    EXPECT_EQ(CurrentDirectory(), deeper);
    ASSERT_EQ(EnterDirectory(".."), 0);
    EXPECT_EQ(CurrentDirectory(), work);
    ASSERT_EQ(EnterDirectory(project), 0);
    ASSERT_EQ(EnterDirectory("/:"), 0);
    EXPECT_EQ(CurrentDirectory(), work);
    ASSERT_EQ(EnterDirectory("~:"), 0);
    EXPECT_EQ(CurrentDirectory(), home + "/project");
    // Entering the current volume stays where it is.
    ASSERT_EQ(EnterDirectory("~:"), 0);
    EXPECT_EQ(CurrentDirectory(), home + "/project");

    // A remembered directory that has gone leaves the volume's root reachable.
    ASSERT_EQ(::rmdir(deeper.c_str()), 0);
    ASSERT_EQ(::rmdir(work.c_str()), 0);
    ASSERT_EQ(EnterDirectory("/:"), 0);
    EXPECT_EQ(CurrentDirectory(), "/");
    ASSERT_EQ(EnterDirectory("~:"), 0);
    EXPECT_EQ(CurrentDirectory(), home + "/project");
}

TEST_F(DirListingTest, UnusedVolumesStartAtTheirRoot) {
    ASSERT_EQ(EnterDirectory(Dir("elsewhere")), 0);
    ASSERT_EQ(EnterDirectory("~:"), 0);
    EXPECT_EQ(CurrentDirectory(), HomeDirectory());
    ForgetVolumeDirectories();
    ASSERT_EQ(EnterDirectory("/:"), 0);
    EXPECT_EQ(CurrentDirectory(), "/");
}

TEST_F(DirListingTest, FailedEntryChangesNothing) {
    const std::string start = Dir("start");
    WriteWholeFile(m_tree / "start/plain", "x");
    ASSERT_EQ(EnterDirectory(start), 0);
    for (const std::string& path :
         {std::string("plain"), std::string("plain/"), m_tree / "vanished", std::string("")})
        EXPECT_EQ(EnterDirectory(path), -1) << path;
    EXPECT_EQ(CurrentDirectory(), start);
    // The failures left the memory as it was: the volume still returns here.
    ASSERT_EQ(EnterDirectory("~:"), 0);
    ASSERT_EQ(EnterDirectory("/:"), 0);
    EXPECT_EQ(CurrentDirectory(), start);
}

TEST_F(DirListingTest, RemovedCurrentDirectoryCanBeLeftByVolume) {
    const std::string doomed = Dir("doomed");
    ASSERT_EQ(EnterDirectory(doomed), 0);
    ASSERT_EQ(::rmdir(doomed.c_str()), 0);
    EXPECT_EQ(CurrentDirectory(), "");
    EXPECT_EQ(EnterDirectory("/:"), 0);
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
