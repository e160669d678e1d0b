#include "core/text/utf8.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The length of the sequence that the lead byte c begins (2 to 4), and the range of its second
// byte; 0 when c begins none.
size_t LeadLength(unsigned char c, unsigned& lo, unsigned& hi) {
    lo = 0x80;
    hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF) {
        lo = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = c == 0xED ? 0x9F : 0xBF; // no surrogates
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
        return 4;
    }
    return 0;
}

// True when the bytes (fewer than their lead asks for) are how a valid sequence begins.
bool IsUtf8Prefix(std::string_view bytes) {
    unsigned lo, hi;
    const size_t n = LeadLength(static_cast<unsigned char>(bytes[0]), lo, hi);
    if (n <= bytes.size())
        return false;
    for (size_t i = 1; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF))
            return false;
    }
    return true;
}

} // namespace

size_t Utf8Length(std::string_view bytes) {
    if (bytes.empty())
        return 0;
    const auto c = static_cast<unsigned char>(bytes[0]);
    if (c < 0x80)
        return 1;
    unsigned lo, hi;
    const size_t n = LeadLength(c, lo, hi);
    if (n == 0 || bytes.size() < n)
        return 0;
    const auto b = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (b(1) < lo || b(1) > hi)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if (b(i) < 0x80 || b(i) > 0xBF)
            return 0;
    return n;
}

bool IsUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = Utf8Length(bytes.substr(i));
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

namespace {

// The characters of the bytes at p from i on, one by one, until at least end; advances i.
long ColumnsOneByOne(const char* p, size_t n, size_t& i, size_t end) {
    long columns = 0;
    while (i < end) {
        uint64_t word;
        if (i + 8 <= end && (std::memcpy(&word, p + i, 8), (word & 0x8080808080808080ull) == 0)) {
            columns += 8; // ASCII
            i += 8;
            continue;
        }
        ++columns;
        if (static_cast<unsigned char>(p[i]) < 0x80)
            ++i;
        else
            i += std::max<size_t>(1, Utf8Length({p + i, std::min<size_t>(4, n - i)}));
    }
    return columns;
}

#if defined(__SSE2__)
// The bytes at p of each kind, a bit for each of 64: continuation bytes, the lead bytes of
// sequences of 2, 3 and 4 bytes without a range of their own for the second byte, and the
// other bytes that are not ASCII (E0, ED, F0, F4, C0, C1, F5 to FF).
struct CByteKinds {
    uint64_t cont = 0, lead2 = 0, lead3 = 0, lead4 = 0, other = 0;
};

CByteKinds KindsOf64(const char* p) {
    CByteKinds kinds;
    const auto in = [](__m128i v, int lo, int hi) { // lo <= v <= hi, as signed bytes
        return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(lo - 1))),
                             _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(hi + 1))));
    };
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const auto bits = [k](__m128i m) {
            return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))) << (16 * k);
        };
        const uint64_t high = bits(v);
        const uint64_t cont = bits(_mm_cmplt_epi8(v, _mm_set1_epi8(-64)));           // 80-BF
        const uint64_t lead2 = bits(in(v, -62, -33));                                // C2-DF
        const uint64_t lead3 = bits(_mm_or_si128(in(v, -31, -20), in(v, -18, -17))); // E1-EC EE EF
        const uint64_t lead4 = bits(in(v, -15, -13));                                // F1-F3
        kinds.cont |= cont;
        kinds.lead2 |= lead2;
        kinds.lead3 |= lead3;
        kinds.lead4 |= lead4;
        kinds.other |= high & ~(cont | lead2 | lead3 | lead4);
    }
    return kinds;
}
#endif

} // namespace

long Utf8Columns(std::string_view bytes) {
    // Every piece of a long line is counted: 64 bytes at a time where they are ASCII, or
    // sequences whose lead alone tells them valid (each continuation byte then one that a
    // lead before it expects); byte by byte elsewhere.
    const char* p = bytes.data();
    const size_t n = bytes.size();
    long columns = 0;
    size_t i = 0;
#if defined(__SSE2__)
    while (i + 64 <= n) {
        const auto at = [p, i](int k) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * k));
        };
        if (_mm_movemask_epi8(
                _mm_or_si128(_mm_or_si128(at(0), at(1)), _mm_or_si128(at(2), at(3)))) == 0) {
            columns += 64;
            i += 64;
            continue;
        }
        const CByteKinds k = KindsOf64(p + i);
        // The window up to the first sequence that would go on past it.
        const uint64_t straddling =
            (k.lead2 & (1ull << 63)) | (k.lead3 & (3ull << 62)) | (k.lead4 & (7ull << 61));
        const unsigned cut = straddling ? static_cast<unsigned>(__builtin_ctzll(straddling)) : 64;
        const uint64_t window = cut == 64 ? ~0ull : (1ull << cut) - 1;
        const uint64_t expected = (k.lead2 << 1) | (k.lead3 << 1) | (k.lead3 << 2) |
                                  (k.lead4 << 1) | (k.lead4 << 2) | (k.lead4 << 3);
        if (cut > 0 && (k.other & window) == 0 && (expected & window) == (k.cont & window)) {
            columns += static_cast<long>(cut) - std::popcount(k.cont & window);
            i += cut;
            continue;
        }
        columns += ColumnsOneByOne(p, n, i, i + 64);
    }
#endif
    return columns + ColumnsOneByOne(p, n, i, n);
}

size_t Utf8CutTail(std::string_view bytes) {
    for (size_t k = 1; k <= 3 && k <= bytes.size(); ++k) {
        const auto c = static_cast<unsigned char>(bytes[bytes.size() - k]);
        if (c < 0x80 || c > 0xBF) // a character's first byte: it begins the tail or none
            return IsUtf8Prefix(bytes.substr(bytes.size() - k)) ? k : 0;
    }
    return 0;
}

CPieceStart CPieceColumns::Start(std::string_view piece, bool bContinuesLine) const {
    if (!bContinuesLine)
        return {};
    CPieceStart start{m_nNext, 0};
    if (m_nTail == 0)
        return start;
    char sequence[4];
    std::memcpy(sequence, m_tail, m_nTail);
    const size_t taken = std::min<size_t>(piece.size(), 4 - m_nTail);
    std::memcpy(sequence + m_nTail, piece.data(), taken);
    const size_t n = Utf8Length({sequence, m_nTail + taken});
    if (n > m_nTail) { // the cut character, whole: counted once, where it began
        start.nColumn += 1;
        start.nContinued = static_cast<unsigned>(n - m_nTail);
    } else {
        start.nColumn += m_nTail; // bytes that are no character: one each
    }
    return start;
}

void CPieceColumns::End(std::string_view piece, CPieceStart start, bool bCut) {
    m_nTail = 0;
    if (!bCut)
        return;
    piece.remove_prefix(std::min<size_t>(start.nContinued, piece.size()));
    const size_t tail = Utf8CutTail(piece);
    m_nNext = start.nColumn + Utf8Columns(piece.substr(0, piece.size() - tail));
    std::memcpy(m_tail, piece.data() + piece.size() - tail, tail);
    m_nTail = static_cast<unsigned>(tail);
}

long PieceColumn(std::string_view piece, CPieceStart start, size_t offset) {
    const size_t from = std::min<size_t>(start.nContinued, piece.size());
    offset = std::min(offset, piece.size());
    return start.nColumn + (offset > from ? Utf8Columns(piece.substr(from, offset - from)) : 0);
}
