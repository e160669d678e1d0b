#include "core/lines/filepath.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Cleared once the system has refused openat2 (an old kernel, or a sandbox that filters it).
std::atomic<bool> g_bOpenat2{true};

// openat2 with no link followed and no way out of dir; ENOSYS where the system lacks it.
int OpenNoLinks(int dir, const char* path, int flags) {
#ifdef SYS_openat2
    if (g_bOpenat2.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
        long fd;
        do {
            fd = ::syscall(SYS_openat2, dir, path, &how, sizeof how);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
            return static_cast<int>(fd);
        g_bOpenat2.store(false, std::memory_order_relaxed);
    }
#endif
    // Name by name, each opened with O_NOFOLLOW: a link anywhere fails as it does above.
    std::string_view rest = path;
    CFd owned; // the folder reached below dir, once there is one
    for (;;) {
        const int at = owned.Get() >= 0 ? owned.Get() : dir;
        const size_t slash = rest.find('/');
        const std::string name(rest.substr(0, slash));
        if (name == "..") {
            errno = EXDEV; // would lead out of dir
            return -1;
        }
        if (slash == std::string_view::npos) {
            int fd;
            do {
                fd =
                    ::openat(at, name.empty() ? "." : name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
            } while (fd < 0 && errno == EINTR);
            return fd;
        }
        rest.remove_prefix(slash + 1);
        if (name.empty() || name == ".")
            continue;
        CFd next(::openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.Get() < 0)
            return -1;
        owned = std::move(next);
    }
}

} // namespace

std::string CurrentDirectory() {
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(buffer.find('\0'));
            return buffer;
        }
        if (errno != ERANGE)
            return "";
        buffer.assign(buffer.size() * 2, '\0');
    }
}

void AddTrailingBackslash(std::string& path) {
    if (path.empty() || path.back() != '/')
        path.push_back('/');
}

std::string BuildReportPath(const std::string& currentDirectory, const std::string& name) {
    if (!name.empty() && name[0] == '/')
        return name;
    std::string path = currentDirectory;
    AddTrailingBackslash(path);
    path += name;
    return path;
}

std::string ReportPathText(std::string path) {
    for (char& c : path)
        if (c == '\r' || c == '\n')
            c = '?';
    return path;
}

bool NamesFile(const std::string& path, dev_t dev, ino_t ino) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

int OpenPath(const std::string& path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 || errno != ENAMETOOLONG)
        return fd;

    // Folder by folder, each piece below the limit: the kernel resolves the pieces as it would
    // the whole path (links followed, ".." by the folder reached).
    CFd owned; // the folder reached, once there is one; else the current folder
    size_t at = 0;
    if (path[0] == '/') {
        owned.Reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (owned.Get() < 0)
            return -1;
        at = path.find_first_not_of('/');
    }
    for (;;) {
        const int dir = owned.Get() >= 0 ? owned.Get() : AT_FDCWD;
        if (at == std::string::npos)
            at = path.size(); // only separators were left: the folder reached
        const std::string rest = path.substr(at);
        if (rest.size() < PATH_MAX) {
            do {
                fd = ::openat(dir, rest.empty() ? "." : rest.c_str(), flags | O_CLOEXEC, mode);
            } while (fd < 0 && errno == EINTR);
            return fd;
        }
        const size_t cut = rest.rfind('/', PATH_MAX - 2);
        if (cut == std::string::npos || cut == 0) {
            errno = ENAMETOOLONG; // one name longer than the system allows
            return -1;
        }
        CFd next(::openat(dir, rest.substr(0, cut).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (next.Get() < 0)
            return -1;
        owned = std::move(next);
        at = path.find_first_not_of('/', at + cut);
    }
}

void CFd::Reset(int fd) {
    if (m_fd >= 0) {
        const int saved = errno;
        ::close(m_fd);
        errno = saved;
    }
    m_fd = fd;
}

CWalkRoot::~CWalkRoot() {
    if (m_fd >= 0)
        ::close(m_fd);
}

COpenedFile::~COpenedFile() {
    if (const int fd = Take(); fd >= 0)
        ::close(fd);
}

int OpenBeneath(int rootFd, std::string_view below, int flags) {
    // A path longer than the system takes at once goes through its folders a piece at a time,
    // each piece below the limit.
    CFd owned; // the folder reached below the root, once there is one
    for (;;) {
        const int dir = owned.Get() >= 0 ? owned.Get() : rootFd;
        if (below.size() < PATH_MAX)
            return OpenNoLinks(dir, below.empty() ? "." : std::string(below).c_str(), flags);
        const size_t cut = below.rfind('/', PATH_MAX - 2);
        if (cut == std::string_view::npos || cut == 0) {
            errno = ENAMETOOLONG;
            return -1;
        }
        CFd next(OpenNoLinks(dir, std::string(below.substr(0, cut)).c_str(), O_PATH | O_DIRECTORY));
        if (next.Get() < 0)
            return -1;
        owned = std::move(next);
        below.remove_prefix(cut + 1);
    }
}

int OpenListedFile(const CListedFile& file, int flags) {
    if (file.root)
        return OpenBeneath(
            file.root->Fd(),
            std::string_view(file.name).substr(std::min(file.nBelow, file.name.size())), flags);
    return OpenPath(file.name, flags);
}

int OpenListedForReading(const CListedFile& file, const struct stat** known) {
    const int fd = file.opened ? file.opened->Take() : -1;
    *known = fd >= 0 ? file.opened->Stat() : nullptr;
    return fd >= 0 ? fd : OpenListedFile(file, LISTED_READ_FLAGS);
}

const char* SystemErrorText(int err) {
    const char* text = ::strerrordesc_np(err);
    return text != nullptr ? text : "an unknown error";
}

const char* NotRegularFileText(mode_t mode) {
    if (S_ISDIR(mode))
        return "is a folder";
    if (S_ISFIFO(mode))
        return "is a FIFO";
    if (S_ISSOCK(mode))
        return "is a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device";
    return "is not a regular file";
}

const char* ListedOpenFailure(const CListedFile& file, int err) {
    // Below a walk's root no link is followed: the name was no link when the walk listed it.
    if (err == ELOOP && file.root)
        return "changed to a link while the walk ran";
    if (err == ENXIO) {
        const CFd fd(OpenListedFile(file, O_PATH));
        struct stat st;
        const bool socket = fd.Get() >= 0 && ::fstat(fd.Get(), &st) == 0 && S_ISSOCK(st.st_mode);
        if (socket)
            return NotRegularFileText(S_IFSOCK);
    }
    return SystemErrorText(err);
}
