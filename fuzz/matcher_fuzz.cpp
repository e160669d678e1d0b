// CSearchMatcher against the plain reading of the matching rule: a line matches when an
// upper-cased copy of one search string occurs in the upper-cased line (ASCII letters only).
#include "fuzz/memfile.h"
#include "scan/matcher.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Folded(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool PlainMatches(const std::vector<std::string>& strings, const std::string& line) {
    const std::string foldedLine = Folded(line);
    for (const std::string& s : strings)
        if (foldedLine.find(Folded(s)) != std::string::npos)
            return true;
    return false;
}

// Flips the letter case of the bytes that the mask selects, so found strings differ in case.
std::string FlipCase(std::string s, uint64_t mask) {
    for (size_t i = 0; i < s.size(); ++i, mask = (mask >> 1) | (mask << 63)) {
        char& c = s[i];
        if ((mask & 1) != 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            c = static_cast<char>(c ^ 0x20);
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Lines as the scan passes them: at most 1024 bytes, the text up to its first NUL.
    std::vector<std::string> lines;
    const int lineCount = in.ConsumeIntegralInRange(1, 8);
    for (int i = 0; i < lineCount; ++i) {
        std::string line = in.ConsumeRandomLengthString(1024);
        lines.push_back(line.substr(0, line.find('\0')));
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
            s = in.ConsumeRandomLengthString(SEARCH_STRING_MAX);
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
    for (const std::string& line : lines) {
        // A copy of exactly the line's length, so a read past its end is caught.
        std::unique_ptr<char[]> exact(new char[line.size()]);
        std::memcpy(exact.get(), line.data(), line.size());
        FUZZ_CHECK(matcher.Matches(exact.get(), line.size()) == PlainMatches(strings, line));
    }
    return 0;
}
