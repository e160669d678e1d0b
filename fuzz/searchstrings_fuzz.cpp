// The strings file loaders on any file contents: the run's table (first 200 non-empty lines,
// each cut to 30 characters and at a NUL, no gaps) and the editor's entries (every line, cut
// to 299), and the editor's save reading back as it was.
#include "core/match/searchstrings.h"
#include "fuzz/memfile.h"
#include "support/plainrule.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CMemFile mem;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    mem.Set(bytes.data(), bytes.size());

    std::vector<std::string> wholeLines;
    for (const std::string& line : PlainLines(bytes, UINT_MAX)) // never cut
        wholeLines.push_back(UpToNul(line));

    SearchStringTable table;
    std::memset(table, 'x', sizeof table);
    FUZZ_CHECK(LoadSearchStrings(table, mem.Path()));
    int slot = 0;
    for (const std::string& line : wholeLines) {
        const std::string kept = line.substr(0, SEARCH_STRING_MAX);
        if (kept.empty() || slot == MAX_SEARCH_STRINGS)
            continue;
        FUZZ_CHECK(std::memchr(table[slot], '\0', SEARCH_STRING_SIZE) != nullptr);
        FUZZ_CHECK(kept == table[slot]);
        ++slot;
    }
    FUZZ_CHECK(CountSearchStrings(table) == slot);
    for (; slot < MAX_SEARCH_STRINGS; ++slot)
        FUZZ_CHECK(table[slot][0] == '\0');

    std::vector<std::string> entries;
    FUZZ_CHECK(LoadStringsFileEntries(mem.Path(), entries));
    FUZZ_CHECK(entries.size() == wholeLines.size());
    for (size_t i = 0; i < entries.size(); ++i)
        FUZZ_CHECK(entries[i] == wholeLines[i].substr(0, EDITOR_LINE_MAX));

    // What the editor saves, it loads again unchanged.
    FUZZ_CHECK(SaveStringsFileEntries(mem.Path(), entries));
    std::vector<std::string> again;
    FUZZ_CHECK(LoadStringsFileEntries(mem.Path(), again));
    FUZZ_CHECK(again == entries);
    return 0;
}
