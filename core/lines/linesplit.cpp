#include "core/lines/linesplit.h"
#include "core/lines/cpufeatures.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

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
    if (CpuFeatures().bAvx2)
        return FindLfLinesAvx2(data, len, maxChars, lfBits, count);
#endif
    return FindLfLinesWith<LfBits>(data, len, maxChars, lfBits, count);
}
