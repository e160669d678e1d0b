#include "apps/batchreport.h"

#include "core/lines/stopsignal.h"
#include "core/report/formats.h"
#include "core/run/reportrun.h"
#include "core/run/scanpool.h"
#include "core/run/treewalk.h"
#include "core/text/dirlisting.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef KAVEL_VERSION
#define KAVEL_VERSION "0"
#endif

namespace {

StopFlag g_nStopSignal = 0;

void OnStopSignal(int) {
    g_nStopSignal = 1;
}

const char Usage[] =
    "Usage: kavel-report --strings FILE [--output FILE] [OPTIONS] [PATH...]\n"
    "Checks every line of each file for the search strings in the strings file (one per\n"
    "line, letter case ignored). Lines end at LF or CR LF. A PATH that is a folder is walked:\n"
    "its files are checked in the byte order of their paths; links, FIFOs, sockets and\n"
    "devices inside it are skipped.\n"
    "  --strings FILE     the search strings file; - or a pipe is read once, before any file\n"
    "  --output FILE      the output file, created anew: it holds the report\n"
    "  --files-from FILE  the paths to check, one per line (LF or CR LF), after any PATH;\n"
    "                     - reads them from standard input\n"
    "  --null             the paths of --files-from are separated by NUL\n"
    "  --exclude GLOB     leave out the files and folders of a walk whose name or path\n"
    "                     below the walked folder matches GLOB (repeatable; * stops at /;\n"
    "                     a final / for folders only)\n"
    "  --format FORMAT    standard output as report (the report's bytes, the default),\n"
    "                     grep (path:line:text), json (JSON Lines) or sarif (SARIF 2.1.0);\n"
    "                     grep, json and sarif count lines as an editor does\n"
    "  --baseline FILE    a SARIF log of an earlier run: only results that are not in it\n"
    "                     fail the check; grep and json show the lines with a new result\n"
    "  --baseline-all     with --baseline, grep and json show every line found\n"
    "  --jobs N           check N files at the same time (default: the number of\n"
    "                     processors); the output is the same for every N\n"
    "  --quiet            write nothing to standard output\n"
    "  --version          show the version\n"
    "  --help             show this text\n"
    "Exit status: 0 no potential problem (with --baseline: none new), 1 potential problems\n"
    "found, 2 failure (also no file named, or no search string; standard error says why),\n"
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

// The run's host: the two files, the files to check as the walk lists them, progress on a
// terminal, and a stop signal as the stop.
class CBatchHost : public CReportHost {
  public:
    std::string m_strOutput;
    std::string m_strStrings;
    std::unique_ptr<CTreeWalk> m_pWalk;

    CBatchHost() { m_bProgress = ::isatty(STDERR_FILENO) == 1; }
    bool ShowsProgress() const { return m_bProgress; }

    std::string GetOutputPath() override { return m_strOutput; }
    std::string GetSearchStringsPath() override { return m_strStrings; }
    std::string GetCurrentDirectory() override {
        const std::string directory = CurrentDirectory();
        return directory.empty() ? "." : directory;
    }
    // The walk starts when the run first asks for files, after the output file is created:
    // a walk of the folder that will hold it lists it on every run, or on none.
    int GetFileCount() override {
        StartWalk();
        return static_cast<int>(m_pWalk->Listed());
    }
    // Waits for the walk with a look at the stop signal now and then: a walk may list nothing
    // for long (empty folders, a pipe that delivers slowly). After a stop, no more files.
    int WaitForFiles(int known, std::chrono::milliseconds limit, bool& bTimedOut) override {
        StartWalk();
        bTimedOut = false;
        const auto start = std::chrono::steady_clock::now();
        const size_t have = static_cast<size_t>(std::max(known, 0));
        for (;;) {
            bool complete = false;
            const size_t listed = m_pWalk->Wait(have, std::chrono::milliseconds(20), &complete);
            // A stop signal also ends the walk: it is looked at first, so that a walk that
            // ended by a stop is not taken for a complete list.
            DrainMessageQueue();
            if (m_bReporting != 1)
                return known;
            if (listed > have || complete)
                return static_cast<int>(listed);
            if (limit != std::chrono::milliseconds::max() &&
                std::chrono::steady_clock::now() - start >= limit) {
                bTimedOut = true;
                return known;
            }
        }
    }
    bool IsFileSelected(int) override { return true; }
    CListedFile GetFileName(int index) override { return m_pWalk->Take(index); }

    void SetStatusText(const std::string& text) override {
        if (!m_bProgress)
            return;
        auto now = std::chrono::steady_clock::now();
        if (now - m_lastProgress < std::chrono::milliseconds(100))
            return;
        m_lastProgress = now;
        std::string shown = "\r" + text + "\x1b[K";
        WriteAllBytes(g_nStderr, shown.data(), shown.size(), &g_nStopSignal);
        m_bProgressShown = true;
    }
    void DrainMessageQueue() override {
        if (g_nStopSignal) {
            m_bReporting = 0;
            m_pWalk->Stop();
        }
    }
    void EndReporting() override {
        if (m_bProgressShown)
            WriteAllBytes(g_nStderr, "\r\x1b[K", 4, &g_nStopSignal);
        m_bProgress = false;
    }

  private:
    void StartWalk() {
        if (!m_bWalkStarted) {
            m_bWalkStarted = true;
            m_pWalk->Start();
        }
    }

    bool m_bWalkStarted = false;
    bool m_bProgress = false;
    bool m_bProgressShown = false;
    std::chrono::steady_clock::time_point m_lastProgress{};
};

// The files that could not be checked whole, named on standard error at the end of the run:
// the first few, then how many more.
class CFailedFiles : public CReportSink {
  public:
    void Line(std::string_view) override {}
    void Error(std::string_view) override {}
    void FileBegin(const std::string&, const std::string& name) override { m_strName = name; }
    void Hit(const CHit&) override {}
    void FileEnd(EFileOutcome outcome, const CFileCounts&) override {
        if (!IsFailure(outcome))
            return;
        if (++m_nFailed <= NAMED)
            m_named.push_back(SafeText(m_strName) + (outcome == EFileOutcome::OPEN_FAILED
                                                         ? ": Failed to open file."
                                                         : ": Failed to read file."));
    }
    void RunEnd(bool) override {}
    void Tell(CByteOutput& messages) const {
        for (const std::string& line : m_named)
            messages.Append("kavel-report: " + line + "\n");
        if (m_nFailed > NAMED)
            messages.Append("kavel-report: and " + std::to_string(m_nFailed - NAMED) +
                            " more files that could not be checked\n");
    }

  private:
    static constexpr long NAMED = 20;
    std::string m_strName;
    std::vector<std::string> m_named;
    long m_nFailed = 0;
};

// A job count from 1 to 1024, else 0.
int ParseJobs(const std::string& text) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int n = std::stoi(text);
    return n >= 1 && n <= 1024 ? n : 0;
}

int CommandLineError(const std::string& message) {
    std::fprintf(stderr, "kavel-report: %s (see kavel-report --help)\n", message.c_str());
    return BATCH_EXIT_FAILURE;
}

const char NoFileToCheck[] = "no file to check: name files or folders, or --files-from";

// A closed standard descriptor would be the next file opened, and the report would be
// written into it twice: each of 0, 1 and 2 that is closed is opened on /dev/null. The lower
// ones are open by then, so open gives the one that is closed.
void OpenClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDWR) != fd)
            return;
}

// A --files-from list opened for the walk to read; standard input for "-". -1 when it cannot
// be opened, or when a stop signal came while the open waited (a FIFO waits for its writer).
int OpenNameList(const std::string& path) {
    if (path == "-")
        return STDIN_FILENO;
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR && g_nStopSignal == 0);
    return fd;
}

// The value of an option given as "--name VALUE" or "--name=VALUE"; false when it has none.
bool OptionValue(int argc, char** argv, int& i, const std::string& name, std::string& value) {
    const std::string arg = argv[i];
    if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (i + 1 >= argc)
        return false;
    value = argv[++i];
    return true;
}

} // namespace

void CatchBatchStopSignals() {
    CatchStopSignals(OnStopSignal);
    std::signal(SIGPIPE, SIG_IGN);
}

int RunBatchReport(int argc, char** argv) {
    OpenClosedStandardDescriptors();
    CBatchHost host;
    CRunOptions options;
    options.nJobs = ProcessorCount();
    EOutputFormat outputFormat = EOutputFormat::REPORT;
    std::vector<std::string> paths, excludes, lists;
    std::string baselinePath;
    bool quiet = false, nul = false, haveStrings = false, haveOutput = false, endOfOptions = false;
    bool haveBaseline = false, baselineAll = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto is = [&](const char* name) {
            return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
        };
        std::string value;
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            paths.push_back(arg);
        } else if (arg == "--") {
            endOfOptions = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return BATCH_EXIT_CLEAN;
        } else if (arg == "--version") {
            std::fputs("kavel-report " KAVEL_VERSION "\n", stdout);
            return BATCH_EXIT_CLEAN;
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else if (arg == "--null" || arg == "-0") {
            nul = true;
        } else if (arg == "--baseline-all") {
            baselineAll = true;
        } else if (is("--strings") || is("--output") || is("--files-from") || is("--exclude") ||
                   is("--format") || is("--baseline")) {
            const std::string name = arg.substr(0, arg.find('='));
            if (!OptionValue(argc, argv, i, name, value))
                return CommandLineError(name + " needs a value");
            if (name == "--strings") {
                host.m_strStrings = value;
                haveStrings = true;
            } else if (name == "--output") {
                host.m_strOutput = value;
                haveOutput = true;
            } else if (name == "--files-from") {
                lists.push_back(value);
            } else if (name == "--baseline") {
                baselinePath = value;
                haveBaseline = true;
            } else if (name == "--exclude") {
                if (!CTreeWalk::CanMatch(value)) {
                    std::fprintf(stderr, "kavel-report: --exclude %s can never match\n",
                                 SafeText(value).c_str());
                    return BATCH_EXIT_FAILURE;
                }
                excludes.push_back(value);
            } else if (!ParseOutputFormat(value, outputFormat)) {
                return CommandLineError("--format is report, grep, json or sarif");
            }
        } else if (arg == "-j" || is("--jobs")) {
            if (!OptionValue(argc, argv, i, "--jobs", value))
                value.clear();
            options.nJobs = ParseJobs(value);
            if (options.nJobs == 0)
                return CommandLineError("--jobs needs a number from 1 to 1024");
        } else {
            return CommandLineError("unknown option " + arg);
        }
    }
    if (!haveStrings)
        return CommandLineError("--strings FILE is required");
    if (haveOutput && host.m_strOutput == "-") {
        std::fputs("kavel-report: --output - is not supported: --format writes standard output; "
                   "leave --output out\n",
                   stderr);
        return BATCH_EXIT_FAILURE;
    }
    if (baselineAll && !haveBaseline)
        return CommandLineError("--baseline-all needs --baseline FILE");
    if (paths.empty() && lists.empty())
        return CommandLineError(NoFileToCheck);
    if (host.m_strStrings == "-" && std::find(lists.begin(), lists.end(), "-") != lists.end()) {
        std::fputs("kavel-report: standard input cannot hold both the strings and the list\n",
                   stderr);
        return BATCH_EXIT_FAILURE;
    }
    const bool namesGiven = !paths.empty();
    options.bOutputFile = haveOutput;
    options.pStopSignal = &g_nStopSignal;

    // An earlier run's results: read whole before anything is written, so that a baseline
    // that is not what it should be fails the run instead of making it look clean.
    std::unique_ptr<CBaseline> baseline;
    if (haveBaseline) {
        baseline = std::make_unique<CBaseline>();
        std::string message;
        if (!baseline->Load(baselinePath, message)) {
            std::fprintf(stderr, "kavel-report: %s\n", message.c_str());
            return BATCH_EXIT_FAILURE;
        }
        struct stat st;
        if (::stat(baselinePath.c_str(), &st) == 0)
            options.inputs.push_back(
                {{true, st.st_dev, st.st_ino}, "Error: The output file is the baseline"});
    }

    // Strings from standard input or a pipe (a FIFO, a process substitution) are read from
    // it, once, before any file is checked.
    if (host.m_strStrings == "-") {
        options.stringsFd = STDIN_FILENO;
    } else if (struct stat st; ::stat(host.m_strStrings.c_str(), &st) == 0 &&
                               (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        options.stringsFd = OpenNameList(host.m_strStrings);
        if (g_nStopSignal != 0)
            return BATCH_EXIT_CANCELLED;
    }

    // The files are listed while the first ones are checked, the lists read as they come.
    host.m_pWalk = std::make_unique<CTreeWalk>(std::move(paths), std::move(excludes));
    host.m_pWalk->SetStopSignal(&g_nStopSignal);
    for (const std::string& list : lists) {
        const int fd = OpenNameList(list);
        if (g_nStopSignal != 0)
            return BATCH_EXIT_CANCELLED;
        if (fd < 0) {
            std::fprintf(stderr, "kavel-report: cannot read the list %s\n", SafeText(list).c_str());
            return BATCH_EXIT_FAILURE;
        }
        // The output file must not empty a list before it is read.
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            options.inputs.push_back(
                {{true, st.st_dev, st.st_ino}, "Error: The output file is the list of files"});
        host.m_pWalk->AddList(fd, nul, list);
    }
    if (!quiet)
        g_nStdout = OwnNonBlocking(STDOUT_FILENO);
    g_nStderr = OwnNonBlocking(STDERR_FILENO);

    CByteOutput out(g_nStdout, &g_nStopSignal);
    CByteOutput messages(g_nStderr, &g_nStopSignal);
    // The results are judged once for the formats and the exit status, ahead of the format.
    std::unique_ptr<CResultJudge> judge;
    if (baseline || (outputFormat == EOutputFormat::SARIF && !quiet))
        judge = std::make_unique<CResultJudge>(host.m_szSearchStrings, host.GetCurrentDirectory(),
                                               baseline.get());
    const CFormatContext context{
        out,        host.m_szSearchStrings, host.GetCurrentDirectory(), KAVEL_VERSION, judge.get(),
        baselineAll};
    std::unique_ptr<CFormatSink> format = quiet ? nullptr : MakeFormatSink(outputFormat, context);
    CFailedFiles failedFiles;
    CTeeSink view;
    if (judge)
        view.Add(*judge);
    if (format)
        view.Add(*format);
    view.Add(failedFiles);
    // Check the stop signal often enough that a stop feels immediate.
    options.drainInterval = std::chrono::milliseconds(20);
    const CReportResult result = RunReport(host, view, options);

    // Why the run failed, if it did: told on standard error whatever the format (and with
    // --quiet), and to the formats that carry a verdict.
    std::vector<std::string> failures = result.errors;
    if (result.bStringsOpened && !result.bCancelled &&
        CountSearchStrings(host.m_szSearchStrings) == 0)
        failures.push_back("no search strings in " + SafeText(host.m_strStrings));
    const std::string listError = host.m_pWalk->ListError();
    if (!listError.empty())
        failures.push_back(SafeText(listError));
    // An empty list (an upstream command that failed) is not a clean run.
    if ((result.bOutputCreated || !haveOutput) && result.bStringsOpened && !result.bCancelled &&
        !namesGiven && listError.empty() && host.m_pWalk->NamesGiven() == 0)
        failures.push_back(std::string(NoFileToCheck) + " (see kavel-report --help)");
    if (format)
        format->Finish(failures);
    out.Flush();
    if (out.Failed())
        failures.push_back("cannot write standard output");
    for (const std::string& failure : failures)
        messages.Append("kavel-report: " + failure + "\n");
    failedFiles.Tell(messages);
    messages.Flush();

    if (result.bCancelled)
        return BATCH_EXIT_CANCELLED;
    if (!failures.empty() || result.nFilesFailed > 0)
        return BATCH_EXIT_FAILURE;
    // With a baseline, only results that are new fail the check.
    if (baseline)
        return judge->NewResults() > 0 ? BATCH_EXIT_PROBLEMS : BATCH_EXIT_CLEAN;
    return result.nProblems > 0 ? BATCH_EXIT_PROBLEMS : BATCH_EXIT_CLEAN;
}
