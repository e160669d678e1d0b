// kavel-report end to end: the real program, its output, its exit statuses.
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
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
    const size_t hit = run.out.find("\r\n" + dir / "hit.c" + "\r\n  Potential problem in line 1:"
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

TEST_F(BatchFixture, FailuresExitWithTwo) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* inReport; // "" when the command line is refused
    };
    const Case cases[] = {
        {"strings missing", {"--strings", dir / "none.str", "--output", output, "hit.c"},
         "Error: Unable to open string file"},
        {"output not creatable", {"--strings", strings, "--output", dir / "no/dir/o", "hit.c"},
         "Error: Failed to create output file"},
        {"checked file missing", {"--strings", strings, "--output", output, "none.c"},
         "  Failed to open file."},
        {"disk full", {"--strings", strings, "--output", "/dev/full", "hit.c"},
         "Error: Failed to write output file"},
        {"no strings option", {"--output", output, "hit.c"}, ""},
        {"no output option", {"--strings", strings}, ""},
        {"option without value", {"--strings", strings, "--output"}, ""},
        {"unknown option", {"--strings", strings, "--output", output, "--fast", "a"}, ""},
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
    run = RunTool(dir, {"--strings", strings, "--output", output});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.ends_with("compliance\r\n\r\n*** End of Report ***\r\n\r\n") ||
                run.out.find("\r\n\r\n*** End of Report ***\r\n\r\n") != std::string::npos);
}

TEST_F(BatchFixture, ASignalCancelsAndTheOutputStaysComplete) {
    // Enough work that the run is surely still going when the signal comes.
    std::string big;
    for (int i = 0; i < 20000; ++i)
        big += "line of ordinary text with nothing to report in it at all ....\r\n";
    WriteWholeFile(dir / "big.txt", big);
    std::vector<std::string> args{"--quiet", "--strings", strings, "--output", output};
    for (int i = 0; i < 5000; ++i)
        args.push_back("big.txt");
    pid_t pid = StartTool(dir, dir.Path(), args);
    // Wait until the run has written its header.
    for (int i = 0; i < 3000 && ReadWholeFile(output).find("Using Search") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(pid, SIGTERM);
    ToolRun run = Finish(dir, pid);
    EXPECT_EQ(run.status, 130);
    const std::string report = ReadWholeFile(output);
    EXPECT_TRUE(report.ends_with(" potential compliance problem(s) identified\r\n\r\n"
                                 "*** Report Cancelled ***\r\n\r\n"))
        << report.substr(report.size() > 300 ? report.size() - 300 : 0);
}

} // namespace
