#include "scan/filepath.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    int dir = AT_FDCWD;
    size_t at = 0;
    if (path[0] == '/') {
        dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            return -1;
        at = path.find_first_not_of('/');
    }
    const auto closeDir = [&dir] {
        if (dir != AT_FDCWD) {
            const int saved = errno;
            ::close(dir);
            errno = saved;
        }
    };
    for (;;) {
        if (at == std::string::npos)
            at = path.size(); // only separators were left: the folder reached
        const std::string rest = path.substr(at);
        if (rest.size() < PATH_MAX) {
            do {
                fd = ::openat(dir, rest.empty() ? "." : rest.c_str(), flags | O_CLOEXEC, mode);
            } while (fd < 0 && errno == EINTR);
            closeDir();
            return fd;
        }
        const size_t cut = rest.rfind('/', PATH_MAX - 2);
        if (cut == std::string::npos || cut == 0) {
            closeDir();
            errno = ENAMETOOLONG; // one name longer than the system allows
            return -1;
        }
        const int next =
            ::openat(dir, rest.substr(0, cut).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        closeDir();
        if (next < 0)
            return -1;
        dir = next;
        at = path.find_first_not_of('/', at + cut);
    }
}
