#include "core/match/byteclass.h"
#include "core/lines/cpufeatures.h"

#include <array>
#include <cstring>
#include <initializer_list>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
#define KAVEL_X86 1
#include <immintrin.h>
#endif

namespace {

#if defined(KAVEL_X86)
// 64 bytes at a time: two lookups of 128 entries each, the top bit choosing between them.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
MapAvx512(const uint8_t* classes, const unsigned char* const* parts, size_t count, size_t at,
          uint8_t* out, size_t n) {
    const __m512i t0 = _mm512_load_si512(classes), t1 = _mm512_load_si512(classes + 64);
    const __m512i t2 = _mm512_load_si512(classes + 128), t3 = _mm512_load_si512(classes + 192);
    for (size_t p = 0; p < count; ++p, out += n)
        for (size_t i = 0; i < n; i += 64) {
            const __m512i x = _mm512_loadu_si512(parts[p] + at + i);
            const __m512i low = _mm512_permutex2var_epi8(t0, x, t1);
            const __m512i high = _mm512_permutex2var_epi8(t2, x, t3);
            _mm512_storeu_si512(out + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high));
        }
}

// 32 bytes at a time: a lookup by low nibble in every row, kept where the high nibble is the
// row's. The rows and their nibbles are held in registers across all the parts, and their
// number is fixed at compile time so that the loop over them unrolls.
template <unsigned R>
__attribute__((target("avx2"))) void MapAvx2(const uint8_t (*rows)[16], const uint8_t* nibbles,
                                             const unsigned char* const* parts, size_t count,
                                             size_t at, uint8_t* out, size_t n) {
    const __m256i low4 = _mm256_set1_epi8(0x0F);
    __m256i row[R > 0 ? R : 1], mine[R > 0 ? R : 1];
    for (unsigned r = 0; r < R; ++r) {
        row[r] =
            _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(rows[r])));
        mine[r] = _mm256_set1_epi8(static_cast<char>(nibbles[r]));
    }
    for (size_t p = 0; p < count; ++p, out += n)
        for (size_t i = 0; i < n; i += 32) {
            const __m256i x =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(parts[p] + at + i));
            const __m256i lo = _mm256_and_si256(x, low4);
            const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(x, 4), low4);
            __m256i classes = _mm256_setzero_si256();
#pragma GCC unroll 16
            for (unsigned r = 0; r < R; ++r)
                classes =
                    _mm256_or_si256(classes, _mm256_and_si256(_mm256_cmpeq_epi8(hi, mine[r]),
                                                              _mm256_shuffle_epi8(row[r], lo)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), classes);
        }
}

using MapAvx2Fn = void (*)(const uint8_t (*)[16], const uint8_t*, const unsigned char* const*,
                           size_t, size_t, uint8_t*, size_t);

// MapAvx2 for each number of rows, 0 to 16.
template <unsigned... R> constexpr auto MapAvx2Table(std::integer_sequence<unsigned, R...>) {
    return std::array<MapAvx2Fn, sizeof...(R)>{&MapAvx2<R>...};
}
constexpr auto MAP_AVX2 = MapAvx2Table(std::make_integer_sequence<unsigned, 17>());
#endif

} // namespace

bool CByteClassMap::Runs(Kind kind) {
    switch (kind) {
    case Kind::Bytewise: return true;
#if defined(KAVEL_X86)
    case Kind::Avx2: return CpuFeatures().bAvx2;
    case Kind::Avx512: return CpuFeatures().bAvx512Vbmi;
#endif
    default: return false;
    }
}

CByteClassMap::Kind CByteClassMap::Best() {
    for (Kind kind : {Kind::Avx512, Kind::Avx2})
        if (Runs(kind))
            return kind;
    return Kind::Bytewise;
}

void CByteClassMap::Assign(const uint8_t (&classes)[256]) {
    std::memcpy(m_classes, classes, sizeof m_classes);
    m_nRows = 0;
    for (unsigned hi = 0; hi < 16; ++hi) {
        bool used = false;
        for (unsigned lo = 0; lo < 16; ++lo) {
            m_rows[m_nRows][lo] = classes[hi << 4 | lo];
            used |= classes[hi << 4 | lo] != 0;
        }
        if (used)
            m_rowNibbles[m_nRows++] = static_cast<uint8_t>(hi);
    }
    m_kind = Best();
}

void CByteClassMap::MapWith(Kind kind, const unsigned char* const* parts, size_t count, size_t at,
                            uint8_t* out, size_t n) const {
#if defined(KAVEL_X86)
    if (kind == Kind::Avx512)
        return MapAvx512(m_classes, parts, count, at, out, n);
    if (kind == Kind::Avx2)
        return MAP_AVX2[m_nRows](m_rows, m_rowNibbles, parts, count, at, out, n);
#endif
    for (size_t p = 0; p < count; ++p)
        for (size_t i = 0; i < n; ++i)
            out[p * n + i] = m_classes[parts[p][at + i]];
}
