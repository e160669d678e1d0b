// Changed lines: a git repository with a branch that adds, changes, deletes and moves lines,
// renames files and adds some with odd names; only what the change touched is new, and the
// three sources of "not new" (the change, a baseline, a marker) combine.
#include "support/reporttool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

struct ChangedTest : ReportToolTest {
    void SetUp() override {
        WriteWholeFile(strings, "year\n19\nDATE\n");
        Git("init -q -b main && git config user.email t@example.org && "
            "git config user.name t && git config commit.gpgsign false");
    }
    // A shell command run in the repository; the test fails when it does.
    void Git(const std::string& command) {
        const std::string line = "cd '" + dir.Path() + "' && git " + command + " >/dev/null";
        ASSERT_EQ(std::system(line.c_str()), 0) << command;
    }
    CToolRun Changed(std::vector<std::string> extra, const std::string& rev = "main") {
        std::vector<std::string> args = {"--format", "grep", "--changed-since", rev};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    }
};

TEST_F(ChangedTest, OnlyTheLinesAChangeTouchedAreNew) {
    WriteWholeFile(dir / "y2k.str", "year\n19\nDATE\n");
    WriteWholeFile(dir / "a.c", "year 1\nkeep\nyear 3\nyear 4\nyear 5\n");
    std::string long_;
    for (int i = 1; i <= 30; ++i)
        long_ += "line " + std::to_string(i) + (i == 10 ? " date" : "") + "\n";
    WriteWholeFile(dir / "old name.c", long_);
    WriteWholeFile(dir / "gone.c", "year\n");
    WriteWholeFile(dir / "marked.c", "// kavel-ignore-next-line\nyear\n");
    WriteWholeFile(dir / "unmarked.c", "a\n// kavel-ignore-next-line\nyear\n");
    WriteWholeFile(dir / "stale.c", "year // kavel-ignore: 19\nx\n");
    Git("add . && git commit -qm base && git checkout -qb topic");
    // Settings of the repository's own that would change the patch, or which lines it shows.
    Git("config diff.noprefix true && git config diff.context 5 && "
        "git config diff.interHunkContext 10 && git config color.ui always && "
        "git config core.bigFileThreshold 10 && git config diff.renameLimit 1 && "
        "git config core.quotePath true");
    // Changed: line 2 of a.c; line 5 moved to the top; line 3 deleted.
    WriteWholeFile(dir / "a.c", "year 5\nyear 1\nyear here\nyear 4\n");
    // Renamed, with one line changed: only that line is new.
    Git("mv 'old name.c' 'new name.c'");
    long_.replace(long_.find("line 20"), 7, "year 20");
    WriteWholeFile(dir / "new name.c", long_);
    Git("rm -q gone.c");
    // Odd names, a binary file (checked whole), an untracked file (not changed).
    WriteWholeFile(dir / "sp ace\xff.c", "date\n");
    WriteWholeFile(dir / "data.bin", std::string("year\0\1", 6));
    Git("add 'sp ace'*.c data.bin");
    WriteWholeFile(dir / "untracked.c", "year\n");
    // The marker line changed, or removed: the line it accepted is changed, and new.
    WriteWholeFile(dir / "marked.c", "// kavel-ignore-next-line: 19\nyear\n");
    WriteWholeFile(dir / "unmarked.c", "a\nyear\n");
    WriteWholeFile(dir / "stale.c", "year // kavel-ignore: 19\ny\n");
    // Below a subfolder.
    std::filesystem::create_directory(dir / "sub");
    WriteWholeFile(dir / "sub/in.c", "date\n");
    Git("add sub");
    const std::string changed = "./a.c:1:year 5\n./a.c:3:year here\n./data.bin:1:year\n"
                                "./marked.c:2:year\n./new name.c:20:year 20\n"
                                "./sp ace\xff.c:1:date\n./sub/in.c:1:date\n./unmarked.c:2:year\n";
    for (const char* jobs : {"1", "2"}) {
        const CToolRun run = Changed({"--jobs", jobs});
        EXPECT_EQ(run.out, changed) << jobs;
        EXPECT_EQ(run.status, 1);
    }
    // Names given: only their files that changed; from a subfolder, the names as given.
    EXPECT_EQ(Changed({"a.c", "untracked.c", "gone.c"}).out, "a.c:1:year 5\na.c:3:year here\n");
    options.cwd = dir / "sub";
    EXPECT_EQ(Changed({"../a.c"}).out, "../a.c:1:year 5\n../a.c:3:year here\n");
    // Without names, the changed files below the current folder, named from it.
    EXPECT_EQ(Changed({}).out, "./in.c:1:date\n");
    const CToolRun sarif = Run({"--format", "sarif", "--changed-since", "main"});
    EXPECT_NE(sarif.out.find(R"("uri":"in.c","uriBaseId":"SRCROOT")"), std::string::npos)
        << sarif.out;
    options.cwd = dir.Path();
    // The stale marker of a line that nobody touched is no finding of the change; one that the
    // change made is.
    const std::string told = Changed({"--strict-markers"}).err;
    EXPECT_EQ(told.find("stale.c"), std::string::npos) << told;
    EXPECT_NE(told.find("marked.c:1: stale marker: \"19\" is not on the line"), std::string::npos);
    // Excludes and the own-inputs rule hold for the changed files.
    EXPECT_EQ(Changed({"--exclude", "*.bin", "--exclude", "/sp*", "--exclude", "*name*",
                       "--exclude", "sub/", "--exclude", "unmarked.c"})
                  .out,
              "./a.c:1:year 5\n./a.c:3:year here\n./marked.c:2:year\n");
    // Unchanged lines show with --all-results, and say so.
    const CToolRun all =
        Run({"--format", "json", "--all-results", "--changed-since", "main", "a.c"});
    EXPECT_NE(all.out.find(R"("line":2,"text":"year 1","changed":false})"), std::string::npos)
        << all.out;
    EXPECT_NE(all.out.find(R"("problems":4,"new":2,)"), std::string::npos) << all.out;
    // Committed, the change is HEAD's: against HEAD nothing changed, but what is still in
    // the working tree.
    Git("add -A . ':!untracked.c' && git commit -qm topic");
    CToolRun run = Changed({}, "HEAD");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("kavel-report: no changed file\n"), std::string::npos) << run.err;
    WriteWholeFile(dir / "a.c", "year 5\nyear 1\nyear here\n19\n");
    EXPECT_EQ(Changed({}, "HEAD").out, "./a.c:4:19\n");
}

// git's refusals end the check with its reason; a stop while git runs ends both.
TEST_F(ChangedTest, GitsReasonsAndAStopEndTheCheck) {
    WriteWholeFile(dir / "a.c", "year\n");
    Git("add a.c");
    // No commit yet: everything added is changed, against the empty tree.
    EXPECT_EQ(Changed({}, "HEAD").out, "./a.c:1:year\n");
    CToolRun run = Changed({}, "nosuch"); // any other REV is still one git must know
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kavel-report: --changed-since nosuch: Not a valid object name nosuch\n");
    Git("commit -qm one");
    for (const char* rev : {"--output=x", "nosuch"}) {
        const CToolRun run = Changed({}, rev);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "kavel-report: --changed-since " + std::string(rev) +
                               ": Not a valid object name " + rev + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "x"));
    }
    Git("checkout -q --orphan other && git commit -qm two");
    run = Changed({}, "main");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kavel-report: --changed-since main: main and HEAD have no commit in "
                       "common\n");
    Git("checkout -q main");
    // Not a repository, or no git at all.
    CTempDir plain;
    options.cwd = plain.Path();
    run = Changed({}, "HEAD");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(": not a git repository"), std::string::npos) << run.err;
    options.cwd = dir.Path();
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", plain.Path().c_str(), 1);
    run = Changed({}, "HEAD");
    EXPECT_EQ(run.err, "kavel-report: --changed-since HEAD: cannot run git: No such file or "
                       "directory\n");
    // A git that keeps the check waiting: a stop ends it and the check, with no report.
    WriteWholeFile(plain / "git", "#!/bin/sh\necho $$ > \"$0.pid\"\nexec /bin/sleep 60\n");
    ::chmod((plain / "git").c_str(), 0755);
    std::filesystem::remove(output);
    const pid_t pid = StartReportTool(
        dir, options, {"--strings", strings, "--output", output, "--changed-since", "main"});
    ::setenv("PATH", path.c_str(), 1);
    for (int i = 0; i < 200 && !std::filesystem::exists(plain / "git.pid"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(pid, SIGINT);
    run = FinishReportTool(dir, pid, 20);
    EXPECT_EQ(run.status, 130);
    EXPECT_FALSE(std::filesystem::exists(output));
    const pid_t git = std::stoi(ReadWholeFile(plain / "git.pid"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_NE(::kill(git, 0), 0); // ended (and reaped by the tool)
}

// A result is new only on a changed line, not in the baseline and not accepted; a baseline's
// results in files outside the change are left out, those of deleted files are absent.
TEST_F(ChangedTest, TheChangeTheBaselineAndMarkersCombine) {
    WriteWholeFile(dir / "a.c", "year old\n");
    WriteWholeFile(dir / "b.c", "year kept\n");
    WriteWholeFile(dir / "gone.c", "year gone\n");
    Git("add . && git commit -qm base && git checkout -qb topic");
    const CToolRun base = Run({"--format", "sarif", "a.c", "b.c", "gone.c"});
    WriteWholeFile(dir / "base.sarif", base.out);
    Git("rm -q gone.c");
    WriteWholeFile(dir / "a.c", "year old\nyear 2 // kavel-ignore\nyear 3\n19 old\n");
    Git("commit -qam change");
    WriteWholeFile(dir / "a.c", "year old\nyear 2 // kavel-ignore\nyear 3\n19 old\nnew 19\n");
    // Against HEAD only line 5 changed.
    EXPECT_EQ(Changed({"--baseline", "base.sarif"}, "HEAD").out, "./a.c:5:new 19\n");
    // Against main lines 2 to 5: line 1 is in the baseline and unchanged, line 2 accepted;
    // b.c's result is outside the change, gone.c's is gone.
    const CToolRun run = Run({"--format", "sarif", "--all-results", "--baseline", "base.sarif",
                              "--changed-since", "main"});
    std::vector<std::string> results;
    const std::string& log = run.out;
    for (size_t at = log.find("\"startLine\":"); at != std::string::npos;) {
        const size_t next = log.find("\"startLine\":", at + 1);
        const std::string result = log.substr(at, next - at);
        const size_t uri = log.rfind("\"uri\":\"", at) + 7;
        const size_t state = result.find("\"baselineState\":\"") + 17;
        results.push_back(
            log.substr(uri, log.find('"', uri) - uri) + ":" +
            result.substr(12, result.find(',') - 12) + " " +
            result.substr(state, result.find('"', state) - state) +
            (result.find("\"changed\":false") != std::string::npos ? " unchanged-line" : "") +
            (result.find("inSource") != std::string::npos ? " accepted" : ""));
        at = next;
    }
    EXPECT_EQ(results,
              (std::vector<std::string>{"a.c:1 unchanged unchanged-line", "a.c:2 new accepted",
                                        "a.c:3 new", "a.c:4 new", "a.c:5 new", "gone.c:1 absent"}))
        << log;
    EXPECT_EQ(run.status, 1);
    // New results only: such a log is no baseline.
    EXPECT_NE(Run({"--format", "sarif", "--changed-since", "HEAD"})
                  .out.find("\"kavelNewResultsOnly\":true"),
              std::string::npos);
}

} // namespace
