#include "core/match/matcher.h"
#include "core/lines/cpufeatures.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t LANES = 8;
constexpr size_t CHUNK = 128; // bytes of each part classified at a time
constexpr size_t GROUP = 8;   // bytes of each part read between two looks for signals
constexpr uint32_t MATCH_MARK = 0x80000000;

// Keeps the compiler from folding a byte's class back into the state: the sum would then be
// formed on the chain of dependent loads, one cycle longer for every byte.
template <typename T> inline void KeepApart(T& value) {
#if defined(__GNUC__)
    __asm__("" : "+r"(value));
#endif
}
inline void KeepApart(size_t& a, size_t& b, size_t& c, size_t& d, size_t& e, size_t& f, size_t& g,
                      size_t& h) {
#if defined(__GNUC__)
    __asm__("" : "+r"(a), "+r"(b), "+r"(c), "+r"(d), "+r"(e), "+r"(f), "+r"(g), "+r"(h));
#endif
}

// The set bits of n words. Without the processor's own count, the compiler calls a function
// for every word.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__POPCNT__)
__attribute__((target("popcnt"))) size_t CountBitsPopcnt(const uint64_t* words, size_t n) {
    size_t count = 0;
    for (size_t i = 0; i < n; ++i)
        count += static_cast<size_t>(__builtin_popcountll(words[i]));
    return count;
}
#endif

size_t CountBits(const uint64_t* words, size_t n) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__POPCNT__)
    if (CpuFeatures().bPopcnt)
        return CountBitsPopcnt(words, n);
#endif
    size_t count = 0;
    for (size_t i = 0; i < n; ++i)
        count += static_cast<size_t>(std::popcount(words[i]));
    return count;
}

// The part that holds the byte at: the number of later parts' starts at or before it.
inline size_t PartOf(const uint32_t* from, size_t at) {
    size_t part = 0;
    for (size_t k = 1; k < LANES; ++k)
        part += from[k] <= at;
    return part;
}

// The first LF at or after at in a block of len bytes whose LFs are the set bits of lfBits,
// or len.
size_t NextLf(const uint64_t* lfBits, size_t len, size_t at) {
    const size_t words = (len + 63) / 64;
    for (size_t w = at / 64; w < words; ++w) {
        const uint64_t bits = lfBits[w] & (~uint64_t(0) << (w == at / 64 ? at % 64 : 0));
        if (bits != 0)
            return w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
    }
    return len;
}

} // namespace

template <typename Entry>
bool CSearchMatcher::MatchesLine(const Entry* table, const char* p, size_t n) const {
    // Read this way, a line meets no signal state but MATCH and DEAD.
    uint32_t state = m_nStart;
    for (size_t i = 0; i < n && state < m_nSignal; ++i) {
        const uint32_t c = m_classes[static_cast<unsigned char>(p[i])];
        if (c == CLASS_CR)
            state = m_crColumn[state / m_nClasses];
        else if (c == CLASS_LF)
            state = m_lfColumn[state / m_nClasses];
        else
            state = table[state + c];
    }
    return state == m_nMatch;
}

bool CSearchMatcher::Runs(EPath path) const {
    switch (path) {
    case EPath::Stream: return true;
    case EPath::PrefilterPlain: return m_bPrefilter;
    case EPath::PrefilterAvx2: return m_bPrefilter && CGramFilter::Runs(CGramFilter::Kind::Avx2);
    }
    return false;
}

bool CSearchMatcher::PrefilterMarks(const char* data, size_t len, uint32_t base,
                                    std::vector<uint32_t>& marks) const {
    marks.clear();
    const size_t grams = FindPlaces(data, len, marks);
    // Each place costs a look into the table and a comparison or two: with a place in every
    // line or so, the stream is faster.
    if (marks.size() * 64 > len + 4096)
        return false;
    for (size_t i = 0; i < marks.size(); ++i)
        marks[i] = (marks[i] + base) | (i < grams ? 0 : SHORT_PLACE);
    if (grams != 0 && grams != marks.size())
        std::inplace_merge(
            marks.begin(), marks.begin() + static_cast<long>(grams), marks.end(),
            [](uint32_t a, uint32_t b) { return (a & ~SHORT_PLACE) < (b & ~SHORT_PLACE); });
    return true;
}

size_t CSearchMatcher::FindPlaces(const char* data, size_t len,
                                  std::vector<uint32_t>& places) const {
    const auto kind =
        m_path == EPath::PrefilterPlain ? CGramFilter::Kind::Plain : CGramFilter::Best();
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const size_t before = places.size();
    if (m_bGrams)
        m_grams.Find(kind, bytes, len, places);
    const size_t grams = places.size() - before;
    if (m_bShort)
        m_short.Find(kind, bytes, len, places);
    return grams;
}

std::string CSearchMatcher::Describe() const {
    if (!m_bPrefilter)
        return "stream";
    std::string filters;
    if (m_bGrams)
        filters = "groups of " + std::to_string(m_grams.GroupBytes()) + " bytes every " +
                  std::to_string(m_grams.Stride()) + " bytes";
    if (m_bShort) {
        char rate[64];
        std::snprintf(rate, sizeof rate, " at every byte (%.2f%% of places foretold)",
                      100 * m_short.ExpectedPassRate());
        filters += std::string(m_bGrams ? "; " : "") + "windows of " +
                   std::to_string(m_short.NarrowestWindow()) + " to " +
                   std::to_string(m_short.WidestWindow()) + " bytes" + rate;
    }
    return m_path == EPath::Stream          ? "stream, prefilter not taken: " + filters
           : m_path == EPath::PrefilterAvx2 ? "prefilter, vector lookups: " + filters
                                            : "prefilter, plain lookups: " + filters;
}

bool CSearchMatcher::Matches(const char* line, size_t len) const {
    if (!m_table16.empty())
        return MatchesLine(m_table16.data(), line, len);
    if (!m_table32.empty())
        return MatchesLine(m_table32.data(), line, len);
    return false;
}

void CSearchMatcher::MatchLines(const char* base, const CLineSpan* lines, size_t count,
                                uint8_t* hits) const {
    if (!m_table16.empty())
        MatchLines(m_table16.data(), base, lines, count, hits);
    else if (!m_table32.empty())
        MatchLines(m_table32.data(), base, lines, count, hits);
    else
        std::memset(hits, 0, count);
}

template <typename Entry>
void CSearchMatcher::ReadGroup(const Entry* table, const uint8_t* classes, const size_t* before,
                               size_t* states, const uint32_t* from, size_t at,
                               std::vector<uint32_t>& marks) const {
    // Read with the table's copy, the parts that met no signal state have their true end
    // states already; without the copy, every part is read again.
    for (size_t k = 0; k < LANES; ++k) {
        if (sizeof(Entry) == 2 && (states[k] & m_nSignal) == 0)
            continue;
        size_t s = before[k];
        for (size_t j = 0; j < GROUP; ++j) {
            s = table[s + classes[k * CHUNK + j]];
            if ((s & m_nSignal) != 0)
                marks.push_back(static_cast<uint32_t>(from[k] + at + j) |
                                (s == m_nMatch ? MATCH_MARK : 0));
        }
        states[k] = s;
    }
}

template <typename Entry>
size_t CSearchMatcher::ReadParts(const Entry* table, const unsigned char* bytes,
                                 const uint32_t* from, std::vector<uint32_t>& marks) const {
    size_t n = from[LANES] - from[0];
    for (size_t k = 0; k < LANES; ++k)
        n = std::min<size_t>(n, from[k + 1] - from[k]);
    const size_t signal = m_nSignal;
    // Most lines never leave the strings' states; the few that reach a signal state are noted
    // by position (the top bit set for MATCH). A CR or NUL in a line leads to a signal before
    // any later byte can, so a line whose first signal is MATCH holds a string; any other is
    // read again by itself.
    const auto mark = [&](size_t at, size_t s) {
        marks.push_back(static_cast<uint32_t>(at) | (s == m_nMatch ? MATCH_MARK : 0));
    };
    marks.clear();

    // The parts side by side, CHUNK bytes of each at a time: their classes are looked up
    // together first, so that reading a byte takes two loads, its class and the next state.
    size_t done = 0;
    size_t state[LANES];
    {
        // Two buffers: the classes of the next chunk are written while this one is read, so
        // that no load waits for the store of its class to be done.
        alignas(64) uint8_t buffers[2][LANES][CHUNK];
        const unsigned char* parts[LANES];
        for (size_t k = 0; k < LANES; ++k)
            parts[k] = bytes + from[k];
        if (CHUNK <= n)
            m_classes.Map(parts, LANES, 0, &buffers[0][0][0], CHUNK);
        size_t s0 = m_nStart, s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
        // The class is added to the table's address apart from the state, so that the chain of
        // dependent loads holds nothing but the loads.
        const auto step = [](const Entry* with, size_t& s, const uint8_t* c) {
            const Entry* row = with + *c;
            KeepApart(row);
            s = row[s];
        };
        // A group is read first with the table's copy, in which a signal state stays one to the
        // group's end, so that the group's end states tell whether one was met. Large tables
        // (32-bit entries) have no copy: the states after every byte are gathered instead.
        constexpr bool copied = sizeof(Entry) == 2;
        const Entry* first = copied ? table + m_nTableSize : table;
        for (; done + CHUNK <= n; done += CHUNK) {
            const uint8_t(&cls)[LANES][CHUNK] = buffers[(done / CHUNK) & 1];
            if (done + 2 * CHUNK <= n)
                m_classes.Map(parts, LANES, done + CHUNK, &buffers[(done / CHUNK + 1) & 1][0][0],
                              CHUNK);
            for (size_t group = 0; group < CHUNK; group += GROUP) {
                const size_t before[LANES] = {s0, s1, s2, s3, s4, s5, s6, s7};
                size_t seen = 0;
                const uint8_t* c = &cls[0][group];
#pragma GCC unroll 8
                for (size_t j = 0; j < GROUP; ++j, ++c) {
                    step(first, s0, c);
                    step(first, s1, c + CHUNK);
                    step(first, s2, c + 2 * CHUNK);
                    step(first, s3, c + 3 * CHUNK);
                    step(first, s4, c + 4 * CHUNK);
                    step(first, s5, c + 5 * CHUNK);
                    step(first, s6, c + 6 * CHUNK);
                    step(first, s7, c + 7 * CHUNK);
                    if (!copied) {
                        seen |= ((s0 | s1) | (s2 | s3)) | ((s4 | s5) | (s6 | s7));
                        // Kept in a register: else every step's states are kept for the end.
                        KeepApart(seen);
                    }
                    // Keeps the steps in order: the compiler would otherwise form the rows of
                    // the whole group first and keep them on the stack.
                    KeepApart(s0, s1, s2, s3, s4, s5, s6, s7);
                }
                seen |= ((s0 | s1) | (s2 | s3)) | ((s4 | s5) | (s6 | s7));
                if ((seen & signal) != 0) [[unlikely]] {
                    size_t now[LANES] = {s0, s1, s2, s3, s4, s5, s6, s7};
                    ReadGroup(table, &cls[0][group], before, now, from, done + group, marks);
                    s0 = now[0], s1 = now[1], s2 = now[2], s3 = now[3];
                    s4 = now[4], s5 = now[5], s6 = now[6], s7 = now[7];
                }
            }
        }
        const size_t ends[LANES] = {s0, s1, s2, s3, s4, s5, s6, s7};
        std::copy_n(ends, LANES, state);
    }
    // The parts' ends, byte by byte.
    size_t last = m_nStart;
    for (size_t k = 0; k < LANES; ++k) {
        size_t s = state[k];
        for (size_t i = from[k] + done; i < from[k + 1]; ++i) {
            s = table[s + m_classes[bytes[i]]];
            if ((s & signal) != 0)
                mark(i, s);
        }
        if (from[k] < from[k + 1])
            last = s;
    }
    return last;
}

template <typename Entry>
void CSearchMatcher::MatchLines(const Entry* table, const char* base, const CLineSpan* lines,
                                size_t count, uint8_t* hits) const {
    if (count == 0)
        return;
    const uint32_t begin = lines[0].nOffset;
    const uint32_t end = lines[count - 1].nOffset + lines[count - 1].nLength;
    thread_local std::vector<uint32_t> marks;
    if (m_path != EPath::Stream && PrefilterMarks(base + begin, end - begin, begin, marks)) {
        // The places in order, each in the line that holds it (or in the line end after it).
        std::memset(hits, 0, count);
        size_t i = 0;
        for (const uint32_t place : marks) {
            const uint32_t at = place & ~SHORT_PLACE;
            while (i + 1 < count && lines[i + 1].nOffset <= at)
                ++i;
            if (hits[i] == 0)
                hits[i] = PrefilterConfirms(base, place, lines[i].nOffset,
                                            lines[i].nOffset + lines[i].nLength);
        }
        return;
    }
    // A line cut at the maximum length is not followed by its line end (one or two bytes), and
    // a line that starts with a LF holds it as data: read such blocks line by line.
    bool apart = lines[0].nLength > 0 && base[lines[0].nOffset] == '\n';
    for (size_t i = 1; i < count; ++i)
        apart |= lines[i].nOffset - (lines[i - 1].nOffset + lines[i - 1].nLength) - 1 > 1;
    if (apart) {
        for (size_t i = 0; i < count; ++i)
            hits[i] = MatchesLine(table, base + lines[i].nOffset, lines[i].nLength);
        return;
    }

    // The whole block as one stream.
    const auto* bytes = reinterpret_cast<const unsigned char*>(base);

    // Eight parts of about equal size, each starting at a line, read side by side: each byte
    // waits for the table entry of the byte before it, and eight such waits overlap.
    uint32_t from[LANES + 1];
    from[0] = begin;
    from[LANES] = end;
    for (size_t k = 1; k < LANES; ++k) {
        const uint64_t target = begin + uint64_t(end - begin) * k / LANES;
        const CLineSpan* at =
            std::lower_bound(lines, lines + count, target,
                             [](const CLineSpan& s, uint64_t t) { return s.nOffset < t; });
        from[k] = std::max(from[k - 1], at == lines + count ? end : at->nOffset);
    }
    const size_t last = ReadParts(table, bytes, from, marks);
    // The block's last line has no line end after it: a CR that ends it is not followed by the
    // byte that would tell.
    if (last == CR_SEEN)
        marks.push_back(end - 1);
    HitsFromMarks(table, base, lines, count, marks, hits);
}

template <typename Entry>
void CSearchMatcher::HitsFromMarks(const Entry* table, const char* base, const CLineSpan* lines,
                                   size_t count, const std::vector<uint32_t>& marks,
                                   uint8_t* hits) const {
    std::memset(hits, 0, count);
    for (const uint32_t noted : marks) {
        // The line whose text or line end holds the byte at.
        const uint32_t at = noted & ~MATCH_MARK;
        // A search without branches: marks lie anywhere, and mispredicted branches cost more
        // than the steps.
        const CLineSpan* line = lines;
        for (size_t left = count; left > 1;) {
            const size_t half = left / 2;
            line = line[half].nOffset <= at ? line + half : line;
            left -= half;
        }
        const auto i = static_cast<size_t>(line - lines);
        if (hits[i] == 0)
            hits[i] = 2 | ((noted & MATCH_MARK) != 0 ||
                           MatchesLine(table, base + lines[i].nOffset, lines[i].nLength));
    }
    for (size_t i = 0; i < count; ++i)
        hits[i] &= 1;
}

void CSearchMatcher::MatchLfLines(const char* base, size_t len, const uint64_t* lfBits,
                                  std::vector<CLineHit>& hits) const {
    if (!m_table16.empty())
        MatchLfLines(m_table16.data(), base, len, lfBits, hits);
    else if (!m_table32.empty())
        MatchLfLines(m_table32.data(), base, len, lfBits, hits);
}

template <typename Entry>
void CSearchMatcher::MatchLfLines(const Entry* table, const char* base, size_t len,
                                  const uint64_t* lfBits, std::vector<CLineHit>& hits) const {
    if (m_path != EPath::Stream) {
        thread_local std::vector<uint32_t> candidates;
        if (PrefilterMarks(base, len, 0, candidates)) {
            if (!candidates.empty())
                LfHitsFromMarks(table, base, len, lfBits, candidates, true, hits);
            return;
        }
    }
    const auto nextLf = [&](size_t at) { return NextLf(lfBits, len, at); };

    // Eight parts of about equal size, each starting at a line.
    uint32_t from[LANES + 1];
    from[0] = 0;
    from[LANES] = static_cast<uint32_t>(len);
    for (size_t k = 1; k < LANES; ++k) {
        const size_t target = len * k / LANES;
        from[k] = std::max<uint32_t>(
            from[k - 1], static_cast<uint32_t>(target == 0 ? 0 : nextLf(target - 1) + 1));
        from[k] = std::min<uint32_t>(from[k], static_cast<uint32_t>(len));
    }
    thread_local std::vector<uint32_t> marks;
    ReadParts(table, reinterpret_cast<const unsigned char*>(base), from, marks);
    if (marks.empty())
        return;

    // The marks in the order of the lines, the first of each line first: each part's marks are
    // in order already, so they are put part after part.
    thread_local std::vector<uint32_t> sorted;
    sorted.resize(marks.size());
    size_t partStart[LANES + 1] = {};
    for (const uint32_t noted : marks)
        ++partStart[PartOf(from, noted & ~MATCH_MARK) + 1];
    for (size_t k = 0; k < LANES; ++k)
        partStart[k + 1] += partStart[k];
    for (const uint32_t noted : marks)
        sorted[partStart[PartOf(from, noted & ~MATCH_MARK)]++] = noted;
    LfHitsFromMarks(table, base, len, lfBits, sorted, false, hits);
}

template <typename Entry>
void CSearchMatcher::LfHitsFromMarks(const Entry* table, const char* base, size_t len,
                                     const uint64_t* lfBits, const std::vector<uint32_t>& sorted,
                                     bool confirm, std::vector<CLineHit>& hits) const {
    const auto nextLf = [&](size_t at) { return NextLf(lfBits, len, at); };
    // Where the line that holds the byte at starts: after the last LF before it.
    const auto lineStart = [&](size_t at) -> size_t {
        for (size_t w = at / 64 + 1; w-- > 0;) {
            const uint64_t bits =
                lfBits[w] & (w == at / 64 ? (uint64_t(1) << (at % 64)) - 1 : ~uint64_t(0));
            if (bits != 0)
                return w * 64 + 64 - static_cast<size_t>(__builtin_clzll(bits));
        }
        return 0;
    };

    // The stream's first mark of a line tells; of the prefilter's places, any one confirmed.
    // A line's number is the number of LFs before it.
    size_t word = 0, lfsBefore = 0; // LFs in the words before word
    size_t lastLine = SIZE_MAX;
    bool decided = false;
    for (const uint32_t noted : sorted) {
        const size_t at = noted & ~MATCH_MARK;
        // Most of the prefilter's places hold no string at all: no string holds a LF, so one
        // that occurs lies in one line, and the line is looked for only then.
        if (confirm && !FilterConfirms(reinterpret_cast<const unsigned char*>(base), noted, 0, len))
            continue;
        lfsBefore += CountBits(lfBits + word, at / 64 - word);
        word = at / 64;
        const uint64_t earlier = lfBits[word] & ((uint64_t(1) << (at % 64)) - 1);
        const size_t line = lfsBefore + CountBits(&earlier, 1);
        if (line == lastLine && decided)
            continue;
        lastLine = line;
        const size_t start = lineStart(at);
        const size_t lf = nextLf(at);
        const size_t length = lf - start - (lf > start && base[lf - 1] == '\r' ? 1 : 0);
        const bool hit =
            confirm ? PrefilterConfirms(base, noted, start, start + length)
                    : (noted & MATCH_MARK) != 0 || MatchesLine(table, base + start, length);
        decided = hit || !confirm;
        if (hit)
            hits.push_back({static_cast<uint32_t>(line),
                            {static_cast<uint32_t>(start), static_cast<uint32_t>(length)}});
    }
}

bool CSearchMatcher::PrefilterConfirms(const char* base, uint32_t place, size_t from,
                                       size_t to) const {
    // Only the text before a NUL is seen.
    if (const void* nul = std::memchr(base + from, '\0', to - from))
        to = static_cast<size_t>(static_cast<const char*>(nul) - base);
    return (place & ~SHORT_PLACE) < to &&
           FilterConfirms(reinterpret_cast<const unsigned char*>(base), place, from, to);
}
