#include "scan/treewalk.h"

#include "scan/filepath.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

// Entries listed and not yet taken before the walk waits: far more than the run hands to its
// workers at once, and few enough to keep a walk of millions of files small.
constexpr size_t LEAD_MAX = 8192;
// A walk that waits (for entries to be taken, or for a list to deliver) looks at its stop
// signal this often.
constexpr std::chrono::milliseconds STOP_LOOK{50};

// A folder's entry worth looking at, and where it sorts: a folder's name sorts as if followed
// by "/", so that walking the sorted entries gives the files in the byte order of their paths.
struct CEntry {
    std::string name;
    bool bFolder;
    std::string Key() const { return bFolder ? name + '/' : name; }
};

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

// The folder's files and folders, sorted; false when the folder cannot be read. A folder
// inside a walk is not followed if it has become a link meanwhile: the walk stays in its tree.
bool ReadFolder(const std::string& path, bool bFollow, std::vector<CEntry>& entries) {
    const int fd = OpenPath(path, O_RDONLY | O_DIRECTORY | (bFollow ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR || type == DT_REG)
            entries.push_back({name, type == DT_DIR});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const CEntry& a, const CEntry& b) { return a.Key() < b.Key(); });
    return true;
}

} // namespace

CTreeWalk::CTreeWalk(std::vector<std::string> names, std::vector<std::string> excludes)
    : m_names(std::move(names)), m_excludes(std::move(excludes)) {}

CTreeWalk::~CTreeWalk() {
    Stop();
    if (m_thread.joinable())
        m_thread.join();
    for (const CList& list : m_lists)
        if (list.fd != STDIN_FILENO && list.fd >= 0)
            ::close(list.fd);
}

void CTreeWalk::AddList(int fd, bool bNul, std::string listName) {
    m_lists.push_back({fd, bNul, std::move(listName)});
}

void CTreeWalk::SetStopSignal(const StopFlag* pStopSignal) {
    m_pStopSignal = pStopSignal;
}

void CTreeWalk::Start() {
    // The walker takes no signals: a stop signal must reach the thread that writes the report.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    m_bOwnThread = true;
    try {
        m_thread = std::thread([this] { Walk(); });
    } catch (const std::system_error&) {
        m_bOwnThread = false; // no thread: Wait walks on the caller's
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void CTreeWalk::Stop() {
    std::lock_guard lock(m_mutex);
    m_bStop = true;
    m_taken.notify_all();
}

bool CTreeWalk::Stopped() const {
    return m_bStop || (m_pStopSignal != nullptr && *m_pStopSignal != 0);
}

size_t CTreeWalk::Listed() const {
    std::lock_guard lock(m_mutex);
    return m_nTaken + m_entries.size();
}

size_t CTreeWalk::Wait(size_t known, std::chrono::milliseconds timeout, bool* pComplete) {
    std::unique_lock lock(m_mutex);
    if (!m_bOwnThread && !m_bComplete) {
        lock.unlock();
        Walk();
        lock.lock();
    }
    m_listed.wait_for(lock, timeout,
                      [&] { return m_nTaken + m_entries.size() > known || m_bComplete; });
    if (pComplete != nullptr)
        *pComplete = m_bComplete;
    return m_nTaken + m_entries.size();
}

std::string CTreeWalk::Take(size_t index) {
    std::lock_guard lock(m_mutex);
    while (m_nTaken < index && !m_entries.empty()) { // entries skipped are dropped
        m_entries.pop_front();
        ++m_nTaken;
    }
    if (m_nTaken != index || m_entries.empty())
        return {};
    std::string name = std::move(m_entries.front());
    m_entries.pop_front();
    ++m_nTaken;
    if (m_bWalkWaits && m_entries.size() <= LEAD_MAX / 2)
        m_taken.notify_all();
    return name;
}

std::string CTreeWalk::FailedList() const {
    std::lock_guard lock(m_mutex);
    return m_strFailedList;
}

std::vector<std::string> CTreeWalk::ListAll(std::vector<std::string> names,
                                            std::vector<std::string> excludes) {
    CTreeWalk walk(std::move(names), std::move(excludes));
    walk.Wait(0, std::chrono::milliseconds(0));
    return {walk.m_entries.begin(), walk.m_entries.end()};
}

void CTreeWalk::Walk() {
    for (const std::string& name : m_names) {
        if (Stopped())
            break;
        WalkName(name);
    }
    for (const CList& list : m_lists) {
        if (Stopped())
            break;
        ReadList(list);
    }
    std::lock_guard lock(m_mutex);
    m_bComplete = true;
    m_listed.notify_all();
}

void CTreeWalk::WalkName(const std::string& name) {
    struct stat st;
    if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        WalkFolder(name, "", true);
    else
        Emit(name); // checked, or reported as a file that cannot be opened
}

// A list is read as it comes, with a look at the stop now and then: a pipe may deliver slowly
// or never end.
void CTreeWalk::ReadList(const CList& list) {
    const char separator = list.bNul ? '\0' : '\n';
    std::string pending;
    char buffer[65536];
    bool bFailed = false;
    const auto walkNames = [&](bool bAll) {
        size_t start = 0;
        for (size_t end; !Stopped() && (end = pending.find(separator, start)) != std::string::npos;
             start = end + 1) {
            std::string name = pending.substr(start, end - start);
            if (!list.bNul && !name.empty() && name.back() == '\r')
                name.pop_back();
            if (!name.empty())
                WalkName(name);
        }
        pending.erase(0, start);
        if (bAll && !pending.empty() && !Stopped()) {
            if (!list.bNul && pending.back() == '\r')
                pending.pop_back();
            if (!pending.empty())
                WalkName(pending);
        }
    };
    while (!Stopped()) {
        pollfd ready{list.fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(STOP_LOOK.count()));
        if (polled == 0 || (polled < 0 && errno == EINTR))
            continue;
        const ssize_t got = ::read(list.fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            bFailed = got < 0;
            break;
        }
        pending.append(buffer, static_cast<size_t>(got));
        walkNames(false);
    }
    if (!Stopped())
        walkNames(true);
    if (bFailed) {
        std::lock_guard lock(m_mutex);
        if (m_strFailedList.empty())
            m_strFailedList = list.name;
    }
}

void CTreeWalk::WalkFolder(const std::string& path, const std::string& relative, bool bFollow) {
    std::vector<CEntry> entries;
    if (!ReadFolder(path, bFollow, entries)) {
        Emit(path); // nothing is skipped silently
        return;
    }
    // The files are handed over together, up to each subfolder: one lock and one wake-up for
    // many files.
    std::vector<std::string> files;
    for (const CEntry& entry : entries) {
        if (Stopped())
            return;
        const std::string rel = relative.empty() ? entry.name : relative + '/' + entry.name;
        if (Excluded(entry.name, rel))
            continue;
        if (entry.bFolder) {
            Emit(files);
            WalkFolder(Join(path, entry.name), rel, false);
        } else {
            files.push_back(Join(path, entry.name));
        }
    }
    Emit(files);
}

bool CTreeWalk::Excluded(const std::string& name, const std::string& relative) const {
    for (const std::string& glob : m_excludes)
        if (::fnmatch(glob.c_str(), name.c_str(), 0) == 0 ||
            ::fnmatch(glob.c_str(), relative.c_str(), FNM_PATHNAME) == 0)
            return true;
    return false;
}

void CTreeWalk::Emit(std::string name) {
    std::vector<std::string> one{std::move(name)};
    Emit(one);
}

void CTreeWalk::Emit(std::vector<std::string>& names) {
    if (names.empty())
        return;
    std::unique_lock lock(m_mutex);
    // On its own thread the walk stays at most about LEAD_MAX entries ahead of the taking.
    while (m_bOwnThread && m_entries.size() >= LEAD_MAX && !Stopped()) {
        m_bWalkWaits = true;
        m_taken.wait_for(lock, STOP_LOOK);
        m_bWalkWaits = false;
    }
    for (std::string& name : names)
        m_entries.push_back(std::move(name));
    names.clear();
    m_listed.notify_all();
}
