#include "scan/matcher.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t CLASS_NUL = 1, CLASS_CR = 2, CLASS_LF = 3;
constexpr size_t LANES = 8;
constexpr uint32_t MATCH_MARK = 0x80000000;

// Keeps the compiler from folding a byte's class back into the state: the sum would then be
// formed on the chain of dependent loads, one cycle longer for every byte.
template <typename T> inline void KeepApart(T& value) {
#if defined(__GNUC__)
    __asm__("" : "+r"(value));
#endif
}

} // namespace

CSearchMatcher::CSearchMatcher(const SearchStringTable& table) {
    const int count = CountSearchStrings(table);
    if (count == 0)
        return;

    // Byte classes: 0 for bytes in no string, then NUL, CR and LF, then one per folded byte in
    // use.
    m_nClasses = 4;
    m_classes[0] = CLASS_NUL;
    m_classes['\r'] = CLASS_CR;
    m_classes['\n'] = CLASS_LF;
    for (int i = 0; i < count; ++i)
        for (const char* s = table[i]; s < table[i] + SEARCH_STRING_SIZE && *s != '\0'; ++s) {
            const auto u = static_cast<unsigned char>(AsciiUpper(*s));
            if (m_classes[u] == 0)
                m_classes[u] = static_cast<uint8_t>(m_nClasses++);
        }
    for (int c = 'a'; c <= 'z'; ++c)
        m_classes[c] = m_classes[c - 32];
    const uint32_t nc = m_nClasses;

    // The trie of the strings: trie[node * nc + class] is the child, or -1.
    std::vector<int32_t> trie(nc, -1);
    std::vector<uint8_t> accepts(1, 0);
    for (int i = 0; i < count; ++i) {
        int32_t node = 0;
        for (const char* s = table[i]; s < table[i] + SEARCH_STRING_SIZE && *s != '\0'; ++s) {
            const uint32_t c = m_classes[static_cast<unsigned char>(*s)];
            if (trie[node * nc + c] < 0) {
                trie[node * nc + c] = static_cast<int32_t>(accepts.size());
                accepts.push_back(0);
                trie.resize(trie.size() + nc, -1);
            }
            node = trie[node * nc + c];
        }
        accepts[node] = 1;
    }

    // Aho-Corasick: breadth first, every missing transition becomes the one of the failure
    // state, and a state accepts when its failure state does.
    const size_t nodes = accepts.size();
    std::vector<int32_t> fail(nodes, 0);
    std::vector<int32_t> queue;
    queue.reserve(nodes);
    for (uint32_t c = 0; c < nc; ++c) {
        int32_t& v = trie[c];
        if (v < 0)
            v = 0;
        else
            queue.push_back(v);
    }
    for (size_t head = 0; head < queue.size(); ++head) {
        const int32_t u = queue[head];
        accepts[u] |= accepts[fail[u]];
        for (uint32_t c = 0; c < nc; ++c) {
            int32_t& v = trie[u * nc + c];
            const int32_t viaFail = trie[fail[u] * nc + c];
            if (v < 0) {
                v = viaFail;
            } else {
                fail[v] = viaFail;
                queue.push_back(v);
            }
        }
    }

    // The rows: the special states, then the states that do not accept, in breadth-first
    // order so that the shallow states, where a scan spends most of its time, lie close
    // together. A transition into an accepting state goes to MATCH.
    std::vector<uint32_t> rowOf(nodes, 0);
    uint32_t rows = FIRST_ROW;
    rowOf[0] = rows++;
    for (int32_t u : queue)
        if (!accepts[u])
            rowOf[u] = rows++;
    m_nStart = rowOf[0] * nc;
    std::vector<uint32_t> rowTable(static_cast<size_t>(rows) * nc);
    m_crColumn.assign(rows, 0);
    auto fill = [&](uint32_t row, uint32_t all, uint32_t onCr) {
        std::fill_n(rowTable.begin() + row * nc, nc, all * nc);
        rowTable[row * nc + CLASS_CR] = CR_SEEN * nc;
        m_crColumn[row] = onCr * nc;
    };
    fill(MATCH, SWALLOW, MATCH);
    fill(DEAD, SWALLOW, DEAD);
    fill(UNCERTAIN, SWALLOW, UNCERTAIN);
    fill(CR_AGAIN, UNCERTAIN, CR_AGAIN);
    fill(CR_SEEN, UNCERTAIN, CR_SEEN);
    fill(SWALLOW, SWALLOW, SWALLOW);
    for (uint32_t row : {CR_SEEN, CR_AGAIN}) {
        rowTable[row * nc + CLASS_CR] = CR_AGAIN * nc;
        rowTable[row * nc + CLASS_LF] = m_nStart;
    }
    for (size_t u = 0; u < nodes; ++u) {
        if (accepts[u])
            continue;
        uint32_t* row = rowTable.data() + static_cast<size_t>(rowOf[u]) * nc;
        for (uint32_t c = 0; c < nc; ++c) {
            const int32_t v = trie[u * nc + c];
            row[c] = accepts[v] ? MATCH : rowOf[v] * nc;
        }
        m_crColumn[rowOf[u]] = row[CLASS_CR];
        row[CLASS_NUL] = DEAD * nc;
        row[CLASS_CR] = CR_SEEN * nc;
    }
    if (rowTable.size() <= 0x10000)
        m_table16.assign(rowTable.begin(), rowTable.end());
    else
        m_table32 = std::move(rowTable);
}

template <typename Entry>
bool CSearchMatcher::MatchesLine(const Entry* table, const char* p, size_t n) const {
    const uint32_t settled = UNCERTAIN * m_nClasses; // below it: MATCH or DEAD
    uint32_t state = m_nStart;
    for (size_t i = 0; i < n && state >= settled; ++i) {
        const uint32_t c = m_classes[static_cast<unsigned char>(p[i])];
        state = c == CLASS_CR ? m_crColumn[state / m_nClasses] : table[state + c];
    }
    return state == MATCH;
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
void CSearchMatcher::MatchLines(const Entry* table, const char* base, const CLineSpan* lines,
                                size_t count, uint8_t* hits) const {
    if (count == 0)
        return;
    // A line cut at the maximum length is not followed by CR LF: read such blocks line by line.
    for (size_t i = 1; i < count; ++i)
        if (lines[i].nOffset != lines[i - 1].nOffset + lines[i - 1].nLength + 2) {
            for (size_t j = 0; j < count; ++j)
                hits[j] = MatchesLine(table, base + lines[j].nOffset, lines[j].nLength);
            return;
        }

    // The whole block as one stream. Most lines never leave the strings' states; the few that
    // reach a signal state are noted by position (the top bit set for MATCH). A CR or NUL in a
    // line leads to a signal before any later byte can, so a line whose first signal is MATCH
    // holds a string; any other is read again by itself.
    const auto* bytes = reinterpret_cast<const unsigned char*>(base);
    const uint32_t begin = lines[0].nOffset;
    const uint32_t end = lines[count - 1].nOffset + lines[count - 1].nLength;
    thread_local std::vector<uint32_t> marks;
    marks.clear();

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
    size_t n = end - begin;
    for (size_t k = 0; k < LANES; ++k)
        n = std::min<size_t>(n, from[k + 1] - from[k]);
    const uint8_t* classes = m_classes;
    const size_t signal = SIGNAL_ROWS * m_nClasses;
    const auto mark = [&](size_t at, size_t s) {
        marks.push_back(static_cast<uint32_t>(at) | (s == MATCH ? MATCH_MARK : 0));
    };

    // One pointer walks the first part; the others lie at fixed distances from it.
    size_t d[LANES], state[LANES];
    for (size_t k = 0; k < LANES; ++k)
        d[k] = from[k] - from[0];
    {
        const unsigned char* q = bytes + from[0];
        const size_t d1 = d[1], d2 = d[2], d3 = d[3], d4 = d[4], d5 = d[5], d6 = d[6], d7 = d[7];
        size_t s0 = m_nStart, s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
        // The class is added to the table's address apart from the state, so that the chain of
        // dependent loads holds nothing but the loads.
        const auto step = [&](size_t& s, size_t at) {
            const Entry* row = table + classes[q[at]];
            KeepApart(row);
            s = row[s];
        };
        for (const unsigned char* qEnd = q + n; q != qEnd; ++q) {
            step(s0, 0);
            step(s1, d1);
            step(s2, d2);
            step(s3, d3);
            step(s4, d4);
            step(s5, d5);
            step(s6, d6);
            step(s7, d7);
            // A state below signal turns negative when signal is taken off.
            const auto any = static_cast<ptrdiff_t>((s0 - signal) | (s1 - signal) |
                                                    (s2 - signal) | (s3 - signal) |
                                                    (s4 - signal) | (s5 - signal) |
                                                    (s6 - signal) | (s7 - signal));
            if (any < 0) [[unlikely]] {
                const size_t now[LANES] = {s0, s1, s2, s3, s4, s5, s6, s7};
                for (size_t k = 0; k < LANES; ++k)
                    if (now[k] < signal)
                        mark(static_cast<size_t>(q - bytes) + d[k], now[k]);
            }
        }
        const size_t ends[LANES] = {s0, s1, s2, s3, s4, s5, s6, s7};
        std::copy_n(ends, LANES, state);
    }
    // The parts' ends, byte by byte. The last part that holds a line ends the block.
    size_t last = 0;
    for (size_t k = 0; k < LANES; ++k) {
        size_t s = state[k];
        for (size_t i = from[k] + n; i < from[k + 1]; ++i) {
            s = table[s + classes[bytes[i]]];
            if (s < signal)
                mark(i, s);
        }
        if (from[k] < from[k + 1])
            last = s;
    }
    // The block's last line has no CR LF after it: a CR that ends it is not followed by the
    // byte that would tell.
    if (last == CR_SEEN * m_nClasses)
        marks.push_back(end - 1);

    std::memset(hits, 0, count);
    for (const uint32_t noted : marks) {
        // The line whose text or CR LF holds the byte at.
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
