// CSearchMatcher against the plain reading of the matching rule on any bytes split with any
// maximum, by every path (see support/matchcheck.h). Half the strings are cut from the bytes
// with their letter case changed, so that hits are common; the first ones cut are 2 bytes and
// longer, so that lists without a string of one byte, which the prefilters serve, are common.
#include "fuzz/memfile.h"
#include "support/matchcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const unsigned MAXIMA[] = {1, 2, 3, 5, 8, 31, 64, 1024};
    FuzzedDataProvider in(data, size);
    const unsigned maxChars = in.PickValueInArray(MAXIMA);
    const int stringCount = in.ConsumeIntegralInRange(0, in.ConsumeBool() ? 200 : 6);
    std::vector<std::string> cuts;
    for (int i = 0; i < stringCount; ++i)
        cuts.push_back(in.ConsumeBool() ? std::string() : in.ConsumeRandomLengthString(30));
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    // Strings as the loader stores them: 1 to 30 bytes up to a NUL, at most 200.
    SearchStringTable table = {};
    int slot = 0;
    for (size_t i = 0; i < cuts.size(); ++i) {
        std::string s = cuts[i];
        if (s.empty() && !bytes.empty()) {
            s = bytes.substr((i * 7919) % bytes.size(), 1 + (i + 1) % SEARCH_STRING_MAX);
            for (size_t j = 0; j < s.size(); ++j)
                if ((i >> (j % 8) & 1) != 0 && IsAsciiLetter(s[j]))
                    s[j] = static_cast<char>(s[j] ^ 0x20);
        }
        s = UpToNul(s).substr(0, SEARCH_STRING_MAX);
        if (!s.empty())
            std::memcpy(table[slot++], s.data(), s.size());
    }
    const std::string differs = DiffersFromThePlainRule(table, bytes, maxChars);
    if (!differs.empty())
        std::fprintf(stderr, "differs: %s\n", differs.c_str());
    FUZZ_CHECK(differs.empty());
    return 0;
}
