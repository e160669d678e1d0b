// The matcher, its byte classes and its prefilters against the matching rule read literally.
#include "core/lines/cpufeatures.h"
#include "core/lines/linesplit.h"
#include "core/match/byteclass.h"
#include "core/match/gramfilter.h"
#include "core/match/matcher.h"
#include "core/match/shortfilter.h"
#include "support/matchcheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

namespace {

void FillTable(SearchStringTable& table, const std::vector<std::string>& strings) {
    for (auto& slot : table)
        std::memset(slot, 0, sizeof slot);
    for (size_t i = 0; i < strings.size() && i < MAX_SEARCH_STRINGS; ++i)
        std::memcpy(table[i], strings[i].data(), std::min<size_t>(strings[i].size(), 30));
}

// The kernels' paths that the differential tests below run on this processor agree with what
// it can do; a path it lacks is not tested here, and this test says so as skipped rather than
// passing in silence.
TEST(CpuFeatures, EveryKernelPathIsTestedOrSkippedAloud) {
    const CCpuFeatures& cpu = CpuFeatures();
    EXPECT_EQ(CByteClassMap::Runs(CByteClassMap::Kind::Avx2), cpu.bAvx2);
    EXPECT_EQ(CByteClassMap::Runs(CByteClassMap::Kind::Avx512), cpu.bAvx512Vbmi);
    EXPECT_EQ(CGramFilter::Runs(CGramFilter::Kind::Avx2), cpu.bAvx2);
    EXPECT_TRUE(CByteClassMap::Runs(CByteClassMap::Kind::Bytewise));
    EXPECT_TRUE(CGramFilter::Runs(CGramFilter::Kind::Plain));
    std::string lacking;
    if (!cpu.bAvx2)
        lacking += " AVX2 (byte classes, both prefilters, the LF finder, markers)";
    if (!cpu.bAvx512Vbmi)
        lacking += " AVX-512 VBMI (byte classes)";
    if (!cpu.bPopcnt)
        lacking += " POPCNT (bit counts)";
    if (!lacking.empty())
        GTEST_SKIP() << "not tested on this processor:" << lacking;
}

TEST(CSearchMatcher, FollowsTheMatchingRule) {
    struct Case {
        const char* name;
        std::vector<std::string> strings;
        std::string line;
        bool match;
    };
    const Case cases[] = {
        {"letter case ignored", {"Year"}, "x YEAR = 97", true},
        {"lower case line", {"Year"}, "year = 97", true},
        {"no folding beyond ASCII", {"d\xe4te"}, "D\xc4TE", false},
        {"same byte above 0x7F", {"d\xe4te"}, "D\xe4TE", true},
        {"@ and ` are not letters", {"`"}, "@", false},
        {"[ and { are not letters", {"{"}, "[", false},
        {"NUL ends the text", {"year"}, std::string("ye\0ar", 5), false},
        {"match before NUL", {"year"}, std::string("year\0x", 6), true},
        {"failure link", {"abcd", "bcx"}, "abcbcx", true},
        {"longer string first", {"abcde", "cd"}, "abcd", true},
        {"string at the very end", {"zz", "end"}, "the END", true},
        {"lone CR inside a string", {"a\rb"}, "xa\rbx", true},
        {"lone CR breaks a string", {"ab"}, "a\rb", false},
        {"match after a lone CR", {"cd"}, "a\rcd", true},
        {"CR ending the line", {"x\r"}, "ax\r", true},
        {"CR ending the line, no string", {"x"}, "ab\r", false},
        {"no string", {}, "anything", false},
        {"empty line", {"a"}, "", false},
    };
    for (const Case& c : cases) {
        SearchStringTable table;
        FillTable(table, c.strings);
        EXPECT_EQ(PlainMatches(table, c.line), c.match) << c.name;
        // The matcher agrees on the line in a block among others, after CR LF and LF, and as a
        // block's last line. (A CR that ends a line followed by a LF belongs to the line end.)
        const bool crEnds = !c.line.empty() && c.line.back() == '\r';
        for (const std::string end : {"\r\n", "\n"})
            for (const std::string& block :
                 {"filler" + end + c.line + (crEnds ? "\r\n" : end) + "x", "filler" + end + c.line})
                EXPECT_EQ(DiffersFromThePlainRule(table, block, 1024), "") << c.name;
    }
}

// After a line cut right after a CR, the LF that follows is the next line's first character,
// and a string that holds a LF matches there (no loaded string holds one, but the rule says so).
TEST(CSearchMatcher, ALfAfterACutCrIsDataOfTheNextLine) {
    SearchStringTable table;
    FillTable(table, {"\nb", "c\r"});
    const std::string bytes = "abc\r\nbx\nb\r\nbc\r";
    EXPECT_EQ(PlainLines(bytes, 4), (std::vector<std::string>{"abc\r", "\nbx", "b", "bc\r"}));
    EXPECT_TRUE(PlainMatches(table, "\nbx"));
    EXPECT_EQ(DiffersFromThePlainRule(table, bytes, 4), "");
    // The same as a block of its own, which starts with that LF.
    const CSearchMatcher matcher(table);
    CLineSpan spans[2];
    size_t count = 0;
    ASSERT_EQ(SplitTextLines("\nbx\nb", 5, true, 1024, true, spans, 2, count), 5u);
    ASSERT_EQ(count, 2u);
    // The fast finder leaves such a block to the careful split.
    const std::string lfFirst = "\n" + std::string(200, 'x') + "\n";
    std::vector<uint64_t> lfBits(4);
    size_t lfLines = 0;
    EXPECT_EQ(FindLfLines(lfFirst.data(), lfFirst.size(), 1024, true, lfBits.data(), lfLines), 0u);
    uint8_t hits[2] = {};
    matcher.MatchLines("\nbx\nb", spans, count, hits);
    EXPECT_EQ(hits[0], 1);
    EXPECT_EQ(hits[1], 0);
}

// A block may be a single empty line: the rest of the buffer did not reach the next line end.
TEST(CSearchMatcher, ABlockOfOneEmptyLineHoldsNoString) {
    SearchStringTable table;
    FillTable(table, {"a", "\r"});
    const CSearchMatcher matcher(table);
    const CLineSpan empty[] = {{0, 0}};
    uint8_t hit = 1;
    matcher.MatchLines("\r\nab", empty, 1, &hit);
    EXPECT_EQ(hit, 0);
}

// Random bytes weighted towards what matters: line ends of both kinds, NUL, letters of both
// cases, bytes above 0x7F; now and then long runs without a line end, unless longLines is false.
std::string RandomBytes(std::mt19937& rng, size_t size, bool longLines = true) {
    static const char alphabet[] = "aAbByYzZ\r\n\r\n\n\n\0\xe4\xc4 19";
    static const char* const ends[] = {"\r\n", "\n", "\r\r\n", "\r", ""};
    std::string bytes;
    while (bytes.size() < size) {
        if (longLines && rng() % 50 == 0) {
            // a line around the maximum, ended by CR LF, LF, CR CR LF, a CR or nothing
            size_t len = 1018 + rng() % 12;
            for (size_t i = 0; i < len; ++i)
                bytes.push_back("abyz "[rng() % 5]);
            bytes += ends[rng() % 5];
        }
        bytes.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
    }
    return bytes;
}

// 0 to 200 strings of 1 to 30 bytes, many of them sharing prefixes and overlapping. Without CR
// and LF, and at least minLength bytes long, they are served by the prefilter too.
std::vector<std::string> RandomStrings(std::mt19937& rng, bool lineEnds = true,
                                       size_t minLength = 1) {
    static const char alphabet[] = "aAbByYzZ\xe4\xc4 19\r\n";
    const size_t letters = sizeof alphabet - (lineEnds ? 1 : 3);
    std::vector<std::string> strings;
    const size_t count = rng() % 4 == 0 ? rng() % 201 : rng() % 12;
    while (strings.size() < count) {
        std::string s;
        if (!strings.empty() && rng() % 3 == 0)
            s = strings[rng() % strings.size()].substr(0, 1 + rng() % 4);
        const size_t len = std::max(minLength, rng() % 8 == 0 ? 1 + rng() % 30 : 2 + rng() % 4);
        while (s.size() < len)
            s.push_back(alphabet[rng() % letters]);
        strings.push_back(s.substr(0, 30));
    }
    return strings;
}

TEST(CSearchMatcher, AgreesWithThePlainRuleOnRandomInput) {
    std::mt19937 rng(2000);
    int shortFiltered = 0;
    for (int round = 0; round < 900; ++round) {
        SearchStringTable table;
        // Strings of any kind; strings without line ends for the gram filter, which looks at
        // every, every second or every fourth byte; and strings of 2 bytes and more, some with a
        // CR or a LF, for the short filter beside it.
        const int kind = round % 3;
        FillTable(table, kind == 0   ? RandomStrings(rng)
                         : kind == 1 ? RandomStrings(rng, false, 1 + rng() % 8)
                                     : RandomStrings(rng, true, 2 + rng() % 3));
        shortFiltered += CSearchMatcher(table).Describe().find("windows") != std::string::npos;
        const unsigned maxChars =
            round % 5 == 0 ? 1 + rng() % 8 : (round % 5 == 1 ? 63 + rng() % 8 : 1024);
        // Small blocks too, whose few lines leave some of the parts read side by side empty,
        // and blocks of short lines only, whose parts are all long enough to be read together.
        const std::string bytes =
            RandomBytes(rng, rng() % (round % 4 == 0 ? 80 : 6000), round % 4 != 2);
        ASSERT_EQ(DiffersFromThePlainRule(table, bytes, maxChars), "") << "round " << round;
    }
    EXPECT_GT(shortFiltered, 150);
}

// 200 strings of 30 bytes drawn from most byte values: too many states for 16-bit entries.
TEST(CSearchMatcher, AgreesWithThePlainRuleWithALargeTable) {
    std::mt19937 rng(1900);
    std::vector<std::string> strings;
    const auto anyByte = [&] {
        for (;;) {
            const char c = static_cast<char>(rng() % 256);
            if (c != '\0' && c != '\n' && c != '\r')
                return c;
        }
    };
    for (int i = 0; i < MAX_SEARCH_STRINGS; ++i) {
        std::string s;
        while (s.size() < 30)
            s.push_back(anyByte());
        strings.push_back(s);
    }
    SearchStringTable table;
    FillTable(table, strings);
    // Lines of random bytes with, now and then, a string or most of one, its case changed.
    std::string bytes;
    for (int line = 0; line < 3000; ++line) {
        for (size_t len = rng() % 120; len > 0; --len)
            bytes.push_back(anyByte());
        if (rng() % 4 == 0) {
            std::string s = strings[rng() % strings.size()].substr(0, 25 + rng() % 6);
            for (char& c : s)
                if (rng() % 2 && IsAsciiLetter(c))
                    c ^= 0x20;
            bytes += s;
        }
        bytes += "\r\n";
    }
    EXPECT_EQ(DiffersFromThePlainRule(table, bytes, 1024), "");
    std::vector<std::string> lines = PlainLines(bytes, 1024);
    EXPECT_GT(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) { return PlainMatches(table, line); }),
              100);
}

// Text with the strings spread through it, their letter case changed, ending anywhere.
std::string TextHolding(std::mt19937& rng, const std::vector<std::string>& strings) {
    std::string text;
    while (text.size() < 3000) {
        text += RandomBytes(rng, rng() % 40);
        std::string s = strings[rng() % strings.size()];
        for (char& c : s)
            if (rng() % 2 && IsAsciiLetter(c))
                c ^= 0x20;
        text += s;
    }
    text.resize(text.size() - rng() % 3);
    return text;
}

// A prefilter names a place inside every occurrence of every string, whatever the letter case,
// where the occurrence lies in the block and how long the shortest string is, and confirms it
// there within exactly the occurrence's bytes; each kind of lookup names the same places.
// minBytes: the bytes that a named place leaves at least before the occurrence's end.
template <typename Filter>
std::string MissesAnOccurrence(const Filter& filter, const std::vector<std::string>& strings,
                               const std::string& text, size_t minBytes) {
    const std::unique_ptr<char[]> exact = ExactCopy(text);
    const auto* bytes = reinterpret_cast<const unsigned char*>(exact.get());
    std::vector<uint32_t> plain;
    filter.Find(CGramFilter::Kind::Plain, bytes, text.size(), plain);
    if (CGramFilter::Runs(CGramFilter::Kind::Avx2)) {
        std::vector<uint32_t> vector;
        filter.Find(CGramFilter::Kind::Avx2, bytes, text.size(), vector);
        if (vector != plain)
            return "the vector lookups' places";
    }
    if (!std::is_sorted(plain.begin(), plain.end()))
        return "places out of order";
    const std::string folded = AsciiUpperCopy(text);
    for (const std::string& s : strings)
        for (size_t at = folded.find(AsciiUpperCopy(s)); at != std::string::npos;
             at = folded.find(AsciiUpperCopy(s), at + 1)) {
            const auto named = std::lower_bound(plain.begin(), plain.end(), at);
            if (named == plain.end() || *named + minBytes > at + s.size())
                return "no place in " + s + " at " + std::to_string(at);
            bool confirmed = false;
            for (auto p = named; p != plain.end() && *p < at + s.size() && !confirmed; ++p)
                confirmed = filter.Confirms(bytes, *p, at, at + s.size());
            if (!confirmed)
                return "no place confirms " + s + " at " + std::to_string(at);
        }
    return "";
}

TEST(CGramFilter, NamesAPlaceInEveryOccurrence) {
    std::mt19937 rng(1582);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> strings = RandomStrings(rng, false, 1 + round % 9);
        if (strings.empty())
            continue;
        CGramFilter filter;
        ASSERT_TRUE(filter.Build(strings));
        ASSERT_EQ(
            MissesAnOccurrence(filter, strings, TextHolding(rng, strings), filter.GroupBytes()), "")
            << "round " << round;
    }
    // Strings whose meaning depends on where a line ends are left to the automaton.
    CGramFilter filter;
    EXPECT_FALSE(filter.Build({"abcdef", "x\ry"}));
    EXPECT_FALSE(filter.Build({"abcdef", "\nxy"}));
    EXPECT_FALSE(filter.Build({}));
}

// The same for the short filter, with strings of 2 bytes and more, CR and LF among their bytes,
// in lists of one string up to more than its buckets can hold apart, and with bytes of every
// value around them (those that fold to the same nibbles as a string's own among them).
TEST(CShortFilter, NamesAPlaceInEveryOccurrence) {
    std::mt19937 rng(1752);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> strings = RandomStrings(rng, true, 2 + round % 4);
        if (round % 5 == 0)
            for (std::string& s : strings)
                for (char& c : s)
                    c = rng() % 3 == 0 ? static_cast<char>(1 + rng() % 255) : c;
        if (strings.empty())
            continue;
        CShortFilter filter;
        ASSERT_TRUE(filter.Build(strings));
        ASSERT_GE(filter.NarrowestWindow(), 2u);
        std::string text = TextHolding(rng, strings);
        if (round % 5 == 0)
            for (char& c : text)
                c = rng() % 7 == 0 ? static_cast<char>(rng() % 256) : c;
        ASSERT_EQ(MissesAnOccurrence(filter, strings, text, filter.NarrowestWindow()), "")
            << "round " << round;
    }
    CShortFilter filter;
    EXPECT_FALSE(filter.Build({"ab", "c"}));
    EXPECT_FALSE(filter.Build({"ab", std::string("c\0d", 3)}));
    EXPECT_FALSE(filter.Build({}));
}

// Every way of looking up byte classes that this processor runs gives the table's classes,
// with the bytes of a class other than 0 under any number of high nibbles, none to all 16.
TEST(CByteClassMap, EveryKindGivesTheTablesClasses) {
    std::mt19937 rng(2038);
    for (int round = 0; round < 51; ++round) {
        uint8_t classes[256] = {};
        unsigned nibbles[16];
        std::iota(nibbles, nibbles + 16, 0u);
        std::shuffle(nibbles, nibbles + 16, rng);
        const unsigned rows = static_cast<unsigned>(round) % 17;
        for (unsigned r = 0; r < rows; ++r) {
            const unsigned used = 1 + rng() % 16;
            for (unsigned i = 0; i < used; ++i)
                classes[nibbles[r] << 4 | rng() % 16] = static_cast<uint8_t>(1 + rng() % 250);
        }
        CByteClassMap map;
        map.Assign(classes);
        std::vector<unsigned char> bytes(3 * 256 + 7);
        for (auto& b : bytes)
            b = static_cast<unsigned char>(rng());
        const unsigned char* parts[3] = {bytes.data() + 7, bytes.data(), bytes.data() + 300};
        for (auto kind : {CByteClassMap::Kind::Bytewise, CByteClassMap::Kind::Avx2,
                          CByteClassMap::Kind::Avx512}) {
            if (!CByteClassMap::Runs(kind))
                continue;
            std::vector<uint8_t> out(3 * 192, 0xEE);
            map.MapWith(kind, parts, 3, 64, out.data(), 192);
            for (size_t p = 0; p < 3; ++p)
                for (size_t i = 0; i < 192; ++i)
                    ASSERT_EQ(out[p * 192 + i], classes[parts[p][64 + i]])
                        << "kind " << int(kind) << " part " << p << " byte " << i;
        }
    }
}

} // namespace
