#include "core/match/gramfilter.h"
#include "core/lines/cpufeatures.h"

#include "core/text/ascii.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#define KAVEL_X86 1
#include <immintrin.h>
#endif

namespace {

constexpr unsigned HASH_BITS = CGramFilter::HASH_BITS;
constexpr size_t TABLE_SIZE = size_t(1) << HASH_BITS;

} // namespace

// How common a folded byte is in source text, roughly (per mille): the groups of the rarest
// bytes are the ones a string is looked up by.
uint32_t CGramFilter::Commonness(unsigned char byte) {
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

bool CGramFilter::Runs(Kind kind) {
    switch (kind) {
    case Kind::Plain: return true;
#if defined(KAVEL_X86)
    case Kind::Avx2: return CpuFeatures().bAvx2;
#endif
    default: return false;
    }
}

CGramFilter::Kind CGramFilter::Best() {
    return Runs(Kind::Avx2) ? Kind::Avx2 : Kind::Plain;
}

bool CGramFilter::Build(const std::vector<std::string>& strings) {
    if (strings.empty() || strings.size() > UINT16_MAX)
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
    // Each string's run of Stride() groups whose bytes are the least common, as (group,
    // string, offset), sorted by group.
    struct CChosen {
        uint32_t group;
        uint16_t string;
        uint8_t offset;
    };
    std::vector<CChosen> chosen;
    m_strings.clear();
    for (const std::string& s : strings) {
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
            chosen.push_back({groupAt(s, best + k), static_cast<uint16_t>(m_strings.size()),
                              static_cast<uint8_t>(best + k)});
        m_strings.push_back(AsciiUpperCopy(s));
    }
    std::sort(chosen.begin(), chosen.end(),
              [](const CChosen& a, const CChosen& b) { return a.group < b.group; });
    m_hashed.reset(new uint8_t[TABLE_SIZE]());
    m_refs.clear();
    size_t groups = 0;
    for (size_t i = 0; i < chosen.size(); ++i)
        groups += i == 0 || chosen[i].group != chosen[i - 1].group;
    // A quarter of the slots at most in use, so that a look seldom takes more than one.
    m_nSlotBits = 4;
    while ((size_t(1) << m_nSlotBits) < 4 * groups)
        ++m_nSlotBits;
    m_nSlotMask = (1u << m_nSlotBits) - 1;
    m_slots.assign(size_t(1) << m_nSlotBits, CSlot{});
    for (size_t i = 0; i < chosen.size();) {
        const uint32_t group = chosen[i].group;
        m_hashed[Hash(group)] = 1;
        uint32_t slot = SlotOf(group);
        while (m_slots[slot].nGroup != 0)
            slot = (slot + 1) & m_nSlotMask;
        m_slots[slot] = {group, static_cast<uint32_t>(m_refs.size()), 0};
        for (; i < chosen.size() && chosen[i].group == group; ++i, ++m_slots[slot].nCount)
            m_refs.push_back({chosen[i].string, chosen[i].offset});
    }
    return true;
}

const CGramFilter::CSlot* CGramFilter::Holds(uint32_t folded) const {
    // Open addressing; no folded group is 0, the mark of an empty slot.
    for (uint32_t slot = SlotOf(folded);; slot = (slot + 1) & m_nSlotMask) {
        const CSlot& held = m_slots[slot];
        if (held.nGroup == folded)
            return &held;
        if (held.nGroup == 0)
            return nullptr;
    }
}

bool CGramFilter::Confirms(const unsigned char* data, size_t at, size_t from, size_t to) const {
    // A group lies inside its string, so none at at fits when the group does not.
    if (at < from || at + m_nGroup > to)
        return false;
    uint32_t group = 0;
    std::memcpy(&group, data + at, m_nGroup);
    const CSlot* slot = Holds(Fold(group));
    if (slot == nullptr)
        return false;
    for (uint32_t r = slot->nFirst; r < slot->nFirst + slot->nCount; ++r) {
        const std::string& s = m_strings[m_refs[r].nString];
        const size_t offset = m_refs[r].nOffset;
        if (at < from + offset || at - offset + s.size() > to)
            continue;
        if (AsciiUpperAt(data + at - offset, s))
            return true;
    }
    return false;
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
        if (hashed[Hash(folded)] != 0 && Holds(folded) != nullptr) [[unlikely]]
            positions.push_back(static_cast<uint32_t>(p));
    }
}

#if defined(KAVEL_X86)
namespace {

constexpr size_t SPAN = 1024; // bytes whose hashes are formed before they are looked up

// The hashes of the groups at every S-th position of 32 bytes at a time: 4 / S loads of 32
// bytes, S apart, give eight groups each. The hashes are packed two to a word and stored for a
// span of bytes first, then looked up: a lookup right after its store would wait for the store
// to be done, and a load takes two hashes. Appends the positions whose hash is marked, in
// order; returns the bytes of the whole chunks looked at.
template <unsigned S>
__attribute__((target("avx2"))) size_t HashChunksAvx2(const unsigned char* data, size_t len,
                                                      uint32_t mask, const uint8_t* hashed,
                                                      std::vector<uint32_t>& marked) {
    constexpr unsigned LOADS = 4 / S;
    // Chunks looked up together: those whose hashes fill a pair of vectors at least.
    constexpr unsigned GROUP = LOADS == 1 ? 2 : 1;
    const __m256i fold = _mm256_set1_epi8(0x20);
    const __m256i keep = _mm256_set1_epi32(static_cast<int>(mask));
    const __m256i multiplier = _mm256_set1_epi32(static_cast<int>(0x9E3779B1u));
    // Vector m holds load m % LOADS of chunk m / LOADS; a pair of vectors is packed into 16
    // hashes of 16 bits, lane i of the pair's second vector 4 after lane i of the first, and
    // lanes 4 to 7 of both after lanes 0 to 3 of both.
    constexpr auto element = [](size_t m, unsigned i) {
        return (m / 2) * 16 + (i < 4 ? i : i + 4) + 4 * (m % 2);
    };
    // The hashes of a group of chunks in the order of their positions: where each lies in hash
    // (from the group's first) and its offset from the group's first byte.
    constexpr unsigned SLOTS = GROUP * LOADS * 8;
    struct COrder {
        uint8_t element[SLOTS];
        uint8_t offset[SLOTS];
    };
    constexpr COrder order = [element] {
        COrder o{};
        unsigned j = 0;
        for (unsigned chunk = 0; chunk < GROUP; ++chunk)
            for (unsigned i = 0; i < 8; ++i)
                for (unsigned k = 0; k < LOADS; ++k, ++j) {
                    o.element[j] = static_cast<uint8_t>(element(chunk * LOADS + k, i));
                    o.offset[j] = static_cast<uint8_t>(chunk * 32 + 4 * i + k * S);
                }
        return o;
    }();
    alignas(32) uint16_t hash[SPAN / 32 * LOADS * 8];
    size_t chunks = 0;
    __m256i pending = _mm256_setzero_si256();
    size_t vectors = 0;
    while (chunks < SPAN / 32 && chunks * 32 + 32 + (LOADS - 1) * S <= len) {
        const unsigned char* at = data + chunks * 32;
        for (unsigned k = 0; k < LOADS; ++k, ++vectors) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + k * S));
            const __m256i folded = _mm256_and_si256(_mm256_or_si256(v, fold), keep);
            const __m256i h =
                _mm256_srli_epi32(_mm256_mullo_epi32(folded, multiplier), 32 - HASH_BITS);
            if (vectors % 2 == 0)
                pending = h;
            else
                _mm256_store_si256(reinterpret_cast<__m256i*>(hash + (vectors / 2) * 16),
                                   _mm256_packus_epi32(pending, h));
        }
        ++chunks;
    }
    chunks -= chunks % GROUP; // a chunk left over is looked at by the caller
    const auto* words = reinterpret_cast<const uint32_t*>(hash);
    for (size_t c = 0; c < chunks; c += GROUP) {
        // Four ORs side by side: one chain would take a cycle a lookup.
        unsigned any0 = 0, any1 = 0, any2 = 0, any3 = 0;
        const uint32_t* w = words + c * LOADS * 4;
#pragma GCC unroll 8
        for (unsigned j = 0; j < GROUP * LOADS * 4; j += 2) {
            any0 |= hashed[w[j] & 0xFFFF];
            any1 |= hashed[w[j] >> 16];
            any2 |= hashed[w[j + 1] & 0xFFFF];
            any3 |= hashed[w[j + 1] >> 16];
        }
        if (((any0 | any1) | (any2 | any3)) != 0) [[unlikely]] {
            // The marked hashes as bits in the order of the positions (lane i of load k is at
            // 4 * i + k * S), then a position for each bit.
            const uint16_t* h = hash + c * LOADS * 8;
            uint32_t bits = 0;
            for (unsigned j = 0; j < SLOTS; ++j)
                bits |= static_cast<uint32_t>(hashed[h[order.element[j]]]) << j;
            for (; bits != 0; bits &= bits - 1) {
                const unsigned j = static_cast<unsigned>(__builtin_ctz(bits));
                marked.push_back(static_cast<uint32_t>(c * 32 + order.offset[j]));
            }
        }
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
        // Span by span: the positions whose hash is marked, then those whose group is one of
        // the table's.
        thread_local std::vector<uint32_t> marked;
        for (;;) {
            marked.clear();
            const unsigned char* at = data + from;
            const size_t done =
                m_nStride == 4 ? HashChunksAvx2<4>(at, len - from, m_nMask, m_hashed.get(), marked)
                : m_nStride == 2
                    ? HashChunksAvx2<2>(at, len - from, m_nMask, m_hashed.get(), marked)
                    : HashChunksAvx2<1>(at, len - from, m_nMask, m_hashed.get(), marked);
            for (const uint32_t p : marked) {
                uint32_t group;
                std::memcpy(&group, at + p, 4);
                if (Holds(Fold(group)) != nullptr)
                    positions.push_back(static_cast<uint32_t>(from + p));
            }
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
