#pragma once
// Runs the kavel-report program in a child process for end-to-end tests.

#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/types.h>
#include <vector>

struct CToolRun {
    int status = -1; // exit status, 128 + signal, or -1 when it did not end in time
    std::string out; // standard output, when it went to a file
    std::string err;
};

struct CToolOptions {
    std::string program;        // the kavel-report to run
    std::string cwd;            // working directory
    bool bUnprivileged = false; // run as the user "nobody" (needs root)
    int stdoutFd = -1;          // standard output to this descriptor instead of a file
    int stderrFd = -1;          // standard error to this descriptor instead of a file
    bool bCloseStdout = false;  // start with standard output closed
    bool bIgnoreHangup = false; // start with SIGHUP ignored, as nohup does
    std::string stdinFile;      // standard input from this file (default: as the test's)
    long stackLimitKb = 0;      // a stack of this size (ulimit -s), when not 0
    long fileSizeLimit = 0;     // files no larger than this (ulimit -f, in bytes), when not 0
    long memoryLimit = 0;       // an address space of this many bytes (ulimit -v), when not 0
    // After cwd, into these folders one by one: a working directory whose path is longer
    // than the system's limit.
    std::vector<std::string> cwdBelow;
};

// The exit status of a child that could not become the unprivileged user.
constexpr int TOOL_CANNOT_DROP_PRIVILEGES = 97;

// Starts the program with args; standard output and error go to files in dir unless told
// otherwise. Returns the process id.
pid_t StartReportTool(const CTempDir& dir, const CToolOptions& options,
                      const std::vector<std::string>& args);
// Waits at most timeoutSeconds for the process (then kills it and reports status -1) and
// collects what it wrote.
CToolRun FinishReportTool(const CTempDir& dir, pid_t pid, int timeoutSeconds = 60);

// True when the tests run as root, which reads and writes files whatever their permissions.
bool RunningAsRoot();

#ifdef KAVEL_REPORT_PATH
// A folder to run kavel-report in, with a strings file and a report file named in it.
struct ReportToolTest : ::testing::Test {
    CTempDir dir;
    CToolOptions options;
    std::string strings = dir / "y2k.str", output = dir / "report.txt";

    ReportToolTest() {
        options.program = KAVEL_REPORT_PATH;
        options.cwd = dir.Path();
    }

    void SetUp() override { WriteWholeFile(strings, "year\n19\nDATE\n"); }
    // The program with the arguments as given, and with the strings and report files first.
    CToolRun RunAsGiven(const std::vector<std::string>& args) {
        return FinishReportTool(dir, StartReportTool(dir, options, args));
    }
    CToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--strings", strings, "--output", output});
        return RunAsGiven(args);
    }
};
#endif
