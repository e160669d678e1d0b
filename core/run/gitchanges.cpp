#include "core/run/gitchanges.h"

#include "core/match/markers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The output of a git command.
struct CGitOutput {
    int status = -1;   // the exit status; -1 when git could not run or was ended
    std::string error; // its standard error, or why it could not run
};

// A header line longer than this is no line of git's that we read (names are at most a few
// KiB); a content line is never held at all.
constexpr size_t HEADER_LINE_MAX = 1 << 20;

// Line numbers beyond any file's (and far from overflowing a sum of two).
constexpr long LINE_MAX_NUMBER = 1L << 40;

// The most of git's standard error that is kept for its reason.
constexpr size_t ERROR_MAX = 1 << 16;

bool IsLinkOrSubmodule(std::string_view mode) {
    return mode.starts_with("120000") || mode.starts_with("160000");
}

// The number at the start of text, moving past it; -1 when there is none.
long TakeNumber(std::string_view& text) {
    long n = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc())
        return -1;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return n;
}

// The lines a hunk header "@@ -a,b +c,d @@" gives the new side: c to c+d-1 (d is 1 when
// left out; 0 for lines only removed, after line c). Returns the new side's line after the
// hunk, 0 for a header that is none.
long AddHunk(std::string_view line, CLineRanges& lines) {
    const size_t plus = line.find(" +");
    if (plus == std::string_view::npos)
        return 0;
    std::string_view rest = line.substr(plus + 2);
    const long first = TakeNumber(rest);
    long count = 1;
    if (!rest.empty() && rest[0] == ',') {
        rest.remove_prefix(1);
        count = TakeNumber(rest);
    }
    if (first < 0 || count < 0 || first > LINE_MAX_NUMBER || count > LINE_MAX_NUMBER)
        return 0;
    if (count == 0)
        return first + 1;
    if (first == 0)
        return 0;
    lines.spans.emplace_back(first, first + count - 1);
    return first + count;
}

// The spans in order, those that meet or touch made one: git gives them so, but a patch is
// read as it comes.
void MergeSpans(std::vector<std::pair<long, long>>& spans) {
    std::sort(spans.begin(), spans.end());
    size_t kept = 0;
    for (const auto& span : spans) {
        if (kept > 0 && spans[kept - 1].second + 1 >= span.first)
            spans[kept - 1].second = std::max(spans[kept - 1].second, span.second);
        else
            spans[kept++] = span;
    }
    spans.resize(kept);
}

// The end of the C-quoted token at text[0] == '"' (the index after its closing quote), or npos.
size_t QuotedEnd(std::string_view text) {
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i + 1;
    }
    return std::string_view::npos;
}

// The name of "diff --git a/X b/Y" when both sides are the same (git gives the others again in
// the lines after it): the halves of "a/N b/N", quoted or not.
std::string NameOfDiffLine(std::string_view rest) {
    if (!rest.empty() && rest[0] == '"') {
        const size_t end = QuotedEnd(rest);
        return end == std::string_view::npos ? std::string() : GitName(rest.substr(0, end), "a/");
    }
    if (rest.size() < 5 || (rest.size() - 1) % 2 != 0)
        return {};
    const size_t half = (rest.size() - 1) / 2;
    const std::string_view a = rest.substr(0, half), b = rest.substr(half + 1);
    if (rest[half] != ' ' || !a.starts_with("a/") || !b.starts_with("b/") ||
        a.substr(2) != b.substr(2))
        return {};
    return std::string(a.substr(2));
}

// "--- a/N" and "+++ b/N" end with a TAB when N holds a blank.
std::string NameOfFileLine(std::string_view text, std::string_view prefix) {
    if (!text.empty() && text[0] != '"' && text.back() == '\t')
        text.remove_suffix(1);
    return GitName(text, prefix);
}

// The environment as it is, but for what would change the patch's form or take the index's
// lock: git's own reading of the index must not fail a commit being made.
std::vector<std::string> GitEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("GIT_DIFF_OPTS=") && !text.starts_with("GIT_EXTERNAL_DIFF=") &&
            !text.starts_with("GIT_OPTIONAL_LOCKS="))
            environment.emplace_back(text);
    }
    environment.emplace_back("GIT_OPTIONAL_LOCKS=0");
    return environment;
}

// Starts git with args, its standard input /dev/null and its output and errors into the
// descriptors given; 0 with its pid, else posix_spawn's error.
int SpawnGit(std::vector<std::string> args, int outFd, int errFd, pid_t& pid) {
    std::vector<char*> argv;
    std::string program = "git";
    argv.push_back(program.data());
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = GitEnvironment();
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    // This program ignores SIGPIPE; git gets it as a program does.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const int spawned =
        ::posix_spawnp(&pid, "git", &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

// Reads git's output (to out, as it comes) and errors (into error, up to ERROR_MAX bytes)
// until both end, and closes them; a stop ends git. True unless a stop came.
bool ReadGit(pid_t pid, int outFd, int errFd, const StopFlag* stop,
             const std::function<void(std::string_view)>& out, std::string& error) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    bool stopped = false;
    char buffer[65536];
    while (open > 0) {
        if (stop != nullptr && *stop != 0) {
            stopped = true;
            ::kill(pid, SIGTERM);
            break;
        }
        if (::poll(fds, 2, 100) < 0 && errno != EINTR)
            break;
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || fd.revents == 0)
                continue;
            const ssize_t n = ::read(fd.fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0) {
                ::close(fd.fd);
                fd.fd = -1;
                --open;
            } else if (&fd == &fds[0]) {
                out({buffer, static_cast<size_t>(n)});
            } else if (error.size() < ERROR_MAX) {
                error.append(buffer, static_cast<size_t>(n));
            }
        }
    }
    for (const pollfd& fd : fds)
        if (fd.fd >= 0)
            ::close(fd.fd);
    return !stopped;
}

// Runs git with args (without a shell), its standard input /dev/null; hands its standard
// output to out as it comes. A stop ends git.
CGitOutput RunGit(std::vector<std::string> args, const StopFlag* stop,
                  const std::function<void(std::string_view)>& out) {
    CGitOutput result;
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return {-1, std::string("cannot run git: ") + std::strerror(errno)};
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return {-1, std::string("cannot run git: ") + std::strerror(error)};
    }
    pid_t pid = -1;
    const int spawned = SpawnGit(std::move(args), outPipe[1], errPipe[1], pid);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (spawned != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return {-1, std::string("cannot run git: ") + std::strerror(spawned)};
    }
    const bool read = ReadGit(pid, outPipe[0], errPipe[0], stop, out, result.error);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!read || (stop != nullptr && *stop != 0))
        return {-1, {}};
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (WIFSIGNALED(status))
        result.error = "git ended by signal " + std::to_string(WTERMSIG(status));
    return result;
}

// git's reason: the first line of what it said, "fatal: " and the like dropped, made safe to
// print.
std::string Reason(const std::string& error) {
    std::string_view text(error);
    while (!text.empty() && (text[0] == '\n' || text[0] == '\r'))
        text.remove_prefix(1);
    text = text.substr(0, text.find('\n'));
    for (const std::string_view lead : {"fatal: ", "error: "})
        if (text.starts_with(lead))
            text.remove_prefix(lead.size());
    return SafeText(text);
}

// The settings that change what git prints, overridden ahead of any command.
// git's own defaults too, where another value would change which lines count as changed
// (fewer renames followed, text taken for binary).
// clang-format off
const std::vector<std::string> GIT_SETTINGS = {
    "--no-pager",
    "-c", "core.quotePath=false",
    "-c", "core.fsmonitor=false",
    "-c", "color.ui=never",
    "-c", "diff.noprefix=false",
    "-c", "diff.mnemonicPrefix=false",
    "-c", "diff.relative=false",
    "-c", "diff.renames=true",
    "-c", "diff.renameLimit=1000",
    "-c", "core.bigFileThreshold=512m",
    "-c", "core.safecrlf=false",
};
// clang-format on

std::vector<std::string> GitArgs(std::initializer_list<std::string> command) {
    std::vector<std::string> args = GIT_SETTINGS;
    args.insert(args.end(), command);
    return args;
}

// The standard output of a git command that prints one line, without its LF.
bool GitLine(std::initializer_list<std::string> command, const StopFlag* stop, std::string& line,
             CGitOutput& result) {
    line.clear();
    result = RunGit(GitArgs(command), stop, [&line](std::string_view bytes) {
        if (line.size() < HEADER_LINE_MAX)
            line.append(bytes);
    });
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return result.status == 0;
}

} // namespace

std::string GitName(std::string_view text, std::string_view prefix) {
    std::string name;
    if (text.empty() || text[0] != '"') {
        name = text;
    } else {
        const size_t end = QuotedEnd(text);
        const std::string_view inner =
            text.substr(1, (end == std::string_view::npos ? text.size() : end - 1) - 1);
        for (size_t i = 0; i < inner.size(); ++i) {
            if (inner[i] != '\\' || i + 1 == inner.size()) {
                name += inner[i];
                continue;
            }
            const char c = inner[++i];
            if (c >= '0' && c <= '7') {
                int value = 0;
                for (int digits = 0;
                     digits < 3 && i < inner.size() && inner[i] >= '0' && inner[i] <= '7';
                     ++digits, ++i)
                    value = value * 8 + (inner[i] - '0');
                --i;
                name += static_cast<char>(value);
                continue;
            }
            const char* from = "abtnvfr";
            const char* to = "\a\b\t\n\v\f\r";
            const char* at = std::strchr(from, c);
            name += at != nullptr && c != '\0' ? to[at - from] : c;
        }
    }
    if (name.starts_with(prefix))
        name.erase(0, prefix.size());
    return name;
}

void CDiffReader::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view part = bytes.substr(0, end);
        // Inside the hunks a line of text ('+', '-', ' ' or '\\' first) is told by its first
        // byte and never held; a header is held up to a length no name reaches. m_line is the
        // start of the line, whatever the pieces it came in.
        const char first = !m_line.empty() ? m_line[0] : part.empty() ? '\n' : part[0];
        const bool text = m_bInHunks && first != 'd' && first != '@';
        if (text && first == '-' && !m_bMarkerRemoved)
            FindRemovedMarker(part);
        const size_t keep = text ? 1 : HEADER_LINE_MAX;
        if (m_line.size() < keep)
            m_line.append(part.substr(0, keep - m_line.size()));
        if (end == std::string_view::npos)
            return;
        Line(m_line);
        m_line.clear();
        m_strTail.clear();
        bytes.remove_prefix(end + 1);
    }
}

void CDiffReader::FindRemovedMarker(std::string_view part) {
    // The marker's grammar decides, over this piece and the end of the one before: a word
    // that the pieces the patch comes in cut is seen whole.
    constexpr size_t TAIL = MARKER_WORD.size() + 9; // "-next-line" less one byte
    std::string window = m_strTail;
    window.append(part);
    for (const CMarker& marker : ParseMarkers(window)) {
        if (!marker.bNextLine)
            continue;
        m_bMarkerRemoved = true;
        // The line the marker was for now follows the hunk: it counts as changed, so that a
        // hit the marker accepted is judged again.
        if (!m_files.empty() && m_nAfterHunk > 0)
            m_files.back().lines.spans.emplace_back(m_nAfterHunk, m_nAfterHunk);
        return;
    }
    m_strTail = window.substr(window.size() - std::min(window.size(), TAIL));
}

void CDiffReader::Line(std::string_view line) {
    if (line.starts_with("diff --git ")) {
        m_bInHunks = false;
        m_nAfterHunk = 0;
        m_files.push_back({});
        m_files.back().name = NameOfDiffLine(line.substr(11));
        return;
    }
    if (m_files.empty())
        return;
    CDiffFile& file = m_files.back();
    if (m_bInHunks || line.starts_with("@@ ")) {
        if (line.starts_with("@@ ")) {
            m_bInHunks = true;
            m_nAfterHunk = AddHunk(line, file.lines);
            m_bMarkerRemoved = false;
        }
        return;
    }
    if (line.starts_with("new file mode ") && IsLinkOrSubmodule(line.substr(14)))
        file.bSkip = true;
    else if (line.starts_with("new mode ") && IsLinkOrSubmodule(line.substr(9)))
        file.bSkip = true;
    else if (line.starts_with("deleted file mode "))
        file.bDeleted = true;
    else if (line.starts_with("index ") && line.find(' ', 6) != std::string_view::npos &&
             IsLinkOrSubmodule(line.substr(line.find(' ', 6) + 1)))
        file.bSkip = true;
    else if (line.starts_with("rename from "))
        file.oldName = GitName(line.substr(12), "");
    else if (line.starts_with("rename to "))
        file.name = GitName(line.substr(10), "");
    else if (line.starts_with("+++ ") && line.substr(4) != "/dev/null")
        file.name = NameOfFileLine(line.substr(4), "b/");
    else if (line.starts_with("--- ") && line.substr(4) != "/dev/null" && file.name.empty())
        file.name = NameOfFileLine(line.substr(4), "a/");
    else if (line.starts_with("Binary files ") || line == "GIT binary patch")
        file.bBinary = true;
}

std::vector<CDiffFile> CDiffReader::End() {
    if (!m_line.empty())
        Line(m_line);
    m_line.clear();
    for (CDiffFile& file : m_files)
        MergeSpans(file.lines.spans);
    return std::move(m_files);
}

bool CGitChanges::Load(const std::string& rev, const StopFlag* stop, std::string& message) {
    message.clear();
    CGitOutput result;
    std::string prefix, base;
    const auto fail = [&] {
        if (result.status < 0 && result.error.empty())
            return false; // stopped
        message = result.error.empty()
                      ? "git failed with exit status " + std::to_string(result.status)
                      : Reason(result.error);
        return false;
    };
    if (!GitLine({"rev-parse", "--show-prefix"}, stop, prefix, result))
        return fail();
    std::string head;
    if (GitLine({"rev-parse", "--verify", "--quiet", "HEAD^{commit}"}, stop, head, result)) {
        if (!GitLine({"merge-base", "--end-of-options", rev, "HEAD"}, stop, base, result)) {
            if (result.status == 1 && result.error.empty())
                result.error = rev + " and HEAD have no commit in common";
            return fail();
        }
    } else if (result.status < 0 && result.error.empty()) {
        return false;
    } else {
        // No commit yet: everything is new against the empty tree. A REV other than HEAD
        // must still be one that git knows.
        std::string known;
        if (rev != "HEAD" &&
            !GitLine({"merge-base", "--end-of-options", rev, rev}, stop, known, result))
            return fail();
        if (!GitLine({"hash-object", "-t", "tree", "--stdin"}, stop, base, result))
            return fail();
    }
    CDiffReader reader;
    result = RunGit(GitArgs({"diff", "--no-ext-diff", "--no-textconv", "--no-color",
                             "--no-relative", "--src-prefix=a/", "--dst-prefix=b/",
                             "--find-renames", "--unified=0", "--inter-hunk-context=0",
                             "--ignore-submodules=all", "--end-of-options", base, "--"}),
                    stop, [&reader](std::string_view bytes) { reader.Feed(bytes); });
    if (result.status != 0)
        return fail();
    Take(reader.End(), prefix);
    return true;
}

void CGitChanges::Take(std::vector<CDiffFile> files, std::string prefix) {
    m_strPrefix = std::move(prefix);
    m_files = std::move(files);
    for (size_t i = 0; i < m_files.size(); ++i) {
        const CDiffFile& file = m_files[i];
        if (file.bSkip || file.name.empty())
            continue;
        if (!file.oldName.empty() && file.oldName != file.name)
            m_gone.push_back(FromHere(file.oldName));
        if (file.bDeleted) {
            m_gone.push_back(FromHere(file.name));
            continue;
        }
        // Lines only removed, a mode changed, a name changed: nothing to check.
        if (!file.bBinary && file.lines.spans.empty())
            continue;
        struct stat st;
        if (::stat(FromHere(file.name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            m_byId.emplace(std::make_pair(st.st_dev, st.st_ino), i);
    }
    for (CDiffFile& file : m_files)
        file.lines.bWhole = file.bBinary;
}

std::string CGitChanges::FromHere(const std::string& name) const {
    if (name.starts_with(m_strPrefix))
        return name.substr(m_strPrefix.size());
    // Up from the current folder to the top: a "../" for each folder of the prefix.
    std::string up;
    for (const char c : m_strPrefix)
        if (c == '/')
            up += "../";
    return up + name;
}

const CLineRanges* CGitChanges::Find(dev_t dev, ino_t ino) const {
    const auto found = m_byId.find({dev, ino});
    return found == m_byId.end() ? nullptr : &m_files[found->second].lines;
}

void CGitChanges::Note(const std::string& name, const CLineRanges* lines) {
    std::lock_guard lock(m_mutex);
    m_noted[name] = lines;
}

const CLineRanges* CGitChanges::Of(const std::string& name) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_noted.find(name);
    return found == m_noted.end() ? nullptr : found->second;
}
