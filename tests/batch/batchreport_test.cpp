// kavel-report end to end: its options, the report on standard output, exit statuses, names
// from lists and strings from pipes.
#include "support/reporttext.h"
#include "support/reporttool.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::string_literals;

struct BatchTest : ReportToolTest {
    void SetUp() override {
        ReportToolTest::SetUp();
        WriteWholeFile(dir / "hit.c", "int year;\r\nok\r\n");
        WriteWholeFile(dir / "clean.c", "nothing\r\n");
    }
};

TEST_F(BatchTest, StandardOutputIsTheReportAndTheStatusSaysWhatItFound) {
    CToolRun run = Run({"hit.c", "clean.c"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, ReadWholeFile(output));
    EXPECT_EQ(run.err, "");
    // Relative names: the current directory, a "/", the name as given; in the order given.
    EXPECT_TRUE(run.out.ends_with(
        "Writing to output file: " + output + "\r\nUsing Search String file: " + strings +
        "\r\n\r\n" + dir / "hit.c" + "\r\n" + ReportHit(1, "int year;") + ReportSummary(2, 1) +
        "\r\n" + dir / "clean.c" + "\r\n" + ReportSummary(1, 0) + "\r\n" + END_LINE))
        << run.out;

    run = Run({"--quiet", dir / "clean.c"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(ReadWholeFile(output).find("\r\n" + dir / "clean.c" + "\r\n"), std::string::npos);
    // A folder that holds no file checks nothing and is no error.
    ASSERT_EQ(::mkdir((dir / "empty").c_str(), 0755), 0);
    EXPECT_EQ(Run({"empty"}).status, 0);
    // An empty strings file: the report is written, and the run fails.
    WriteWholeFile(dir / "none.str", "\r\n\n");
    run = RunAsGiven({"--strings", dir / "none.str", "--output", output, "hit.c"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kavel-report: no search strings in " + dir / "none.str" + "\n");
    EXPECT_NE(ReadWholeFile(output).find(ReportSummary(2, 0)), std::string::npos);

    run = RunAsGiven({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("Usage: kavel-report")) << run.out;
    // The short options, listed with their long ones, do as those do.
    for (const char* both : {"-0, --null ", "-j, --jobs N ", "-q, --quiet ", "-h, --help "})
        EXPECT_NE(run.out.find("\n  "s + both), std::string::npos) << both;
    EXPECT_EQ(RunAsGiven({"-h"}).out, run.out);
    WriteWholeFile(dir / "list0", "clean.c\0hit.c\0"s);
    run = Run({"-q", "-j", "3", "-0", "--files-from", "list0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(ReadWholeFile(output).find(dir / "hit.c" + "\r\n" + ReportHit(1, "int year;")),
              std::string::npos);
    run = RunAsGiven({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "kavel-report 1.1.0\n");
}

// A command line that cannot be run is refused before anything is written, with one line that
// says why.
TEST_F(BatchTest, ACommandLineThatCannotBeRunIsRefused) {
    const std::vector<std::string> cases[] = {
        {"--output", output, "hit.c"},              // no strings
        {"--strings", strings, "--output", output}, // no file (a glob that matched nothing)
        {"--strings", strings, "--output"},
        {"--strings", strings, "--fast", "hit.c"},
        {"--strings", strings, "--jobs", "0", "hit.c"},
        {"--strings", strings, "--jobs", "1025", "hit.c"},
        {"--strings", strings, "--jobs=2x", "hit.c"},
        {"--strings", strings, "hit.c", "--jobs"},
        {"--strings", strings, "--output", "-", "hit.c"},
        {"--strings", strings, "--exclude", "/", "."},
        {"--strings", "-", "--files-from", "-"},
    };
    for (const std::vector<std::string>& args : cases) {
        const CToolRun run = RunAsGiven(args);
        EXPECT_EQ(run.status, 2) << args[2];
        EXPECT_EQ(run.out, "") << args[2];
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args[2] << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "-"));
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(RunAsGiven({"--strings", strings, "--jobs", "1024", "hit.c"}).status, 1);
}

// What a CI job needs: no report file, strings from a pipe or standard input.
TEST_F(BatchTest, ACheckNeedsNoReportFileAndTakesStringsFromAPipe) {
    CToolRun run = RunAsGiven({"--strings", strings, "hit.c"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("Writing to output file"), std::string::npos);
    EXPECT_NE(run.out.find("Using Search String file: " + strings + "\r\n\r\n" + dir / "hit.c"),
              std::string::npos)
        << run.out;

    const std::string fifo = dir / "strings.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { WriteWholeFile(fifo, "# not a comment\nYEAR\n"); });
    run = RunAsGiven({"--strings", fifo, "--format", "grep", "hit.c"});
    writer.join();
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "hit.c:1:int year;\n");
    options.stdinFile = strings;
    run = RunAsGiven({"--strings", "-", "--format", "grep", "hit.c"});
    EXPECT_EQ(run.out, "hit.c:1:int year;\n");
}

// Names from a list come after those on the command line: LF or CR LF lines, NUL-separated, on
// standard input, and many of them.
TEST_F(BatchTest, NamesComeFromAListAfterThoseOnTheCommandLine) {
    WriteWholeFile(dir / "b c.c", "none\n");
    std::filesystem::create_directory(dir / "d");
    WriteWholeFile(dir / "d/e.c", "19\n");
    const std::string expected = "hit.c:1:int year;\nd/e.c:1:19\n";
    WriteWholeFile(dir / "list", "b c.c\r\nd\n\n");
    CToolRun run = Run({"--format", "grep", "hit.c", "--files-from", dir / "list"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, expected);
    EXPECT_NE(ReadWholeFile(output).find(dir / "b c.c\r\n  1 line(s) checked"), std::string::npos);

    WriteWholeFile(dir / "list0", "hit.c\0b c.c\0d"s);
    EXPECT_EQ(Run({"--format", "grep", "--null", "--files-from", dir / "list0"}).out, expected);
    options.stdinFile = dir / "list0";
    EXPECT_EQ(Run({"--format", "grep", "--null", "--files-from", "-"}).out, expected);
    options.stdinFile.clear();

    std::string many;
    for (int i = 0; i < 20000; ++i)
        many += i % 2 ? "hit.c\n" : "b c.c\n";
    WriteWholeFile(dir / "many", many);
    run = Run({"--quiet", "--files-from", dir / "many"});
    EXPECT_EQ(run.status, 1);
    const std::string report = ReadWholeFile(output);
    size_t files = 0;
    for (size_t at = report.find(" line(s) checked"); at != std::string::npos;
         at = report.find(" line(s) checked", at + 1))
        ++files;
    EXPECT_EQ(files, 20000u);
}

// Names read from a pipe are checked as they come and shown while the list keeps quiet, and a
// stop ends the run whole (as stopped, not as a complete list) while the list has nothing more
// to say: while its writer is not there yet, and while it keeps quiet.
TEST_F(BatchTest, AListFromAPipeIsCheckedAsItComesAndAStopEndsIt) {
    const std::string fifo = dir / "names";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::string> args{"--strings", strings, "--output",     output,
                                        "--format",  "json",  "--files-from", fifo};
    pid_t pid = StartReportTool(dir, options, args);
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // waits for a writer
    ::kill(pid, SIGTERM);
    EXPECT_EQ(FinishReportTool(dir, pid).status, 130);

    pid = StartReportTool(dir, options, args);
    const int writer = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "hit.c\n", 6), 6);
    // Both outputs show the file while the run waits for the next name.
    EXPECT_TRUE(WaitForFileStart(output, "hit.c\r\n  Potential problem in line 1:"));
    EXPECT_TRUE(WaitForFileStart(dir / "stdout", "{\"type\":\"file\""));
    ::kill(pid, SIGTERM);
    const CToolRun run = FinishReportTool(dir, pid);
    ::close(writer);
    EXPECT_EQ(run.status, 130);
    EXPECT_TRUE(run.out.ends_with("\"cancelled\":true}\n")) << run.out;
}

// The walk starts once the output file is there: a walk of the folder that holds it lists it
// on every run (it was missed now and then when the walk went first).
TEST_F(BatchTest, AnOutputFileInTheWalkIsListedOnEveryRun) {
    for (int i = 0; i < 10; ++i) {
        std::filesystem::remove(dir / "new.txt");
        const CToolRun run =
            RunAsGiven({"--strings", strings, "--output", "new.txt", "--format", "json", "."});
        ASSERT_NE(run.out.find("\"path\":\"./new.txt\""), std::string::npos) << i << run.out;
    }
}

// The tool never checks its own files, whatever name it meets them by, at any number of jobs:
// they get no record and no count, and standard error names each once (by the first name met),
// in the order listed, before the failures. A run that leaves out every name is clean.
TEST_F(BatchTest, ItsOwnFilesAreLeftOutUnderAnyName) {
    namespace fs = std::filesystem;
    fs::create_directory(dir / "w");
    WriteWholeFile(dir / "w/a.c", "year\n");
    WriteWholeFile(dir / "w/s.str", "year\n");
    WriteWholeFile(dir / "w/list", "w/a.c\nw/list\n./w/list\n");
    WriteWholeFile(dir / "only", "only\n");
    ASSERT_EQ(::link((dir / "w/s.str").c_str(), (dir / "hard.str").c_str()), 0);
    ASSERT_EQ(::symlink("w/s.str", (dir / "link.str").c_str()), 0);
    WriteWholeFile(dir / "base.sarif",
                   RunAsGiven({"--strings", "w/s.str", "--format", "sarif", "clean.c"}).out);
    const std::string strs = "w/s.str: left out (the strings file)\n";
    const struct {
        std::vector<std::string> args;
        std::string stdinFile;
        std::string leftOut; // the lines on standard error, before any other
        int files;           // the files the summary counts; -1: no summary (--quiet)
        int status;
    } cases[] = {
        {{"--strings", "w/s.str", "w", "./w/s.str", "link.str", "hard.str"}, "", strs, 2, 1},
        {{"--strings", "w/s.str", "hard.str", "w"},
         "",
         "hard.str: left out (the strings file)\n",
         2,
         1},
        {{"--strings", "w/s.str", "--files-from", "w/list"},
         "",
         "w/list: left out (the list of files)\n",
         1,
         1},
        {{"--strings", "link.str", "hard.str", "--files-from", "-"},
         "w/list",
         "hard.str: left out (the strings file)\nw/list: left out (the list of files)\n",
         1,
         1},
        {{"--strings", "w/s.str", "--baseline", "base.sarif", "none.c", "base.sarif", "w"},
         "",
         "base.sarif: left out (the baseline)\n" + strs,
         3,
         2},
        {{"--strings", "w/s.str", "stdout", "./stderr", "clean.c"},
         "",
         "stdout: left out (standard output's file)\n./stderr: left out (standard error's file)\n",
         1,
         0},
        {{"--strings", "w/s.str", "--quiet", "stdout", "stderr"},
         "",
         "stderr: left out (standard error's file)\n",
         -1,
         0},
        {{"--strings", "w/s.str", "w/s.str", "--files-from", "only"},
         "",
         strs + "only: left out (the list of files)\n",
         0,
         0},
    };
    for (const auto& c : cases)
        for (const char* jobs : {"1", "3"}) {
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {"--format", "json", "--jobs", jobs});
            options.stdinFile = c.stdinFile.empty() ? "" : dir / c.stdinFile;
            const CToolRun run = RunAsGiven(args);
            const std::string what = c.args[2] + " --jobs " + jobs + "\n" + run.err;
            EXPECT_EQ(run.status, c.status) << what;
            std::string leftOut;
            for (size_t at = 0, end; (end = c.leftOut.find('\n', at)) != std::string::npos;
                 at = end + 1)
                leftOut += "kavel-report: " + c.leftOut.substr(at, end + 1 - at);
            EXPECT_EQ(run.err.substr(0, leftOut.size()), leftOut) << what;
            EXPECT_EQ(run.err.find("left out", leftOut.size()), std::string::npos) << what;
            if (c.status == 2) {
                EXPECT_NE(run.err.find("none.c", leftOut.size()), std::string::npos) << what;
            }
            if (c.files >= 0) {
                EXPECT_NE(run.out.find("\"files\":" + std::to_string(c.files) + ","),
                          std::string::npos)
                    << what << run.out;
            }
            // The list is told by the count: a walk of w without --files-from checks it.
            for (const char* own : {".str\"", "only\"", ".sarif\"", "stdout\"", "stderr\""})
                EXPECT_EQ(run.out.find(own), std::string::npos) << what << run.out;
        }
}

// Walks leave out .git, .hg and .svn unless --walk-vcs; a name in or of one is taken as
// given, and --exclude applies either way.
TEST_F(BatchTest, WalksLeaveOutVersionControlMetadataUnlessTold) {
    std::filesystem::create_directories(dir / "r/.git/sub/.git");
    std::filesystem::create_directories(dir / "r/src/.hg");
    for (const char* file :
         {"r/.git/config", "r/.git/sub/.git/HEAD", "r/src/.hg/x", "r/src/.git", "r/src/a.c"})
        WriteWholeFile(dir / file, "year\n");
    WriteWholeFile(dir / "list", "r/.git/config\nr/.git\n");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"r"}, "r/src/a.c:1:year\n"},
        {{"--walk-vcs", "r"},
         "r/.git/config:1:year\nr/.git/sub/.git/HEAD:1:year\nr/src/.git:1:year\n"
         "r/src/.hg/x:1:year\nr/src/a.c:1:year\n"},
        {{"--walk-vcs", "--exclude", ".git", "r"}, "r/src/.hg/x:1:year\nr/src/a.c:1:year\n"},
        {{"--exclude", "*.c", "r"}, ""},
        {{"--files-from", "list", "r/src/.git"},
         "r/src/.git:1:year\nr/.git/config:1:year\nr/.git/config:1:year\n"},
    };
    for (const auto& [args, out] : cases) {
        std::vector<std::string> all{"--strings", strings, "--format", "grep"};
        all.insert(all.end(), args.begin(), args.end());
        EXPECT_EQ(RunAsGiven(all).out, out) << args[0];
    }
}

} // namespace
