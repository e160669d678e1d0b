#include "core/report/recordtext.h"

#include "core/text/ascii.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Each byte as a record shows it: control characters but TAB, and DEL, as "?".
constexpr std::array<char, 256> SHOWN_BYTES = [] {
    std::array<char, 256> shown{};
    for (size_t b = 0; b < shown.size(); ++b) {
        const char c = static_cast<char>(b);
        shown[b] = (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F ? '?' : c;
    }
    return shown;
}();

bool StartsWithFolder(const std::string& path, const std::string& directory) {
    return !directory.empty() && path.size() > directory.size() &&
           path.compare(0, directory.size(), directory) == 0 &&
           (directory.back() == '/' || path[directory.size()] == '/');
}

// The path with "//" and "/./" made single, and whether it lies under the directory: then
// only its part below it is given.
std::string PathFrom(const std::string& path, const std::string& directory, bool& relative) {
    std::string normal;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '/' && !normal.empty() && normal.back() == '/')
            continue; // "//"
        if (path[i] == '.' && !normal.empty() && normal.back() == '/' && i + 1 < path.size() &&
            path[i + 1] == '/') {
            ++i; // "/./"
            continue;
        }
        normal += path[i];
    }
    // A ".." on the way may climb out of the directory (or a link before it lead anywhere):
    // such a path is never taken to lie under it.
    const size_t cut = directory.size() + (!directory.empty() && directory.back() == '/' ? 0 : 1);
    relative = StartsWithFolder(normal, directory) &&
               ("/" + normal.substr(cut) + "/").find("/../") == std::string::npos;
    return relative ? normal.substr(cut) : normal;
}

} // namespace

void AppendSafeText(std::string& out, std::string_view bytes) {
    const size_t at = out.size();
    out.append(bytes);
    char* c = out.data() + at;
    char* const end = out.data() + out.size();
#if defined(__SSE2__)
    const __m128i last = _mm_set1_epi8(0x1F), tab = _mm_set1_epi8('\t');
    const __m128i del = _mm_set1_epi8(0x7F), shown = _mm_set1_epi8('?');
    for (; end - c >= 16; c += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
        const __m128i control =
            _mm_andnot_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(_mm_min_epu8(v, last), v));
        const __m128i hidden = _mm_or_si128(control, _mm_cmpeq_epi8(v, del));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(c),
                         _mm_or_si128(_mm_and_si128(hidden, shown), _mm_andnot_si128(hidden, v)));
    }
#endif
    for (; c != end; ++c)
        *c = SHOWN_BYTES[static_cast<unsigned char>(*c)];
}

std::string Hex16(uint64_t value) {
    static const char HEX[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        hex[static_cast<size_t>(i)] = HEX[value & 15];
    return hex;
}

std::string FailureText(EFileOutcome outcome, const CFileCounts& counts) {
    std::string text =
        outcome == EFileOutcome::OPEN_FAILED ? "Failed to open file" : "Failed to read file";
    if (counts.pszReason == nullptr)
        return text + ".";
    return text + ": " + counts.pszReason;
}

std::string SafeText(std::string_view bytes) {
    std::string text;
    AppendSafeText(text, bytes);
    return text;
}

std::string_view RecordText(std::string_view text) {
    if (!text.empty() && text[0] == '\n')
        text.remove_prefix(1);
    return text;
}

std::string UriReference(const std::string& path, const std::string& directory) {
    static const char HEX[] = "0123456789ABCDEF";
    bool relative;
    const std::string part = PathFrom(path, directory, relative);
    std::string uri = relative || part.empty() || part[0] != '/' ? "" : "file://";
    for (const char ch : part) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsAsciiLetter(ch) || (c >= '0' && c <= '9') || ch == '-' || ch == '.' || ch == '_' ||
            ch == '~' || ch == '/') {
            uri += ch;
        } else {
            uri += '%';
            uri += HEX[c >> 4];
            uri += HEX[c & 15];
        }
    }
    return uri;
}

std::string RelativePath(const std::string& path, const std::string& name,
                         const std::string& directory) {
    bool relative;
    std::string part = PathFrom(path, directory, relative);
    return relative ? part : name;
}

std::string WorkflowEscape(std::string_view text, bool bProperty) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '%': escaped += "%25"; break;
        case '\r': escaped += "%0D"; break;
        case '\n': escaped += "%0A"; break;
        case ':': escaped += bProperty ? "%3A" : ":"; break;
        case ',': escaped += bProperty ? "%2C" : ","; break;
        default: escaped += c;
        }
    }
    return escaped;
}

uint64_t Fnv1a64(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string RuleId(std::string_view searchString) {
    return "KAVEL-" + Hex16(Fnv1a64(AsciiUpperCopy(searchString)));
}
