// kavel-report end to end: the real program, its output, its exit statuses.
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct ToolRun {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Starts kavel-report in cwd with its output going to files in dir; returns the process id.
pid_t StartTool(const CTempDir& dir, const std::string& cwd, const std::vector<std::string>& args) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(99);
        std::vector<char*> argv{const_cast<char*>(KAVEL_REPORT_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(KAVEL_REPORT_PATH, argv.data());
        ::_exit(98);
    }
    return pid;
}

ToolRun Finish(const CTempDir& dir, pid_t pid) {
    ToolRun run;
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadWholeFile(dir / "stdout");
    run.err = ReadWholeFile(dir / "stderr");
    return run;
}

ToolRun RunTool(const CTempDir& dir, const std::vector<std::string>& args) {
    return Finish(dir, StartTool(dir, dir.Path(), args));
}

struct BatchFixture : ::testing::Test {
    CTempDir dir;
    std::string strings, output;
    void SetUp() override {
        strings = dir / "y2k.str";
        output = dir / "report.txt";
        WriteWholeFile(strings, "year\r\n19\r\n");
        WriteWholeFile(dir / "hit.c", "int year;\r\nok\r\n");
        WriteWholeFile(dir / "clean.c", "nothing\r\n");
    }
};

TEST_F(BatchFixture, StandardOutputIsTheReport) {
    ToolRun run = RunTool(dir, {"--strings", strings, "--output", output, "hit.c", "clean.c"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, ReadWholeFile(output));
    EXPECT_EQ(run.err, "");
    // Relative names: the current directory, a "/", the name as given; in the order given.
    const size_t hit = run.out.find("\r\n" + dir / "hit.c" +
                                    "\r\n  Potential problem in line 1:"
                                    "\r\n  >int year;\r\n  2 line(s) checked, 1 potential");
    const size_t clean = run.out.find("\r\n" + dir / "clean.c" + "\r\n  1 line(s) checked, 0");
    EXPECT_NE(hit, std::string::npos);
    EXPECT_NE(clean, std::string::npos);
    EXPECT_LT(hit, clean);
    EXPECT_NE(run.out.find("Writing to output file: " + output + "\r\n"), std::string::npos);
    EXPECT_TRUE(run.out.ends_with("*** End of Report ***\r\n\r\n"));

    run = RunTool(dir, {"--quiet", "--strings", strings, "--output", output, dir / "clean.c"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(ReadWholeFile(output).find("\r\n" + dir / "clean.c" + "\r\n"), std::string::npos);
}

// Linux text: a strings file and a checked file with LF line ends, mixed with CR LF, are read
// line by line; the report still ends every line with CR LF.
TEST_F(BatchFixture, LinuxTextIsReadLineByLine) {
    WriteWholeFile(strings, "year\ncentury\n");
    WriteWholeFile(dir / "lf.c", "int a;\n\nint year;\r\n" + std::string(1500, 'x') + " century\n");
    const ToolRun run = RunTool(dir, {"--strings", strings, "--output", output, "lf.c"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("\r\n" + dir / "lf.c" +
                           "\r\n  Potential problem in line 3:\r\n  >int year;\r\n"
                           "  Potential problem in line 5:\r\n  >" +
                           std::string(476, 'x') +
                           " century\r\n  5 line(s) checked, 2 potential compliance problem(s)"),
              std::string::npos)
        << run.out;
}

TEST_F(BatchFixture, FailuresExitWithTwo) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* inReport; // "" when the command line is refused
    };
    const Case cases[] = {
        {"strings missing",
         {"--strings", dir / "none.str", "--output", output, "hit.c"},
         "Error: Unable to open string file"},
        {"output not creatable",
         {"--strings", strings, "--output", dir / "no/dir/o", "hit.c"},
         "Error: Failed to create output file"},
        {"checked file missing",
         {"--strings", strings, "--output", output, "none.c"},
         "  Failed to open file."},
        {"disk full",
         {"--strings", strings, "--output", "/dev/full", "hit.c"},
         "Error: Failed to write output file"},
        {"no strings option", {"--output", output, "hit.c"}, ""},
        {"no output option", {"--strings", strings}, ""},
        {"option without value", {"--strings", strings, "--output"}, ""},
        {"unknown option", {"--strings", strings, "--output", output, "--fast", "a"}, ""},
        {"no jobs", {"--strings", strings, "--output", output, "--jobs", "0", "a"}, ""},
        {"jobs not a number", {"--strings", strings, "--output", output, "--jobs=2x", "a"}, ""},
        {"jobs without value", {"--strings", strings, "--output", output, "--jobs"}, ""},
    };
    for (const Case& c : cases) {
        ToolRun run = RunTool(dir, c.args);
        EXPECT_EQ(run.status, 2) << c.name;
        if (*c.inReport) {
            EXPECT_NE(run.out.find(std::string(c.inReport) + "\r\n"), std::string::npos) << c.name;
            EXPECT_TRUE(run.out.ends_with("*** End of Report ***\r\n\r\n")) << c.name;
        } else {
            EXPECT_EQ(run.out, "") << c.name;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.name << run.err;
        }
    }
}

TEST_F(BatchFixture, HelpAndNoFiles) {
    ToolRun run = RunTool(dir, {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: kavel-report"), std::string::npos);
    run = RunTool(dir, {"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "kavel-report 1.0.0\n");
    // No file named at all (a glob that matched nothing): a failure, not a clean pass.
    run = RunTool(dir, {"--strings", strings, "--output", output});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no file to check"), std::string::npos);
    // A folder that holds no file checks nothing and is no error.
    ASSERT_EQ(::mkdir((dir / "empty").c_str(), 0755), 0);
    run = RunTool(dir, {"--strings", strings, "--output", output, "empty"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.ends_with("compliance\r\n\r\n*** End of Report ***\r\n\r\n") ||
                run.out.find("\r\n\r\n*** End of Report ***\r\n\r\n") != std::string::npos);
    // An empty strings file: the report is written, and the run fails.
    WriteWholeFile(dir / "none.str", "\r\n\n");
    run = RunTool(dir, {"--strings", dir / "none.str", "--output", output, "hit.c"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("no search strings in " + dir / "none.str"), std::string::npos);
    EXPECT_NE(ReadWholeFile(output).find("  2 line(s) checked, 0 potential"), std::string::npos);
}

TEST_F(BatchFixture, ASignalWithJobsEndsTheReportAsOneThreadWould) {
    // Every 100th line hits. However the files were shared out, the report holds whole files
    // in order, then the file being written with the lines checked so far, then the end.
    std::string big;
    for (int i = 1; i <= 20000; ++i)
        big += (i % 100 == 0 ? "year " : "line ") + std::to_string(i) + " of text\r\n";
    WriteWholeFile(dir / "big.txt", big);
    WriteWholeFile(dir / "year.str", "year\r\n");
    std::vector<std::string> args{"--jobs",         "3",        "--quiet", "--strings",
                                  dir / "year.str", "--output", output};
    for (int i = 0; i < 5000; ++i)
        args.push_back("big.txt");
    pid_t pid = StartTool(dir, dir.Path(), args);
    WaitForFileStart(output, "Using Search");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ::kill(pid, SIGTERM);
    ToolRun run = Finish(dir, pid);
    EXPECT_EQ(run.status, 130);
    const std::string report = ReadWholeFile(output);
    ASSERT_TRUE(report.ends_with("\r\n\r\n*** Report Cancelled ***\r\n\r\n"));

    // Walk the file sections: each lists the hits up to its count, in order.
    const std::string path = dir / "big.txt" + "\r\n";
    size_t at = report.find(path);
    ASSERT_NE(at, std::string::npos);
    int sections = 0;
    long lastCount = 0;
    while (at != std::string::npos) {
        ++sections;
        size_t pos = at + path.size();
        long expectedHit = 100;
        while (report.compare(pos, 28, "  Potential problem in line ") == 0) {
            const std::string hit = "  Potential problem in line " + std::to_string(expectedHit) +
                                    ":\r\n  >year " + std::to_string(expectedHit) + " of text\r\n";
            ASSERT_EQ(report.compare(pos, hit.size(), hit), 0) << "section " << sections;
            pos += hit.size();
            expectedHit += 100;
        }
        const size_t end = report.find(" line(s) checked, ", pos);
        ASSERT_NE(end, std::string::npos);
        lastCount = std::stol(report.substr(pos + 2, end - pos - 2));
        EXPECT_EQ(report.substr(end, 60).find(" line(s) checked, " +
                                              std::to_string((expectedHit - 100) / 100) + " "),
                  0u)
            << "section " << sections;
        EXPECT_LT(lastCount, expectedHit) << "section " << sections;
        EXPECT_GE(lastCount, expectedHit - 100) << "section " << sections;
        at = report.find(path, pos);
        if (at != std::string::npos) {
            EXPECT_EQ(lastCount, 20000) << "an earlier section is not whole: " << sections;
        }
    }
    EXPECT_LT(sections, 5000);
}

// The report without its "Created:" line, which holds the time of the run.
std::string WithoutTime(const std::string& report) {
    const size_t at = report.find("Created: ");
    return at == std::string::npos ? report
                                   : report.substr(0, at) + report.substr(report.find('\n', at));
}

TEST_F(BatchFixture, JobsGiveTheSameReport) {
    // More hits in one file than a worker may hold back, the output file among the checked
    // files, a missing file, an empty file and a long line.
    std::string manyHits;
    for (int i = 0; i < 100000; ++i)
        manyHits += "year " + std::to_string(i) + "\r\n";
    WriteWholeFile(dir / "many.txt", manyHits);
    WriteWholeFile(dir / "empty.c", "");
    WriteWholeFile(dir / "long.txt", std::string(3000, 'x') + "19\r\n" + std::string(1024, 'y'));
    // The output file is checked too, so no string may occur in the time of the run.
    WriteWholeFile(strings, "year\r\nx19\r\n");
    const std::vector<std::string> files = {"hit.c",   "many.txt",     "none.c",   "report.txt",
                                            "empty.c", "clean.c",      "long.txt", "many.txt",
                                            "hit.c",   dir / "clean.c"};
    std::string first;
    for (const char* jobs : {"1", "2", "8"}) {
        std::vector<std::string> args = {"--jobs", jobs, "--strings", strings, "--output", output};
        args.insert(args.end(), files.begin(), files.end());
        ToolRun run = RunTool(dir, args);
        EXPECT_EQ(run.status, 2) << jobs; // none.c is missing
        EXPECT_EQ(run.out, ReadWholeFile(output)) << jobs;
        if (first.empty())
            first = WithoutTime(run.out);
        else
            EXPECT_TRUE(WithoutTime(run.out) == first) << "--jobs " << jobs << " differs";
    }
    EXPECT_NE(first.find("  100000 line(s) checked, 100000 potential"), std::string::npos);
    EXPECT_NE(first.find(dir / "report.txt" + "\r\n  "), std::string::npos);
}
} // namespace
