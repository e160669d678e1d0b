// The scan pool on its own: every file's hits in file order, whatever the memory it may use,
// open failures told apart, a stop that ends a file early, a pause that holds the workers.
#include "core/run/scanpool.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

struct ScanPoolTest : ::testing::Test {
    CTempDir dir;
    SearchStringTable table = {};
    std::unique_ptr<CSearchMatcher> matcher;

    void SetUp() override {
        std::strcpy(table[0], "year");
        matcher = std::make_unique<CSearchMatcher>(table);
    }
    // A file whose every line is a hit that names its file and line.
    std::string HitFile(const std::string& name, int lines) {
        std::string bytes;
        for (int i = 1; i <= lines; ++i)
            bytes += "year " + name + " " + std::to_string(i) + "\n";
        WriteWholeFile(dir / name, bytes);
        return dir / name;
    }
};

TEST_F(ScanPoolTest, HitsComeInFileOrderWithATinyMemoryCap) {
    std::vector<CListedFile> paths;
    for (int i = 0; i < 12; ++i)
        paths.push_back(HitFile("f" + std::to_string(i), 300 + 700 * (i % 3)));
    paths.push_back(dir / "missing");
    // No budget at all still moves the hits a block at a time (it hung at 0).
    for (const size_t budget : {size_t{0}, size_t{1}, CScanPool::DEFAULT_HIT_BUDGET}) {
        CScanPool pool(*matcher, 1024, paths, 3, CFileId{}, budget);
        ASSERT_TRUE(pool.Started());
        CHitBuffer hits;
        for (size_t i = 0; i < paths.size(); ++i) {
            CFileCounts counts;
            long expected = 0;
            ECheckState outcome;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            do {
                outcome = pool.Take(i, std::chrono::milliseconds(50), hits, counts);
                hits.ForEach([&](const CHit& hit) {
                    ASSERT_EQ(hit.nLine, ++expected);
                    ASSERT_EQ(hit.text,
                              "year f" + std::to_string(i) + " " + std::to_string(expected));
                });
            } while (outcome == ECheckState::SCANNING &&
                     std::chrono::steady_clock::now() < deadline);
            ASSERT_NE(outcome, ECheckState::SCANNING) << "budget " << budget << ", file " << i;
            if (i + 1 == paths.size()) {
                EXPECT_EQ(outcome, ECheckState::OPEN_FAILED);
                continue;
            }
            EXPECT_EQ(outcome, ECheckState::SCANNED) << i;
            EXPECT_EQ(counts.nLines, 300 + 700 * (static_cast<long>(i) % 3)) << i;
            EXPECT_EQ(counts.nProblems, counts.nLines) << i;
            EXPECT_EQ(expected, counts.nLines) << i;
        }
    }
}

// A stop in the middle of a large file ends it after the block at hand with what was found up to
// there; a file that no worker had started ends at once with nothing checked (the run waited for
// ever when the workers were slow to start).
TEST_F(ScanPoolTest, AStopEndsTheFileAtHandEarlyAndTheRestAtOnce) {
    std::vector<CListedFile> paths(200, HitFile("small", 3));
    paths[0] = HitFile("big", 400000);
    CScanPool pool(*matcher, 1024, paths, 1, CFileId{}, 64 * 1024);
    CHitBuffer hits;
    CFileCounts counts;
    long taken = 0;
    ECheckState outcome = pool.Take(0, std::chrono::seconds(10), hits, counts);
    hits.ForEach([&](const CHit&) { ++taken; });
    ASSERT_EQ(outcome, ECheckState::SCANNING); // its worker waits for room in the buffer
    pool.Stop();
    do {
        outcome = pool.Take(0, std::chrono::seconds(10), hits, counts);
        hits.ForEach([&](const CHit& hit) { EXPECT_EQ(hit.nLine, ++taken); });
    } while (outcome == ECheckState::SCANNING);
    EXPECT_EQ(outcome, ECheckState::SCANNED);
    EXPECT_LT(counts.nLines, 400000);
    EXPECT_EQ(taken, counts.nLines);
    EXPECT_EQ(counts.nProblems, counts.nLines);
    outcome = ECheckState::SCANNING;
    for (int tries = 0; tries < 1000 && outcome == ECheckState::SCANNING; ++tries)
        outcome = pool.Take(150, std::chrono::milliseconds(10), hits, counts);
    EXPECT_EQ(outcome, ECheckState::SCANNED);
    EXPECT_EQ(counts.nLines, 0);
    EXPECT_TRUE(hits.Empty());
}

// A pause holds the workers after the block at hand: the file being written moves no further
// while it lasts and goes on to its end once released; a stop ends a held pool at once.
TEST_F(ScanPoolTest, APauseHoldsTheWorkersAndAStopEndsThemHeld) {
    std::string bytes;
    for (int i = 0; i < 400000; ++i)
        bytes += "no hit here\n"; // about a hundred blocks
    WriteWholeFile(dir / "big", bytes);
    for (const bool bStop : {false, true}) {
        CRunPause pause;
        pause.Set(true);
        CScanPool pool(*matcher, 1024, 2, CFileId{});
        pool.SetPause(&pause); // before the first file, as a run does
        pool.Add({dir / "big", dir / "big"});
        pool.EndOfFiles();
        CHitBuffer hits;
        CFileCounts counts;
        // A file without hits is taken as the time allows: here after its first block.
        ASSERT_EQ(pool.Take(0, std::chrono::milliseconds(100), hits, counts),
                  ECheckState::SCANNING);
        const long held = counts.nLines;
        EXPECT_GT(held, 0);
        EXPECT_LT(held, 400000 / 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(pool.Take(0, std::chrono::milliseconds(1), hits, counts), ECheckState::SCANNING);
        EXPECT_EQ(counts.nLines, held);
        if (bStop)
            pool.Stop(); // must not wait for the pause
        else
            pause.Set(false);
        ECheckState outcome;
        do
            outcome = pool.Take(0, std::chrono::milliseconds(10), hits, counts);
        while (outcome == ECheckState::SCANNING);
        EXPECT_EQ(outcome, ECheckState::SCANNED);
        EXPECT_EQ(counts.nLines, bStop ? held : 400000);
    }
}

} // namespace
