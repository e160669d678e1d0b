// kavel-hsref STRINGS FILE...: a reference search built on Hyperscan, for bench/run to time
// `kavel-report --jobs 1` against. It prints each line of the FILEs that holds one of the search
// strings (ASCII letter case ignored) once, in order, as "path:line:text" like
// `kavel-report --format grep`, the path as given.
//
// It is meant for the benchmark corpora and reads the common case the way kavel-report does: the
// strings file in LF or CR LF lines, empty lines skipped, a NUL ending a string, the first 200
// strings, each cut to 30 bytes; a checked line ends at LF, a CR before the LF is not text. It
// leaves out what those corpora never hold: kavel-report checks a line longer than 1024 bytes in
// pieces and sees a line only up to a NUL, and a string ending in a lone CR matches here the CR of
// a CR LF.
// Exit status as kavel-report's: 0 no line found, 1 some found, 2 something failed.
#include <hs.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr size_t kMaxStrings = 200;
constexpr size_t kMaxStringBytes = 30;
constexpr size_t kOutputFlush = 1 << 20;

// Reads a whole file into buf (kept between files, so it grows to the largest file once).
bool ReadFile(const char* path, std::vector<char>& buf, size_t& size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size >= 0 && buf.size() <= size_t(st.st_size))
        buf.resize(size_t(st.st_size) + 1); // the room for the read that sees the end
    size = 0;
    for (;;) {
        if (size == buf.size())
            buf.resize(std::max<size_t>(buf.size() * 2, 1 << 16));
        ssize_t n = read(fd, buf.data() + size, buf.size() - size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        size += size_t(n);
    }
    close(fd);
    return true;
}

std::vector<std::string> ParseStrings(const char* text, size_t size) {
    std::vector<std::string> strings;
    size_t pos = 0;
    while (pos < size && strings.size() < kMaxStrings) {
        const char* start = text + pos;
        auto* lf = static_cast<const char*>(std::memchr(start, '\n', size - pos));
        size_t len = lf ? size_t(lf - start) : size - pos;
        pos += len + 1;
        if (lf && len > 0 && start[len - 1] == '\r')
            --len;
        len = std::min(len, kMaxStringBytes);
        if (auto* nul = static_cast<const char*>(std::memchr(start, '\0', len)))
            len = size_t(nul - start);
        if (len > 0)
            strings.emplace_back(start, len);
    }
    return strings;
}

size_t CountLineFeeds(const char* p, const char* end) {
    size_t n = 0;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end - p >= 16; p += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        n += size_t(std::popcount(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))));
    }
#endif
    for (; p < end; ++p)
        n += *p == '\n';
    return n;
}

class Output {
  public:
    Output() { buf_.reserve(kOutputFlush + 4096); }
    void Append(const char* p, size_t n) {
        buf_.insert(buf_.end(), p, p + n);
        if (buf_.size() >= kOutputFlush)
            Flush();
    }
    void Append(char c) { buf_.push_back(c); }
    void AppendNumber(uint64_t v) {
        char digits[24];
        auto r = std::to_chars(digits, digits + sizeof digits, v);
        buf_.insert(buf_.end(), digits, r.ptr);
    }
    bool Flush() {
        size_t done = 0;
        while (done < buf_.size() && ok_) {
            ssize_t n = write(STDOUT_FILENO, buf_.data() + done, buf_.size() - done);
            if (n < 0 && errno != EINTR)
                ok_ = false;
            else if (n > 0)
                done += size_t(n);
        }
        buf_.clear();
        return ok_;
    }

  private:
    std::vector<char> buf_;
    bool ok_ = true;
};

// One file's scan. Matches come in order of their end; next is the start of the first line not
// yet passed (after the last line printed), and lineNumber its number, so each match counts
// only the line feeds since the last printed line.
struct FileScan {
    const char* text;
    size_t size;
    const char* path;
    size_t pathLength;
    Output* out;
    size_t next = 0;
    uint64_t lineNumber = 1;
    uint64_t hits = 0;
};

int OnMatch(unsigned, unsigned long long, unsigned long long to, unsigned, void* context) {
    auto& scan = *static_cast<FileScan*>(context);
    size_t last = size_t(to) - 1; // the match's last byte; no string holds a LF
    if (last < scan.next)
        return 0; // on a line already printed
    const char* text = scan.text;
    auto* before = static_cast<const char*>(memrchr(text + scan.next, '\n', last - scan.next));
    size_t start = before ? size_t(before - text) + 1 : scan.next;
    scan.lineNumber += CountLineFeeds(text + scan.next, text + start);
    auto* lf = static_cast<const char*>(std::memchr(text + last, '\n', scan.size - last));
    size_t end = lf ? size_t(lf - text) : scan.size;
    size_t textEnd = lf && end > start && text[end - 1] == '\r' ? end - 1 : end;

    Output& out = *scan.out;
    out.Append(scan.path, scan.pathLength);
    out.Append(':');
    out.AppendNumber(scan.lineNumber);
    out.Append(':');
    out.Append(text + start, textEnd - start);
    out.Append('\n');
    ++scan.hits;
    scan.next = lf ? end + 1 : scan.size;
    ++scan.lineNumber;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kavel-hsref STRINGS FILE...\n");
        return 2;
    }
    std::vector<char> buf(1 << 20);
    size_t size = 0;
    if (!ReadFile(argv[1], buf, size)) {
        std::fprintf(stderr, "kavel-hsref: cannot read %s\n", argv[1]);
        return 2;
    }
    std::vector<std::string> strings = ParseStrings(buf.data(), size);
    if (strings.empty()) {
        std::fprintf(stderr, "kavel-hsref: no search strings in %s\n", argv[1]);
        return 2;
    }

    std::vector<const char*> patterns;
    std::vector<size_t> lengths;
    std::vector<unsigned> flags(strings.size(), HS_FLAG_CASELESS);
    std::vector<unsigned> ids;
    for (const std::string& s : strings) {
        patterns.push_back(s.data());
        lengths.push_back(s.size());
        ids.push_back(unsigned(ids.size()));
    }
    hs_database_t* db = nullptr;
    hs_compile_error_t* error = nullptr;
    if (hs_compile_lit_multi(patterns.data(), flags.data(), ids.data(), lengths.data(),
                             unsigned(strings.size()), HS_MODE_BLOCK, nullptr, &db,
                             &error) != HS_SUCCESS) {
        std::fprintf(stderr, "kavel-hsref: %s\n", error ? error->message : "compile failed");
        hs_free_compile_error(error);
        return 2;
    }
    hs_scratch_t* scratch = nullptr;
    if (hs_alloc_scratch(db, &scratch) != HS_SUCCESS) {
        std::fprintf(stderr, "kavel-hsref: cannot allocate scratch space\n");
        return 2;
    }

    Output out;
    bool failed = false;
    uint64_t hits = 0;
    for (int i = 2; i < argc; ++i) {
        if (!ReadFile(argv[i], buf, size)) {
            std::fprintf(stderr, "kavel-hsref: cannot read %s\n", argv[i]);
            failed = true;
            continue;
        }
        if (size > UINT32_MAX) { // block mode takes less than 4 GB at a time
            std::fprintf(stderr, "kavel-hsref: %s is too large\n", argv[i]);
            failed = true;
            continue;
        }
        FileScan scan{buf.data(), size, argv[i], std::strlen(argv[i]), &out};
        if (hs_scan(db, buf.data(), unsigned(size), 0, scratch, OnMatch, &scan) != HS_SUCCESS) {
            std::fprintf(stderr, "kavel-hsref: scan failed in %s\n", argv[i]);
            failed = true;
        }
        hits += scan.hits;
    }
    if (!out.Flush()) {
        std::fprintf(stderr, "kavel-hsref: cannot write the output\n");
        failed = true;
    }
    hs_free_scratch(scratch);
    hs_free_database(db);
    return failed ? 2 : hits > 0 ? 1 : 0;
}
