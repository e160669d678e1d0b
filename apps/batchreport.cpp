#include "apps/batchreport.h"

#include "core/lines/filepath.h"
#include "core/lines/stopsignal.h"
#include "core/report/formats.h"
#include "core/run/gitchanges.h"
#include "core/run/reportrun.h"
#include "core/run/scanpool.h"
#include "core/run/treewalk.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <set>
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
    "devices inside it are skipped, and so are .git, .hg and .svn below it. The strings\n"
    "file, the baseline, the lists and the files standard output and error go to are left\n"
    "out wherever they are met, as standard error says.\n"
    "  --strings FILE     the search strings file; - or a pipe is read once, before any file\n"
    "  --output FILE      the output file, created anew: it holds the report\n"
    "  --files-from FILE  the paths to check, one per line (LF or CR LF), after any PATH;\n"
    "                     - reads them from standard input\n"
    "  -0, --null         the paths of --files-from are separated by NUL\n"
    "  --exclude GLOB     leave out the files and folders of a walk whose name or path\n"
    "                     below the walked folder matches GLOB (repeatable; * stops at /;\n"
    "                     a final / for folders only)\n"
    "  --walk-vcs         walk .git, .hg and .svn too\n"
    "  --format FORMAT    standard output as report (the report's bytes, the default),\n"
    "                     grep (path:line:text), json (JSON Lines), sarif (SARIF 2.1.0),\n"
    "                     github (GitHub Actions annotations) or gitlab (a GitLab Code\n"
    "                     Quality report); all but report count lines as an editor does\n"
    "  --baseline FILE    a SARIF log of an earlier run without --baseline: only results\n"
    "                     that are not in it are new and fail the check; every format but\n"
    "                     report shows the new ones only\n"
    "  --changed-since REV\n"
    "                     only lines added or changed since the merge base of REV and HEAD\n"
    "                     (git; the working tree, untracked files not) are new; without\n"
    "                     PATH the changed files below the current folder are checked\n"
    "  --baseline-all, --all-results\n"
    "                     grep, json and sarif show every result found, the old and the\n"
    "                     accepted ones too\n"
    "  --no-markers       no in-source markers: kavel-ignore[-next-line][: STRING,...] on a\n"
    "                     line accepts what it names there (or on the next line)\n"
    "  --strict-markers   a stale marker (one that accepts nothing) makes the exit status 1\n"
    "  -j, --jobs N       check N files at the same time (default: the number of\n"
    "                     processors); the output is the same for every N\n"
    "  -q, --quiet        write nothing to standard output\n"
    "  --version          show the version\n"
    "  -h, --help         show this text\n"
    "Exit status: 0 no potential problem (none new), 1 potential problems\n"
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

// The files to check as the walk lists them. The walk starts when the run first asks for a
// file, after the output file is created: a walk of the folder that will hold it lists it on
// every run, or on none.
class CWalkSource : public CFileSource {
  public:
    std::unique_ptr<CTreeWalk> m_pWalk;
    // With a change, only its files are checked (a file that cannot be looked at is, so that
    // its failure is told); each is noted for the judge under the name it is checked by.
    CGitChanges* m_pChanges = nullptr;

    // Waits for the walk in short steps, so that a wait without limit needs no deadline. The
    // walk reads the stop signal too, and is complete soon after one came.
    ENext Next(CListedFile& file, std::chrono::milliseconds wait) override {
        if (!m_bStarted) {
            m_bStarted = true;
            m_pWalk->Start();
        }
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            bool complete = false;
            const size_t listed = m_pWalk->Wait(m_nTaken, std::min(wait, STEP), &complete);
            if (listed > m_nTaken) {
                file = m_pWalk->Take(m_nTaken++);
                if (m_pChanges == nullptr)
                    return ENext::FILE;
                struct stat st;
                if (::stat(file.name.c_str(), &st) != 0)
                    return ENext::FILE;
                if (const CLineRanges* lines = m_pChanges->Find(st.st_dev, st.st_ino)) {
                    m_pChanges->Note(file.name, lines);
                    return ENext::FILE;
                }
                continue;
            }
            if (complete)
                return ENext::END;
            if (wait != std::chrono::milliseconds::max() &&
                std::chrono::steady_clock::now() - start >= wait)
                return ENext::WAITING;
        }
    }

  private:
    static constexpr std::chrono::milliseconds STEP{20};
    bool m_bStarted = false;
    size_t m_nTaken = 0;
};

// Progress on a terminal, at the run's pace.
class CBatchHost : public CReportHost {
  public:
    CBatchHost() { m_bProgress = ::isatty(STDERR_FILENO) == 1; }

    void SetStatusText(const std::string& text) override {
        if (!m_bProgress)
            return;
        std::string shown = "\r" + text + "\x1b[K";
        WriteAllBytes(g_nStderr, shown.data(), shown.size(), &g_nStopSignal);
        m_bProgressShown = true;
    }
    void DrainMessageQueue() override {} // the stop signal is the run's stop
    void EndReporting() override {
        if (m_bProgressShown)
            WriteAllBytes(g_nStderr, "\r\x1b[K", 4, &g_nStopSignal);
        m_bProgress = false;
    }

  private:
    bool m_bProgress = false;
    bool m_bProgressShown = false;
};

// The files that could not be checked whole, named on standard error at the end of the run:
// the first few, then how many more; and, as notes, the first few that shrank while they were
// read (checked as far as they reached: no failure).
class CFailedFiles : public CReportSink {
  public:
    void Error(std::string_view) override {}
    void FileBegin(const std::string&, const std::string& name) override { m_strName = name; }
    void Hit(const CHit&) override {}
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override {
        if (counts.bShrank && !IsFailure(outcome) && m_notes.size() < NAMED)
            m_notes.push_back(SafeText(m_strName) + ": shrank while it was read");
        if (!IsFailure(outcome))
            return;
        if (++m_nFailed <= NAMED)
            m_named.push_back(SafeText(m_strName) + ": " + FailureText(outcome, counts));
    }
    void RunEnd(bool) override {}
    void Tell(CByteOutput& messages) const {
        for (const std::string& line : m_notes)
            messages.Append("kavel-report: " + line + "\n");
        for (const std::string& line : m_named)
            messages.Append("kavel-report: " + line + "\n");
        if (m_nFailed > NAMED)
            messages.Append("kavel-report: and " + std::to_string(m_nFailed - NAMED) +
                            " more files that could not be checked\n");
    }

  private:
    static constexpr long NAMED = 20;
    std::string m_strName;
    std::vector<std::string> m_named, m_notes;
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

// The command line as the run takes it.
struct CBatchOptions {
    std::string outputPath, stringsPath, baselinePath, changedSince;
    EOutputFormat outputFormat = EOutputFormat::REPORT;
    std::vector<std::string> paths, excludes, lists;
    int nJobs = 0;
    bool quiet = false, nul = false, haveStrings = false, haveOutput = false;
    bool haveBaseline = false, baselineAll = false, walkVcs = false, markers = true;
    bool strictMarkers = false, haveChangedSince = false;
    bool namesGiven = false; // files or folders named on the command line
};

// What the command line asks for when it ends the tool before a run (help, version, an
// error): the exit status; -1 when the run goes ahead.
constexpr int GO_ON = -1;

// An option that takes a value: sets it, or says why it cannot.
int TakeValueOption(const std::string& name, const std::string& value, CBatchOptions& o) {
    if (name == "--strings") {
        o.stringsPath = value;
        o.haveStrings = true;
    } else if (name == "--output") {
        o.outputPath = value;
        o.haveOutput = true;
    } else if (name == "--files-from") {
        o.lists.push_back(value);
    } else if (name == "--changed-since") {
        o.changedSince = value;
        o.haveChangedSince = true;
    } else if (name == "--baseline") {
        o.baselinePath = value;
        o.haveBaseline = true;
    } else if (name == "--exclude") {
        if (!CTreeWalk::CanMatch(value)) {
            std::fprintf(stderr, "kavel-report: --exclude %s can never match\n",
                         SafeText(value).c_str());
            return BATCH_EXIT_FAILURE;
        }
        o.excludes.push_back(value);
    } else if (!ParseOutputFormat(value, o.outputFormat)) {
        return CommandLineError("--format is report, grep, json, sarif, github or gitlab");
    }
    return GO_ON;
}

// An option without a value (a flag); false when arg is none.
bool TakeFlag(const std::string& arg, CBatchOptions& o) {
    static const struct {
        const char *name, *other; // other: the short or second name, "" for none
        bool CBatchOptions::*flag;
        bool value;
    } FLAGS[] = {{"--quiet", "-q", &CBatchOptions::quiet, true},
                 {"--null", "-0", &CBatchOptions::nul, true},
                 {"--baseline-all", "--all-results", &CBatchOptions::baselineAll, true},
                 {"--strict-markers", "", &CBatchOptions::strictMarkers, true},
                 {"--walk-vcs", "", &CBatchOptions::walkVcs, true},
                 {"--no-markers", "", &CBatchOptions::markers, false}};
    for (const auto& f : FLAGS)
        if (arg == f.name || arg == f.other) {
            o.*f.flag = f.value;
            return true;
        }
    return false;
}

// Reads the command line into o.
int ParseBatchOptions(int argc, char** argv, CBatchOptions& o) {
    o.nJobs = ProcessorCount();
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto is = [&](const char* name) {
            return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
        };
        std::string value;
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            o.paths.push_back(arg);
        } else if (arg == "--") {
            endOfOptions = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return BATCH_EXIT_CLEAN;
        } else if (arg == "--version") {
            std::fputs("kavel-report " KAVEL_VERSION "\n", stdout);
            return BATCH_EXIT_CLEAN;
        } else if (TakeFlag(arg, o)) {
            continue;
        } else if (is("--strings") || is("--output") || is("--files-from") || is("--exclude") ||
                   is("--format") || is("--baseline") || is("--changed-since")) {
            const std::string name = arg.substr(0, arg.find('='));
            if (!OptionValue(argc, argv, i, name, value))
                return CommandLineError(name + " needs a value");
            if (const int status = TakeValueOption(name, value, o); status != GO_ON)
                return status;
        } else if (arg == "-j" || is("--jobs")) {
            if (!OptionValue(argc, argv, i, "--jobs", value))
                value.clear();
            o.nJobs = ParseJobs(value);
            if (o.nJobs == 0)
                return CommandLineError("--jobs needs a number from 1 to 1024");
        } else {
            return CommandLineError("unknown option " + arg);
        }
    }
    o.namesGiven = !o.paths.empty();
    return GO_ON;
}

// The options that cannot go together, or are missing.
int CheckBatchOptions(const CBatchOptions& o) {
    if (!o.haveStrings)
        return CommandLineError("--strings FILE is required");
    if (o.haveOutput && o.outputPath == "-") {
        std::fputs("kavel-report: --output - is not supported: --format writes standard output; "
                   "leave --output out\n",
                   stderr);
        return BATCH_EXIT_FAILURE;
    }
    if (o.paths.empty() && o.lists.empty() && !o.haveChangedSince)
        return CommandLineError(NoFileToCheck);
    if (o.stringsPath == "-" && std::find(o.lists.begin(), o.lists.end(), "-") != o.lists.end()) {
        std::fputs("kavel-report: standard input cannot hold both the strings and the list\n",
                   stderr);
        return BATCH_EXIT_FAILURE;
    }
    return GO_ON;
}

// What the run reads besides the files, made ready before anything is written: the baseline,
// the change, the strings' descriptor, the lists, and the files of the run itself, left out of
// what it checks and never taken for the output file.
struct CBatchInputs {
    std::vector<CTreeWalk::COwnFile> own;
    std::unique_ptr<CBaseline> baseline;
    std::unique_ptr<CGitChanges> changes;
    CWalkSource files;

    void OwnFile(int fd, const char* path, const char* what) {
        struct stat st;
        if ((path != nullptr ? ::stat(path, &st) : ::fstat(fd, &st)) == 0 && S_ISREG(st.st_mode))
            own.push_back({st.st_dev, st.st_ino, what});
    }
};

// A failure before the run: GitLab's report is still an array (an empty one), so that the
// job's artifact can be read.
int FailBeforeRun(const CBatchOptions& o, int status) {
    if (o.outputFormat == EOutputFormat::GITLAB && !o.quiet)
        std::fputs("[]\n", stdout);
    return status;
}

// An earlier run's results: read whole before anything is written, so that a baseline that
// is not what it should be fails the run instead of making it look clean.
int LoadBaseline(const CBatchOptions& o, CRunOptions& options, CBatchInputs& in) {
    in.baseline = std::make_unique<CBaseline>();
    std::string message;
    if (!in.baseline->Load(o.baselinePath, message, &g_nStopSignal)) {
        if (g_nStopSignal != 0)
            return FailBeforeRun(o, BATCH_EXIT_CANCELLED);
        std::fprintf(stderr, "kavel-report: %s\n", message.c_str());
        return FailBeforeRun(o, BATCH_EXIT_FAILURE);
    }
    in.OwnFile(-1, o.baselinePath.c_str(), "the baseline");
    struct stat st;
    if (::stat(o.baselinePath.c_str(), &st) == 0)
        options.inputs.push_back(
            {{true, st.st_dev, st.st_ino}, "Error: The output file is the baseline"});
    return GO_ON;
}

// The change, from git, before anything is written: without names, its files are those of a
// walk of the current folder (so that excludes and the rules of a walk hold for them, and
// they are named from here).
int LoadChanges(CBatchOptions& o, CBatchInputs& in) {
    in.changes = std::make_unique<CGitChanges>();
    std::string message;
    if (!in.changes->Load(o.changedSince, &g_nStopSignal, message)) {
        if (g_nStopSignal != 0)
            return FailBeforeRun(o, BATCH_EXIT_CANCELLED);
        std::fprintf(stderr, "kavel-report: --changed-since %s: %s\n",
                     SafeText(o.changedSince).c_str(), message.c_str());
        return FailBeforeRun(o, BATCH_EXIT_FAILURE);
    }
    if (o.paths.empty() && o.lists.empty() && in.changes->Count() > 0)
        o.paths.push_back(".");
    return GO_ON;
}

// The --files-from lists, opened for the walk to read as they come.
int AddLists(const CBatchOptions& o, CRunOptions& options, CBatchInputs& in) {
    for (const std::string& list : o.lists) {
        const int fd = OpenNameList(list);
        if (g_nStopSignal != 0)
            return FailBeforeRun(o, BATCH_EXIT_CANCELLED);
        if (fd < 0) {
            std::fprintf(stderr, "kavel-report: cannot read the list %s\n", SafeText(list).c_str());
            return FailBeforeRun(o, BATCH_EXIT_FAILURE);
        }
        // The output file must not empty a list before it is read.
        in.OwnFile(fd, nullptr, "the list of files");
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            options.inputs.push_back(
                {{true, st.st_dev, st.st_ino}, "Error: The output file is the list of files"});
        in.files.m_pWalk->AddList(fd, o.nul, list);
    }
    return GO_ON;
}

// Standard output or error redirected into the output file (`> out` with --output out) would
// be a second writer of that file with an offset of its own: each would write over the other.
// A pipe, FIFO or socket named as the output (/proc/self/fd/1) would mix the report into the
// stream of the format. A device (/dev/null, a terminal) is no such file.
void GuardStandardStreams(const CBatchOptions& o, CRunOptions& options, CBatchInputs& in) {
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        if (fd == STDERR_FILENO || !o.quiet)
            in.OwnFile(fd, nullptr,
                       fd == STDOUT_FILENO ? "standard output's file" : "standard error's file");
        struct stat st;
        if ((fd == STDERR_FILENO || !o.quiet) && ::fstat(fd, &st) == 0 &&
            (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
            options.inputs.push_back({{true, st.st_dev, st.st_ino},
                                      fd == STDOUT_FILENO
                                          ? "Error: The output file is standard output"
                                          : "Error: The output file is standard error"});
    }
}

// Everything the run reads, in the order that keeps a failure from writing anything.
int PrepareInputs(CBatchOptions& o, CRunOptions& options, CBatchInputs& in) {
    options.nJobs = o.nJobs;
    options.bOutputFile = o.haveOutput;
    options.bMarkers = o.markers;
    options.pStopSignal = &g_nStopSignal;
    in.OwnFile(STDIN_FILENO, o.stringsPath == "-" ? nullptr : o.stringsPath.c_str(),
               "the strings file");
    if (o.haveBaseline)
        if (const int status = LoadBaseline(o, options, in); status != GO_ON)
            return status;
    if (o.haveChangedSince)
        if (const int status = LoadChanges(o, in); status != GO_ON)
            return status;
    // Strings from standard input or a pipe (a FIFO, a process substitution) are read from
    // it, once, before any file is checked.
    if (o.stringsPath == "-") {
        options.stringsFd = STDIN_FILENO;
    } else if (struct stat st; ::stat(o.stringsPath.c_str(), &st) == 0 &&
                               (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        options.stringsFd = OpenNameList(o.stringsPath);
        if (g_nStopSignal != 0)
            return FailBeforeRun(o, BATCH_EXIT_CANCELLED);
    }
    // The files are listed while the first ones are checked, the lists read as they come.
    in.files.m_pWalk = std::make_unique<CTreeWalk>(std::move(o.paths), std::move(o.excludes));
    in.files.m_pWalk->SetStopSignal(&g_nStopSignal);
    in.files.m_pWalk->SetOpenAhead(o.nJobs == 1);
    in.files.m_pWalk->SetWalkVcs(o.walkVcs);
    in.files.m_pChanges = in.changes.get();
    if (const int status = AddLists(o, options, in); status != GO_ON)
        return status;
    GuardStandardStreams(o, options, in);
    in.files.m_pWalk->SetOwnFiles(std::move(in.own));
    return GO_ON;
}

// The format's sink, with the judge in front of it when the results are judged: once for the
// formats and the exit status (judge: the judge, null when there is none). Null with --quiet
// and nothing to judge.
std::unique_ptr<CFormatSink> MakeBatchSink(const CBatchOptions& o, CBatchInputs& in,
                                           CByteOutput& out, const std::string& directory,
                                           const CResultJudge*& judged) {
    const bool resultFormat = o.outputFormat == EOutputFormat::SARIF ||
                              o.outputFormat == EOutputFormat::GITHUB ||
                              o.outputFormat == EOutputFormat::GITLAB;
    std::unique_ptr<CResultJudge> judge;
    if (in.baseline || o.markers || in.changes || (resultFormat && !o.quiet))
        judge = std::make_unique<CResultJudge>(directory, in.baseline.get(), &g_nStopSignal,
                                               o.markers, resultFormat && !o.quiet);
    judged = judge.get();
    if (in.changes) {
        judge->SetChangedLines(in.changes.get());
        // Results of files outside the change are not looked at, and so not absent.
        if (in.baseline) {
            std::set<std::string> gone;
            for (const std::string& name : in.changes->Gone())
                gone.insert(UriReference(BuildReportPath(directory, name), directory));
            in.baseline->SetGone(std::move(gone));
        }
    }
    // Annotations and issues are things to act on: new results only, whatever --baseline-all.
    const bool allResults = o.baselineAll && o.outputFormat != EOutputFormat::GITHUB &&
                            o.outputFormat != EOutputFormat::GITLAB;
    const bool newCounts = judge != nullptr && (o.markers || in.baseline || in.changes);
    const CFormatContext context{out,        directory,      KAVEL_VERSION,
                                 allResults, &g_nStopSignal, newCounts};
    if (!o.quiet)
        return MakeFormatSink(o.outputFormat, context, std::move(judge));
    if (judge) // nothing to write; the judge still gives the verdict
        return std::make_unique<CJudgedSink>(std::move(judge), nullptr);
    return nullptr;
}

// Why the run failed, if it did, beyond its own errors: told on standard error whatever the
// format (and with --quiet), and to the formats that carry a verdict.
std::vector<std::string> RunFailures(const CBatchOptions& o, const CBatchInputs& in,
                                     const CReportResult& result,
                                     const SearchStringTable& strings) {
    std::vector<std::string> failures = result.errors;
    if (result.bStringsOpened && !result.bCancelled && CountSearchStrings(strings) == 0)
        failures.push_back("no search strings in " + SafeText(o.stringsPath));
    const std::string listError = in.files.m_pWalk->ListError();
    if (!listError.empty())
        failures.push_back(SafeText(listError));
    // A report written into a file that is gone (its folder removed meanwhile) is lost.
    if (struct stat st; result.bOutputCreated && ::stat(o.outputPath.c_str(), &st) != 0 &&
                        (errno == ENOENT || errno == ENOTDIR)) {
        const size_t slash = o.outputPath.rfind('/');
        const std::string folder = slash == std::string::npos ? "."
                                   : slash == 0               ? "/"
                                                              : o.outputPath.substr(0, slash);
        failures.push_back((::stat(folder.c_str(), &st) != 0 ? "the folder of the output file "
                                                             : "the output file ") +
                           SafeText(o.outputPath) +
                           " was removed during the run: the report went into a deleted file");
    }
    // An empty list (an upstream command that failed) is not a clean run.
    if ((result.bOutputCreated || !o.haveOutput) && result.bStringsOpened && !result.bCancelled &&
        !o.namesGiven && listError.empty() && in.files.m_pWalk->NamesGiven() == 0 && !in.changes)
        failures.push_back(std::string(NoFileToCheck) + " (see kavel-report --help)");
    return failures;
}

// The stale markers, the first few by name.
void TellStaleMarkers(const CResultJudge& judge, CByteOutput& messages) {
    for (const std::string& stale : judge.StaleMarkers())
        messages.Append("kavel-report: " + stale + "\n");
    if (judge.StaleCount() > CResultJudge::STALE_NAMED)
        messages.Append("kavel-report: and " +
                        std::to_string(judge.StaleCount() - CResultJudge::STALE_NAMED) +
                        " more stale markers\n");
}

// The exit status: a stop, a failure, then what was found (with a judge, only results that
// are new, not in the baseline and not accepted by a marker; with --strict-markers a stale
// marker too).
int Verdict(const CBatchOptions& o, const CReportResult& result,
            const std::vector<std::string>& failures, const CResultJudge* judge) {
    if (result.bCancelled)
        return BATCH_EXIT_CANCELLED;
    if (!failures.empty() || result.nFilesFailed > 0)
        return BATCH_EXIT_FAILURE;
    const bool found = judge ? judge->NewResults() > 0 : result.nProblems > 0;
    const bool stale = o.strictMarkers && judge && judge->StaleCount() > 0;
    return found || stale ? BATCH_EXIT_PROBLEMS : BATCH_EXIT_CLEAN;
}

} // namespace

void CatchBatchStopSignals() {
    CatchStopSignals(OnStopSignal);
    std::signal(SIGPIPE, SIG_IGN);
}

int RunBatchReport(int argc, char** argv) {
    OpenClosedStandardDescriptors();
    CBatchOptions o;
    if (const int status = ParseBatchOptions(argc, argv, o); status != GO_ON)
        return status;
    if (const int status = CheckBatchOptions(o); status != GO_ON)
        return status;
    CRunOptions options;
    CBatchInputs in;
    if (const int status = PrepareInputs(o, options, in); status != GO_ON)
        return status;
    if (!o.quiet)
        g_nStdout = OwnNonBlocking(STDOUT_FILENO);
    g_nStderr = OwnNonBlocking(STDERR_FILENO);

    CByteOutput out(g_nStdout, &g_nStopSignal);
    CByteOutput messages(g_nStderr, &g_nStopSignal);
    SearchStringTable strings{};
    std::string directory = CurrentDirectory();
    if (directory.empty())
        directory = ".";
    const CResultJudge* judge = nullptr;
    std::unique_ptr<CFormatSink> format = MakeBatchSink(o, in, out, directory, judge);
    CFailedFiles failedFiles;
    CTeeSink view;
    if (format)
        view.Add(*format);
    view.Add(failedFiles);
    // Progress on a terminal ten times a second; the stop signal is seen after every block.
    options.drainInterval = std::chrono::milliseconds(100);
    CBatchHost host;
    const CRunInputs inputs{o.outputPath, o.stringsPath, directory,
                            in.files,     strings,       g_nStopSignal};
    const CReportResult result = RunReport(inputs, host, view, options);
    for (const auto& [name, what] : in.files.m_pWalk->LeftOut())
        messages.Append("kavel-report: " + SafeText(name) + ": left out (" + what + ")\n");

    std::vector<std::string> failures = RunFailures(o, in, result, strings);
    // A byte order mark is no part of the rule: it stays part of the first string, which then
    // matches no line of text.
    if (result.bStringsOpened && std::string_view(strings[0]).starts_with("\xEF\xBB\xBF"))
        messages.Append("kavel-report: warning: " + SafeText(o.stringsPath) +
                        " starts with a UTF-8 byte order mark, which is part of its first "
                        "search string\n");
    std::vector<std::string> notes;
    if (format)
        notes = format->Finish(failures);
    out.Flush();
    for (const std::string& note : notes)
        messages.Append("kavel-report: " + note + "\n");
    if (out.Failed())
        failures.push_back("cannot write standard output");
    if (in.changes && !result.bCancelled && result.nFilesChecked == 0)
        messages.Append("kavel-report: no changed file\n");
    if (judge)
        TellStaleMarkers(*judge, messages);
    for (const std::string& failure : failures)
        messages.Append("kavel-report: " + failure + "\n");
    failedFiles.Tell(messages);
    messages.Flush();
    return Verdict(o, result, failures, judge);
}
