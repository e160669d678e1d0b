// Usage: kavel-corpus [--lf] DIR [MEGABYTES [FILES [SEED]]]
//            (default 400 MB in 3000 files, seed 2000)
//        kavel-corpus [--lf] --single FILE MEGABYTES [SEED]
//        kavel-corpus --read FILE...   (reads the files alone, as the scan does: the baseline)
//        kavel-corpus --crlf-copy FROM TO < NAMES   (the text files named, copied with CR LF)
//        kavel-corpus --flat DIR COUNT   (a folder of COUNT empty files)
//        kavel-corpus --deep DIR LEVELS  (folders d/d/... LEVELS deep, a file at the bottom)
// Writes a seeded corpus of code-like text with CR LF line ends, or LF with --lf (C and COBOL
// flavoured, no line longer than 200 bytes, plain ASCII, about 5% of lines holding a
// date-related string of examples/y2k200.str) and prints the written file names, one a line.
// The same arguments always give the same bytes.
#include "core/text/ascii.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* g_pszLineEnd = "\r\n";

// splitmix64: small, fast and the same on every platform.
class CRandom {
  public:
    explicit CRandom(uint64_t seed) : m_nState(seed) {}
    uint64_t Next() {
        uint64_t z = (m_nState += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    // A number in [0, n).
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
    template <size_t N> const char* Pick(const char* const (&items)[N]) { return items[Below(N)]; }

  private:
    uint64_t m_nState;
};

// Words that hold none of the sample strings.
const char* const WORDS[] = {
    "count",   "total",  "index",   "buffer",   "value",   "result",  "status", "record", "amount",
    "balance", "price",  "order",   "item",     "name",    "code",    "flag",   "limit",  "offset",
    "length",  "size",   "node",    "list",     "table",   "entry",   "key",    "rate",   "tax",
    "sum",     "page",   "file",    "ptr",      "next",    "head",    "tail",   "queue",  "lock",
    "mode",    "level",  "width",   "height",   "color",   "text",    "msg",    "error",  "retry",
    "block",   "region", "branch",  "invoice",  "vendor",  "payment", "ledger", "credit", "debit",
    "report",  "header", "footer",  "detail",   "group",   "client",  "server", "socket", "handle",
    "state",   "event",  "input",   "output",   "format",  "cursor",  "column", "field",  "match",
    "weight",  "factor", "scale",   "delta",    "owner",   "parent",  "child",  "source", "target",
    "origin",  "target", "account", "customer", "product", "stock",   "unit"};

const char* const TYPES[] = {"int", "long", "char", "unsigned", "double", "size_t", "short"};
const char* const NUMBERS[] = {"0",   "1",   "2",   "4",    "8",    "10", "16", "32", "64", "100",
                               "128", "255", "256", "1024", "4096", "7",  "3",  "42", "80", "12"};
const char* const OPS[] = {"+", "-", "*", "/", "%", "&", "|", "^"};
const char* const CMPS[] = {"<", ">", "<=", ">=", "==", "!="};

// Lines that hold a date-related string, as real programs do.
const char* const C_HITS[] = {
    "    t = localtime(&now);",
    "    if (yy < 50) yy += 100;   /* two-digit year */",
    "    strftime(buf, sizeof buf, \"%d/%m/%y\", tm);",
    "    rec.expiry = base + 365;",
    "    GetSystemTime(&st);",
    "    now = time(NULL);",
    "    tm.tm_mday = 1;",
    "    sprintf(out, \"%02d/%02d/%02d\", m, d, y);",
    "    if (is_leap(y)) days++;",
    "    /* Y2K: widen the century field */",
    "    stamp = mktime(&tm);",
    "    long julian = to_julian(d);",
    "    SELECT SYSDATE FROM DUAL;",
    "    if (end > 9999) end = 9999;",
    "    ts = CURRENT_TIMESTAMP;",
    "    diff = difftime(b, a);",
};
const char* const COBOL_HITS[] = {
    "           ACCEPT WS-RUN-DATE FROM DATE.",
    "       05  WS-YY               PIC 99.",
    "           MOVE FUNCTION CURRENT-DATE TO WS-NOW.",
    "           IF WS-YEAR < 50 ADD 2000 TO WS-YEAR.",
    "       05  WS-AMOUNT           PIC S9(7)V99 COMP-3.",
    "       05  IN-YYMMDD           PIC 9(6).",
    "           PERFORM CHECK-LEAP-YEAR.",
    "       DATE-WRITTEN. 12/31/99.",
    "           MOVE 1900 TO WS-BASE.",
    "       05  OUT-CCYYMMDD        PIC 9(8).",
};

void AppendWord(std::string& line, CRandom& random, bool upper) {
    std::string word = random.Pick(WORDS);
    if (random.Below(3) == 0) {
        word += upper ? "-" : "_";
        word += random.Pick(WORDS);
    }
    line += upper ? AsciiUpperCopy(word) : word;
}

void CLine(std::string& line, CRandom& random) {
    if (random.Below(100) < 4) {
        line += random.Pick(C_HITS);
        return;
    }
    const char* indent = random.Below(3) == 0 ? "        " : "    ";
    switch (random.Below(12)) {
    case 0: return; // empty line
    case 1: line += "    }"; return;
    case 2:
        line += indent;
        line += random.Pick(TYPES);
        line += ' ';
        AppendWord(line, random, false);
        line += " = ";
        line += random.Pick(NUMBERS);
        line += ';';
        return;
    case 3:
        line += indent;
        line += "if (";
        AppendWord(line, random, false);
        line += ' ';
        line += random.Pick(CMPS);
        line += ' ';
        line += random.Pick(NUMBERS);
        line += ") {";
        return;
    case 4:
        line += indent;
        line += "/*";
        for (size_t n = 3 + random.Below(10); n > 0; --n) {
            line += ' ';
            AppendWord(line, random, false);
        }
        line += " */";
        return;
    case 5:
        line += indent;
        line += "return ";
        AppendWord(line, random, false);
        line += ';';
        return;
    default:
        line += indent;
        AppendWord(line, random, false);
        line += " = ";
        AppendWord(line, random, false);
        for (size_t n = random.Below(4); n > 0; --n) {
            line += ' ';
            line += random.Pick(OPS);
            line += ' ';
            if (random.Below(2))
                line += random.Pick(NUMBERS);
            else
                AppendWord(line, random, false);
        }
        line += ';';
        return;
    }
}

void CobolLine(std::string& line, CRandom& random) {
    if (random.Below(100) < 5) {
        line += random.Pick(COBOL_HITS);
        return;
    }
    switch (random.Below(6)) {
    case 0:
        line += "       05  ";
        AppendWord(line, random, true);
        line.resize(std::max<size_t>(line.size(), 32), ' ');
        line += "PIC X(";
        line += random.Pick(NUMBERS);
        line += ").";
        return;
    case 1:
        line += "           PERFORM ";
        AppendWord(line, random, true);
        line += "-PARA.";
        return;
    case 2:
        line += "      *";
        for (size_t n = 3 + random.Below(8); n > 0; --n) {
            line += ' ';
            AppendWord(line, random, true);
        }
        return;
    default:
        line += "           MOVE ";
        AppendWord(line, random, true);
        line += " TO ";
        AppendWord(line, random, true);
        line += '.';
        return;
    }
}

// Writes about bytes bytes of one flavour of code to path.
bool WriteFile(const std::string& path, uint64_t bytes, bool cobol, CRandom& random) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "kavel-corpus: cannot create %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    std::string chunk, line;
    uint64_t written = 0;
    while (written < bytes) {
        chunk.clear();
        while (chunk.size() < 64 * 1024 && written + chunk.size() < bytes) {
            line.clear();
            (cobol ? CobolLine : CLine)(line, random);
            chunk += line;
            chunk += g_pszLineEnd;
        }
        written += chunk.size();
        if (std::fwrite(chunk.data(), 1, chunk.size(), out) != chunk.size())
            break;
    }
    if (std::fclose(out) != 0 || written < bytes) {
        std::fprintf(stderr, "kavel-corpus: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

uint64_t Number(const char* text, uint64_t fallback) {
    if (text == nullptr)
        return fallback;
    char* end = nullptr;
    unsigned long long n = std::strtoull(text, &end, 10);
    if (*text == '\0' || *end != '\0') {
        std::fprintf(stderr, "kavel-corpus: not a number: %s\n", text);
        std::exit(2);
    }
    return n;
}

// Reads every file to its end in reads of 128 KiB; prints the bytes read.
int ReadFiles(int count, char** names) {
    constexpr size_t SIZE = 128 * 1024;
    std::unique_ptr<char[]> buffer(new char[SIZE]);
    uint64_t total = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = ::open(names[i], O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "kavel-corpus: cannot open %s\n", names[i]);
            return 1;
        }
        ssize_t got;
        while ((got = ::read(fd, buffer.get(), SIZE)) > 0)
            total += static_cast<uint64_t>(got);
        ::close(fd);
    }
    std::printf("%llu bytes\n", static_cast<unsigned long long>(total));
    return 0;
}

// Reads file names (relative to from, one a line) from standard input and keeps the text files:
// each without a NUL byte is copied below to with every LF that follows no CR preceded by one,
// and its name printed. Folders are made as needed.
int CopyAsCrLf(const std::string& from, const std::string& to) {
    std::string name;
    for (int c; (c = std::getchar()) != EOF;) {
        if (c != '\n') {
            name.push_back(static_cast<char>(c));
            continue;
        }
        std::FILE* in = std::fopen((from + "/" + name).c_str(), "rb");
        if (in == nullptr)
            return std::fprintf(stderr, "kavel-corpus: cannot open %s\n", name.c_str()), 1;
        std::string text;
        char buffer[65536];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
            text.append(buffer, got);
        std::fclose(in);
        if (text.find('\0') == std::string::npos) {
            std::string copy;
            copy.reserve(text.size() + text.size() / 16);
            for (size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
                    copy.push_back('\r');
                copy.push_back(text[i]);
            }
            const std::string path = to + "/" + name;
            for (size_t slash = path.find('/', to.size() + 1); slash != std::string::npos;
                 slash = path.find('/', slash + 1))
                ::mkdir(path.substr(0, slash).c_str(), 0777);
            std::FILE* out = std::fopen(path.c_str(), "wb");
            if (out == nullptr || std::fwrite(copy.data(), 1, copy.size(), out) != copy.size() ||
                std::fclose(out) != 0)
                return std::fprintf(stderr, "kavel-corpus: cannot write %s\n", path.c_str()), 1;
            std::printf("%s\n", name.c_str());
        }
        name.clear();
    }
    return 0;
}

// A folder of count empty files, or a chain of levels folders with one file at the bottom: the
// walk's breadth and depth.
int MakeFlat(const char* dir, size_t count) {
    ::mkdir(dir, 0777);
    const int at = ::open(dir, O_RDONLY | O_DIRECTORY);
    for (size_t i = 0; at >= 0 && i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file-%08zu.c", i);
        const int fd = ::openat(at, name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return std::fprintf(stderr, "kavel-corpus: cannot create %s/%s\n", dir, name), 1;
        ::close(fd);
    }
    return at < 0 ? 1 : (::close(at), 0);
}

int MakeDeep(const char* dir, size_t levels) {
    ::mkdir(dir, 0777);
    int at = ::open(dir, O_RDONLY | O_DIRECTORY);
    for (size_t i = 0; at >= 0 && i < levels; ++i) {
        ::mkdirat(at, "d", 0777);
        const int next = ::openat(at, "d", O_RDONLY | O_DIRECTORY);
        ::close(at);
        at = next;
    }
    if (at < 0)
        return std::fprintf(stderr, "kavel-corpus: cannot make %s\n", dir), 1;
    const int fd = ::openat(at, "bottom.c", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && ::write(fd, "year 1999\n", 10) == 10;
    ::close(fd);
    ::close(at);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--flat") == 0)
        return MakeFlat(argv[2], Number(argv[3], 0));
    if (argc == 4 && std::strcmp(argv[1], "--deep") == 0)
        return MakeDeep(argv[2], Number(argv[3], 0));
    if (argc >= 2 && std::strcmp(argv[1], "--lf") == 0) {
        g_pszLineEnd = "\n";
        --argc;
        ++argv;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--read") == 0)
        return ReadFiles(argc - 2, argv + 2);
    if (argc == 4 && std::strcmp(argv[1], "--crlf-copy") == 0) {
        ::mkdir(argv[3], 0777);
        return CopyAsCrLf(argv[2], argv[3]);
    }
    if (argc >= 2 && std::strcmp(argv[1], "--single") == 0) {
        if (argc < 4)
            return std::fprintf(stderr,
                                "usage: kavel-corpus [--lf] --single FILE MEGABYTES [SEED]\n"),
                   2;
        CRandom random(Number(argc > 4 ? argv[4] : nullptr, 2000));
        if (!WriteFile(argv[2], Number(argv[3], 0) << 20, false, random))
            return 1;
        std::printf("%s\n", argv[2]);
        return 0;
    }
    if (argc < 2 || argv[1][0] == '-')
        return std::fprintf(stderr, "usage: kavel-corpus [--lf] DIR [MEGABYTES [FILES [SEED]]]\n"),
               2;
    const std::string dir = argv[1];
    const uint64_t total = Number(argc > 2 ? argv[2] : nullptr, 400) << 20;
    const size_t files = std::max<size_t>(1, Number(argc > 3 ? argv[3] : nullptr, 3000));
    CRandom random(Number(argc > 4 ? argv[4] : nullptr, 2000));

    // Sizes spread over two orders of magnitude, scaled to the total.
    std::vector<double> weights(files);
    double sum = 0;
    for (double& w : weights) {
        w = 1.0 + static_cast<double>(random.Below(1000)) * (random.Below(8) == 0 ? 0.1 : 0.003);
        sum += w;
    }
    ::mkdir(dir.c_str(), 0777);
    for (size_t i = 0; i < files; ++i) {
        const std::string sub = dir + "/d" + std::to_string(i / 250);
        ::mkdir(sub.c_str(), 0777);
        const bool cobol = random.Below(4) == 0;
        char name[32];
        std::snprintf(name, sizeof name, "/f%05zu.%s", i, cobol ? "cob" : "c");
        const std::string path = sub + name;
        if (!WriteFile(path, static_cast<uint64_t>(total * weights[i] / sum), cobol, random))
            return 1;
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
