// The files that names stand for: folders walked in the byte order of the paths, links and
// special files inside left out, exclusions, and the list the same whether walked at once or
// alongside.
#include "core/lines/linefile.h"
#include "core/run/treewalk.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

// The regular files below the folder, links not followed, sorted by their paths' bytes: what
// `find DIR -type f | LC_ALL=C sort` prints.
std::vector<std::string> FindFiles(const std::string& folder) {
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && !entry.is_symlink())
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// The descriptors the process holds open.
long OpenDescriptors() {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

// The process's limit of descriptors lowered to at most max while it lives.
class CDescriptorLimit {
  public:
    explicit CDescriptorLimit(rlim_t max) {
        ::getrlimit(RLIMIT_NOFILE, &m_old);
        rlimit low = m_old;
        low.rlim_cur = std::min(m_old.rlim_cur, max);
        ::setrlimit(RLIMIT_NOFILE, &low);
    }
    ~CDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &m_old); }

  private:
    rlimit m_old{};
};

struct TreeWalkTest : ::testing::Test {
    CTempDir dir;
    std::string root = dir / "tree";

    void SetUp() override {
        // Names whose order differs between a walk that sorts names and one that sorts paths:
        // "a.c" (0x2E) before "a/" (0x2F) before "a0"; upper case before lower; bytes above
        // 0x7F last.
        for (const char* folder : {"a", "a/b", "a b", "B", ".git", "sub", "sub/deep", "\xc3\xa9"})
            fs::create_directories(root + "/" + folder);
        for (const char* file : {"a.c", "a0", "a/x.c", "a/b/y.o", "a/b/z.c", "a b/w", "B/v.c",
                                 "b.c", ".git/HEAD", "sub/s.c", "sub/deep/t.c", "sub/deep/t.o",
                                 "\xc3\xa9/u.c", "Z", "-dash", "mem", "kpagecount", "trace_pipe"})
            WriteWholeFile(root + "/" + file, "x\n");
        fs::create_symlink(root + "/a.c", root + "/link.c");
        fs::create_directory_symlink(root + "/sub", root + "/linkdir");
        ::mkfifo((root + "/fifo").c_str(), 0600);
    }
};

TEST_F(TreeWalkTest, WalksInTheByteOrderOfThePathsWithoutLinksOrSpecialFiles) {
    const std::vector<std::string> expected = FindFiles(root);
    EXPECT_EQ(CTreeWalk::ListAll({root}, {}, true), expected);
    // Several names in the order given; a link named is followed; a name that is no folder
    // is listed as it is, to be checked or reported.
    EXPECT_EQ(CTreeWalk::ListAll({root + "/linkdir", root + "/Z", root + "/none", root + "/B"}, {}),
              (std::vector<std::string>{root + "/linkdir/deep/t.c", root + "/linkdir/deep/t.o",
                                        root + "/linkdir/s.c", root + "/Z", root + "/none",
                                        root + "/B/v.c"}));
    // A folder named with a final "/" gives no doubled separator.
    EXPECT_EQ(CTreeWalk::ListAll({root + "/B/"}, {}), (std::vector<std::string>{root + "/B/v.c"}));
}

// A walk of the kernel's procfs skips the files that hold no text or whose read waits for ever
// (their names elsewhere are checked: see the tree above); a name given is taken as it is.
TEST(TreeWalk, AWalkOfProcSkipsItsFilesThatHoldNoTextOrWait) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"/proc", {"kmsg", "kcore", "kpagecount", "kpageflags", "kpagecgroup"}},
        {"/proc/self", {"mem", "pagemap", "clear_refs"}},
    };
    for (const auto& [folder, skipped] : cases) {
        std::set<std::string> names;
        for (const std::string& path : CTreeWalk::ListAll({folder}, {"*/"}))
            names.insert(path.substr(path.rfind('/') + 1));
        EXPECT_EQ(names.count("stat"), 1u) << folder; // a file of text is listed
        for (const std::string& name : skipped)
            EXPECT_EQ(names.count(name), 0u) << folder << "/" << name;
    }
    EXPECT_EQ(CTreeWalk::ListAll({"/proc/self/pagemap"}, {}),
              (std::vector<std::string>{"/proc/self/pagemap"}));
}

TEST_F(TreeWalkTest, ExcludesByNameOrByPathBelowTheWalkedFolder) {
    // A final "/" leaves out folders only (a0 is a file); a leading "/" matches the path below
    // the walked folder only (a/b is not at the top); "*" does not cross "/".
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{".git", "*.o"}, {".git/HEAD", "a/b/y.o", "sub/deep/t.o"}},
        {{"sub/*.c"}, {"sub/s.c"}},
        {{"deep"}, {"sub/deep/t.c", "sub/deep/t.o"}},
        {{"deep/", "a0/"}, {"sub/deep/t.c", "sub/deep/t.o"}},
        {{"/b"}, {}},
        {{"/a/b/"}, {"a/b/y.o", "a/b/z.c"}},
    };
    for (const auto& [excludes, gone] : cases) {
        std::vector<std::string> files = FindFiles(root);
        for (const std::string& name : gone)
            files.erase(std::find(files.begin(), files.end(), root + "/" + name));
        EXPECT_EQ(CTreeWalk::ListAll({root}, excludes, true), files) << excludes[0];
    }
    // Exclusions apply inside walks only: a file named is checked.
    EXPECT_EQ(CTreeWalk::ListAll({root + "/a.c"}, {"*.c"}),
              (std::vector<std::string>{root + "/a.c"}));
    for (const char* never : {"", "/", "//"})
        EXPECT_FALSE(CTreeWalk::CanMatch(never)) << never;
    EXPECT_TRUE(CTreeWalk::CanMatch("build/"));
}

// Version control metadata is left out below a walked folder, at any depth, as a folder or a
// file (a worktree's .git), by its exact name only; names given are taken as they are, and a
// walk of a .git folder leaves out the .git below it. Excludes apply with or without it.
TEST(TreeWalk, WalksLeaveOutVersionControlMetadata) {
    CTempDir dir;
    const std::string root = dir / "r";
    for (const char* file :
         {"a.c", ".git/config", ".git/modules/m/.git/HEAD", ".git/x/.hg/store", "sub/.git",
          "sub/.GIT/d.c", "sub/.gitignore", "sub/.svn.old/e", "sub/b.c", "sub/deep/.hg/s",
          "sub/deep/.svn/entries", "sub/deep/c.c"}) {
        fs::create_directories(fs::path(root + "/" + file).parent_path());
        WriteWholeFile(root + "/" + file, "x\n");
    }
    const std::vector<std::string> plain{
        "a.c", "sub/.GIT/d.c", "sub/.gitignore", "sub/.svn.old/e", "sub/b.c", "sub/deep/c.c"};
    const struct {
        std::vector<std::string> names, excludes;
        bool bWalkVcs;
        std::vector<std::string> listed; // below root
    } cases[] = {
        {{""}, {}, false, plain},
        {{""},
         {},
         true,
         {".git/config", ".git/modules/m/.git/HEAD", ".git/x/.hg/store", "a.c", "sub/.GIT/d.c",
          "sub/.git", "sub/.gitignore", "sub/.svn.old/e", "sub/b.c", "sub/deep/.hg/s",
          "sub/deep/.svn/entries", "sub/deep/c.c"}},
        {{"/.git"}, {}, false, {".git/config"}},
        {{"/.git/config", "/sub/.git", "/sub/deep/.hg"},
         {},
         false,
         {".git/config", "sub/.git", "sub/deep/.hg/s"}},
        {{""}, {"*.c"}, false, {"sub/.gitignore", "sub/.svn.old/e"}},
        {{""},
         {".git/", ".svn", "/sub/*.c"},
         true,
         {"a.c", "sub/.GIT/d.c", "sub/.git", "sub/.gitignore", "sub/.svn.old/e", "sub/deep/.hg/s",
          "sub/deep/c.c"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names, expected;
        for (const std::string& name : c.names)
            names.push_back(root + name);
        for (const std::string& name : c.listed)
            expected.push_back(root + "/" + name);
        EXPECT_EQ(CTreeWalk::ListAll(names, c.excludes, c.bWalkVcs), expected)
            << c.names[0] << " " << c.bWalkVcs;
    }
}

// The names of a list walk: the walk ends at a line that is no name, having listed those
// before it, and reads a line of any length in bounded memory.
TEST(TreeWalk, AListEndsTheWalkAtALineThatIsNoName) {
    using namespace std::string_literals;
    CTempDir dir;
    struct Case {
        std::string bytes;
        bool bNul;
        std::vector<std::string> listed;
        std::string error;
    };
    const std::string longest(CTreeWalk::LIST_NAME_MAX, 'n');
    const std::string nul = "L:4: a name holds a NUL byte: use --null for NUL-separated lists";
    const std::string tooLong = "L:2: a name longer than 1 MiB";
    const std::vector<Case> cases = {
        {"a\r\n\nb\nc\0d\ne\n"s, false, {"a", "b"}, nul},
        {"a\n" + longest + "x\nb\n", false, {"a"}, tooLong},
        {"a\n" + longest + "xyz", false, {"a"}, tooLong},
        {longest + "\r\nb", false, {longest, "b"}, ""},
        {"a\nb\0\0c\r\n"s, true, {"a\nb", "c\r\n"}, ""},
        {"", false, {}, ""},
        {"\n\r\n", false, {}, ""},
    };
    for (const Case& c : cases) {
        WriteWholeFile(dir / "L", c.bytes);
        CTreeWalk walk({}, {});
        walk.AddList(::open((dir / "L").c_str(), O_RDONLY), c.bNul, "L");
        std::vector<std::string> listed;
        bool complete = false;
        while (!complete || listed.size() < walk.Listed()) {
            const size_t count = walk.Wait(listed.size(), std::chrono::seconds(10), &complete);
            while (listed.size() < count)
                listed.push_back(walk.Take(listed.size()).name);
        }
        EXPECT_EQ(listed, c.listed) << c.bytes.substr(0, 20);
        EXPECT_EQ(walk.ListError(), c.error) << c.bytes.substr(0, 20);
        EXPECT_EQ(walk.NamesGiven(), c.listed.size());
    }
}

// A walk on its own thread stays LEAD_MAX entries ahead of the taking at most, and goes on
// as they are taken: a list of millions of names is never held whole.
TEST(TreeWalk, AWalkStaysABoundedLeadAheadOfTheTaking) {
    CTempDir dir;
    const size_t names = 3 * CTreeWalk::LEAD_MAX;
    std::string list;
    for (size_t i = 0; i < names; ++i)
        list += "n" + std::to_string(i) + "\n";
    WriteWholeFile(dir / "L", list);
    CTreeWalk walk({}, {});
    walk.AddList(::open((dir / "L").c_str(), O_RDONLY), false, "L");
    walk.Start();
    for (size_t listed = 0; walk.Wait(listed, std::chrono::milliseconds(300)) > listed;)
        listed = walk.Listed();
    EXPECT_LE(walk.Listed(), CTreeWalk::LEAD_MAX);
    bool complete = false;
    size_t taken = 0;
    for (; walk.Wait(taken, std::chrono::seconds(20), &complete) > taken; ++taken)
        ASSERT_EQ(walk.Take(taken).name, "n" + std::to_string(taken));
    EXPECT_TRUE(complete);
    EXPECT_EQ(taken, names);
}

// A stop signal ends a walk that waits on a list that keeps quiet, as Stop does.
TEST(TreeWalk, AStopSignalEndsAWalkWaitingOnAQuietList) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "L").c_str(), 0600), 0);
    const int list = ::open((dir / "L").c_str(), O_RDONLY | O_NONBLOCK);
    const int writer = ::open((dir / "L").c_str(), O_WRONLY);
    StopFlag stop = 0;
    CTreeWalk walk({}, {});
    walk.SetStopSignal(&stop);
    walk.AddList(list, false, "L");
    walk.Start();
    bool complete = false;
    walk.Wait(0, std::chrono::milliseconds(100), &complete);
    EXPECT_FALSE(complete);
    stop = 1;
    walk.Wait(0, std::chrono::seconds(20), &complete);
    EXPECT_TRUE(complete);
    ::close(writer);
}

// The walk's folder opener, which changes the tree (g_change) once, when the walk opens the
// folder g_swapFolder.
std::string g_swapFolder;
std::function<void()> g_change;
int ChangeThenOpen(int dirFd, const char* name, int flags) {
    if (!g_swapFolder.empty() && g_swapFolder.ends_with(std::string("/") + name)) {
        g_swapFolder.clear();
        g_change();
    }
    return ::openat(dirFd, name, flags);
}

// What a walk listed as a regular file or a folder is what gets opened, or nothing: a name
// that has become a link since, on the way or at its end, fails to open and is not followed
// out of the tree. A name given is followed as it always was.
TEST(TreeWalk, WhatWasListedIsWhatIsOpenedOrNothing) {
    CTempDir dir;
    const std::string root = dir / "tree", outside = dir / "outside";
    for (const char* folder : {"tree/in", "tree/sub", "outside"})
        fs::create_directories(dir / folder);
    for (const char* file : {"tree/in/f.c", "tree/sub/y.c", "tree/x.c", "outside/secret.c"})
        WriteWholeFile(dir / file, file);
    const auto readable = [](const CListedFile& file) {
        CLineFile opened;
        return opened.OpenListed(file);
    };

    // A folder swapped between its listing and its opening is reported, not walked.
    g_swapFolder = root + "/in";
    g_change = [&] {
        fs::rename(root + "/in", root + "/in.old");
        fs::create_directory_symlink(outside, root + "/in");
    };
    CTreeWalk::SetOpenFolderCall(ChangeThenOpen);
    EXPECT_EQ(CTreeWalk::ListAll({root}, {}),
              (std::vector<std::string>{root + "/in", root + "/sub/y.c", root + "/x.c"}));
    CTreeWalk::SetOpenFolderCall(nullptr);
    fs::remove(root + "/in");
    fs::rename(root + "/in.old", root + "/in");

    // Files swapped after the walk listed them: the file itself, and a folder on its way.
    CTreeWalk walk({root}, {});
    walk.Wait(0, std::chrono::seconds(0));
    std::vector<CListedFile> files;
    for (size_t i = 0; i < walk.Listed(); ++i)
        files.push_back(walk.Take(i));
    ASSERT_EQ(files.size(), 3u);
    for (const CListedFile& file : files)
        EXPECT_TRUE(readable(file)) << file.name;
    fs::remove(root + "/x.c");
    fs::create_symlink("in/f.c", root + "/x.c"); // a link, though into the tree
    fs::rename(root + "/sub", root + "/sub.old");
    fs::create_directory_symlink(outside, root + "/sub");
    WriteWholeFile(outside + "/y.c", "outside");
    EXPECT_TRUE(readable(files[0]));  // in/f.c
    EXPECT_FALSE(readable(files[1])); // sub/y.c through a link
    EXPECT_FALSE(readable(files[2])); // x.c, a link now
    EXPECT_TRUE(readable(CListedFile(root + "/x.c")));
    EXPECT_TRUE(readable(CListedFile(root + "/sub/y.c")));
}

// A tree deeper than the folders a walk holds open: those above are opened again from below
// and must be the folders they were. One moved away meanwhile is found again by its path, and
// no name is listed from the folder the move led to.
TEST(TreeWalk, DeepTreesKeepFewFoldersOpenAndNeverListFromWhereAMoveLeads) {
    CTempDir dir;
    const std::string root = dir / "tree";
    std::string path = root + "/a";
    fs::create_directories(path + "/c");
    WriteWholeFile(path + "/c/ok.c", "");
    std::vector<std::string> expected;
    path += "/b";
    for (int level = 0; level < 60; ++level, path += "/d") {
        fs::create_directories(path);
        WriteWholeFile(path + "/f", ""); // after "d/": each folder is come back to
        expected.push_back(path + "/f");
    }
    std::sort(expected.begin(), expected.end());
    expected.push_back(root + "/a/c/ok.c");
    EXPECT_EQ(CTreeWalk::ListAll({root}, {}), expected);

    // At the bottom, a/b moves to a folder outside that has a c/ of its own.
    fs::create_directories(dir / "outside/c");
    WriteWholeFile(dir / "outside/c/evil.c", "");
    g_swapFolder = path.substr(0, path.size() - 2); // the last folder opened
    g_change = [&] { fs::rename(root + "/a/b", dir / "outside/b"); };
    CTreeWalk::SetOpenFolderCall(ChangeThenOpen);
    const std::vector<std::string> listed = CTreeWalk::ListAll({root}, {});
    CTreeWalk::SetOpenFolderCall(nullptr);
    EXPECT_EQ(listed.back(), root + "/a/c/ok.c");
    for (const std::string& name : listed)
        EXPECT_EQ(name.find("evil"), std::string::npos);
}

// A walk that opens the files ahead of their checks holds a few dozen open at most while none
// is taken, opens what it listed or nothing (a file that has become a link fails, as it does
// for the check), and gives every descriptor back.
TEST(TreeWalk, OpeningAheadHoldsFewFilesAndOpensWhatWasListedOrNothing) {
    CTempDir dir;
    const std::string root = dir / "tree";
    fs::create_directories(root + "/a");
    fs::create_directories(dir / "outside");
    WriteWholeFile(dir / "outside/secret", "");
    WriteWholeFile(root + "/a/f", "");
    for (int i = 100; i < 400; ++i)
        WriteWholeFile(root + "/f" + std::to_string(i), "");
    const auto before = OpenDescriptors();
    // f100 is listed before a/ is walked, and opened after.
    g_swapFolder = root + "/a";
    g_change = [&] {
        fs::remove(root + "/f100");
        fs::create_symlink(dir / "outside/secret", root + "/f100");
    };
    // Until it waits, with nothing taken.
    const auto waitForTheWalk = [](CTreeWalk& walk) {
        walk.SetOpenAhead(true);
        walk.Start();
        for (size_t listed = 0; walk.Wait(listed, std::chrono::milliseconds(300)) > listed;)
            listed = walk.Listed();
    };
    CTreeWalk::SetOpenFolderCall(ChangeThenOpen);
    {
        CTreeWalk walk({root}, {});
        waitForTheWalk(walk);
        EXPECT_LT(walk.Listed(), 301u);
        EXPECT_LE(OpenDescriptors() - before, 70);
        bool complete = false;
        for (size_t i = 0; !complete || i < walk.Listed(); ++i) {
            if (walk.Wait(i, std::chrono::seconds(20), &complete) <= i)
                break;
            const CListedFile file = walk.Take(i);
            CLineFile opened;
            EXPECT_EQ(opened.OpenListed(file), file.name != root + "/f100") << file.name;
            EXPECT_EQ(file.opened != nullptr, file.name != root + "/f100") << file.name;
        }
        EXPECT_TRUE(complete);
        EXPECT_EQ(walk.Listed(), 301u);
    }
    CTreeWalk::SetOpenFolderCall(nullptr);
    EXPECT_EQ(OpenDescriptors(), before);

    // Fewer under a low limit: a sixteenth of the descriptors free at most.
    const CDescriptorLimit low(320);
    CTreeWalk walk({root}, {});
    waitForTheWalk(walk);
    EXPECT_LE(OpenDescriptors() - before, 26);
}

// What a walk holds leaves it the descriptors it needs for its folders: with few free when it
// starts (a parent that leaves many open), a walk that opens ahead still lists every file
// below, not a folder as a file that failed to open, and so does a walk of many folders named,
// each held while its files wait. When a folder cannot be opened for want of descriptors, the
// walk gives back the files it opened ahead and tries again.
std::string g_failFolder;
long g_nFailAbove = 0;
int FailWhileFilesAreHeld(int dirFd, const char* name, int flags) {
    if (name == g_failFolder && OpenDescriptors() > g_nFailAbove) {
        errno = EMFILE;
        return -1;
    }
    return ::openat(dirFd, name, flags);
}

TEST(TreeWalk, WhatAWalkHoldsLeavesItTheDescriptorsForItsFolders) {
    CTempDir dir;
    const std::string root = dir / "tree";
    fs::create_directories(root + "/b/c");
    std::vector<std::string> files, folders;
    for (int i = 100; i < 200; ++i) {
        files.push_back(root + "/a" + std::to_string(i));
        WriteWholeFile(files.back(), "");
        folders.push_back(dir / ("f" + std::to_string(i)));
        fs::create_directories(folders.back());
        WriteWholeFile(folders.back() + "/x", "");
    }
    WriteWholeFile(root + "/b/c/z", "");
    files.push_back(root + "/b");
    // Fewer files than the walk opens ahead: it reaches b/ holding all of them.
    const std::string small = dir / "small";
    fs::create_directories(small + "/b/c");
    for (int i = 100; i < 140; ++i)
        WriteWholeFile(small + "/a" + std::to_string(i), "");
    WriteWholeFile(small + "/b/c/z", "");
    // What the walk lists, with every descriptor taken but a dozen or not, taken once it waits.
    const auto list = [](std::vector<std::string> given, bool bFewFree) {
        std::vector<int> filler{::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        while (bFewFree && filler.back() >= 0)
            filler.push_back(::fcntl(filler[0], F_DUPFD_CLOEXEC, 0));
        for (size_t i = 0; i < 13 && !filler.empty(); ++i) {
            ::close(filler.back());
            filler.pop_back();
        }
        CTreeWalk walk(std::move(given), {});
        walk.SetOpenAhead(true);
        walk.Start();
        for (size_t known = 0; walk.Wait(known, std::chrono::milliseconds(300)) > known;)
            known = walk.Listed();
        std::vector<std::string> listed;
        for (size_t i = 0; walk.Wait(i, std::chrono::seconds(20)) > i; ++i)
            listed.push_back(walk.Take(i).name);
        for (const int fd : filler)
            ::close(fd);
        return listed;
    };
    std::vector<std::vector<std::string>> listed;
    {
        const CDescriptorLimit low(1024);
        listed = {list({root}, true), list(files, true), list(folders, true)};
    }
    g_failFolder = "b";
    g_nFailAbove = OpenDescriptors() + 8; // the walk's own folders, and not one file ahead
    CTreeWalk::SetOpenFolderCall(FailWhileFilesAreHeld);
    const std::vector<std::string> retried = list({small}, false);
    CTreeWalk::SetOpenFolderCall(nullptr);
    ASSERT_EQ(retried.size(), 41u);
    EXPECT_EQ(retried.back(), small + "/b/c/z");
    for (size_t i : {0, 1}) {
        ASSERT_EQ(listed[i].size(), 101u) << i;
        EXPECT_EQ(listed[i].back(), root + "/b/c/z") << i;
    }
    for (size_t i = 0; i < folders.size(); ++i)
        EXPECT_EQ(listed[2].at(i), folders[i] + "/x");
}

} // namespace
