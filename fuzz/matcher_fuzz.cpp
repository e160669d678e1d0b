// CSearchMatcher against the plain reading of the matching rule: a line matches when an
// upper-cased copy of one search string occurs in the upper-cased line (ASCII letters only),
// up to its first NUL. Both ways in: one line, and a block of lines, by every path.
#include "core/match/matcher.h"
#include "fuzz/memfile.h"
#include "support/plainrule.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Flips the letter case of the bytes that the mask selects, so found strings differ in case.
std::string FlipCase(std::string s, uint64_t mask) {
    for (size_t i = 0; i < s.size(); ++i, mask = (mask >> 1) | (mask << 63)) {
        char& c = s[i];
        if ((mask & 1) != 0 && IsAsciiLetter(c))
            c = static_cast<char>(c ^ 0x20);
    }
    return s;
}

// A line read as a whole, or a search string, never holds a LF: a LF ends a line.
std::string NoLineEnd(const std::string& s) {
    return s.substr(0, s.find('\n'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Lines as the scan passes them: at most 1024 bytes, any bytes but LF, each followed by a
    // line end (CR LF or LF; a line that ends in a CR takes CR LF, since LF alone would take the
    // CR into the line end) or by nothing, as the pieces of a cut line are. A line after a piece
    // cut right after a CR may start with a LF, which is then data.
    static const char* const separators[] = {"\r\n", "\n", ""};
    std::vector<std::string> lines;
    std::vector<const char*> ends;
    const int lineCount = in.ConsumeIntegralInRange(1, 12);
    for (int i = 0; i < lineCount; ++i) {
        std::string line = NoLineEnd(in.ConsumeRandomLengthString(1024));
        const uint8_t shape = in.ConsumeIntegral<uint8_t>();
        if ((shape & 1) != 0 && !lines.empty() && !lines.back().empty() &&
            lines.back().back() == '\r' && ends.back()[0] == '\0')
            line.insert(0, 1, '\n');
        if ((shape & 2) != 0)
            line.push_back('\r');
        const char* end = separators[(shape >> 2) % 3];
        if (end[0] == '\n' && !line.empty() && line.back() == '\r')
            end = separators[0];
        lines.push_back(line);
        ends.push_back(end);
    }
    // Strings as the loader stores them: 1 to 30 bytes without NUL, at most 200. Some are cut
    // from a line and change case, so that hits are common.
    std::vector<std::string> strings;
    const int stringCount = in.ConsumeIntegralInRange(0, in.ConsumeBool() ? 200 : 6);
    for (int i = 0; i < stringCount && in.remaining_bytes() > 0; ++i) {
        std::string s;
        if (in.ConsumeBool()) {
            const std::string& line = lines[in.ConsumeIntegralInRange<size_t>(0, lines.size() - 1)];
            const size_t from = in.ConsumeIntegralInRange<size_t>(0, line.size());
            const size_t len = in.ConsumeIntegralInRange<size_t>(1, SEARCH_STRING_MAX);
            s = FlipCase(line.substr(from, len), in.ConsumeIntegral<uint64_t>());
        } else {
            s = NoLineEnd(in.ConsumeRandomLengthString(SEARCH_STRING_MAX));
        }
        s = s.substr(0, s.find('\0'));
        if (!s.empty())
            strings.push_back(s);
    }

    SearchStringTable table = {};
    for (size_t i = 0; i < strings.size(); ++i)
        std::memcpy(table[i], strings[i].data(), strings[i].size());
    CSearchMatcher matcher(table);
    FUZZ_CHECK(matcher.Empty() == strings.empty());
    std::vector<uint8_t> expected;
    for (const std::string& line : lines) {
        expected.push_back(PlainMatches(strings, line.substr(0, line.find('\0'))));
        // A copy of exactly the line's length, so a read past its end is caught.
        std::unique_ptr<char[]> exact(new char[line.size()]);
        std::memcpy(exact.get(), line.data(), line.size());
        FUZZ_CHECK(matcher.Matches(exact.get(), line.size()) == (expected.back() != 0));
    }

    // Every path that serves the strings finds the same lines.
    for (const auto path : {CSearchMatcher::EPath::Stream, CSearchMatcher::EPath::PrefilterPlain,
                            CSearchMatcher::EPath::PrefilterAvx2}) {
        if (!matcher.Runs(path))
            continue;
        matcher.SetPath(path);
        // The lines in one block as the splitter gives them.
        std::string block;
        std::vector<CLineSpan> spans;
        for (size_t i = 0; i < lines.size(); ++i) {
            spans.push_back(
                {static_cast<uint32_t>(block.size()), static_cast<uint32_t>(lines[i].size())});
            block += lines[i];
            block += ends[i];
        }
        std::unique_ptr<char[]> exact(new char[block.size()]);
        std::memcpy(exact.get(), block.data(), block.size());
        std::vector<uint8_t> hits(spans.size(), 2);
        matcher.MatchLines(exact.get(), spans.data(), spans.size(), hits.data());
        FUZZ_CHECK(hits == expected);

        // The lines whole (a LF first dropped) and each ended by its line end, as most of a
        // file's blocks are, found as bits: the lines found are the first ones, with the same
        // verdicts.
        std::string lfBlock;
        std::vector<std::string> whole;
        for (size_t i = 0; i < lines.size(); ++i) {
            whole.push_back(lines[i].substr(!lines[i].empty() && lines[i][0] == '\n' ? 1 : 0));
            const bool crLast = !whole[i].empty() && whole[i].back() == '\r';
            lfBlock += whole[i] + (crLast       ? separators[0]
                                   : ends[i][0] ? ends[i]
                                                : separators[i % 2]);
        }
        std::unique_ptr<char[]> lfBytes(new char[lfBlock.size()]);
        std::memcpy(lfBytes.get(), lfBlock.data(), lfBlock.size());
        std::vector<uint64_t> lfBits(lfBlock.size() / 64 + 1);
        size_t count = 0;
        const size_t used =
            FindLfLines(lfBytes.get(), lfBlock.size(), 1024, false, lfBits.data(), count);
        FUZZ_CHECK(count <= lines.size());
        std::vector<CLineHit> found;
        matcher.MatchLfLines(lfBytes.get(), used, lfBits.data(), found);
        size_t next = 0, offset = 0;
        for (size_t i = 0; i < count; ++i) {
            if (PlainMatches(strings, whole[i].substr(0, whole[i].find('\0')))) {
                FUZZ_CHECK(next < found.size() && found[next].nLine == i &&
                           found[next].span.nOffset == offset &&
                           found[next].span.nLength == whole[i].size());
                ++next;
            }
            offset = lfBlock.find('\n', offset + whole[i].size()) + 1;
        }
        FUZZ_CHECK(next == found.size() && used == offset);
    }
    return 0;
}
