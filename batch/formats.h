#pragma once
// kavel-report's standard output in the format asked for: the report itself, grep's lines,
// JSON Lines, or one SARIF log. The output file always keeps the report.

#include "scan/reportsink.h"
#include "scan/searchstrings.h"
#include "scan/stopflag.h"

#include <memory>
#include <string>
#include <string_view>

enum class EOutputFormat { REPORT, GREP, JSON, SARIF };

// The format named report, grep, json or sarif; false for any other name.
bool ParseOutputFormat(std::string_view name, EOutputFormat& format);

// Bytes for a descriptor, gathered and written in large pieces; after a stop signal a reader
// that takes nothing for a second counts as a failure.
class CByteOutput {
  public:
    CByteOutput(int fd, const StopFlag* stopSignal);
    ~CByteOutput() { Flush(); }
    void Append(std::string_view bytes) {
        m_pending.append(bytes);
        if (m_pending.size() >= BUFFER)
            Flush();
    }
    std::string& Pending() { return m_pending; } // appended to directly; Append flushes
    void Flush();
    bool Failed() const { return m_bFailed; }

  private:
    static constexpr size_t BUFFER = 64 * 1024;
    int m_fd;
    const StopFlag* m_pStopSignal;
    std::string m_pending;
    bool m_bFailed = false;
};

// What a format sink needs beyond the events: where it writes, the table of the run (filled
// when the strings are loaded, before the first hit), the current directory (names under it
// are shown relative to it), the program's version, and where messages about files go.
struct CFormatContext {
    CByteOutput& out;
    CByteOutput& messages;
    const SearchStringTable& strings;
    std::string currentDirectory;
    std::string version;
};

std::unique_ptr<CReportSink> MakeFormatSink(EOutputFormat format, const CFormatContext& context);

// The bytes as a JSON string, quotes included: bytes that are not UTF-8 as \u00XX (their
// Latin-1 reading), control characters escaped.
std::string JsonString(std::string_view bytes);
// The path as a URI reference: relative to the directory when it lies under it, else a file
// URI; every byte but letters, digits, "-._~/" percent-encoded.
std::string UriReference(const std::string& path, const std::string& directory);
// The path relative to the directory when it lies under it, else as it is.
std::string RelativePath(const std::string& path, const std::string& directory);
