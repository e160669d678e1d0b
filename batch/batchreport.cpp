#include "batch/batchreport.h"

#include "scan/reportrun.h"
#include "toolkit/dirlisting.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <sched.h>
#include <cstdio>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t g_nStopSignal = 0;

void OnStopSignal(int) { g_nStopSignal = 1; }

const char Usage[] =
    "Usage: kavel-report --strings FILE --output FILE [--jobs N] [--quiet] FILE...\n"
    "Checks every line of each FILE for the search strings in the strings file (one per\n"
    "line, letter case ignored) and writes the report to the output file and to standard\n"
    "output. Lines end at LF or CR LF.\n"
    "  --strings FILE  the search strings file\n"
    "  --output FILE   the output file, created anew\n"
    "  --jobs N        check N files at the same time (default: the number of\n"
    "                  processors); the report is the same for every N\n"
    "  --quiet         write nothing to standard output\n"
    "  --help          show this text\n"
    "Exit status: 0 no potential problem, 1 potential problems found, 2 failure,\n"
    "130 stopped by a signal.\n";

// Standard output and error, as descriptors of this process's own that do not block.
int g_nStdout = STDOUT_FILENO;
int g_nStderr = STDERR_FILENO;

// A pipe, FIFO, terminal or socket is opened again, non-blocking, so that a reader that
// takes nothing cannot hold a stopped run (the other holders of it keep theirs as they are);
// a file stays as it is, and so does anything that cannot be opened again.
int OwnNonBlocking(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))
        return fd;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int own = ::open(self.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    return own >= 0 ? own : fd;
}

// Writes all bytes; false on failure. After a stop signal, a reader that takes nothing for a
// second counts as a failure.
bool WriteAll(int fd, const char* data, size_t len) {
    return WriteAllBytes(fd, data, len, &g_nStopSignal);
}

// Standard output: the report as the output file holds it, written in large pieces.
class CStdoutSink : public CTextReportSink {
  public:
    bool m_bFailed = false;

    CStdoutSink() { m_pending.reserve(BUFFER); }
    void RunEnd(bool bCancelled) override {
        CTextReportSink::RunEnd(bCancelled);
        Flush();
    }

  protected:
    void WriteLine(std::string_view text) override {
        m_pending.append(text);
        m_pending.append("\r\n");
        if (m_pending.size() >= BUFFER)
            Flush();
    }
    void WriteHit(long lineNumber, std::string_view text) override {
        char heading[HIT_HEADING_MAX];
        m_pending.append(heading, FormatHitHeading(lineNumber, heading));
        m_pending.append("\r\n  >");
        WriteLine(text);
    }

  private:
    static constexpr size_t BUFFER = 64 * 1024;

    void Flush() {
        if (!m_bFailed && !m_pending.empty() &&
            !WriteAll(g_nStdout, m_pending.data(), m_pending.size()))
            m_bFailed = true;
        m_pending.clear();
    }

    std::string m_pending;
};

class CBatchHost : public CReportHost {
  public:
    std::string m_strOutput;
    std::string m_strStrings;
    std::vector<std::string> m_files;

    CBatchHost() { m_bProgress = ::isatty(STDERR_FILENO) == 1; }
    bool ShowsProgress() const { return m_bProgress; }

    std::string GetOutputPath() override { return m_strOutput; }
    std::string GetSearchStringsPath() override { return m_strStrings; }
    std::string GetCurrentDirectory() override {
        const std::string directory = CurrentDirectory();
        return directory.empty() ? "." : directory;
    }
    int GetFileCount() override { return static_cast<int>(m_files.size()); }
    bool IsFileSelected(int) override { return true; }
    std::string GetFileName(int index) override { return m_files[index]; }

    void SetStatusText(const std::string& text) override {
        if (!m_bProgress)
            return;
        auto now = std::chrono::steady_clock::now();
        if (now - m_lastProgress < std::chrono::milliseconds(100))
            return;
        m_lastProgress = now;
        std::string shown = "\r" + text + "\x1b[K";
        WriteAll(g_nStderr, shown.data(), shown.size());
        m_bProgressShown = true;
    }
    void DrainMessageQueue() override {
        if (g_nStopSignal)
            m_bReporting = 0;
    }
    void EndReporting() override {
        if (m_bProgressShown)
            WriteAll(g_nStderr, "\r\x1b[K", 4);
        m_bProgress = false;
    }

  private:
    bool m_bProgress = false;
    bool m_bProgressShown = false;
    std::chrono::steady_clock::time_point m_lastProgress{};
};

// The processors this process may run on.
int ProcessorCount() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

// A job count from 1 to 1024, else 0.
int ParseJobs(const std::string& text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int n = std::stoi(text);
    return n >= 1 && n <= 1024 ? n : 0;
}

int CommandLineError(const std::string& message) {
    std::fprintf(stderr, "kavel-report: %s (see kavel-report --help)\n", message.c_str());
    return BATCH_EXIT_FAILURE;
}

// A closed standard descriptor would be the next file opened, and the report would be
// written into it twice: each of 0, 1 and 2 that is closed is opened on /dev/null. The lower
// ones are open by then, so open gives the one that is closed.
void OpenClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDWR) != fd)
            return;
}

} // namespace

int RunBatchReport(int argc, char** argv) {
    OpenClosedStandardDescriptors();
    CBatchHost host;
    CStdoutSink stdoutSink;
    CNullSink quietSink;
    bool quiet = false;
    CRunOptions options;
    options.nJobs = ProcessorCount();
    bool haveStrings = false, haveOutput = false, endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            host.m_files.push_back(arg);
        } else if (arg == "--") {
            endOfOptions = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return BATCH_EXIT_CLEAN;
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else if (arg == "--strings" || arg == "--output") {
            if (i + 1 >= argc)
                return CommandLineError(arg + " needs a file name");
            (arg == "--strings" ? host.m_strStrings : host.m_strOutput) = argv[++i];
            (arg == "--strings" ? haveStrings : haveOutput) = true;
        } else if (arg == "--jobs" || arg == "-j" || arg.rfind("--jobs=", 0) == 0) {
            std::string value;
            if (arg.rfind("--jobs=", 0) == 0)
                value = arg.substr(7);
            else if (i + 1 < argc)
                value = argv[++i];
            options.nJobs = ParseJobs(value);
            if (options.nJobs == 0)
                return CommandLineError("--jobs needs a number from 1 to 1024");
        } else if (arg.rfind("--strings=", 0) == 0) {
            host.m_strStrings = arg.substr(10);
            haveStrings = true;
        } else if (arg.rfind("--output=", 0) == 0) {
            host.m_strOutput = arg.substr(9);
            haveOutput = true;
        } else {
            return CommandLineError("unknown option " + arg);
        }
    }
    if (!haveStrings)
        return CommandLineError("--strings FILE is required");
    if (!haveOutput)
        return CommandLineError("--output FILE is required");

    // A hang-up (the terminal closed) stops the run like SIGTERM: the report ends complete. A
    // signal ignored when the tool started (nohup, a background job) stays ignored.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    options.pStopSignal = &g_nStopSignal;
    if (!quiet)
        g_nStdout = OwnNonBlocking(STDOUT_FILENO);
    if (host.ShowsProgress())
        g_nStderr = OwnNonBlocking(STDERR_FILENO);

    // Check the stop signal often enough that a stop feels immediate.
    options.drainInterval = std::chrono::milliseconds(20);
    const CReportResult result =
        RunReport(host, quiet ? static_cast<CReportSink&>(quietSink) : stdoutSink, options);

    if (result.bCancelled)
        return BATCH_EXIT_CANCELLED;
    if (!result.bOutputCreated || result.bOutputWriteFailed || !result.bStringsOpened ||
        result.nFilesFailed > 0 || stdoutSink.m_bFailed)
        return BATCH_EXIT_FAILURE;
    return result.nProblems > 0 ? BATCH_EXIT_PROBLEMS : BATCH_EXIT_CLEAN;
}
