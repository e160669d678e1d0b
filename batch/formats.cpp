#include "batch/formats.h"

#include "scan/linefile.h"
#include "toolkit/ascii.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace {

void AppendNumber(std::string& text, long n) {
    char digits[24];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

// The length of the valid UTF-8 sequence at the start of bytes (1 to 4), or 0.
size_t Utf8Length(std::string_view bytes) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char c = b(0);
    size_t n;
    unsigned lo = 0x80, hi = 0xBF;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = c == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() < n || b(1) < lo || b(1) > hi)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if (b(i) < 0x80 || b(i) > 0xBF)
            return 0;
    return n;
}

bool StartsWithFolder(const std::string& path, const std::string& directory) {
    return !directory.empty() && path.size() > directory.size() &&
           path.compare(0, directory.size(), directory) == 0 &&
           (directory.back() == '/' || path[directory.size()] == '/');
}

// The "report" format: the report's bytes, as the output file holds them.
class CReportFormat : public CTextReportSink {
  public:
    explicit CReportFormat(CByteOutput& out) : m_out(out) {}
    void RunEnd(bool bCancelled) override {
        CTextReportSink::RunEnd(bCancelled);
        m_out.Flush();
    }
    void Flush() override { m_out.Flush(); }

  protected:
    void WriteLine(std::string_view text) override {
        m_out.Pending().append(text);
        m_out.Append("\r\n");
    }
    void WriteHit(long lineNumber, std::string_view text) override {
        char heading[HIT_HEADING_MAX];
        m_out.Pending().append(heading, FormatHitHeading(lineNumber, heading));
        m_out.Pending().append("\r\n  >");
        WriteLine(text);
    }

  private:
    CByteOutput& m_out;
};

// The sinks of the other formats: header lines are not theirs; a file that failed and an
// error of the run go to the messages (standard error) unless the format holds them.
class CFormatSink : public CReportSink {
  public:
    explicit CFormatSink(const CFormatContext& context) : m_context(context) {}
    void Line(std::string_view) override {}
    void Error(std::string_view text) override { Message(text); }
    void FileBegin(const std::string& path) override { m_strPath = path; }
    void FileEnd(EFileOutcome outcome, long, long) override {
        if (IsFailure(outcome))
            Message(RelativePath(m_strPath, m_context.currentDirectory) +
                    (outcome == EFileOutcome::OPEN_FAILED ? ": Failed to open file."
                                                          : ": Failed to read file."));
    }
    void RunEnd(bool) override { m_context.out.Flush(); }
    void Flush() override { m_context.out.Flush(); }

  protected:
    // A line on standard error, as the tool's messages are.
    void Message(std::string_view text) {
        m_context.messages.Append("kavel-report: ");
        m_context.messages.Append(text);
        m_context.messages.Append("\n");
        m_context.messages.Flush();
    }

    const CFormatContext& m_context;
    std::string m_strPath;
};

// path:line:text, one line per hit, as grep -n prints it.
class CGrepFormat : public CFormatSink {
  public:
    using CFormatSink::CFormatSink;
    void FileBegin(const std::string& path) override {
        CFormatSink::FileBegin(path);
        m_strShown = RelativePath(path, m_context.currentDirectory);
    }
    void Hit(long lineNumber, std::string_view text) override {
        std::string& out = m_context.out.Pending();
        out.append(m_strShown);
        out.push_back(':');
        AppendNumber(out, lineNumber);
        out.push_back(':');
        out.append(text);
        m_context.out.Append("\n");
    }

  private:
    std::string m_strShown;
};

// JSON Lines: an object per hit, per file, per error, and a summary at the end.
class CJsonFormat : public CFormatSink {
  public:
    using CFormatSink::CFormatSink;
    void Error(std::string_view text) override {
        m_context.out.Append("{\"type\":\"error\",\"message\":" + JsonString(text) + "}\n");
    }
    void FileBegin(const std::string& path) override {
        CFormatSink::FileBegin(path);
        m_strPathJson = JsonString(path);
    }
    void Hit(long lineNumber, std::string_view text) override {
        std::string& out = m_context.out.Pending();
        out.append("{\"type\":\"hit\",\"path\":");
        out.append(m_strPathJson);
        out.append(",\"line\":");
        AppendNumber(out, lineNumber);
        out.append(",\"text\":");
        out.append(JsonString(text));
        m_context.out.Append("}\n");
    }
    void FileEnd(EFileOutcome outcome, long lines, long problems) override {
        CFormatSink::FileEnd(outcome, lines, problems);
        ++m_nFiles;
        m_nFailed += IsFailure(outcome);
        m_nLines += lines;
        m_nProblems += problems;
        const char* status = outcome == EFileOutcome::OPEN_FAILED   ? "failed-open"
                             : outcome == EFileOutcome::READ_FAILED ? "failed-read"
                                                                    : "ok";
        std::string& out = m_context.out.Pending();
        out.append("{\"type\":\"file\",\"path\":");
        out.append(m_strPathJson);
        out.append(",\"lines\":");
        AppendNumber(out, lines);
        out.append(",\"problems\":");
        AppendNumber(out, problems);
        out.append(",\"status\":\"");
        out.append(status);
        m_context.out.Append("\"}\n");
    }
    void RunEnd(bool bCancelled) override {
        std::string summary = "{\"type\":\"summary\",\"files\":";
        AppendNumber(summary, m_nFiles);
        summary += ",\"failed\":";
        AppendNumber(summary, m_nFailed);
        summary += ",\"lines\":";
        AppendNumber(summary, m_nLines);
        summary += ",\"problems\":";
        AppendNumber(summary, m_nProblems);
        summary += bCancelled ? ",\"cancelled\":true}\n" : ",\"cancelled\":false}\n";
        m_context.out.Append(summary);
        CFormatSink::RunEnd(bCancelled);
    }

  private:
    std::string m_strPathJson;
    long m_nFiles = 0, m_nFailed = 0, m_nLines = 0, m_nProblems = 0;
};

// One SARIF 2.1.0 log: the results as they come, then the run's invocation and the tool with
// a rule for every search string that matched.
class CSarifFormat : public CFormatSink {
  public:
    explicit CSarifFormat(const CFormatContext& context) : CFormatSink(context) {
        m_context.out.Append("{\"version\":\"2.1.0\",\"$schema\":"
                             "\"https://json.schemastore.org/sarif-2.1.0.json\","
                             "\"runs\":[{\"results\":[");
    }
    void Error(std::string_view text) override {
        Message(text);
        m_bFailed = true;
        m_notifications.push_back("{\"level\":\"error\",\"message\":{\"text\":" + JsonString(text) +
                                  "}}");
    }
    // The start of a location in the file: its physicalLocation, left open for a region.
    void FileBegin(const std::string& path) override {
        CFormatSink::FileBegin(path);
        m_strLocation = "\"physicalLocation\":{\"artifactLocation\":{\"uri\":" +
                        JsonString(UriReference(path, m_context.currentDirectory)) +
                        (HasRoot() && StartsWithFolder(path, m_context.currentDirectory)
                             ? ",\"uriBaseId\":\"SRCROOT\"}"
                             : "}");
    }
    void Hit(long lineNumber, std::string_view text) override {
        if (m_folded.empty())
            FoldStrings();
        // A result for every string the line holds.
        const std::string line = AsciiUpperCopy(text);
        for (size_t slot = 0; slot < m_folded.size(); ++slot) {
            if (line.find(m_folded[slot]) == std::string::npos)
                continue;
            m_bUsed[slot] = true;
            std::string& out = m_context.out.Pending();
            out.append(m_bFirstResult ? "" : ",");
            m_bFirstResult = false;
            out.append("{\"ruleId\":\"S");
            AppendNumber(out, static_cast<long>(slot) + 1);
            out.append("\",\"level\":\"warning\",\"message\":{\"text\":");
            out.append(JsonString("Potential problem: the line holds \"" +
                                  std::string(m_context.strings[slot]) + "\""));
            out.append("},\"locations\":[{");
            out.append(m_strLocation);
            out.append(",\"region\":{\"startLine\":");
            AppendNumber(out, lineNumber);
            out.append(",\"snippet\":{\"text\":");
            out.append(JsonString(text));
            m_context.out.Append("}}}}]}");
        }
    }
    void FileEnd(EFileOutcome outcome, long lines, long problems) override {
        CFormatSink::FileEnd(outcome, lines, problems);
        if (IsFailure(outcome)) {
            m_bFailed = true;
            m_notifications.push_back(std::string("{\"level\":\"error\",\"message\":{\"text\":") +
                                      (outcome == EFileOutcome::OPEN_FAILED
                                           ? "\"Failed to open file.\""
                                           : "\"Failed to read file.\"") +
                                      "},\"locations\":[{" + m_strLocation + "}}]}");
        }
    }
    void RunEnd(bool bCancelled) override {
        // A table without strings checks nothing: the tool fails, and the log says so.
        if (!bCancelled && !m_bFailed && CountSearchStrings(m_context.strings) == 0)
            m_notifications.push_back(
                "{\"level\":\"error\",\"message\":{\"text\":\"No search strings in the "
                "search string file\"}}");
        const bool bFailed = m_bFailed || !m_notifications.empty();
        std::string tail = "],\"invocations\":[{\"executionSuccessful\":";
        tail += bCancelled || bFailed ? "false" : "true";
        if (!m_notifications.empty()) {
            tail += ",\"toolExecutionNotifications\":[";
            for (size_t i = 0; i < m_notifications.size(); ++i)
                tail += (i ? "," : "") + m_notifications[i];
            tail += "]";
        }
        tail += "}],";
        if (HasRoot()) {
            std::string root = m_context.currentDirectory;
            if (root.back() != '/')
                root += '/';
            tail += "\"originalUriBaseIds\":{\"SRCROOT\":{\"uri\":" +
                    JsonString(UriReference(root, "")) + "}},";
        }
        tail += "\"tool\":{\"driver\":{\"name\":\"Kavel 2000\",\"version\":" +
                JsonString(m_context.version) + ",\"rules\":[";
        bool first = true;
        for (size_t slot = 0; slot < m_bUsed.size(); ++slot) {
            if (!m_bUsed[slot])
                continue;
            tail += first ? "" : ",";
            first = false;
            tail += "{\"id\":\"S" + std::to_string(slot + 1) +
                    "\",\"shortDescription\":{\"text\":" +
                    JsonString("Search string \"" + std::string(m_context.strings[slot]) + "\"") +
                    "},\"defaultConfiguration\":{\"level\":\"warning\"}}";
        }
        tail += "]}}}]}\n";
        m_context.out.Append(tail);
        CFormatSink::RunEnd(bCancelled);
    }

  private:
    // The current directory is known as an absolute path (not when it was deleted or is too
    // long to tell): relative URIs then have it as their base.
    bool HasRoot() const {
        return !m_context.currentDirectory.empty() && m_context.currentDirectory[0] == '/';
    }
    void FoldStrings() {
        for (int i = 0; i < CountSearchStrings(m_context.strings); ++i)
            m_folded.push_back(AsciiUpperCopy(m_context.strings[i]));
        m_bUsed.assign(m_folded.size(), false);
    }

    std::vector<std::string> m_folded;
    std::vector<bool> m_bUsed;
    std::vector<std::string> m_notifications;
    std::string m_strLocation;
    bool m_bFirstResult = true;
    bool m_bFailed = false;
};

} // namespace

bool ParseOutputFormat(std::string_view name, EOutputFormat& format) {
    static const std::pair<std::string_view, EOutputFormat> NAMES[] = {
        {"report", EOutputFormat::REPORT},
        {"grep", EOutputFormat::GREP},
        {"json", EOutputFormat::JSON},
        {"sarif", EOutputFormat::SARIF}};
    for (const auto& [text, value] : NAMES)
        if (name == text) {
            format = value;
            return true;
        }
    return false;
}

CByteOutput::CByteOutput(int fd, const StopFlag* stopSignal)
    : m_fd(fd), m_pStopSignal(stopSignal) {
    m_pending.reserve(BUFFER + 4096);
}

void CByteOutput::Flush() {
    if (!m_bFailed && !m_pending.empty() &&
        !WriteAllBytes(m_fd, m_pending.data(), m_pending.size(), m_pStopSignal))
        m_bFailed = true;
    m_pending.clear();
}

std::unique_ptr<CReportSink> MakeFormatSink(EOutputFormat format, const CFormatContext& context) {
    switch (format) {
    case EOutputFormat::GREP:
        return std::make_unique<CGrepFormat>(context);
    case EOutputFormat::JSON:
        return std::make_unique<CJsonFormat>(context);
    case EOutputFormat::SARIF:
        return std::make_unique<CSarifFormat>(context);
    case EOutputFormat::REPORT:
        break;
    }
    return std::make_unique<CReportFormat>(context.out);
}

std::string JsonString(std::string_view bytes) {
    static const char HEX[] = "0123456789abcdef";
    std::string json = "\"";
    for (size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const size_t n = Utf8Length(bytes.substr(i));
        if (n > 1) {
            json.append(bytes.substr(i, n));
            i += n;
            continue;
        }
        ++i;
        switch (c) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (c < 0x20 || n == 0) { // a control character, or a byte that is not UTF-8
                json += "\\u00";
                json += HEX[c >> 4];
                json += HEX[c & 15];
            } else {
                json += static_cast<char>(c);
            }
        }
    }
    json += '"';
    return json;
}

std::string RelativePath(const std::string& path, const std::string& directory) {
    if (!StartsWithFolder(path, directory))
        return path;
    return path.substr(directory.size() + (directory.back() == '/' ? 0 : 1));
}

std::string UriReference(const std::string& path, const std::string& directory) {
    static const char HEX[] = "0123456789ABCDEF";
    const bool relative = StartsWithFolder(path, directory);
    const std::string part = relative ? RelativePath(path, directory) : path;
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
