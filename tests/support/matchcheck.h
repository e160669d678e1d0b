#pragma once
// The matcher against the plain matching rule on any bytes: the check that the random tests and
// the fuzz target share.

#include "core/lines/linesplit.h"
#include "core/match/matcher.h"
#include "support/plainrule.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

// A copy of exactly the bytes given, so that a read past their end is caught.
inline std::unique_ptr<char[]> ExactCopy(const std::string& bytes) {
    std::unique_ptr<char[]> copy(new char[bytes.size()]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    return copy;
}

// Splits the bytes into lines of at most maxChars, as a file's last block, and compares every
// path of the matcher that serves the table with the plain rules: each line's verdict in the
// block and alone, and the lines with a LF in reach, found as bits, with their places. Returns
// the first difference, or "" when everything agrees.
inline std::string DiffersFromThePlainRule(const SearchStringTable& table, const std::string& bytes,
                                           unsigned maxChars) {
    const std::unique_ptr<char[]> block = ExactCopy(bytes);
    const std::vector<std::string> plain = PlainLines(bytes, maxChars);
    std::vector<CLineSpan> spans(bytes.size() + 1);
    size_t count = 0;
    if (SplitTextLines(block.get(), bytes.size(), true, maxChars, false, spans.data(), spans.size(),
                       count) != bytes.size() ||
        count != plain.size())
        return "the split's lines";
    for (size_t i = 0; i < count; ++i)
        if (std::string(block.get() + spans[i].nOffset, spans[i].nLength) != plain[i])
            return "the split's line " + std::to_string(i);

    // The lines that end with a LF in reach: the first ones, their LFs and nothing else marked.
    std::vector<uint64_t> lfBits(bytes.size() / 64 + 1);
    size_t lfLines = 0;
    const size_t used =
        FindLfLines(block.get(), bytes.size(), maxChars, false, lfBits.data(), lfLines);
    std::vector<size_t> lfAt;
    for (size_t i = 0, offset = 0; i < lfLines && i < plain.size(); ++i) {
        size_t lf = offset + plain[i].size();
        lf += lf < bytes.size() && bytes[lf] == '\r';
        lfAt.push_back(lf);
        offset = lf + 1;
    }
    if (lfLines > plain.size() || (used == 0) != (lfLines == 0) ||
        used != (lfAt.empty() ? 0 : lfAt.back() + 1))
        return "the lines found with a LF";
    for (size_t at = 0, line = 0; at < used; ++at) {
        const bool lf = line < lfAt.size() && at == lfAt[line];
        if (((lfBits[at / 64] >> (at % 64) & 1) != 0) != lf || (lf && bytes[at] != '\n'))
            return "the LF bit at " + std::to_string(at);
        line += lf;
    }

    const std::vector<std::string> strings = TableStrings(table);
    CSearchMatcher matcher(table);
    if (matcher.Empty() != strings.empty())
        return "Empty";
    for (const auto path : {CSearchMatcher::EPath::Stream, CSearchMatcher::EPath::PrefilterPlain,
                            CSearchMatcher::EPath::PrefilterAvx2}) {
        if (!matcher.Runs(path))
            continue;
        matcher.SetPath(path);
        const std::string onPath = " on path " + std::to_string(int(path));
        std::vector<uint8_t> hits(count + 1, 2); // never empty: its data is not null
        matcher.MatchLines(block.get(), spans.data(), count, hits.data());
        std::vector<CLineHit> found;
        matcher.MatchLfLines(block.get(), used, lfBits.data(), found);
        size_t nextFound = 0;
        for (size_t i = 0; i < count; ++i) {
            const bool expected = PlainMatches(strings, plain[i]);
            const std::string text = UpToNul(plain[i]);
            if (hits[i] != expected ||
                matcher.Matches(ExactCopy(text).get(), text.size()) != expected)
                return "line " + std::to_string(i) + onPath;
            if (i < lfLines && expected) {
                const size_t offset = i == 0 ? 0 : lfAt[i - 1] + 1;
                if (nextFound == found.size() || found[nextFound].nLine != i ||
                    found[nextFound].span.nOffset != offset ||
                    found[nextFound].span.nLength != plain[i].size())
                    return "the LF line " + std::to_string(i) + onPath;
                ++nextFound;
            }
        }
        if (nextFound != found.size())
            return "a LF line too many" + onPath;
    }
    return "";
}
