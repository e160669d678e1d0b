// The patch reader and the marker parser on any bytes (a repository's names and lines are
// anyone's): the reader gives the same files whatever the pieces the patch comes in, and
// spans that are ascending and apart; each marker's span lies in its line, in order.
#include "core/match/markers.h"
#include "core/run/gitchanges.h"
#include "fuzz/memfile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool SameFiles(const std::vector<CDiffFile>& a, const std::vector<CDiffFile>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].oldName != b[i].oldName ||
            a[i].bDeleted != b[i].bDeleted || a[i].bBinary != b[i].bBinary ||
            a[i].bSkip != b[i].bSkip || a[i].lines.spans != b[i].lines.spans)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CDiffReader whole;
    whole.Feed(bytes);
    const std::vector<CDiffFile> files = whole.End();
    // Pieces whose sizes the first byte picks.
    const size_t piece = size > 0 ? 1 + data[0] % 13 : 1;
    CDiffReader pieces;
    for (size_t at = 0; at < size; at += piece)
        pieces.Feed(bytes.substr(at, piece));
    FUZZ_CHECK(SameFiles(files, pieces.End()));
    for (const CDiffFile& file : files) {
        long last = 0;
        for (const auto& [first, end] : file.lines.spans) {
            FUZZ_CHECK(first >= 1 && end >= first && (last == 0 || first > last + 1));
            last = end;
        }
    }

    // Each line of the input as a line of a checked file.
    for (size_t start = 0; start <= size;) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos)
            end = size;
        const std::string_view line = bytes.substr(start, end - start);
        size_t after = 0;
        for (const CMarker& marker : ParseMarkers(line)) {
            FUZZ_CHECK(marker.nBegin >= after && marker.nBegin < marker.nEnd &&
                       marker.nEnd <= line.size());
            FUZZ_CHECK(marker.bList || marker.items.empty());
            after = marker.nEnd;
        }
        start = end + 1;
    }
    return 0;
}
