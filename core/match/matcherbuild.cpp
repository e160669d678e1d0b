// The build of the matcher's automaton, step by step: the strings worth keeping, byte classes,
// a trie, its failure links (Aho-Corasick), and the table laid out for the scan.
#include "core/match/matcher.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// The strings of the table with their letters folded. A line that holds a string holds every
// string within it, so a string that holds another (or repeats it) adds nothing and is left
// out: the automaton is smaller for it.
std::vector<std::string> UsefulStrings(const SearchStringTable& table) {
    std::vector<std::string> folded;
    for (int i = 0, count = CountSearchStrings(table); i < count; ++i)
        folded.push_back(
            AsciiUpperCopy(std::string_view(table[i], strnlen(table[i], SEARCH_STRING_SIZE))));
    std::vector<std::string> strings;
    for (size_t i = 0; i < folded.size(); ++i) {
        bool holdsAnother = false;
        for (size_t j = 0; j < folded.size() && !holdsAnother; ++j)
            holdsAnother = j != i && folded[i].find(folded[j]) != std::string::npos &&
                           (folded[j].size() < folded[i].size() || j < i);
        if (!holdsAnother)
            strings.push_back(folded[i]);
    }
    return strings;
}

// The trie of the strings over byte classes: next[node * classes + class] is the child, or -1
// until the failure links fill it in.
struct CTrie {
    uint32_t nClasses;
    std::vector<int32_t> next;
    std::vector<uint8_t> accepts;

    CTrie(const std::vector<std::string>& strings, const uint8_t (&classOf)[256], uint32_t nc)
        : nClasses(nc), next(nc, -1), accepts(1, 0) {
        for (const std::string& s : strings) {
            int32_t node = 0;
            for (const char ch : s) {
                const uint32_t c = classOf[static_cast<unsigned char>(ch)];
                if (next[node * nc + c] < 0) {
                    next[node * nc + c] = static_cast<int32_t>(accepts.size());
                    accepts.push_back(0);
                    next.resize(next.size() + nc, -1);
                }
                node = next[node * nc + c];
            }
            accepts[node] = 1;
        }
    }

    // Aho-Corasick, breadth first: every missing transition becomes the one of the failure
    // state, and a state accepts when its failure state does. Returns the nodes but the root
    // in breadth-first order.
    std::vector<int32_t> LinkFailures() {
        const uint32_t nc = nClasses;
        std::vector<int32_t> fail(accepts.size(), 0);
        std::vector<int32_t> queue;
        queue.reserve(accepts.size());
        for (uint32_t c = 0; c < nc; ++c) {
            int32_t& v = next[c];
            if (v < 0)
                v = 0;
            else
                queue.push_back(v);
        }
        for (size_t head = 0; head < queue.size(); ++head) {
            const int32_t u = queue[head];
            accepts[u] |= accepts[fail[u]];
            for (uint32_t c = 0; c < nc; ++c) {
                int32_t& v = next[u * nc + c];
                const int32_t viaFail = next[fail[u] * nc + c];
                if (v < 0) {
                    v = viaFail;
                } else {
                    fail[v] = viaFail;
                    queue.push_back(v);
                }
            }
        }
        return queue;
    }
};

} // namespace

CSearchMatcher::CSearchMatcher(const SearchStringTable& table) {
    const std::vector<std::string> strings = UsefulStrings(table);
    if (strings.empty())
        return;
    uint8_t classOf[256];
    m_nClasses = AssignClasses(strings, classOf);
    m_classes.Assign(classOf);
    CTrie trie(strings, classOf, m_nClasses);
    const std::vector<int32_t> order = trie.LinkFailures();
    LayOutTable(trie.next, trie.accepts, order);
    ChoosePath(strings);
}

void CSearchMatcher::ChoosePath(const std::vector<std::string>& strings) {
    // A string of one byte leaves a place in nearly every line: the stream. Else the strings of
    // 5 bytes and more without CR or LF go to the gram filter, whose groups of 4 bytes text
    // seldom holds and which looks at every second or fourth byte; the others to the short
    // filter, which looks at every byte but 32 at a time.
    std::vector<std::string> grams, shorts;
    for (const std::string& s : strings) {
        if (s.size() < 2)
            return;
        (s.size() >= 5 && s.find_first_of("\r\n") == std::string::npos ? grams : shorts)
            .push_back(s);
    }
    m_bGrams = !grams.empty() && m_grams.Build(grams);
    m_bShort = !shorts.empty() && m_short.Build(shorts);
    m_bPrefilter = (grams.empty() || m_bGrams) && (shorts.empty() || m_bShort);
    // Each place the short filter names costs about 30 ns to confirm, some 90 bytes of the
    // stream's reading, and text holds more of them than byte shares foretell. Measured on C
    // sources (glibc and gdb, 200 MB, whole runs of --jobs 1): a list of 2- and 3-byte strings
    // foretold at 0.18% of places is 18% faster through the prefilter; the year-2000 list, whose
    // "19" and "yy" are foretold at 0.50%, 33% slower (its blocks often hold too many places and
    // are read by the stream after all). Between the two, the stream.
    constexpr double MOST_SHORT_PLACES = 0.003;
    if (m_bPrefilter && (!m_bShort || m_short.ExpectedPassRate() <= MOST_SHORT_PLACES))
        m_path = CGramFilter::Runs(CGramFilter::Kind::Avx2) ? EPath::PrefilterAvx2
                                                            : EPath::PrefilterPlain;
}

uint32_t CSearchMatcher::AssignClasses(const std::vector<std::string>& strings,
                                       uint8_t (&classOf)[256]) {
    // 0 for bytes in no string, then NUL, CR and LF, then one per folded byte in use; a lower
    // case letter shares the class of its upper case.
    std::fill(std::begin(classOf), std::end(classOf), 0);
    uint32_t nc = 4;
    classOf[0] = CLASS_NUL;
    classOf['\r'] = CLASS_CR;
    classOf['\n'] = CLASS_LF;
    for (const std::string& s : strings)
        for (const char ch : s) {
            const auto u = static_cast<unsigned char>(ch);
            if (classOf[u] == 0)
                classOf[u] = static_cast<uint8_t>(nc++);
        }
    for (int c = 'a'; c <= 'z'; ++c)
        classOf[c] = classOf[static_cast<unsigned char>(AsciiUpper(static_cast<char>(c)))];
    return nc;
}

void CSearchMatcher::LayOutTable(const std::vector<int32_t>& next,
                                 const std::vector<uint8_t>& accepts,
                                 const std::vector<int32_t>& order) {
    const uint32_t nc = m_nClasses;
    // The rows: CR_SEEN, SWALLOW and the states that do not accept, in breadth-first order so
    // that the shallow states, where a scan spends most of its time, lie close together. The
    // signal states follow at the first row past a power of two, the only bit they share with
    // no other state: a scan tells them by one OR and one test. A transition into an accepting
    // state goes to MATCH.
    std::vector<uint32_t> rowOf(accepts.size(), 0);
    uint32_t rows = 2;
    rowOf[0] = rows++;
    for (int32_t u : order)
        if (!accepts[u])
            rowOf[u] = rows++;
    m_nSwallow = nc;
    m_nStart = rowOf[0] * nc;
    m_nSignal = std::bit_ceil(std::max(rows * nc, 5 * nc));
    const uint32_t signalRow = (m_nSignal + nc - 1) / nc;
    m_nMatch = signalRow * nc;
    m_nDead = m_nMatch + nc;
    m_nUncertain = m_nDead + nc;
    m_nCrAgain = m_nUncertain + nc;

    // The signal rows and CR_SEEN and SWALLOW: a LF leads back to the start, a CR to CR_SEEN.
    std::vector<uint32_t> rowTable(static_cast<size_t>(signalRow + 4) * nc, CR_SEEN);
    m_crColumn.assign(signalRow + 4, CR_SEEN);
    m_lfColumn.assign(signalRow + 4, m_nStart);
    auto fill = [&](uint32_t state, uint32_t all, uint32_t onCr) {
        std::fill_n(rowTable.begin() + state, nc, all);
        rowTable[state + CLASS_CR] = CR_SEEN;
        rowTable[state + CLASS_LF] = m_nStart;
        m_crColumn[state / nc] = onCr;
        m_lfColumn[state / nc] = onCr;
    };
    fill(m_nMatch, m_nSwallow, m_nMatch);
    fill(m_nDead, m_nSwallow, m_nDead);
    fill(m_nUncertain, m_nSwallow, m_nUncertain);
    fill(m_nCrAgain, m_nUncertain, m_nCrAgain);
    fill(CR_SEEN, m_nUncertain, CR_SEEN);
    fill(m_nSwallow, m_nSwallow, m_nSwallow);
    for (uint32_t state : {CR_SEEN, m_nCrAgain})
        rowTable[state + CLASS_CR] = m_nCrAgain;

    // The strings' states: the trie's transitions, but NUL, CR and LF as in the stream; the
    // true transitions on CR and LF are kept apart for lines read by themselves.
    for (size_t u = 0; u < accepts.size(); ++u) {
        if (accepts[u])
            continue;
        uint32_t* row = rowTable.data() + static_cast<size_t>(rowOf[u]) * nc;
        for (uint32_t c = 0; c < nc; ++c) {
            const int32_t v = next[u * nc + c];
            row[c] = accepts[v] ? m_nMatch : rowOf[v] * nc;
        }
        m_crColumn[rowOf[u]] = row[CLASS_CR];
        m_lfColumn[rowOf[u]] = row[CLASS_LF];
        row[CLASS_NUL] = m_nDead;
        row[CLASS_CR] = CR_SEEN;
        row[CLASS_LF] = m_nStart;
    }
    // 16-bit entries when they suffice: half the cache the table takes. Such a table is
    // followed by its copy for the stream's first reading of a group of bytes, in which a
    // signal state leads to MATCH whatever follows: the group's end states tell whether one was
    // met, without a look after every byte.
    m_nTableSize = rowTable.size();
    if (m_nTableSize <= 0x10000) {
        m_table16.resize(2 * m_nTableSize);
        std::copy(rowTable.begin(), rowTable.end(), m_table16.begin());
        std::copy(rowTable.begin(), rowTable.begin() + m_nMatch, m_table16.begin() + m_nTableSize);
        std::fill(m_table16.begin() + m_nTableSize + m_nMatch, m_table16.end(), m_nMatch);
    } else {
        m_table32 = std::move(rowTable);
    }
}
