#include "scan/linefile.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
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

CLineFile::~CLineFile() { Close(); }

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
    m_nReadSoFar = 0;
    m_nReadLimit = -1;
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
    if (m_fd < 0 || m_bWriting || m_bReadFailed)
        return 0;
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
        ssize_t n = ::write(m_fd, m_pBuffer.get() + done, m_nEnd - done);
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
        if (buffer[i - 1] == '\r') {
            --i; // the CR LF pair ends the line and is not stored
            break;
        }
        buffer[i++] = '\n'; // a LF without CR is data
    }
    buffer[i] = '\0';
    return 0;
}

namespace {

// The LF bytes and the CR bytes of a window of up to 64 bytes, bit i for byte i.
struct CWindowBits {
    uint64_t lf, cr;
};

inline CWindowBits ScalarBits(const char* p, size_t n) {
    CWindowBits bits{0, 0};
    for (size_t i = 0; i < n; ++i) {
        bits.lf |= uint64_t(p[i] == '\n') << i;
        bits.cr |= uint64_t(p[i] == '\r') << i;
    }
    return bits;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KAVEL_AVX2 1
__attribute__((target("avx2"))) inline CWindowBits WindowBitsAvx2(const char* p) {
    const __m256i vlf = _mm256_set1_epi8('\n'), vcr = _mm256_set1_epi8('\r');
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const uint64_t lfA = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, vlf)));
    const uint64_t lfB = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, vlf)));
    const uint64_t crA = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, vcr)));
    const uint64_t crB = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, vcr)));
    return {lfA | lfB << 32, crA | crB << 32};
}
#endif

// A whole window of 64 bytes.
inline CWindowBits WindowBits(const char* p) {
#if defined(__SSE2__)
    uint64_t lf = 0, cr = 0;
    const __m128i vlf = _mm_set1_epi8('\n'), vcr = _mm_set1_epi8('\r');
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        lf |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vlf)))) << (16 * k);
        cr |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vcr)))) << (16 * k);
    }
    return {lf, cr};
#else
    return ScalarBits(p, 64);
#endif
}

// Bit i: the byte at window + i of the len bytes at data is a LF right after a CR.
uint64_t PairMask(const char* data, size_t len, size_t window) {
    const size_t n = std::min<size_t>(64, len - window);
    const char* p = data + window;
    const CWindowBits bits = n == 64 ? WindowBits(p) : ScalarBits(p, n);
    const uint64_t crBefore = window > 0 && p[-1] == '\r' ? 1 : 0;
    return bits.lf & ((bits.cr << 1) | crBefore);
}

// Finds the CR LF pairs of a block, 64 bytes at a time: Next(from) is the offset of the LF of
// the first pair whose LF lies at or after from, or the block's length when there is none.
class CPairFinder {
  public:
    CPairFinder(const char* data, size_t len) : m_data(data), m_nLen(len) {
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
        m_nMask = PairMask(m_data, m_nLen, window);
    }

    const char* m_data;
    size_t m_nLen;
    size_t m_nWindow = 0;
    uint64_t m_nMask = 0;
};

// The lines that end with a pair, as bits: see FindPairLines.
template <CWindowBits (*Bits)(const char*)>
__attribute__((always_inline)) inline size_t FindPairLinesWith(const char* data, size_t len,
                                                               unsigned maxChars, uint64_t* lfBits,
                                                               size_t& count) {
    size_t pos = 0; // where the line after the last pair starts
    uint64_t crBefore = 0;
    for (size_t window = 0; window + 64 <= len; window += 64) {
        const CWindowBits bits = Bits(data + window);
        const uint64_t mask = bits.lf & ((bits.cr << 1) | crBefore);
        crBefore = bits.cr >> 63;
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
            return pos; // no pair in reach: a cut is due, no need to look further
    }
    return pos;
}

#if defined(KAVEL_AVX2)
__attribute__((target("avx2"))) size_t FindPairLinesAvx2(const char* data, size_t len,
                                                         unsigned maxChars, uint64_t* lfBits,
                                                         size_t& count) {
    return FindPairLinesWith<WindowBitsAvx2>(data, len, maxChars, lfBits, count);
}
#endif

} // namespace

size_t SplitTextLines(const char* data, size_t len, bool atEnd, unsigned maxChars,
                      CLineSpan* lines, size_t maxLines, size_t& count) {
    if (maxChars == 0)
        maxChars = 1;
    count = 0;
    size_t pos = 0;
    CPairFinder pairs(data, len);
    size_t pairLf = 0; // the LF of the next pair, once it lies behind pos
    while (count < maxLines && pos < len) {
        // A pair ends the line when its CR lies within the line and its LF is read by the same
        // call: the LF at most maxChars - 1 bytes after the line's first byte.
        if (pairLf <= pos)
            pairLf = pairs.Next(pos + 1);
        size_t lineLen, next;
        if (pairLf < len && pairLf - pos <= maxChars - 1) {
            lineLen = pairLf - 1 - pos;
            next = pairLf + 1;
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

size_t FindPairLines(const char* data, size_t len, unsigned maxChars, uint64_t* lfBits,
                     size_t& count) {
    count = 0;
    if (maxChars <= 64)
        return 0;
#if defined(KAVEL_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return FindPairLinesAvx2(data, len, maxChars, lfBits, count);
#endif
    return FindPairLinesWith<WindowBits>(data, len, maxChars, lfBits, count);
}

int ReadWholeTextLine(CLineFile& file, std::string& line, size_t keepChars) {
    line.clear();
    int first = file.GetByte();
    if (first < 0)
        return 1;
    // line holds the first keepChars + 1 bytes read (the spare one may be the terminator's CR);
    // total counts every byte read, so the cut is right whatever the line's length.
    const size_t keep = keepChars + 1;
    char last = static_cast<char>(first);
    line.push_back(last);
    size_t total = 1;
    for (;;) {
        auto [data, avail] = file.Peek();
        if (avail == 0)
            break;
        const char* lf = static_cast<const char*>(std::memchr(data, '\n', avail));
        size_t k = lf ? static_cast<size_t>(lf - data) : avail;
        bool ends = lf && (k > 0 ? data[k - 1] == '\r' : last == '\r');
        size_t n = ends ? k : (lf ? k + 1 : k);
        if (line.size() < keep)
            line.append(data, std::min(keep - line.size(), n));
        total += n;
        if (n > 0)
            last = data[n - 1];
        if (ends) {
            file.Consume(k + 1);
            --total; // the CR of the pair
            break;
        }
        file.Consume(n);
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
