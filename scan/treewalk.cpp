#include "scan/treewalk.h"

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <pthread.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

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

// The folder's files and folders, sorted; false when the folder cannot be read.
bool ReadFolder(const std::string& path, std::vector<CEntry>& entries) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr)
        return false;
    const int fd = ::dirfd(dir);
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
}

void CTreeWalk::Start() {
    // The walker takes no signals: a stop signal must reach the thread that writes the report.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    try {
        m_thread = std::thread([this] { Walk(); });
    } catch (const std::system_error&) {
        // No thread: Wait walks on the caller's.
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void CTreeWalk::Stop() {
    m_bStop = true;
}

size_t CTreeWalk::Listed() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

size_t CTreeWalk::Wait(size_t known) {
    if (!m_thread.joinable()) {
        std::unique_lock lock(m_mutex);
        if (!m_bComplete) {
            lock.unlock();
            Walk();
        }
        return Listed();
    }
    std::unique_lock lock(m_mutex);
    ++m_nWaiting;
    m_listed.wait(lock, [&] { return m_entries.size() > known || m_bComplete; });
    --m_nWaiting;
    return m_entries.size();
}

std::string CTreeWalk::Name(size_t index) const {
    std::lock_guard lock(m_mutex);
    return m_entries[index];
}

std::vector<std::string> CTreeWalk::ListAll(std::vector<std::string> names,
                                            std::vector<std::string> excludes) {
    CTreeWalk walk(std::move(names), std::move(excludes));
    walk.Wait(0);
    std::vector<std::string> all(walk.m_entries.begin(), walk.m_entries.end());
    return all;
}

void CTreeWalk::Walk() {
    for (const std::string& name : m_names) {
        if (m_bStop)
            break;
        struct stat st;
        if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            WalkFolder(name, "");
        else
            Emit(name); // checked, or reported as a file that cannot be opened
    }
    std::lock_guard lock(m_mutex);
    m_bComplete = true;
    m_listed.notify_all();
}

void CTreeWalk::WalkFolder(const std::string& path, const std::string& relative) {
    std::vector<CEntry> entries;
    if (!ReadFolder(path, entries)) {
        Emit(path); // nothing is skipped silently
        return;
    }
    // The files are handed over together, up to each subfolder: one lock and one wake-up for
    // many files.
    std::vector<std::string> files;
    for (const CEntry& entry : entries) {
        if (m_bStop)
            return;
        const std::string rel = relative.empty() ? entry.name : relative + '/' + entry.name;
        if (Excluded(entry.name, rel))
            continue;
        if (entry.bFolder) {
            Emit(files);
            WalkFolder(Join(path, entry.name), rel);
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
    std::lock_guard lock(m_mutex);
    for (std::string& name : names)
        m_entries.push_back(std::move(name));
    names.clear();
    if (m_nWaiting > 0)
        m_listed.notify_all();
}
