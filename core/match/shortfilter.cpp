#include "core/match/shortfilter.h"

#include "core/text/ascii.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#define KAVEL_X86 1
#include <immintrin.h>
#endif

namespace {

constexpr unsigned WIDEST = CShortFilter::WIDEST;

// A window: its bytes with bit 5 set, as the lookups see them, and its width.
struct CWindow {
    std::array<uint8_t, WIDEST> bytes{};
    unsigned width = 0;
    bool operator==(const CWindow&) const = default;
};

// The nibbles that a bucket's windows hold at each byte, as bits of 16; beyond the bucket's
// width (its narrowest window's) every nibble.
struct CNibbles {
    uint16_t low[WIDEST] = {};
    uint16_t high[WIDEST] = {};
    unsigned width = WIDEST;

    explicit CNibbles(const CWindow& w) : width(w.width) {
        for (unsigned j = 0; j < WIDEST; ++j) {
            low[j] = j < w.width ? static_cast<uint16_t>(1u << (w.bytes[j] & 15)) : 0xFFFF;
            high[j] = j < w.width ? static_cast<uint16_t>(1u << (w.bytes[j] >> 4)) : 0xFFFF;
        }
    }
    void Add(const CNibbles& other) {
        width = std::min(width, other.width);
        for (unsigned j = 0; j < WIDEST; ++j) {
            low[j] = j < width ? low[j] | other.low[j] : 0xFFFF;
            high[j] = j < width ? high[j] | other.high[j] : 0xFFFF;
        }
    }
};

// The share of source text's bytes (bit 5 set, as the lookups fold them) of each value.
struct CByteShares {
    double share[256] = {};
    CByteShares() {
        double total = 0;
        for (unsigned v = 0x20; v < 256; v = (v + 1) | 0x20)
            total += share[v] = CGramFilter::Commonness(static_cast<unsigned char>(v));
        for (double& s : share)
            s /= total;
    }
};
const CByteShares& Shares() {
    static const CByteShares shares;
    return shares;
}

// The share of positions of source text whose window passes a bucket with these nibbles, the
// bytes taken as independent.
double PassRate(const CNibbles& n) {
    const CByteShares& shares = Shares();
    double rate = 1;
    for (unsigned j = 0; j < n.width; ++j) {
        double passing = 0;
        for (unsigned hi = 0; hi < 16; ++hi)
            if ((n.high[j] >> hi & 1) != 0)
                for (unsigned lo = 0; lo < 16; ++lo)
                    if ((n.low[j] >> lo & 1) != 0)
                        passing += shares.share[hi << 4 | lo];
        rate *= passing;
    }
    return rate;
}

// Puts the distinct windows into at most BUCKETS groups: each window its own group first, then
// again and again the two groups whose merging lets the fewest more positions pass. Returns the
// group of each window.
std::vector<unsigned> GroupWindows(const std::vector<CWindow>& windows) {
    const size_t n = windows.size();
    std::vector<CNibbles> nibbles(windows.begin(), windows.end());
    std::vector<double> rate(n);
    std::vector<bool> alive(n, true);
    std::vector<unsigned> group(n);
    for (size_t i = 0; i < n; ++i) {
        rate[i] = PassRate(nibbles[i]);
        group[i] = static_cast<unsigned>(i);
    }
    // cost[i * n + j], i < j: the rate that merging groups i and j adds.
    std::vector<double> cost(n * n, 0);
    const auto mergeCost = [&](size_t i, size_t j) {
        CNibbles merged = nibbles[i];
        merged.Add(nibbles[j]);
        return PassRate(merged) - rate[i] - rate[j];
    };
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            cost[i * n + j] = mergeCost(i, j);
    for (size_t groups = n; groups > CShortFilter::BUCKETS; --groups) {
        size_t bi = 0, bj = 0;
        double best = 0;
        bool found = false;
        for (size_t i = 0; i < n; ++i)
            if (alive[i])
                for (size_t j = i + 1; j < n; ++j)
                    if (alive[j] && (!found || cost[i * n + j] < best)) {
                        best = cost[i * n + j];
                        bi = i, bj = j;
                        found = true;
                    }
        nibbles[bi].Add(nibbles[bj]);
        rate[bi] = PassRate(nibbles[bi]);
        alive[bj] = false;
        for (unsigned& g : group)
            if (g == bj)
                g = static_cast<unsigned>(bi);
        for (size_t k = 0; k < n; ++k)
            if (alive[k] && k != bi)
                cost[std::min(k, bi) * n + std::max(k, bi)] =
                    mergeCost(std::min(k, bi), std::max(k, bi));
    }
    // Groups numbered from 0 in the order of their first window.
    std::vector<unsigned> number(n, ~0u);
    unsigned next = 0;
    for (unsigned& g : group) {
        if (number[g] == ~0u)
            number[g] = next++;
        g = number[g];
    }
    return group;
}

// The string's window: the run of its bytes, as many as it has up to 4, whose product of
// shares is least; offset: where it starts in the string.
CWindow RarestWindow(const std::string& s, const CByteShares& shares, size_t& offset) {
    CWindow w;
    w.width = static_cast<unsigned>(std::min<size_t>(WIDEST, s.size()));
    offset = 0;
    double bestShare = 2;
    for (size_t from = 0; from + w.width <= s.size(); ++from) {
        double share = 1;
        for (size_t j = 0; j < w.width; ++j)
            share *= shares.share[static_cast<unsigned char>(s[from + j]) | 0x20];
        if (share < bestShare) {
            bestShare = share;
            offset = from;
        }
    }
    for (size_t j = 0; j < w.width; ++j)
        w.bytes[j] = static_cast<uint8_t>(static_cast<unsigned char>(s[offset + j]) | 0x20);
    return w;
}

} // namespace

bool CShortFilter::Build(const std::vector<std::string>& strings) {
    if (strings.empty() || strings.size() > UINT16_MAX)
        return false;
    for (const std::string& s : strings)
        if (s.size() < 2 || s.size() > UINT8_MAX || s.find('\0') != std::string::npos)
            return false;

    // Each string's window (RarestWindow), the same window once.
    const CByteShares& shares = Shares();
    std::vector<CWindow> windows; // distinct, in order of first use
    std::vector<size_t> windowOf(strings.size());
    std::vector<uint8_t> offsetOf(strings.size());
    m_strings.clear();
    for (size_t i = 0; i < strings.size(); ++i) {
        const std::string& s = strings[i];
        size_t best = 0;
        const CWindow w = RarestWindow(s, shares, best);
        const auto known = std::find(windows.begin(), windows.end(), w);
        windowOf[i] = static_cast<size_t>(known - windows.begin());
        if (known == windows.end())
            windows.push_back(w);
        offsetOf[i] = static_cast<uint8_t>(best);
        m_strings.push_back(AsciiUpperCopy(s));
    }

    // The buckets' nibbles, and from them the tables.
    const std::vector<unsigned> group = GroupWindows(windows);
    std::vector<CNibbles> buckets;
    for (size_t w = 0; w < windows.size(); ++w) {
        if (group[w] == buckets.size())
            buckets.emplace_back(windows[w]);
        else
            buckets[group[w]].Add(CNibbles(windows[w]));
    }
    std::memset(m_low, 0, sizeof m_low);
    std::memset(m_high, 0, sizeof m_high);
    std::memset(m_narrower, 0, sizeof m_narrower);
    m_nNarrowest = WIDEST;
    m_nWidest = 0;
    m_passRate = 0;
    for (unsigned k = 0; k < buckets.size(); ++k) {
        const CNibbles& b = buckets[k];
        m_nNarrowest = std::min(m_nNarrowest, b.width);
        m_nWidest = std::max(m_nWidest, b.width);
        m_passRate += PassRate(b);
        for (unsigned j = 0; j < WIDEST; ++j) {
            for (unsigned v = 0; v < 16; ++v) {
                m_low[j][v] |= static_cast<uint8_t>((b.low[j] >> v & 1) << k);
                m_high[j][v] |= static_cast<uint8_t>((b.high[j] >> v & 1) << k);
            }
            if (b.width <= j)
                m_narrower[j] |= static_cast<uint8_t>(1u << k);
        }
    }
    // Past the widest bucket every byte passes, so that four bytes can always be looked up.
    for (unsigned j = 0; j < WIDEST; ++j)
        for (unsigned b = 0; b < 256; ++b)
            m_byteBuckets[j][b] =
                j < m_nWidest ? m_low[j][(b | 0x20) & 15] & m_high[j][(b | 0x20) >> 4] : 0xFF;

    // The strings bucket by bucket.
    m_refs.clear();
    for (unsigned k = 0; k < BUCKETS; ++k) {
        m_first[k] = static_cast<uint32_t>(m_refs.size());
        for (size_t i = 0; i < strings.size(); ++i)
            if (group[windowOf[i]] == k)
                m_refs.push_back({static_cast<uint16_t>(i), offsetOf[i]});
    }
    m_first[BUCKETS] = static_cast<uint32_t>(m_refs.size());
    return true;
}

bool CShortFilter::Confirms(const unsigned char* data, size_t at, size_t from, size_t to) const {
    if (at < from || at + m_nNarrowest > to)
        return false;
    for (unsigned bits = BucketsAt(data, at, to); bits != 0; bits &= bits - 1) {
        const auto k = static_cast<unsigned>(__builtin_ctz(bits));
        for (uint32_t r = m_first[k]; r < m_first[k + 1]; ++r) {
            const std::string& s = m_strings[m_refs[r].nString];
            const size_t offset = m_refs[r].nOffset;
            if (at < from + offset || at - offset + s.size() > to)
                continue;
            if (AsciiUpperAt(data + at - offset, s))
                return true;
        }
    }
    return false;
}

#if defined(KAVEL_X86)
namespace {

// The positions of 32 bytes at a time whose W bytes pass: for each byte of the window, the
// buckets of its low nibble and of its high nibble by a shuffle each, all of them ANDed. The
// passing positions are kept as bits for up to 64 such runs, then appended in order: the
// registers stay as they are while the vectors are formed. Returns the bytes looked at.
template <unsigned W>
__attribute__((target("avx2"))) size_t
FindAvx2(const uint8_t (&low)[WIDEST][16], const uint8_t (&high)[WIDEST][16],
         const unsigned char* data, size_t len, std::vector<uint32_t>& positions) {
    const __m256i fold = _mm256_set1_epi8(0x20);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i lows[W], highs[W];
    for (unsigned j = 0; j < W; ++j) {
        lows[j] =
            _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(low[j])));
        highs[j] =
            _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(high[j])));
    }
    constexpr size_t RUNS = 64;
    uint32_t passed[RUNS];
    size_t p = 0;
    while (p + 32 + W - 1 <= len) {
        const size_t start = p;
        size_t n = 0;
        uint32_t any = 0;
        for (; n < RUNS && p + 32 + W - 1 <= len; ++n, p += 32) {
            __m256i buckets = _mm256_set1_epi8(-1);
            for (unsigned j = 0; j < W; ++j) {
                const __m256i x = _mm256_or_si256(
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + p + j)), fold);
                const __m256i lo = _mm256_shuffle_epi8(lows[j], _mm256_and_si256(x, nibble));
                const __m256i hi = _mm256_shuffle_epi8(
                    highs[j], _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble));
                buckets = _mm256_and_si256(buckets, _mm256_and_si256(lo, hi));
            }
            passed[n] = ~static_cast<uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(buckets, _mm256_setzero_si256())));
            any |= passed[n];
        }
        if (any == 0)
            continue;
        for (size_t i = 0; i < n; ++i)
            for (uint32_t bits = passed[i]; bits != 0; bits &= bits - 1)
                positions.push_back(static_cast<uint32_t>(start + 32 * i) +
                                    static_cast<uint32_t>(__builtin_ctz(bits)));
    }
    return p;
}

} // namespace
#endif

void CShortFilter::Find(Kind kind, const unsigned char* data, size_t len,
                        std::vector<uint32_t>& positions) const {
    size_t p = 0;
#if defined(KAVEL_X86)
    if (kind == Kind::Avx2)
        p = m_nWidest == 4   ? FindAvx2<4>(m_low, m_high, data, len, positions)
            : m_nWidest == 3 ? FindAvx2<3>(m_low, m_high, data, len, positions)
                             : FindAvx2<2>(m_low, m_high, data, len, positions);
#else
    (void)kind;
#endif
    for (; p + WIDEST <= len; ++p)
        if ((m_byteBuckets[0][data[p]] & m_byteBuckets[1][data[p + 1]] &
             m_byteBuckets[2][data[p + 2]] & m_byteBuckets[3][data[p + 3]]) != 0) [[unlikely]]
            positions.push_back(static_cast<uint32_t>(p));
    for (; p + m_nNarrowest <= len; ++p)
        if (BucketsAt(data, p, len) != 0)
            positions.push_back(static_cast<uint32_t>(p));
}
