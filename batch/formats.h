#pragma once
// kavel-report's standard output in the format asked for: the report itself, grep's lines,
// JSON Lines, or one SARIF log. The output file always keeps the report.
//
// grep, JSON and SARIF point into the files: they speak in the files' own lines (counted by
// LF), with one record for each line that holds a search string, however many pieces of the
// report it took, and name each file as it was given (a walk's files as the folder given,
// "/" and the names below it).

#include "scan/reportsink.h"
#include "scan/searchstrings.h"
#include "scan/stopflag.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
// when the strings are loaded, before the first hit), the current directory (SARIF's URIs are
// relative to it), and the program's version.
struct CFormatContext {
    CByteOutput& out;
    const SearchStringTable& strings;
    std::string currentDirectory;
    std::string version;
};

// A format's sink. Finish comes after the run, once the tool knows why it fails (the causes of
// exit status 2, as messages, none for a run that did not fail): what a reader takes for the
// run's verdict (JSON's summary, SARIF's invocation) is written then, last.
class CFormatSink : public CReportSink {
  public:
    virtual void Finish(const std::vector<std::string>& failures) = 0;
};

std::unique_ptr<CFormatSink> MakeFormatSink(EOutputFormat format, const CFormatContext& context);

// The bytes with every control character but TAB (0x00 to 0x1F, 0x7F) shown as "?": a name or
// a line that cannot break a record or a message line, or forge one.
std::string SafeText(std::string_view bytes);
// A record's text: a piece's text without the LF that a cut CR LF left at its start.
std::string_view RecordText(std::string_view text);

// The bytes as a JSON string, quotes included: control characters escaped, bytes that are not
// UTF-8 as \u00XX (their Latin-1 reading; for messages, where that loss does not matter).
std::string JsonString(std::string_view bytes);
// A JSON member that keeps the bytes: "name":"..." when they are UTF-8, else
// "name_bytes":"..." with the bytes in standard base64.
std::string JsonBytesMember(std::string_view name, std::string_view bytes);
// The path as a SARIF URI reference: "//" and "/./" made single; relative to the directory
// when it lies under it, else a file URI; every byte but letters, digits, "-._~/"
// percent-encoded.
std::string UriReference(const std::string& path, const std::string& directory);
// FNV-1a, 64 bits.
uint64_t Fnv1a64(std::string_view bytes);
// A SARIF rule id: "KAVEL-" and 16 lower-case hex digits of Fnv1a64 of the string with its
// ASCII letters upper-cased, so that strings that match alike have one id in any strings file.
std::string RuleId(std::string_view searchString);
