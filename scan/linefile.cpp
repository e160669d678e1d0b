#include "scan/linefile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

int OpenNonBlocking(const std::string& path, int flags) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void ClearNonBlocking(int fd) {
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0)
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
}

} // namespace

CLineFile::~CLineFile() {
    Close();
}

bool CLineFile::OpenRead(const std::string& path) {
    Close();
    if (path.empty())
        return false;
    int fd = OpenNonBlocking(path, O_RDONLY);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // O_NONBLOCK kept the open from waiting on a FIFO; reads of a regular file ignore it.
    m_fd = fd;
    m_bWriting = false;
    m_bWriteFailed = false;
    m_bReadFailed = false;
    m_pBuffer.reset(new char[BUFFER_SIZE]);
    m_nPos = m_nEnd = 0;
    m_bCutAfterCr = false;
    m_nReadSoFar = 0;
    m_nReadLimit = -1;
    m_bStopped = false;
    return true;
}

bool CLineFile::Create(const std::string& path) {
    Close();
    if (path.empty())
        return false;
    int fd = OpenNonBlocking(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0)
        return false;
    ClearNonBlocking(fd);
    m_fd = fd;
    m_bWriting = true;
    m_bWriteFailed = false;
    m_pBuffer.reset(new char[BUFFER_SIZE]);
    m_nPos = m_nEnd = 0;
    return true;
}

bool CLineFile::Close() {
    if (m_fd < 0)
        return !m_bWriteFailed;
    if (m_bWriting)
        Flush();
    if (::close(m_fd) != 0 && m_bWriting && errno != EINTR)
        m_bWriteFailed = true;
    m_fd = -1;
    m_pBuffer.reset();
    m_nPos = m_nEnd = 0;
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
    do {
        got = ::read(m_fd, dst, want);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        if (got < 0)
            m_bReadFailed = true;
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
    size_t done = 0;
    while (!m_bWriteFailed && done < m_nEnd) {
        size_t chunk = m_nEnd - done;
        if (m_pStopSignal != nullptr && *m_pStopSignal != 0) {
            struct pollfd ready {m_fd, POLLOUT, 0};
            if (::poll(&ready, 1, 1000) != 1 || (ready.revents & POLLOUT) == 0) {
                m_bWriteFailed = true;
                break;
            }
            chunk = std::min<size_t>(chunk, PIPE_BUF); // what a ready pipe takes at once
        }
        ssize_t n = ::write(m_fd, m_pBuffer.get() + done, chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            m_bWriteFailed = true;
        else
            done += static_cast<size_t>(n);
    }
    m_nEnd = 0;
    return !m_bWriteFailed;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 &&
           ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
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

namespace {

// The LF bytes of a window of up to 64 bytes, bit i for byte i.
inline uint64_t ScalarLfBits(const char* p, size_t n) {
    uint64_t lf = 0;
    for (size_t i = 0; i < n; ++i)
        lf |= uint64_t(p[i] == '\n') << i;
    return lf;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KAVEL_AVX2 1
__attribute__((target("avx2"))) inline uint64_t LfBitsAvx2(const char* p) {
    const __m256i vlf = _mm256_set1_epi8('\n');
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const uint64_t lfA = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, vlf)));
    const uint64_t lfB = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, vlf)));
    return lfA | lfB << 32;
}
#endif

// A whole window of 64 bytes.
inline uint64_t LfBits(const char* p) {
#if defined(__SSE2__)
    uint64_t lf = 0;
    const __m128i vlf = _mm_set1_epi8('\n');
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        lf |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vlf)))) << (16 * k);
    }
    return lf;
#else
    return ScalarLfBits(p, 64);
#endif
}

// Finds the LF bytes of a block, 64 bytes at a time: Next(from) is the offset of the first LF
// at or after from, or the block's length when there is none.
class CLfFinder {
  public:
    CLfFinder(const char* data, size_t len) : m_data(data), m_nLen(len) {
        if (len > 0)
            Load(0);
    }
    size_t Next(size_t from) {
        if (from >= m_nLen)
            return m_nLen;
        if (from >= m_nWindow + 64 || from < m_nWindow)
            Load(from);
        uint64_t mask = m_nMask & (~uint64_t(0) << (from - m_nWindow));
        while (mask == 0) {
            if (m_nWindow + 64 >= m_nLen)
                return m_nLen;
            Load(m_nWindow + 64);
            mask = m_nMask;
        }
        return m_nWindow + static_cast<size_t>(__builtin_ctzll(mask));
    }

  private:
    void Load(size_t window) {
        m_nWindow = window;
        const size_t n = std::min<size_t>(64, m_nLen - window);
        m_nMask = n == 64 ? LfBits(m_data + window) : ScalarLfBits(m_data + window, n);
    }

    const char* m_data;
    size_t m_nLen;
    size_t m_nWindow = 0;
    uint64_t m_nMask = 0;
};

// The lines whose LF is in reach, as bits: see FindLfLines.
template <uint64_t (*Bits)(const char*)>
__attribute__((always_inline)) inline size_t
FindLfLinesWith(const char* data, size_t len, unsigned maxChars, uint64_t* lfBits, size_t& count) {
    size_t pos = 0; // where the line after the last LF starts
    for (size_t window = 0; window + 64 <= len; window += 64) {
        const uint64_t mask = Bits(data + window);
        if (mask != 0) {
            // Lines that start within the window are shorter than 64 bytes: only the line
            // that started before it may be too long.
            if (window + static_cast<size_t>(__builtin_ctzll(mask)) - pos > maxChars - 1)
                return pos;
            count += static_cast<size_t>(__builtin_popcountll(mask));
            pos = window + 64 - static_cast<size_t>(__builtin_clzll(mask));
        }
        lfBits[window / 64] = mask;
        if (window + 64 - pos >= maxChars)
            return pos; // no LF in reach: a cut is due, no need to look further
    }
    return pos;
}

#if defined(KAVEL_AVX2)
__attribute__((target("avx2"))) size_t
FindLfLinesAvx2(const char* data, size_t len, unsigned maxChars, uint64_t* lfBits, size_t& count) {
    return FindLfLinesWith<LfBitsAvx2>(data, len, maxChars, lfBits, count);
}
#endif

} // namespace

size_t SplitTextLines(const char* data, size_t len, bool atEnd, unsigned maxChars, bool crBefore,
                      CLineSpan* lines, size_t maxLines, size_t& count) {
    if (maxChars == 0)
        maxChars = 1;
    count = 0;
    size_t pos = 0;
    CLfFinder lfs(data, len);
    size_t lf = lfs.Next(0); // looked for again once it lies before where a line's end may be
    while (count < maxLines && pos < len) {
        // A LF first in a line is data only right after a line cut after a CR. Within the
        // block, a CR just before a line's start is always that: a line end is a LF.
        const bool crBeforeLine = pos > 0 ? data[pos - 1] == '\r' : crBefore;
        const size_t from = crBeforeLine && data[pos] == '\n' ? pos + 1 : pos;
        if (lf < from)
            lf = lfs.Next(from);
        // A LF ends the line when the same call reads it: at most maxChars - 1 bytes after the
        // line's first byte. A CR right before it, within the line, belongs to the line end.
        size_t lineLen, next;
        if (lf < len && lf - pos <= maxChars - 1) {
            lineLen = lf - pos - (lf > pos && data[lf - 1] == '\r' ? 1 : 0);
            next = lf + 1;
        } else if (len - pos >= maxChars) {
            lineLen = maxChars;
            next = pos + maxChars;
        } else if (atEnd) {
            lineLen = len - pos;
            next = len;
        } else {
            break; // its end is in bytes not read yet
        }
        lines[count++] = {static_cast<uint32_t>(pos), static_cast<uint32_t>(lineLen)};
        pos = next;
    }
    return pos;
}

size_t FindLfLines(const char* data, size_t len, unsigned maxChars, bool crBefore, uint64_t* lfBits,
                   size_t& count) {
    count = 0;
    if (maxChars <= 64 || (crBefore && len > 0 && data[0] == '\n'))
        return 0;
#if defined(KAVEL_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return FindLfLinesAvx2(data, len, maxChars, lfBits, count);
#endif
    return FindLfLinesWith<LfBits>(data, len, maxChars, lfBits, count);
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

void AddTrailingBackslash(std::string& path) {
    if (path.empty() || path.back() != '/')
        path.push_back('/');
}
