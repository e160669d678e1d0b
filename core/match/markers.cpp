#include "core/match/markers.h"
#include "core/lines/cpufeatures.h"

#include "core/text/ascii.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool IsMarkerWordAt(const char* p) {
    for (size_t i = 0; i < MARKER_WORD.size(); ++i)
        if (AsciiLower(p[i]) != MARKER_WORD[i])
            return false;
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

namespace {

#if defined(__x86_64__)
// The candidates 32 bytes at a time, as below; returns where it stopped.
__attribute__((target("avx2"))) size_t FindMarkerWordsAvx2(const char* data, size_t len,
                                                           std::vector<size_t>& offsets) {
    const __m256i k = _mm256_set1_epi8('k'), dash = _mm256_set1_epi8('-');
    const __m256i ii = _mm256_set1_epi8('i'), lower = _mm256_set1_epi8(0x20);
    size_t i = 0;
    for (; i + 6 + 32 <= len; i += 32) {
        const __m256i at0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        const __m256i at5 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 5));
        const __m256i at6 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 6));
        const __m256i m =
            _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(at0, lower), k),
                                              _mm256_cmpeq_epi8(at5, dash)),
                             _mm256_cmpeq_epi8(_mm256_or_si256(at6, lower), ii));
        for (unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(m)); bits != 0;
             bits &= bits - 1) {
            const size_t found = i + static_cast<size_t>(__builtin_ctz(bits));
            if (found + MARKER_WORD.size() <= len && IsMarkerWordAt(data + found))
                offsets.push_back(found);
        }
    }
    return i;
}
#endif

} // namespace

void FindMarkerWords(const char* data, size_t len, std::vector<size_t>& offsets) {
    const size_t word = MARKER_WORD.size();
    if (len < word)
        return;
    size_t i = 0;
#if defined(__x86_64__)
    if (CpuFeatures().bAvx2)
        i = FindMarkerWordsAvx2(data, len, offsets);
#endif
#if defined(__SSE2__)
    // Three bytes tell a candidate: "k" at 0, "-" at 5 and "i" at 6 (letters in either case).
    const __m128i k = _mm_set1_epi8('k'), dash = _mm_set1_epi8('-'), ii = _mm_set1_epi8('i');
    const __m128i lower = _mm_set1_epi8(0x20);
    for (; i + 6 + 16 <= len; i += 16) { // what the wider search left
        const auto at = [&](size_t o) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + o));
        };
        const __m128i m = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(at(0), lower), k),
                                                      _mm_cmpeq_epi8(at(5), dash)),
                                        _mm_cmpeq_epi8(_mm_or_si128(at(6), lower), ii));
        for (unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(m)); bits != 0;
             bits &= bits - 1) {
            const size_t at0 = i + static_cast<size_t>(__builtin_ctz(bits));
            if (at0 + word <= len && IsMarkerWordAt(data + at0))
                offsets.push_back(at0);
        }
    }
#endif
    for (; i + word <= len; ++i)
        if (AsciiLower(data[i]) == 'k' && IsMarkerWordAt(data + i))
            offsets.push_back(i);
}

std::vector<CMarker> ParseMarkers(std::string_view text) {
    static constexpr std::string_view NEXT_LINE = "-next-line";
    std::vector<CMarker> markers;
    for (size_t at = 0; at + MARKER_WORD.size() <= text.size();) {
        if (!IsMarkerWordAt(text.data() + at)) {
            ++at;
            continue;
        }
        CMarker marker;
        marker.nBegin = at;
        size_t end = at + MARKER_WORD.size();
        if (AsciiEqualNoCase(text.substr(end, NEXT_LINE.size()), NEXT_LINE)) { // the longer wins
            marker.bNextLine = true;
            end += NEXT_LINE.size();
        }
        size_t colon = end;
        while (colon < text.size() && IsBlank(text[colon]))
            ++colon;
        if (colon < text.size() && text[colon] == ':') {
            marker.bList = true;
            const size_t from = colon + 1;
            size_t to = text.size();
            for (const std::string_view close : {"*/", "-->"})
                to = std::min(to, text.find(close, from));
            for (size_t item = from; item <= to;) {
                size_t comma = text.find(',', item);
                if (comma == std::string_view::npos || comma > to)
                    comma = to;
                std::string_view name = text.substr(item, comma - item);
                while (!name.empty() && IsBlank(name.front()))
                    name.remove_prefix(1);
                while (!name.empty() && (IsBlank(name.back()) || name.back() == '\r'))
                    name.remove_suffix(1);
                if (!name.empty())
                    marker.items.emplace_back(name);
                item = comma + 1;
            }
            end = to;
        }
        marker.nEnd = end;
        markers.push_back(std::move(marker));
        at = end > at ? end : at + 1;
    }
    return markers;
}
