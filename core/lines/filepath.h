#pragma once
// Paths of the report: joining a file-list entry to its directory, showing a path in a report
// line, and telling two names of one file.

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

// A descriptor owned: closed when it is reset or goes out of scope, with errno kept across the
// close, so that the reason of a failure survives the cleanup after it. Release hands it on.
class CFd {
  public:
    CFd() = default;
    explicit CFd(int fd) : m_fd(fd) {}
    CFd(CFd&& other) noexcept : m_fd(other.Release()) {}
    CFd& operator=(CFd&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    ~CFd() { Reset(); }

    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held (if any) and holds fd.
    void Reset(int fd = -1);

  private:
    int m_fd = -1;
};

// The process's current directory, any length ("" when it cannot be read, e.g. it was removed).
std::string CurrentDirectory();

// Makes the path end in exactly one separator: "" gives "/", a path ending in "/" stays.
void AddTrailingBackslash(std::string& path);

// The full path of a file-list entry: a name starting with "/" as it is, else the current
// directory, a separator and the name.
std::string BuildReportPath(const std::string& currentDirectory, const std::string& name);

// A path as a report line shows it: each CR and LF as "?", so that a file name cannot break a
// report line or forge one; every other byte as it is.
std::string ReportPathText(std::string path);

// A file's device and inode, to know it under any name.
struct CFileId {
    bool bKnown = false;
    dev_t dev{};
    ino_t ino{};
};

// True when the path (links followed) names the file with this device and inode.
bool NamesFile(const std::string& path, dev_t dev, ino_t ino);

// open(2) for a path of any length: a path longer than the system takes at once
// (ENAMETOOLONG) is opened through its folders, a piece at a time. flags as open takes them;
// the descriptor is close-on-exec. -1 with errno on failure.
int OpenPath(const std::string& path, int flags, mode_t mode = 0);

// A folder that a walk started from, held open while files found below it wait to be checked:
// they are opened through it, so that the walk's tree is what gets read.
class CWalkRoot {
  public:
    explicit CWalkRoot(int fd) : m_fd(fd) {}
    ~CWalkRoot();
    CWalkRoot(const CWalkRoot&) = delete;
    CWalkRoot& operator=(const CWalkRoot&) = delete;
    int Fd() const { return m_fd; }

  private:
    int m_fd;
};

// A file that a walk opened as it listed it, for its check to read rather than open the name
// again. The copies of an entry share it: the first to take the descriptor gets it, the others
// -1; the last copy closes it when none took it. It may carry what fstat told of the
// descriptor right after the open, so that the check need not ask again.
class COpenedFile {
  public:
    explicit COpenedFile(int fd, const struct stat* st = nullptr)
        : m_fd(fd), m_bStat(st != nullptr) {
        if (st != nullptr)
            m_st = *st;
    }
    ~COpenedFile();
    COpenedFile(const COpenedFile&) = delete;
    COpenedFile& operator=(const COpenedFile&) = delete;
    int Take() { return m_fd.exchange(-1); }
    // fstat of the descriptor taken at its open, or null.
    const struct stat* Stat() const { return m_bStat ? &m_st : nullptr; }

  private:
    std::atomic<int> m_fd;
    bool m_bStat;
    struct stat m_st {};
};

// A name of the file list. A file that a walk found carries its root and where the part of
// its name below the root starts; any other name is opened as it is, links followed. Either
// may carry the file opened already.
struct CListedFile {
    std::string name;
    std::shared_ptr<const CWalkRoot> root;
    size_t nBelow = 0;
    std::shared_ptr<COpenedFile> opened;

    CListedFile() = default;
    CListedFile(std::string text) : name(std::move(text)) {}
    CListedFile(const char* text) : name(text) {}
};

// open(2) for a path below the folder rootFd, no symbolic link followed on the way (nor the
// last name): a name that has become a link since it was listed fails (ELOOP), and so does a
// path that would lead out of the folder. Paths of any length. -1 with errno on failure.
int OpenBeneath(int rootFd, std::string_view below, int flags);

// Opens a file of the list: a walked one beneath its root, any other by its name (OpenPath),
// links followed.
int OpenListedFile(const CListedFile& file, int flags);
// How a file of the list is opened for its check: non-blocking, so that a FIFO does not hold
// the open.
inline constexpr int LISTED_READ_FLAGS = O_RDONLY | O_NONBLOCK | O_NOCTTY;
// Opens a file of the list for its check, or takes the descriptor the entry carries; known is
// set to the fstat it carries with it, or null.
int OpenListedForReading(const CListedFile& file, const struct stat** known);

// Why a file of the list could not be checked, in words that last as long as the program: the
// system's text for err, except where a text of ours says more (a walked name that became a
// link, a socket, which the system refuses to open as "No such device or address").
const char* ListedOpenFailure(const CListedFile& file, int err);
// What a file of this type (st_mode) is where a regular file was wanted: "is a folder", "is a
// FIFO", "is a socket", "is a device", or "is not a regular file".
const char* NotRegularFileText(mode_t mode);
// The system's text for err, in English as the program writes its messages.
const char* SystemErrorText(int err);
