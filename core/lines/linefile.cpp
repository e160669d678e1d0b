#include "core/lines/linefile.h"

#include "core/lines/filepath.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

int OpenNonBlocking(const std::string& path, int flags) {
    return OpenPath(path, flags | O_NONBLOCK | O_NOCTTY, 0666);
}

CLineFile::ReadCall g_readCall = ::read;

} // namespace

void CLineFile::SetReadCall(ReadCall call) {
    g_readCall = call != nullptr ? call : ::read;
}

CLineFile::~CLineFile() {
    Close();
}

bool CLineFile::OpenRead(const std::string& path) {
    Close();
    return !path.empty() && AdoptForReading(OpenNonBlocking(path, O_RDONLY));
}

bool CLineFile::OpenListed(const CListedFile& file) {
    Close();
    if (file.name.empty()) {
        m_pszFailReason = SystemErrorText(ENOENT);
        return false;
    }
    const struct stat* known = nullptr;
    const int fd = OpenListedForReading(file, &known);
    if (fd < 0) {
        m_pszFailReason = ListedOpenFailure(file, errno);
        return false;
    }
    return AdoptForReading(fd, false, known);
}

bool CLineFile::OpenStream(int fd) {
    Close();
    return AdoptForReading(fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0), true);
}

bool CLineFile::AdoptForReading(int fd, bool bStream, const struct stat* opened) {
    m_pszFailReason = nullptr;
    if (fd < 0) {
        m_pszFailReason = SystemErrorText(errno);
        return false;
    }
    struct stat st;
    const bool known = opened != nullptr ? (st = *opened, true) : ::fstat(fd, &st) == 0;
    if (!known || (!S_ISREG(st.st_mode) && !bStream)) {
        m_pszFailReason = known ? NotRegularFileText(st.st_mode) : SystemErrorText(errno);
        ::close(fd);
        return false;
    }
    // O_NONBLOCK kept the open from waiting on a FIFO; reads of a regular file ignore it.
    m_fd = fd;
    m_bWriting = false;
    m_bWriteFailed = false;
    m_bReadFailed = false;
    m_bShrank = false;
    if (!m_pBuffer)
        m_pBuffer.reset(new char[BUFFER_SIZE]);
    m_nPos = m_nEnd = 0;
    m_bCutAfterCr = false;
    m_nReadSoFar = 0;
    m_nReadLimit = -1;
    m_bStopped = false;
    m_openedDev = st.st_dev;
    m_openedIno = st.st_ino;
    m_nOpenedSize = st.st_size;
    return true;
}

bool CLineFile::Create(const std::string& path) {
    Close();
    if (path.empty())
        return false;
    // Left non-blocking: a pipe or FIFO that takes nothing cannot hold a write (see Flush).
    int fd = OpenNonBlocking(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0)
        return false;
    AdoptForWriting(fd);
    return true;
}

CLineFile::ECreate CLineFile::CreateLocked(const std::string& path) {
    Close();
    if (path.empty())
        return ECreate::FAILED;
    // Opened without truncating: a file that another run writes is left as it is.
    const int fd = OpenNonBlocking(path, O_WRONLY | O_CREAT);
    if (fd < 0)
        return ECreate::FAILED;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            return ECreate::IN_USE;
        }
        if (::ftruncate(fd, 0) != 0) {
            ::close(fd);
            return ECreate::FAILED;
        }
    }
    AdoptForWriting(fd);
    return ECreate::CREATED;
}

void CLineFile::AdoptForWriting(int fd) {
    m_fd = fd;
    m_bWriting = true;
    m_bWriteFailed = false;
    if (!m_pBuffer)
        m_pBuffer.reset(new char[BUFFER_SIZE]);
    m_nPos = m_nEnd = 0;
}

bool CLineFile::Close() {
    if (m_fd < 0)
        return !m_bWriteFailed;
    if (m_bWriting)
        Flush();
    if (::close(m_fd) != 0 && m_bWriting && errno != EINTR)
        m_bWriteFailed = true;
    m_fd = -1;
    m_nPos = m_nEnd = 0; // the buffer stays for the next file opened
    return !m_bWriteFailed;
}

size_t CLineFile::ReadInto(char* dst, size_t want) {
    if (m_fd < 0 || m_bWriting || m_bReadFailed || m_bStopped)
        return 0;
    if (m_keepReading && !m_keepReading()) {
        m_bStopped = true;
        return 0;
    }
    if (m_nReadLimit >= 0) {
        off_t left = m_nReadLimit - m_nReadSoFar;
        if (left <= 0)
            return 0;
        if (static_cast<off_t>(want) > left)
            want = static_cast<size_t>(left);
    }
    ssize_t got;
    for (;;) {
        got = g_readCall(m_fd, dst, want);
        if (got >= 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            break;
        // A signal broke the read, or a stream that does not block has nothing yet.
        if (m_keepReading && !m_keepReading()) {
            m_bStopped = true;
            return 0;
        }
        if (errno != EINTR) {
            struct pollfd ready {
                m_fd, POLLIN, 0
            };
            ::poll(&ready, 1, 100);
        }
    }
    if (got <= 0) {
        if (got < 0) {
            m_bReadFailed = true;
            m_pszFailReason = SystemErrorText(errno);
        } else if (m_nReadLimit >= 0 && m_nReadSoFar < m_nReadLimit)
            m_bShrank = true; // the end came before the length it was read to
        return 0;
    }
    m_nReadSoFar += got;
    return static_cast<size_t>(got);
}

bool CLineFile::Fill() {
    m_nPos = 0;
    m_nEnd = ReadInto(m_pBuffer.get(), BUFFER_SIZE);
    return m_nEnd > 0;
}

bool CLineFile::ReadMore() {
    if (m_fd < 0 || m_bWriting)
        return false;
    const size_t kept = m_nEnd - m_nPos;
    if (kept == BUFFER_SIZE)
        return false;
    std::memmove(m_pBuffer.get(), m_pBuffer.get() + m_nPos, kept);
    m_nPos = 0;
    m_nEnd = kept;
    const size_t got = ReadInto(m_pBuffer.get() + kept, BUFFER_SIZE - kept);
    m_nEnd += got;
    return got > 0;
}

bool CLineFile::Write(const char* data, size_t len) {
    if (m_fd < 0 || !m_bWriting || m_bWriteFailed)
        return false;
    while (len > 0) {
        if (m_nEnd == BUFFER_SIZE && !Flush())
            return false;
        size_t n = std::min(len, BUFFER_SIZE - m_nEnd);
        std::memcpy(m_pBuffer.get() + m_nEnd, data, n);
        m_nEnd += n;
        data += n;
        len -= n;
    }
    return true;
}

bool CLineFile::Flush() {
    if (m_fd < 0 || !m_bWriting)
        return !m_bWriteFailed;
    if (!m_bWriteFailed && !WriteAllBytes(m_fd, m_pBuffer.get(), m_nEnd, m_stopping))
        m_bWriteFailed = true;
    m_nEnd = 0;
    return !m_bWriteFailed;
}

bool WriteAllBytes(int fd, const char* data, size_t len, const StopFlag* stopSignal) {
    return WriteAllBytes(fd, data, len, [stopSignal] {
        return stopSignal != nullptr && stopSignal->load(std::memory_order_relaxed) != 0;
    });
}

bool WriteAllBytes(int fd, const char* data, size_t len, const std::function<bool()>& stopping) {
    using Clock = std::chrono::steady_clock;
    bool stopSeen = false;
    Clock::time_point giveUp{};
    while (len > 0) {
        const ssize_t n = ::write(fd, data, len);
        if (n > 0) {
            data += n;
            len -= static_cast<size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return false;
        // A pipe, FIFO or terminal that takes nothing now (or a signal broke the wait): wait
        // for room a tenth of a second at a time, so that a stop is seen, and after one no
        // longer than a second.
        if (stopping && stopping()) {
            if (!stopSeen) {
                stopSeen = true;
                giveUp = Clock::now() + std::chrono::seconds(1);
            } else if (Clock::now() >= giveUp) {
                return false;
            }
        }
        struct pollfd ready {
            fd, POLLOUT, 0
        };
        ::poll(&ready, 1, 100);
    }
    return true;
}

void CLineFile::LimitToLength(bool bAtOpen) {
    off_t length = m_nOpenedSize;
    struct stat st;
    if (!bAtOpen && m_fd >= 0 && ::fstat(m_fd, &st) == 0)
        length = st.st_size;
    if (length == 0) {
        // The file systems of the kernel's own files, which report a size of 0.
        static constexpr unsigned long PSEUDO[] = {
            0x9fa0,     // procfs
            0x62656572, // sysfs
            0x64626720, // debugfs
            0x74726163, // tracefs
            0x73636673, // securityfs
            0x62656570, // configfs
            0x27e0eb,   // cgroup
            0x63677270, // cgroup2
            0xde5e81e4, // efivarfs
        };
        struct statfs fs;
        if (m_fd >= 0 && ::fstatfs(m_fd, &fs) == 0)
            for (unsigned long type : PSEUDO)
                if (static_cast<unsigned long>(fs.f_type) == type)
                    return;
    }
    LimitReadLength(length);
}

bool CLineFile::Identity(dev_t& dev, ino_t& ino, off_t* size) const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return false;
    dev = st.st_dev;
    ino = st.st_ino;
    if (size != nullptr)
        *size = st.st_size;
    return true;
}

int ReadTextLine(CLineFile& file, char* buffer, unsigned maxChars) {
    if (maxChars == 0)
        maxChars = 1;
    int first = file.GetByte();
    if (first < 0) {
        buffer[1] = '\0';
        return 1;
    }
    const bool afterCutCr = file.CutAfterCr();
    file.SetCutAfterCr(false);
    if (first == '\n' && !afterCutCr) {
        buffer[0] = '\0'; // an empty line
        return 0;
    }
    buffer[0] = static_cast<char>(first);
    size_t i = 1;
    while (i < maxChars) {
        auto [data, avail] = file.Peek();
        if (avail == 0)
            break;
        size_t take = std::min<size_t>(avail, maxChars - i);
        const char* lf = static_cast<const char*>(std::memchr(data, '\n', take));
        if (lf == nullptr) {
            std::memcpy(buffer + i, data, take);
            file.Consume(take);
            i += take;
            continue;
        }
        size_t k = static_cast<size_t>(lf - data);
        std::memcpy(buffer + i, data, k);
        file.Consume(k + 1);
        i += k;
        if (buffer[i - 1] == '\r')
            --i; // a CR before the LF belongs to the line end
        buffer[i] = '\0';
        return 0;
    }
    // Cut at the maximum, or ended by the end of the file (where a full line counts as cut:
    // the call did not look beyond it).
    file.SetCutAfterCr(i == maxChars && buffer[i - 1] == '\r');
    buffer[i] = '\0';
    return 0;
}

int ReadWholeTextLine(CLineFile& file, std::string& line, size_t keepChars) {
    line.clear();
    int first = file.GetByte();
    if (first < 0)
        return 1;
    // line holds the first keepChars + 1 bytes read (the spare one may be the line end's CR);
    // total counts every byte read, so the cut is right whatever the line's length.
    const size_t keep = keepChars + 1;
    char last = static_cast<char>(first);
    size_t total = 1;
    if (last == '\n') {
        total = 0; // an empty line
    } else {
        line.push_back(last);
        for (;;) {
            auto [data, avail] = file.Peek();
            if (avail == 0)
                break;
            const char* lf = static_cast<const char*>(std::memchr(data, '\n', avail));
            const size_t n = lf ? static_cast<size_t>(lf - data) : avail;
            if (line.size() < keep)
                line.append(data, std::min(keep - line.size(), n));
            total += n;
            if (n > 0)
                last = data[n - 1];
            file.Consume(lf ? n + 1 : n);
            if (lf) {
                if (last == '\r')
                    --total; // the CR before the LF
                break;
            }
        }
    }
    line.resize(std::min({line.size(), total, keepChars}));
    return 0;
}

void WriteTextLine(CLineFile& file, const char* text, size_t len) {
    file.Write(text, len);
    file.Write("\r\n", 2);
}
