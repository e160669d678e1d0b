#include "scan/gramfilter.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#define KAVEL_X86 1
#include <immintrin.h>
#endif

namespace {

constexpr size_t TABLE_SIZE = 1 << 16;

// How common a folded byte is in source text, roughly (per mille): the groups of the rarest
// bytes are the ones a string is looked up by.
uint32_t Commonness(unsigned char byte) {
    static const char* const letters = "etaoinshrdlcumwfgypbvkjxqz";
    static const uint8_t letterShare[] = {76, 55, 49, 45, 42, 40, 38, 37, 36, 26, 24, 17, 17,
                                          14, 14, 13, 12, 12, 11, 9,  6,  5,  1,  1,  1,  1};
    const unsigned char c = byte | 0x20;
    if (c >= 'a' && c <= 'z')
        return 1 + letterShare[std::strchr(letters, c) - letters];
    if (c == ' ')
        return 150;
    if (c >= '0' && c <= '9')
        return 6;
    if (std::strchr("_(),;.=*/-\"'>{}<:#", c) != nullptr)
        return 10;
    return 1;
}

} // namespace

bool CGramFilter::Runs(Kind kind) {
    switch (kind) {
    case Kind::Plain:
        return true;
#if defined(KAVEL_X86)
    case Kind::Avx2: {
        static const bool avx2 = __builtin_cpu_supports("avx2");
        return avx2;
    }
#endif
    default:
        return false;
    }
}

CGramFilter::Kind CGramFilter::Best() {
    return Runs(Kind::Avx2) ? Kind::Avx2 : Kind::Plain;
}

bool CGramFilter::Build(const std::vector<std::string>& strings) {
    m_groups.clear();
    if (strings.empty())
        return false;
    size_t shortest = SIZE_MAX;
    for (const std::string& s : strings) {
        if (s.empty() || s.find_first_of(std::string("\0\r\n", 3)) != std::string::npos)
            return false;
        shortest = std::min(shortest, s.size());
    }
    m_nGroup = static_cast<unsigned>(std::min<size_t>(4, shortest));
    // 1, 2 or 4: the vector lookups take groups 4 bytes apart.
    const size_t room = shortest - m_nGroup + 1;
    m_nStride = room >= 4 ? 4 : room >= 2 ? 2 : 1;
    m_nMask = m_nGroup == 4 ? ~0u : (1u << (8 * m_nGroup)) - 1;

    const auto groupAt = [&](const std::string& s, size_t at) {
        uint32_t group = 0;
        std::memcpy(&group, s.data() + at, m_nGroup);
        return Fold(group);
    };
    for (const std::string& s : strings) {
        // The run of Stride() groups whose bytes are the least common.
        size_t best = 0;
        uint64_t bestCost = UINT64_MAX;
        for (size_t from = 0; from + m_nStride - 1 + m_nGroup <= s.size(); ++from) {
            uint64_t cost = 0;
            for (size_t k = 0; k < m_nStride; ++k) {
                uint64_t product = 1;
                for (size_t j = 0; j < m_nGroup; ++j)
                    product *= Commonness(static_cast<unsigned char>(s[from + k + j]));
                cost += product;
            }
            if (cost < bestCost) {
                bestCost = cost;
                best = from;
            }
        }
        for (size_t k = 0; k < m_nStride; ++k)
            m_groups.push_back(groupAt(s, best + k));
    }
    std::sort(m_groups.begin(), m_groups.end());
    m_groups.erase(std::unique(m_groups.begin(), m_groups.end()), m_groups.end());
    m_hashed.reset(new uint8_t[TABLE_SIZE]());
    for (const uint32_t group : m_groups)
        m_hashed[Hash(group)] = 1;
    return true;
}

bool CGramFilter::Holds(uint32_t folded) const {
    return std::binary_search(m_groups.begin(), m_groups.end(), folded);
}

void CGramFilter::FindPlain(const unsigned char* data, size_t from, size_t len,
                            std::vector<uint32_t>& positions) const {
    const uint8_t* hashed = m_hashed.get();
    for (size_t p = from; p + m_nGroup <= len; p += m_nStride) {
        uint32_t group = 0;
        if (p + 4 <= len)
            std::memcpy(&group, data + p, 4);
        else
            std::memcpy(&group, data + p, len - p);
        const uint32_t folded = Fold(group);
        if (hashed[Hash(folded)] != 0 && Holds(folded)) [[unlikely]]
            positions.push_back(static_cast<uint32_t>(p));
    }
}

#if defined(KAVEL_X86)
namespace {

constexpr size_t SPAN = 1024; // bytes whose hashes are formed before they are looked up

// The hashes of the groups at every S-th position of 32 bytes at a time: 4 / S loads of 32
// bytes, S apart, give eight groups each. They are stored for a span of bytes first and looked
// up after: a lookup right after its store would wait for the store to be done. Sets found[c]
// when chunk c of 32 bytes holds a hash of the table; returns the bytes of the whole chunks.
template <unsigned S>
__attribute__((target("avx2"))) size_t HashChunksAvx2(const unsigned char* data, size_t len,
                                                      uint32_t mask, const uint8_t* hashed,
                                                      uint8_t* found) {
    constexpr unsigned LOADS = 4 / S;
    const __m256i fold = _mm256_set1_epi8(0x20);
    const __m256i keep = _mm256_set1_epi32(static_cast<int>(mask));
    const __m256i multiplier = _mm256_set1_epi32(static_cast<int>(0x9E3779B1u));
    alignas(32) uint32_t hash[SPAN / 32][LOADS][8];
    size_t chunks = 0;
    while (chunks < SPAN / 32 && chunks * 32 + 32 + (LOADS - 1) * S <= len) {
        const unsigned char* at = data + chunks * 32;
        for (unsigned k = 0; k < LOADS; ++k) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + k * S));
            const __m256i folded = _mm256_and_si256(_mm256_or_si256(v, fold), keep);
            _mm256_store_si256(reinterpret_cast<__m256i*>(hash[chunks][k]),
                               _mm256_srli_epi32(_mm256_mullo_epi32(folded, multiplier), 16));
        }
        ++chunks;
    }
    for (size_t c = 0; c < chunks; ++c) {
        // Four ORs side by side: one chain would take a cycle a lookup.
        unsigned any0 = 0, any1 = 0, any2 = 0, any3 = 0;
        for (unsigned k = 0; k < LOADS; ++k)
            for (unsigned i = 0; i < 8; i += 4) {
                any0 |= hashed[hash[c][k][i]];
                any1 |= hashed[hash[c][k][i + 1]];
                any2 |= hashed[hash[c][k][i + 2]];
                any3 |= hashed[hash[c][k][i + 3]];
            }
        found[c] = static_cast<uint8_t>((any0 | any1) | (any2 | any3));
    }
    return chunks * 32;
}

} // namespace
#endif

void CGramFilter::Find(Kind kind, const unsigned char* data, size_t len,
                       std::vector<uint32_t>& positions) const {
    size_t from = 0;
#if defined(KAVEL_X86)
    if (kind == Kind::Avx2) {
        // Span by span; the chunks with a hash of the table are looked at again one by one.
        for (;;) {
            uint8_t found[SPAN / 32];
            const size_t done =
                m_nStride == 4
                    ? HashChunksAvx2<4>(data + from, len - from, m_nMask, m_hashed.get(), found)
                : m_nStride == 2
                    ? HashChunksAvx2<2>(data + from, len - from, m_nMask, m_hashed.get(), found)
                    : HashChunksAvx2<1>(data + from, len - from, m_nMask, m_hashed.get(), found);
            for (size_t c = 0; c < done / 32; ++c)
                if (found[c] != 0) [[unlikely]]
                    FindPlain(data, from + 32 * c, std::min(len, from + 32 * c + 32 + m_nGroup - 1),
                              positions);
            from += done;
            if (done < SPAN)
                break;
        }
    }
#else
    (void)kind;
#endif
    FindPlain(data, from, len, positions);
}
