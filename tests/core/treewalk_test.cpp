// The files that names stand for: folders walked in the byte order of the paths, links and
// special files inside left out, exclusions, and the list the same whether walked at once or
// alongside.
#include "scan/treewalk.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

struct TreeWalkTest : ::testing::Test {
    CTempDir dir;
    std::string root = dir / "tree";

    void SetUp() override {
        // Names whose order differs between a walk that sorts names and one that sorts paths:
        // "a.c" (0x2E) before "a/" (0x2F) before "a0"; upper case before lower; bytes above
        // 0x7F last.
        for (const char* folder : {"a", "a/b", "a b", "B", ".git", "sub", "sub/deep", "\xc3\xa9"})
            fs::create_directories(root + "/" + folder);
        for (const char* file :
             {"a.c", "a0", "a/x.c", "a/b/y.o", "a/b/z.c", "a b/w", "B/v.c", "b.c", ".git/HEAD",
              "sub/s.c", "sub/deep/t.c", "sub/deep/t.o", "\xc3\xa9/u.c", "Z", "-dash"})
            WriteWholeFile(root + "/" + file, "x\n");
        fs::create_symlink(root + "/a.c", root + "/link.c");
        fs::create_directory_symlink(root + "/sub", root + "/linkdir");
        ::mkfifo((root + "/fifo").c_str(), 0600);
    }
};

TEST_F(TreeWalkTest, WalksInTheByteOrderOfThePathsWithoutLinksOrSpecialFiles) {
    const std::vector<std::string> expected = FindFiles(root);
    EXPECT_EQ(CTreeWalk::ListAll({root}, {}), expected);
    // The same on a thread of its own, taken as it comes.
    CTreeWalk walk({root}, {});
    walk.Start();
    std::vector<std::string> taken;
    for (size_t known = 0;; ++known) {
        if (known >= walk.Listed() && walk.Wait(known, std::chrono::seconds(10)) <= known)
            break;
        taken.push_back(walk.Take(known));
    }
    EXPECT_EQ(taken, expected);
    // Several names in the order given; a link named is followed; a name that is no folder
    // is listed as it is, to be checked or reported.
    EXPECT_EQ(CTreeWalk::ListAll({root + "/linkdir", root + "/Z", root + "/none", root + "/B"}, {}),
              (std::vector<std::string>{root + "/linkdir/deep/t.c", root + "/linkdir/deep/t.o",
                                        root + "/linkdir/s.c", root + "/Z", root + "/none",
                                        root + "/B/v.c"}));
    // A folder named with a final "/" gives no doubled separator.
    EXPECT_EQ(CTreeWalk::ListAll({root + "/B/"}, {}), (std::vector<std::string>{root + "/B/v.c"}));
}

// A walk on its own thread stays a few thousand entries ahead of the taking, so that a tree
// of millions of files is not held in memory; taken on, it lists them all, in order.
TEST(TreeWalk, StaysAFewThousandAheadOfTheTaking) {
    CTempDir dir;
    for (int folder = 0; folder < 24; ++folder) {
        const std::string path = dir / ("d" + std::to_string(100 + folder));
        fs::create_directory(path);
        for (int file = 0; file < 500; ++file)
            WriteWholeFile(path + "/" + std::to_string(1000 + file), "");
    }
    const std::vector<std::string> expected = FindFiles(dir.Path());
    ASSERT_EQ(expected.size(), 12000u);
    CTreeWalk walk({dir.Path()}, {});
    walk.Start();
    size_t before = 0, listed = 1;
    while (listed != before) { // until the walk waits
        before = listed;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        listed = walk.Listed();
    }
    EXPECT_LT(listed, 10000u);
    std::vector<std::string> taken;
    bool complete = false;
    while (!complete || taken.size() < walk.Listed()) {
        const size_t count = walk.Wait(taken.size(), std::chrono::seconds(10), &complete);
        while (taken.size() < count)
            taken.push_back(walk.Take(taken.size()));
    }
    EXPECT_EQ(taken, expected);
}

TEST_F(TreeWalkTest, ExcludesByNameOrByPathBelowTheWalkedFolder) {
    const auto without = [&](std::initializer_list<const char*> gone) {
        std::vector<std::string> files = FindFiles(root);
        for (const char* name : gone)
            files.erase(std::remove(files.begin(), files.end(), root + "/" + name), files.end());
        return files;
    };
    EXPECT_EQ(CTreeWalk::ListAll({root}, {".git", "*.o"}),
              without({".git/HEAD", "a/b/y.o", "sub/deep/t.o"}));
    // "*" does not cross "/": sub/*.c leaves out sub/s.c, not sub/deep/t.c.
    EXPECT_EQ(CTreeWalk::ListAll({root}, {"sub/*.c"}), without({"sub/s.c"}));
    EXPECT_EQ(CTreeWalk::ListAll({root}, {"deep"}), without({"sub/deep/t.c", "sub/deep/t.o"}));
    // Exclusions apply inside walks only: a file named is checked.
    EXPECT_EQ(CTreeWalk::ListAll({root + "/a.c"}, {"*.c"}),
              (std::vector<std::string>{root + "/a.c"}));
}

} // namespace
