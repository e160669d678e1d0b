// kavel-matcher-bench --describe STRINGS: prints the path the matcher takes for the strings.
// kavel-matcher-bench [--rounds N] [--path 0|1|2] STRINGS FILE...: times the matcher alone on
// files held in memory, split into blocks as the file scan splits them, by every path that
// serves the strings (or path N only: stream, prefilter plain, prefilter avx2), and (where built
// with Hyperscan) Hyperscan's block scan of the same files. No file is opened or read while the
// clock runs, so the figures are processor time only and repeat well on a busy machine (the best
// of N rounds of this thread's processor time is kept). Prints milliseconds, MB/s and the lines
// found (for the prefilter alone: the places it names).
#include "core/lines/linefile.h"
#include "core/lines/linesplit.h"
#include "core/match/matcher.h"
#include "core/match/searchstrings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if defined(KAVEL_HYPERSCAN)
#include <hs.h>
#endif

namespace {

constexpr unsigned MAX_CHARS = 1024;

// A block as the file scan hands it to the matcher: lines that end with a LF in reach (as
// bits), or lines split the careful way (as spans).
struct CBlock {
    const char* data;
    size_t len;
    std::vector<uint64_t> lfBits;
    std::vector<CLineSpan> spans;
};

std::vector<CBlock> SplitIntoBlocks(const std::string& file) {
    std::vector<CBlock> blocks;
    std::vector<CLineSpan> spans(CLineFile::BUFFER_SIZE);
    size_t pos = 0;
    while (pos < file.size()) {
        const size_t n = std::min(file.size() - pos, CLineFile::BUFFER_SIZE);
        CBlock block{file.data() + pos, 0, std::vector<uint64_t>(n / 64 + 1), {}};
        size_t count = 0;
        block.len = FindLfLines(block.data, n, MAX_CHARS, false, block.lfBits.data(), count);
        if (block.len == 0) {
            block.lfBits.clear();
            block.len = SplitTextLines(block.data, n, pos + n == file.size(), MAX_CHARS, false,
                                       spans.data(), spans.size(), count);
            if (block.len == 0)
                break;
            block.spans.assign(spans.begin(), spans.begin() + static_cast<long>(count));
        }
        pos += block.len;
        blocks.push_back(std::move(block));
    }
    return blocks;
}

// Processor time of this thread: on a busy machine, the time that other programs take the
// processor away is not counted.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Seconds(double from) {
    return ThreadSeconds() - from;
}

#if defined(KAVEL_HYPERSCAN)
// Counts each line that holds a match once, as the Hyperscan reference prints it.
struct CHsCount {
    const char* text;
    size_t size;
    size_t next = 0;
    size_t lines = 0;
};

int OnHsMatch(unsigned, unsigned long long, unsigned long long to, unsigned, void* context) {
    auto& count = *static_cast<CHsCount*>(context);
    const size_t last = static_cast<size_t>(to) - 1;
    if (last < count.next)
        return 0;
    const void* lf = std::memchr(count.text + last, '\n', count.size - last);
    count.next =
        lf ? static_cast<size_t>(static_cast<const char*>(lf) - count.text) + 1 : count.size;
    ++count.lines;
    return 0;
}
#endif

} // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    int only = -1; // every path
    int arg = 1;
    // --describe STRINGS: the path the strings take, and nothing else.
    const bool describe = argc == 3 && std::strcmp(argv[1], "--describe") == 0;
    arg += describe;
    for (; !describe && arg + 1 < argc && std::strncmp(argv[arg], "--", 2) == 0; arg += 2) {
        if (std::strcmp(argv[arg], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[arg + 1]));
        else if (std::strcmp(argv[arg], "--path") == 0)
            only = std::atoi(argv[arg + 1]);
    }
    if (argc - arg < 2 - describe) {
        std::fprintf(stderr, "usage: kavel-matcher-bench [--rounds N] [--path 0|1|2] STRINGS "
                             "FILE...\n       kavel-matcher-bench --describe STRINGS\n");
        return 2;
    }
    static SearchStringTable table;
    if (!LoadSearchStrings(table, argv[arg])) {
        std::fprintf(stderr, "kavel-matcher-bench: cannot read %s\n", argv[arg]);
        return 2;
    }
    if (describe) {
        std::printf("%s\n", CSearchMatcher(table).Describe().c_str());
        return 0;
    }
    std::vector<std::string> files;
    size_t bytes = 0;
    for (int i = arg + 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        files.push_back(text.str());
        bytes += files.back().size();
    }
    std::vector<CBlock> blocks;
    for (const std::string& file : files)
        for (CBlock& block : SplitIntoBlocks(file))
            blocks.push_back(std::move(block));
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("%zu files, %.1f MB, %zu blocks, %d strings; best of %d rounds\n", files.size(), mb,
                blocks.size(), CountSearchStrings(table), rounds);

    const auto report = [&](const char* name, double best, size_t lines) {
        std::printf("%-22s %8.1f ms %8.0f MB/s %10zu lines\n", name, best * 1e3, mb / best, lines);
    };
    {
        double best = 1e9;
        size_t lines = 0;
        std::vector<uint64_t> bits(CLineFile::BUFFER_SIZE / 64 + 1);
        for (int r = 0; r < rounds; ++r) {
            const auto start = ThreadSeconds();
            for (const CBlock& block : blocks) {
                size_t count = 0;
                if (!block.lfBits.empty())
                    FindLfLines(block.data, block.len, MAX_CHARS, false, bits.data(), count);
                lines += count;
            }
            best = std::min(best, Seconds(start));
        }
        report("line split (LF bits)", best, lines / rounds);
    }

    CSearchMatcher matcher(table);
    std::printf("path: %s\n", matcher.Describe().c_str());
    if (matcher.Runs(CSearchMatcher::EPath::PrefilterPlain)) {
        // How many places the prefilters name, and what they cost alone.
        const CSearchMatcher::EPath chosen = matcher.Path();
        std::vector<uint32_t> positions;
        for (const auto path :
             {CSearchMatcher::EPath::PrefilterPlain, CSearchMatcher::EPath::PrefilterAvx2}) {
            if (!matcher.Runs(path))
                continue;
            matcher.SetPath(path);
            double best = 1e9;
            size_t places = 0;
            for (int r = 0; r < rounds; ++r) {
                places = 0;
                const auto start = ThreadSeconds();
                for (const CBlock& block : blocks) {
                    positions.clear();
                    matcher.FindPlaces(block.data, block.len, positions);
                    places += positions.size();
                }
                best = std::min(best, Seconds(start));
            }
            report(path == CSearchMatcher::EPath::PrefilterPlain ? "places, plain"
                                                                 : "places, vector",
                   best, places);
        }
        matcher.SetPath(chosen);
    }

    const char* const names[] = {"stream", "prefilter plain", "prefilter avx2"};
    const CSearchMatcher::EPath chosen = matcher.Path();
    for (const auto path : {CSearchMatcher::EPath::Stream, CSearchMatcher::EPath::PrefilterPlain,
                            CSearchMatcher::EPath::PrefilterAvx2}) {
        if (!matcher.Runs(path) || (only >= 0 && static_cast<int>(path) != only))
            continue;
        matcher.SetPath(path);
        double best = 1e9;
        size_t lines = 0;
        std::vector<CLineHit> hits;
        std::vector<uint8_t> lineHits(CLineFile::BUFFER_SIZE);
        for (int r = 0; r < rounds; ++r) {
            lines = 0;
            const auto start = ThreadSeconds();
            for (const CBlock& block : blocks) {
                if (!block.lfBits.empty()) {
                    hits.clear();
                    matcher.MatchLfLines(block.data, block.len, block.lfBits.data(), hits);
                    lines += hits.size();
                } else {
                    matcher.MatchLines(block.data, block.spans.data(), block.spans.size(),
                                       lineHits.data());
                    for (size_t i = 0; i < block.spans.size(); ++i)
                        lines += lineHits[i];
                }
            }
            best = std::min(best, Seconds(start));
        }
        std::string name = names[static_cast<int>(path)];
        if (path == chosen)
            name += " *";
        report(name.c_str(), best, lines);
    }

#if defined(KAVEL_HYPERSCAN)
    if (only >= 0)
        return 0;
    std::vector<std::string> strings;
    for (int i = 0; i < CountSearchStrings(table); ++i)
        strings.emplace_back(table[i], strnlen(table[i], SEARCH_STRING_SIZE));
    std::vector<const char*> patterns;
    std::vector<size_t> lengths;
    std::vector<unsigned> flags(strings.size(), HS_FLAG_CASELESS), ids;
    for (const std::string& s : strings) {
        patterns.push_back(s.data());
        lengths.push_back(s.size());
        ids.push_back(static_cast<unsigned>(ids.size()));
    }
    hs_database_t* db = nullptr;
    hs_compile_error_t* error = nullptr;
    hs_scratch_t* scratch = nullptr;
    if (hs_compile_lit_multi(patterns.data(), flags.data(), ids.data(), lengths.data(),
                             static_cast<unsigned>(strings.size()), HS_MODE_BLOCK, nullptr, &db,
                             &error) != HS_SUCCESS ||
        hs_alloc_scratch(db, &scratch) != HS_SUCCESS) {
        std::fprintf(stderr, "kavel-matcher-bench: Hyperscan failed\n");
        return 2;
    }
    double best = 1e9;
    size_t lines = 0;
    for (int r = 0; r < rounds; ++r) {
        lines = 0;
        const auto start = ThreadSeconds();
        for (const std::string& file : files) {
            CHsCount count{file.data(), file.size()};
            hs_scan(db, file.data(), static_cast<unsigned>(file.size()), 0, scratch, OnHsMatch,
                    &count);
            lines += count.lines;
        }
        best = std::min(best, Seconds(start));
    }
    report("hyperscan", best, lines);
    hs_free_scratch(scratch);
    hs_free_database(db);
#endif
    return 0;
}
