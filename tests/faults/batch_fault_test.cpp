// kavel-report under faults: unusable checked files and output files, signals, a standard
// output that blocks or goes away. Each ends with a clear report and exit status, and the
// output file is complete up to its last line.
#include "core/report/json.h"
#include "support/reporttext.h"
#include "support/reporttool.h"
#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using namespace std::string_literals;

// A copy of the program and a folder that the unprivileged user can reach too.
struct BatchFaultFixture : ReportToolTest {
    void SetUp() override {
        options.program = dir / "kavel-report";
        std::filesystem::copy_file(KAVEL_REPORT_PATH, options.program);
        ::chmod(options.program.c_str(), 0755);
        ::chmod(dir.Path().c_str(), 0755);
        WriteWholeFile(strings, "year\r\n");
        WriteWholeFile(dir / "ok.c", "year 1999\r\n");
        ::chmod((dir / "ok.c").c_str(), 0644);
        ::chmod(strings.c_str(), 0644);
    }
};

// Each unusable file is reported under its name and the run goes on; standard error, JSON's
// file record and SARIF's notification say why, in the system's words or, where it gave none,
// in ours, at any --jobs.
TEST_F(BatchFaultFixture, UnusableCheckedFilesAreReportedWithWhyAndTheRunGoesOn) {
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0), 0); // a folder that cannot be read
    WriteWholeFile(dir / "secret.c", "year\r\n");
    ::chmod((dir / "secret.c").c_str(), 0);
    const std::string sockPath = dir / "sock";
    const int sock = BindSocket(sockPath);
    ASSERT_GE(sock, 0);
    options.bUnprivileged = RunningAsRoot(); // root would not see the permissions
    // The checked file's name is not UTF-8, which changes nothing.
    const std::string odd = "\xff\xfe-\xe9.c";
    WriteWholeFile(dir / odd, "year\r\n");
    ::chmod((dir / odd).c_str(), 0644);
    ::chmod(output.c_str(), 0666);
    ::chmod(dir.Path().c_str(), 0777);

    // In the order given: the name, how it fails, and why.
    const std::tuple<std::string, const char*, const char*> failing[] = {
        {"fifo", "open", "is a FIFO"},
        {"sub", "open", "Permission denied"},
        {"/dev/null", "open", "is a device"},
        {"secret.c", "open", "Permission denied"},
        {"sock", "open", "is a socket"},
        {"/proc/self/mem", "read", "Input/output error"},
        {"gone.c", "open", "No such file or directory"},
    };
    std::vector<std::string> args;
    std::string err;
    for (const auto& [name, how, why] : failing) {
        args.push_back(name);
        err += "kavel-report: " + name + ": Failed to " + how + " file: " + why + "\n";
    }
    args.insert(args.end(), {odd, "ok.c", "--jobs"});
    for (const char* jobs : {"1", "3"}) {
        for (const std::string format : {"report", "grep", "json", "sarif"}) {
            std::vector<std::string> formatArgs = args;
            formatArgs.insert(formatArgs.end(), {jobs, "--format", format});
            const CToolRun run = Run(formatArgs);
            if (run.status == TOOL_CANNOT_DROP_PRIVILEGES)
                GTEST_SKIP() << "cannot run as an unprivileged user here";
            EXPECT_EQ(run.status, 2) << run.err;
            EXPECT_EQ(run.err, err) << format << " " << jobs;
            // The report keeps its own words.
            const std::string report = ReadWholeFile(output);
            const std::string failed = "\r\n  Failed to open file.\r\n\r\n";
            for (const auto& [name, how, why] : failing)
                if (how == "open"s) {
                    EXPECT_NE(report.find("\r\n" + (name[0] == '/' ? name : dir / name) + failed),
                              std::string::npos)
                        << name;
                }
            EXPECT_NE(report.find("\r\n/proc/self/mem\r\n  Failed to read file.\r\n  0 line(s)"),
                      std::string::npos);
            for (const std::string& name : {dir / odd, dir / "ok.c"})
                EXPECT_NE(report.find("\r\n" + name + "\r\n  Potential problem in line 1:"),
                          std::string::npos)
                    << name;
            EXPECT_TRUE(report.ends_with(END_LINE));
            if (format == "report") {
                EXPECT_EQ(report, run.out);
            }
            std::vector<std::string> reasons;
            if (format == "json") {
                std::istringstream lines(run.out);
                for (std::string line; std::getline(lines, line);) {
                    CJson record;
                    ASSERT_TRUE(ParseJson(line, record)) << line;
                    const CJson* reason = record.Get("reason");
                    if (record.Get("type")->text == "file" && record.Get("status")->text != "ok")
                        reasons.push_back(record.Get("path")->text + " " +
                                          record.Get("status")->text + " " +
                                          (reason != nullptr ? reason->text : "none"));
                    else
                        EXPECT_EQ(reason, nullptr) << line;
                }
            } else if (format == "sarif") {
                CJson log;
                ASSERT_TRUE(ParseJson(run.out, log)) << run.out;
                for (const CJson& notification :
                     log.At("runs/0/invocations/0/toolExecutionNotifications")->items)
                    reasons.push_back(notification.At("message/text")->text);
            }
            std::vector<std::string> expected;
            for (const auto& [name, how, why] : failing)
                if (format == "json")
                    expected.push_back(name + " failed-" + how + " " + why);
                else if (format == "sarif")
                    expected.push_back("Failed to "s + how + " file: " + why);
            EXPECT_EQ(reasons, expected) << format << " " << jobs;
        }
    }
    ::close(sock);
}

// An output file that is the strings file, by the same name, a link or a second name, would
// empty it before it is read: nothing is created, and the run fails.
TEST_F(BatchFaultFixture, AnOutputFileThatIsTheStringsFileIsNotTouched) {
    std::filesystem::create_symlink(strings, dir / "link.str");
    std::filesystem::create_hard_link(strings, dir / "second.str");
    for (const std::string& out :
         {strings, dir / "link.str", dir / "second.str", std::string("./y2k.str")}) {
        const CToolRun run = RunAsGiven({"--strings", strings, "--output", out, "ok.c"});
        EXPECT_EQ(run.status, 2) << out;
        EXPECT_EQ(run.out, "Error: The output file is the search string file\r\n" + END_LINE)
            << out;
        EXPECT_EQ(ReadWholeFile(strings), "year\r\n") << out;
    }
    // A strings file that does not exist yet, named as the output too: the report it creates
    // is not read as strings.
    WriteWholeFile(dir / "victim.c", "Report: Check of files for year 2000 compliance\r\n");
    const CToolRun run =
        RunAsGiven({"--strings", dir / "new.str", "--output", dir / "new.str", "victim.c"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("Error: Unable to open string file\r\n" + END_LINE), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("Potential problem"), std::string::npos);
}

TEST_F(BatchFaultFixture, AClosedStandardOutputIsNotTheOutputFile) {
    options.bCloseStdout = true;
    const CToolRun run = Run({"ok.c"});
    EXPECT_EQ(run.status, 1) << run.err;
    const std::string report = ReadWholeFile(output);
    EXPECT_EQ(report.find("*** Kavel 2000"), report.rfind("*** Kavel 2000"));
    EXPECT_TRUE(report.ends_with(END_LINE));
}

// A write of the output file that fails near its end is told before the end line, which stays
// the last line of the report; a failure with the end line itself is told on standard error.
TEST_F(BatchFaultFixture, AWriteThatFailsIsToldBeforeTheEndLine) {
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "year " + std::to_string(i) + "\r\n";
    WriteWholeFile(dir / "hits.c", text);
    const std::vector<std::string> args{"--strings", strings, "--output", output, "hits.c"};
    ASSERT_EQ(RunAsGiven(args).status, 1);
    const long whole = static_cast<long>(ReadWholeFile(output).size());
    // Standard output is a pipe, out of the file size limit's reach.
    for (const long limit : {whole / 2, whole - 5}) {
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        options.stdoutFd = pipe[1];
        options.fileSizeLimit = limit;
        const pid_t pid = StartReportTool(dir, options, args);
        ::close(pipe[1]);
        const CToolRun run = FinishReportTool(dir, pid);
        std::string out(65536, '\0');
        out.resize(
            static_cast<size_t>(std::max<ssize_t>(::read(pipe[0], out.data(), out.size()), 0)));
        ::close(pipe[0]);
        EXPECT_EQ(run.status, 2) << limit;
        EXPECT_EQ(run.err, "kavel-report: Error: Failed to write output file\n") << limit;
        if (limit == whole / 2)
            EXPECT_TRUE(out.ends_with("Error: Failed to write output file\r\n" + END_LINE)) << out;
        else
            EXPECT_TRUE(out.ends_with(ReportSummary(20, 20) + "\r\n" + END_LINE)) << out;
    }
}

// Relative names are opened as given, so a working directory whose path is longer than the
// system allows still works; the report shows the whole path. A walk reaches files whose path
// is that long too.
TEST_F(BatchFaultFixture, PathsLongerThanTheSystemsLimitWork) {
    const std::string part(200, 'd');
    std::vector<std::string> parts(25, part); // more than 5000 bytes of path
    const int home = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(home, 0);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    std::string deep = dir.Path();
    for (const std::string& p : parts) {
        ASSERT_TRUE(::mkdir(p.c_str(), 0755) == 0 && ::chdir(p.c_str()) == 0);
        deep += "/" + p;
    }
    WriteWholeFile("deep.c", "year\r\n");
    options.cwdBelow = parts;
    const CToolRun run = Run({"deep.c"});
    options.cwdBelow.clear();
    const CToolRun walk = Run({"--format", "grep", part});
    // A folder named by a path that long is walked too.
    const CToolRun named = Run({"--format", "grep", deep.substr(0, deep.rfind('/'))});
    // Away again, leaving nothing that the folder's removal could not reach.
    EXPECT_EQ(::unlink("deep.c"), 0);
    for (size_t i = 0; i < parts.size(); ++i)
        EXPECT_TRUE(::chdir("..") == 0 && ::rmdir(part.c_str()) == 0);
    EXPECT_EQ(::fchdir(home), 0);
    ::close(home);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("\r\n" + deep + "/deep.c\r\n  Potential problem in line 1:"),
              std::string::npos);
    EXPECT_EQ(walk.status, 1) << walk.err;
    EXPECT_EQ(walk.out, deep.substr(dir.Path().size() + 1) + "/deep.c:1:year\n");
    EXPECT_EQ(named.status, 1) << named.err;
    EXPECT_TRUE(named.out.ends_with("/deep.c:1:year\n")) << named.out.substr(0, 300);
}

// A tree of thousands of levels is walked in constant stack: a small one (ulimit -s 512)
// ended the tool with a crash and a report that held only its header.
TEST_F(BatchFaultFixture, AVeryDeepTreeIsWalkedOnASmallStack) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "ThreadSanitizer's own start needs more than the small stack";
#endif
    int fd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 5000 && fd >= 0; ++level) {
        ::mkdirat(fd, "d", 0755);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    const int file = ::openat(fd, "f.c", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(file, "year\n", 5), 5);
    ::close(file);
    ::close(fd);
    options.stackLimitKb = 512;
    const CToolRun run = Run({"--format", "grep", "d"});
    EXPECT_EQ(std::system(("rm -rf '" + dir.Path() + "/d'").c_str()), 0);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(run.out.ends_with("/d/d/f.c:1:year\n")) << run.out.substr(0, 200);
    EXPECT_EQ(run.out.size(), 5000 * 2 + 11u);
}

// A list or an output file that would make the run lie ends it with status 2 and says why:
// a list that is the output file (truncated, the report's lines would be taken for names), a
// list of NUL-separated names read by lines, a list that is empty, and a second run that names
// the output file of a run still going.
TEST_F(BatchFaultFixture, ListsAndOutputFilesThatWouldMisleadEndTheRunWithTwo) {
    const std::string list = dir / "list";
    WriteWholeFile(list, "ok.c\n");
    CToolRun run = RunAsGiven({"--strings", strings, "--output", list, "--files-from", list});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "Error: The output file is the list of files\r\n" + END_LINE);
    EXPECT_EQ(ReadWholeFile(list), "ok.c\n");

    WriteWholeFile(list, "ok.c\nok.c\0ok.c\0"s);
    run = Run({"--files-from", list});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kavel-report: " + list +
                           ":2: a name holds a NUL byte: use --null for NUL-separated lists\n");
    EXPECT_NE(run.out.find(ReportSummary(1, 1) + "\r\n" + END_LINE), std::string::npos);

    options.stdinFile = "/dev/null";
    run = Run({"--files-from", "-"});
    options.stdinFile.clear();
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("kavel-report: no file to check"), std::string::npos) << run.err;

    // The first run holds its output file while it waits for its list.
    std::filesystem::remove(output); // its header shows that it holds it
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const pid_t first = StartReportTool(
        dir, options, {"--strings", strings, "--output", output, "--files-from", fifo});
    const int writer = ::open(fifo.c_str(), O_WRONLY);
    WaitForFileStart(output, "Using Search");
    CTempDir other;
    const CToolRun clash = FinishReportTool(
        other, StartReportTool(other, options, {"--strings", strings, "--output", output, "ok.c"}));
    EXPECT_EQ(clash.status, 2);
    EXPECT_EQ(
        clash.out.find("Error: The output file is locked by another process or report run\r\n"), 0u)
        << clash.out;
    EXPECT_NE(clash.err.find("locked by another process or report run"), std::string::npos);
    ASSERT_EQ(::write(writer, "ok.c\n", 5), 5);
    ::close(writer);
    const CToolRun held = FinishReportTool(dir, first);
    EXPECT_EQ(held.status, 1);
    EXPECT_EQ(ReadWholeFile(output), held.out);
}

// Standard output or error redirected into the output file itself (`--output r.txt &> r.txt`)
// gives two writers of one file with their own offsets, which overwrite each other: refused.
// So is a pipe named as the output (`--output /proc/self/fd/1 | jq`): the report would go into
// the format's stream. With --quiet standard output may be the output file.
TEST_F(BatchFaultFixture, AnOutputFileThatIsStandardOutputOrErrorIsRefused) {
    for (const bool pipe : {false, true})
        for (const bool error : {false, true})
            for (const char* format : {"grep", "report", "--quiet"}) {
                SCOPED_TRACE(testing::Message() << pipe << error << format);
                int fds[2] = {-1, -1};
                if (pipe)
                    ASSERT_EQ(::pipe(fds), 0);
                else
                    fds[1] = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                ASSERT_GE(fds[1], 0);
                (error ? options.stderrFd : options.stdoutFd) = fds[1];
                std::vector<std::string> args{"--strings", strings, "--output"};
                args.push_back(!pipe ? output : error ? "/proc/self/fd/2" : "/proc/self/fd/1");
                if (std::string(format) == "--quiet")
                    args.push_back(format);
                else
                    args.insert(args.end(), {"--format", format});
                args.push_back("ok.c");
                const CToolRun run = RunAsGiven(args);
                ::close(fds[1]);
                options.stdoutFd = options.stderrFd = -1;
                std::string told = error ? ReadWholeFile(output) : run.err;
                if (pipe) {
                    told.resize(65536);
                    told.resize(std::max<ssize_t>(::read(fds[0], told.data(), told.size()), 0));
                    ::close(fds[0]);
                    if (!error)
                        told += run.err;
                }
                if (!error && std::string(format) == "--quiet") {
                    EXPECT_EQ(run.status, 1) << told;
                    continue;
                }
                EXPECT_EQ(run.status, 2) << told;
                EXPECT_NE(told.find(error ? "is standard error" : "is standard output"),
                          std::string::npos)
                    << told;
            }
}

// What the end of a run tells beside the report: a strings file that starts with a UTF-8
// byte order mark (a warning: the mark stays part of the first string), a file truncated
// while it was read (a note: the run and its status are as they were), and an output file
// whose folder was removed during the run (the report is lost: status 2).
TEST_F(BatchFaultFixture, AByteOrderMarkAShrunkFileAndAGoneOutputFolderAreTold) {
    WriteWholeFile(strings, "\xEF\xBB\xBFyear\r\n");
    CToolRun run = Run({"ok.c"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "kavel-report: warning: " + strings +
                           " starts with a UTF-8 byte order mark, which is part of its first "
                           "search string\n");
    WriteWholeFile(strings, "year\r\n");

    // The run writes its hits to a pipe read only up to the first: it holds there, a small
    // way into the file, until the file is truncated and the pipe read to its end.
    std::string lines;
    for (int i = 0; i < (1 << 20); ++i)
        lines += "year\n";
    const std::string big = dir / "big.txt";
    WriteWholeFile(big, lines);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    options.stdoutFd = fds[1];
    pid_t pid = StartReportTool(dir, options,
                                {"--strings", strings, "--output", output, "--jobs", "1", big});
    ::close(fds[1]);
    options.stdoutFd = -1;
    std::string seen(4096, '\0'), shown;
    for (ssize_t got; shown.find("Potential problem") == std::string::npos &&
                      (got = ::read(fds[0], seen.data(), seen.size())) > 0;)
        shown.append(seen, 0, static_cast<size_t>(got));
    ASSERT_EQ(::truncate(big.c_str(), 0), 0);
    while (::read(fds[0], seen.data(), seen.size()) > 0) {
    }
    ::close(fds[0]);
    run = FinishReportTool(dir, pid);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kavel-report: " + big + ": shrank while it was read\n");

    // The run waits for its list while the output's folder goes.
    const std::string folder = dir / "out", fifo = dir / "fifo";
    std::filesystem::create_directory(folder);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    pid = StartReportTool(
        dir, options, {"--strings", strings, "--output", folder + "/r.txt", "--files-from", fifo});
    const int writer = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_TRUE(WaitForFileStart(folder + "/r.txt", "Using Search"));
    std::filesystem::remove_all(folder);
    ASSERT_EQ(::write(writer, "ok.c\n", 5), 5);
    ::close(writer);
    run = FinishReportTool(dir, pid);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kavel-report: the folder of the output file " + folder +
                           "/r.txt was removed during the run: the report went into a deleted "
                           "file\n");
}

// A stop signal that comes while the tool starts (here at its first system call of its own)
// ends it as a stop: status 130 and a report that says so, not a kill without a report.
TEST_F(BatchFaultFixture, AStopSignalWhileTheToolStartsEndsItAsAStop) {
    if (::access("/usr/bin/strace", X_OK) != 0)
        GTEST_SKIP() << "strace is not installed";
    options.program = "/usr/bin/strace";
    const CToolRun run = RunAsGiven({"-qq", "-o", "/dev/null", "-e", "trace=fcntl", "-e",
                                     "inject=fcntl:signal=SIGTERM:when=1", dir / "kavel-report",
                                     "--strings", strings, "--output", output, "ok.c"});
    if (run.err.find("ptrace") != std::string::npos)
        GTEST_SKIP() << "strace cannot trace here: " << run.err;
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_TRUE(ReadWholeFile(output).ends_with(CANCEL_LINE));
}

// Checks that a report of big.txt (below) is whole up to its end line: each block has a hit for
// exactly every tenth line it checked, and its summary.
void ExpectCompleteReport(const std::string& report, const std::string& path,
                          const std::string& end) {
    size_t at = report.find("\r\n\r\n", report.find("Using Search String file: ")) + 4;
    std::string expected = report.substr(0, at);
    for (size_t counted; (counted = report.find(" line(s) checked", at)) != std::string::npos;) {
        const long lines = std::stol(report.substr(report.rfind("\r\n", counted) + 2, 20));
        expected += path + "\r\n";
        for (long line = 10; line <= lines; line += 10)
            expected += ReportHit(line, "year " + std::to_string(line));
        expected += ReportSummary(lines, lines / 10) + "\r\n";
        at = report.find("\r\n\r\n", counted) + 4;
    }
    EXPECT_NE(expected.find(path), std::string::npos);
    EXPECT_TRUE(report == expected + end)
        << report.substr(std::max<size_t>(report.size(), 200) - 200);
}

struct SignalFixture : BatchFaultFixture {
    std::string big;
    void SetUp() override {
        BatchFaultFixture::SetUp();
        // Every tenth line is a hit, so lost or doubled lines show.
        std::string bytes;
        for (int i = 1; i <= 200000; ++i)
            bytes += (i % 10 == 0 ? "year " : "text ") + std::to_string(i) + "\r\n";
        big = dir / "big.txt";
        WriteWholeFile(big, bytes);
    }
    std::vector<std::string> Args(int files) {
        std::vector<std::string> args{"--strings", strings, "--output", output};
        args.insert(args.end(), files, big);
        return args;
    }
    void WaitForHeader() { WaitForFileStart(output, "Using Search"); }
};

// SIGTERM, SIGINT and SIGHUP (the terminal went away) stop the run with any jobs: the output file
// is complete up to the cancel line, and the format on standard output ends whole and says so.
// So within seconds when the run is blocked on a pipe that nobody reads, as standard output or
// as the output file. Started with SIGHUP ignored (nohup), the tool goes on when it comes.
TEST_F(SignalFixture, AStopSignalMidRunLeavesCompleteOutputs) {
    enum EWhere { FILES, STDOUT_PIPE, OUTPUT_PIPE, NOHUP };
    const std::tuple<int, const char*, const char*, EWhere> cases[] = {
        {SIGTERM, "1", "--format=json", FILES},
        {SIGINT, "3", "--format=sarif", FILES},
        {SIGHUP, "2", "--format=grep", FILES},
        {SIGTERM, "1", "--format=report", STDOUT_PIPE},
        {SIGTERM, "2", "--format=report", STDOUT_PIPE},
        {SIGTERM, "1", "--quiet", OUTPUT_PIPE},
        {SIGHUP, "1", "--quiet", NOHUP}};
    for (const auto& [signal, jobs, format, where] : cases) {
        SCOPED_TRACE(testing::Message() << strsignal(signal) << " " << format << " " << where);
        int fds[2] = {-1, -1};
        if (where == STDOUT_PIPE || where == OUTPUT_PIPE) {
            ASSERT_EQ(::pipe(fds), 0);
        }
        options.stdoutFd = fds[1];
        options.bIgnoreHangup = where == NOHUP;
        std::vector<std::string> args = Args(where == FILES ? 500 : where == NOHUP ? 20 : 50);
        if (where == OUTPUT_PIPE)
            args[3] = "/dev/stdout"; // and nothing else on standard output
        args.insert(args.begin(), {"--jobs", jobs, format});
        std::remove(output.c_str());
        const pid_t pid = StartReportTool(dir, options, args);
        if (fds[1] >= 0)
            ::close(fds[1]);
        if (where != OUTPUT_PIPE)
            WaitForHeader();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::kill(pid, signal);
        const CToolRun run = FinishReportTool(dir, pid, 30);
        if (fds[0] >= 0)
            ::close(fds[0]);
        EXPECT_EQ(run.status, where == NOHUP ? 1 : 130);
        if (where != OUTPUT_PIPE)
            ExpectCompleteReport(ReadWholeFile(output), big,
                                 where == NOHUP ? END_LINE : CANCEL_LINE);
        if (std::string(format) == "--format=json") {
            EXPECT_TRUE(run.out.ends_with("\"cancelled\":true}\n"));
        } else if (std::string(format) == "--format=sarif") {
            EXPECT_NE(run.out.find("\"executionSuccessful\":false"), std::string::npos);
        }
    }
}

TEST_F(SignalFixture, AStandardOutputThatGoesAwayLosesNothingInTheOutputFile) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    options.stdoutFd = fds[1];
    ::close(fds[0]); // the reader is gone before the first byte
    const pid_t pid = StartReportTool(dir, options, Args(2));
    ::close(fds[1]);
    const CToolRun run = FinishReportTool(dir, pid);
    EXPECT_EQ(run.status, 2);
    ExpectCompleteReport(ReadWholeFile(output), big, END_LINE);
}

} // namespace
