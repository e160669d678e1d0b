#include "core/report/formats.h"

#include "core/lines/filepath.h"
#include "core/lines/linefile.h"
#include "core/text/ascii.h"

#include "core/report/json.h"

#include <charconv>
#include <cstdio>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

void AppendNumber(std::string& text, long n) {
    char digits[24];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

std::string Hex16(uint64_t value) {
    static const char HEX[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        hex[static_cast<size_t>(i)] = HEX[value & 15];
    return hex;
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

bool IsUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = Utf8Length(bytes.substr(i));
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string Base64(std::string_view bytes) {
    static const char DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        text += DIGITS[group >> 18 & 63];
        text += DIGITS[group >> 12 & 63];
        text += i + 1 < bytes.size() ? DIGITS[group >> 6 & 63] : '=';
        text += i + 2 < bytes.size() ? DIGITS[group & 63] : '=';
    }
    return text;
}

bool StartsWithFolder(const std::string& path, const std::string& directory) {
    return !directory.empty() && path.size() > directory.size() &&
           path.compare(0, directory.size(), directory) == 0 &&
           (directory.back() == '/' || path[directory.size()] == '/');
}

// The "report" format: the report's bytes, as the output file holds them.
class CReportFormat : public CFormatSink {
  public:
    explicit CReportFormat(CByteOutput& out) : m_text(out) {}
    void Line(std::string_view text) override { m_text.Line(text); }
    void Error(std::string_view text) override { m_text.Error(text); }
    void FileBegin(const std::string& path, const std::string& name) override {
        m_text.FileBegin(path, name);
    }
    void Hit(const CHit& hit) override { m_text.Hit(hit); }
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override {
        m_text.FileEnd(outcome, counts);
    }
    void RunEnd(bool bCancelled) override { m_text.RunEnd(bCancelled); }
    void Flush() override { m_text.Flush(); }
    void Finish(const std::vector<std::string>&) override { m_text.Flush(); }

  private:
    class CText : public CTextReportSink {
      public:
        explicit CText(CByteOutput& out) : m_out(out) {}
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
    CText m_text;
};

// The sinks of the formats that point into files: no header lines, one record for each line of
// a file that holds a string (its first piece that holds one). With a baseline, a line is
// printed when one of its results is new (or every line, with bAllLines): a record waits for
// its line's last piece.
class CRecordSink : public CFormatSink {
  public:
    explicit CRecordSink(const CFormatContext& context) : m_context(context) {}
    void Line(std::string_view) override {}
    void Error(std::string_view) override {} // told with the failures, at the end
    void FileBegin(const std::string& path, const std::string& name) override {
        m_strPath = path;
        m_strName = name;
        m_nLastLine = 0;
        m_nRecords = 0;
        m_nNewRecords = 0;
    }
    void Hit(const CHit& hit) override {
        if (hit.nPhysical != m_nLastLine) {
            EndLine();
            m_nLastLine = hit.nPhysical;
            m_strPending.assign(RecordText(hit.text));
            m_bPending = true;
            m_bPendingNew = false;
            ++m_nRecords;
        }
        if (m_context.pJudge != nullptr)
            for (const CResult& result : m_context.pJudge->Last())
                m_bPendingNew = m_bPendingNew || result.state == EBaselineState::NEW;
    }
    void FileEnd(EFileOutcome, const CFileCounts&) override { EndLine(); }
    void RunEnd(bool bCancelled) override {
        m_bCancelled = bCancelled;
        m_context.out.Flush();
    }
    void Flush() override { m_context.out.Flush(); }
    void Finish(const std::vector<std::string>&) override { m_context.out.Flush(); }

  protected:
    // A record for the file's line, with its text; state: NONE without a baseline.
    virtual void Record(long line, std::string_view text, EBaselineState state) = 0;

    bool HasBaseline() const {
        return m_context.pJudge != nullptr && m_context.pJudge->HasBaseline();
    }

    const CFormatContext& m_context;
    std::string m_strPath;  // as the report names it
    std::string m_strName;  // as it was given
    long m_nLastLine = 0;   // the line of the last record
    long m_nRecords = 0;    // lines found in the file
    long m_nNewRecords = 0; // of them, those with a new result
    bool m_bCancelled = false;

  private:
    void EndLine() {
        if (!m_bPending)
            return;
        m_bPending = false;
        EBaselineState state = EBaselineState::NONE;
        if (HasBaseline()) {
            state = m_bPendingNew ? EBaselineState::NEW : EBaselineState::UNCHANGED;
            m_nNewRecords += m_bPendingNew;
            if (!m_bPendingNew && !m_context.bAllLines)
                return;
        }
        Record(m_nLastLine, m_strPending, state);
    }

    std::string m_strPending;
    bool m_bPending = false;
    bool m_bPendingNew = false;
};

const char* StateName(EBaselineState state) {
    switch (state) {
    case EBaselineState::NEW: return "new";
    case EBaselineState::UNCHANGED: return "unchanged";
    case EBaselineState::ABSENT: return "absent";
    case EBaselineState::NONE: break;
    }
    return "";
}

// path:line:text, one line per line found, as grep -n prints it.
class CGrepFormat : public CRecordSink {
  public:
    using CRecordSink::CRecordSink;
    void FileBegin(const std::string& path, const std::string& name) override {
        CRecordSink::FileBegin(path, name);
        m_strShown = SafeText(name);
    }

  protected:
    void Record(long line, std::string_view text, EBaselineState) override {
        std::string& out = m_context.out.Pending();
        out.append(m_strShown);
        out.push_back(':');
        AppendNumber(out, line);
        out.push_back(':');
        out.append(SafeText(text));
        m_context.out.Append("\n");
    }

  private:
    std::string m_strShown;
};

// JSON Lines: an object per line found, per file, per failure, and a summary last.
class CJsonFormat : public CRecordSink {
  public:
    using CRecordSink::CRecordSink;
    void FileBegin(const std::string& path, const std::string& name) override {
        CRecordSink::FileBegin(path, name);
        m_strPathMember = JsonBytesMember("path", name);
    }
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override {
        CRecordSink::FileEnd(outcome, counts);
        ++m_nFiles;
        m_nFailed += IsFailure(outcome);
        m_nLines += counts.nPhysical;
        m_nProblems += m_nRecords;
        m_nNew += m_nNewRecords;
        const char* status = outcome == EFileOutcome::OPEN_FAILED   ? "failed-open"
                             : outcome == EFileOutcome::READ_FAILED ? "failed-read"
                                                                    : "ok";
        std::string& out = m_context.out.Pending();
        out.append("{\"type\":\"file\",");
        out.append(m_strPathMember);
        out.append(",\"lines\":");
        AppendNumber(out, counts.nPhysical);
        out.append(",\"problems\":");
        AppendNumber(out, m_nRecords);
        if (HasBaseline()) {
            out.append(",\"new\":");
            AppendNumber(out, m_nNewRecords);
        }
        out.append(",\"status\":\"");
        out.append(status);
        m_context.out.Append("\"}\n");
    }
    void Finish(const std::vector<std::string>& failures) override {
        for (const std::string& failure : failures)
            m_context.out.Append("{\"type\":\"error\",\"message\":" + JsonString(failure) + "}\n");
        std::string summary = "{\"type\":\"summary\",\"files\":";
        AppendNumber(summary, m_nFiles);
        summary += ",\"failed\":";
        AppendNumber(summary, m_nFailed);
        summary += ",\"lines\":";
        AppendNumber(summary, m_nLines);
        summary += ",\"problems\":";
        AppendNumber(summary, m_nProblems);
        if (HasBaseline()) {
            summary += ",\"new\":";
            AppendNumber(summary, m_nNew);
        }
        summary += m_bCancelled ? ",\"cancelled\":true}\n" : ",\"cancelled\":false}\n";
        m_context.out.Append(summary);
        m_context.out.Flush();
    }

  protected:
    void Record(long line, std::string_view text, EBaselineState state) override {
        std::string& out = m_context.out.Pending();
        out.append("{\"type\":\"hit\",");
        out.append(m_strPathMember);
        out.append(",\"line\":");
        AppendNumber(out, line);
        out.push_back(',');
        out.append(JsonBytesMember("text", text));
        if (state != EBaselineState::NONE) {
            out.append(",\"baseline\":\"");
            out.append(StateName(state));
            out.push_back('"');
        }
        m_context.out.Append("}\n");
    }

  private:
    std::string m_strPathMember;
    long m_nFiles = 0, m_nFailed = 0, m_nLines = 0, m_nProblems = 0, m_nNew = 0;
};

// A SARIF result as the tool writes it, and as a baseline's absent result is written again.
std::string SarifResult(const std::string& ruleId, const std::string& message,
                        const std::string& uri, bool bRelative, long line, std::string_view snippet,
                        const std::string& fingerprint, EBaselineState state) {
    std::string out = "{\"ruleId\":\"" + ruleId + "\",\"level\":\"warning\",\"message\":{\"text\":";
    out += JsonString(message);
    out += "},\"locations\":[{\"physicalLocation\":{\"artifactLocation\":{\"uri\":";
    out += JsonString(uri);
    out += bRelative ? ",\"uriBaseId\":\"SRCROOT\"}" : "}";
    out += ",\"region\":{\"startLine\":";
    AppendNumber(out, line);
    out += ",\"snippet\":{\"text\":";
    out += JsonString(snippet);
    out += "}}}}],\"partialFingerprints\":{\"kavelLine/v1\":\"" + fingerprint + "\"}";
    if (state != EBaselineState::NONE) {
        out += ",\"baselineState\":\"";
        out += StateName(state);
        out += '"';
    }
    out += '}';
    return out;
}

// One SARIF 2.1.0 log: the results as they come, then the run's invocation and the tool with a
// rule for every search string that matched.
class CSarifFormat : public CRecordSink {
  public:
    explicit CSarifFormat(const CFormatContext& context) : CRecordSink(context) {
        m_context.out.Append("{\"version\":\"2.1.0\",\"$schema\":"
                             "\"https://json.schemastore.org/sarif-2.1.0.json\","
                             "\"runs\":[{\"results\":[");
    }
    // A result for every rule that the judge found new on its line.
    void Hit(const CHit& hit) override {
        const CResultJudge& judge = *m_context.pJudge;
        const std::string& uri = judge.Uri();
        for (const CResult& result : judge.Last()) {
            m_used.insert(result.pRule->id);
            const std::string message =
                "Potential problem: the line holds \"" + result.pRule->text + "\"";
            Append(SarifResult(result.pRule->id, message, uri, !uri.starts_with("file:"),
                               hit.nPhysical, RecordText(hit.text), result.fingerprint,
                               result.state));
        }
    }
    void FileEnd(EFileOutcome outcome, const CFileCounts&) override {
        if (!IsFailure(outcome))
            return;
        const std::string& uri = m_context.pJudge->Uri();
        m_notifications.push_back(
            std::string("{\"level\":\"error\",\"message\":{\"text\":") +
            (outcome == EFileOutcome::OPEN_FAILED ? "\"Failed to open file.\""
                                                  : "\"Failed to read file.\"") +
            "},\"locations\":[{\"physicalLocation\":{\"artifactLocation\":{\"uri\":" +
            JsonString(uri) + (uri.starts_with("file:") ? "}" : ",\"uriBaseId\":\"SRCROOT\"}") +
            "}}]}");
    }
    void Finish(const std::vector<std::string>& failures) override {
        if (const CBaseline* baseline = m_context.pJudge->Baseline())
            for (const std::string& result : baseline->AbsentResults())
                Append(result);
        for (const std::string& failure : failures)
            m_notifications.push_back(
                "{\"level\":\"error\",\"message\":{\"text\":" + JsonString(failure) + "}}");
        std::string tail = "],\"invocations\":[{\"executionSuccessful\":";
        tail += m_bCancelled || !m_notifications.empty() ? "false" : "true";
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
        for (const CRule& rule : m_context.pJudge->Rules()) {
            if (m_used.count(rule.id) == 0)
                continue;
            tail += first ? "" : ",";
            first = false;
            tail += "{\"id\":\"" + rule.id + "\",\"shortDescription\":{\"text\":" +
                    JsonString("Search string \"" + rule.text + "\"") +
                    "},\"defaultConfiguration\":{\"level\":\"warning\"}}";
        }
        tail += "]}}}]}\n";
        m_context.out.Append(tail);
        m_context.out.Flush();
    }

  protected:
    void Record(long, std::string_view, EBaselineState) override {}

  private:
    void Append(const std::string& result) {
        m_context.out.Append(m_bFirstResult ? "" : ",");
        m_bFirstResult = false;
        m_context.out.Append(result);
    }
    // The current directory is known as an absolute path (not when it was deleted or is too
    // long to tell): relative URIs then have it as their base.
    bool HasRoot() const {
        return !m_context.currentDirectory.empty() && m_context.currentDirectory[0] == '/';
    }

    std::set<std::string> m_used; // ids of the rules with a result
    std::vector<std::string> m_notifications;
    bool m_bFirstResult = true;
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

CByteOutput::CByteOutput(int fd, const StopFlag* stopSignal) : m_fd(fd), m_pStopSignal(stopSignal) {
    m_pending.reserve(BUFFER + 4096);
}

void CByteOutput::Flush() {
    if (!m_bFailed && !m_pending.empty() &&
        !WriteAllBytes(m_fd, m_pending.data(), m_pending.size(), m_pStopSignal))
        m_bFailed = true;
    m_pending.clear();
}

std::unique_ptr<CFormatSink> MakeFormatSink(EOutputFormat format, const CFormatContext& context) {
    switch (format) {
    case EOutputFormat::GREP: return std::make_unique<CGrepFormat>(context);
    case EOutputFormat::JSON: return std::make_unique<CJsonFormat>(context);
    case EOutputFormat::SARIF: return std::make_unique<CSarifFormat>(context);
    case EOutputFormat::REPORT: break;
    }
    return std::make_unique<CReportFormat>(context.out);
}

std::string SafeText(std::string_view bytes) {
    std::string text(bytes);
    for (char& c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
            c = '?';
    return text;
}

std::string_view RecordText(std::string_view text) {
    if (!text.empty() && text[0] == '\n')
        text.remove_prefix(1);
    return text;
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
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\t': json += "\\t"; break;
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

std::string JsonBytesMember(std::string_view name, std::string_view bytes) {
    std::string member = "\"";
    member.append(name);
    if (IsUtf8(bytes))
        return member + "\":" + JsonString(bytes);
    return member + "_bytes\":\"" + Base64(bytes) + "\"";
}

std::string UriReference(const std::string& path, const std::string& directory) {
    static const char HEX[] = "0123456789ABCDEF";
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
    const bool relative = StartsWithFolder(normal, directory);
    const std::string part =
        relative ? normal.substr(directory.size() + (directory.back() == '/' ? 0 : 1)) : normal;
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

CResultJudge::CResultJudge(const SearchStringTable& strings, std::string currentDirectory,
                           CBaseline* baseline)
    : m_strings(strings), m_strDirectory(std::move(currentDirectory)), m_pBaseline(baseline) {}

void CResultJudge::FileBegin(const std::string& path, const std::string&) {
    m_strUri = UriReference(path, m_strDirectory);
    m_nLastLine = 0;
}

void CResultJudge::Hit(const CHit& hit) {
    if (m_rules.empty()) { // the strings are loaded by the first hit
        for (int i = 0; i < CountSearchStrings(m_strings); ++i) {
            std::string folded = AsciiUpperCopy(m_strings[i]);
            bool known = false;
            for (const CRule& rule : m_rules)
                known = known || rule.folded == folded;
            if (!known)
                m_rules.push_back({folded, std::string(m_strings[i]), RuleId(m_strings[i])});
        }
    }
    if (hit.nPhysical != m_nLastLine) {
        m_nLastLine = hit.nPhysical;
        m_onLine.assign(m_rules.size(), false);
    }
    m_last.clear();
    const std::string_view text = RecordText(hit.text);
    const std::string folded = AsciiUpperCopy(text);
    for (size_t i = 0; i < m_rules.size(); ++i) {
        if (m_onLine[i] || folded.find(m_rules[i].folded) == std::string::npos)
            continue;
        m_onLine[i] = true;
        std::string print = m_rules[i].id;
        print += '\0';
        print += m_strUri;
        print += '\0';
        print.append(text);
        CResult result{&m_rules[i], Hex16(Fnv1a64(print)), EBaselineState::NONE};
        if (m_pBaseline != nullptr) {
            result.state = m_pBaseline->Take(m_rules[i].id, m_strUri, result.fingerprint)
                               ? EBaselineState::UNCHANGED
                               : EBaselineState::NEW;
            m_nNew += result.state == EBaselineState::NEW;
        }
        m_last.push_back(std::move(result));
    }
}

bool CBaseline::Load(const std::string& path, std::string& message) {
    constexpr off_t LARGEST = 256 << 20;
    CLineFile file;
    off_t size = 0;
    dev_t dev;
    ino_t ino;
    if (!file.OpenRead(path) || !file.Identity(dev, ino, &size) || size > LARGEST) {
        message = "cannot read the baseline " + SafeText(path);
        return false;
    }
    std::string text;
    for (auto [data, avail] = file.Peek(); avail > 0; std::tie(data, avail) = file.Peek()) {
        text.append(data, avail);
        file.Consume(avail);
    }
    if (file.ReadFailed()) {
        message = "cannot read the baseline " + SafeText(path);
        return false;
    }
    message = SafeText(path) + " is not a SARIF log of kavel-report";
    CJson log;
    if (!ParseJson(text, log))
        return false;
    const CJson* version = log.Get("version");
    const CJson* name = log.At("runs/0/tool/driver/name");
    const CJson* results = log.At("runs/0/results");
    if (version == nullptr || version->text != "2.1.0" || name == nullptr ||
        name->text != "Kavel 2000" || results == nullptr || results->kind != CJson::EKind::ARRAY)
        return false;
    for (const CJson& result : results->items) {
        const CJson* ruleId = result.Get("ruleId");
        const CJson* location = result.At("locations/0/physicalLocation");
        const CJson* prints = result.Get("partialFingerprints");
        const CJson* print = prints != nullptr ? prints->Get("kavelLine/v1") : nullptr;
        const CJson* uri = location != nullptr ? location->At("artifactLocation/uri") : nullptr;
        const CJson* line = location != nullptr ? location->At("region/startLine") : nullptr;
        if (ruleId == nullptr || print == nullptr || uri == nullptr || line == nullptr ||
            !ruleId->text.starts_with("KAVEL-"))
            return false;
        // Results that were absent from the run the log came from are gone already.
        const CJson* state = result.Get("baselineState");
        if (state != nullptr && state->text == "absent")
            continue;
        CEntry entry;
        entry.ruleId = ruleId->text;
        entry.uri = uri->text;
        const CJson* base = location->At("artifactLocation/uriBaseId");
        entry.uriBaseId = base != nullptr ? base->text : "";
        entry.fingerprint = print->text;
        const CJson* messageText = result.At("message/text");
        entry.message = messageText != nullptr ? messageText->text : "";
        const CJson* snippet = location->At("region/snippet/text");
        entry.snippet = snippet != nullptr ? snippet->text : "";
        entry.line = static_cast<long>(line->number);
        m_open.emplace(entry.ruleId + '\0' + entry.uri + '\0' + entry.fingerprint,
                       m_entries.size());
        m_entries.push_back(std::move(entry));
    }
    message.clear();
    return true;
}

bool CBaseline::Take(const std::string& ruleId, const std::string& uri,
                     const std::string& fingerprint) {
    const std::string key = ruleId + '\0' + uri + '\0' + fingerprint;
    const auto found = m_open.lower_bound(key);
    if (found == m_open.end() || found->first != key)
        return false;
    m_entries[found->second].bTaken = true;
    m_open.erase(found); // the first of equal keys: they are taken in the log's order
    return true;
}

std::vector<std::string> CBaseline::AbsentResults() const {
    std::vector<std::string> results;
    for (const CEntry& entry : m_entries)
        if (!entry.bTaken)
            results.push_back(SarifResult(entry.ruleId, entry.message, entry.uri,
                                          !entry.uriBaseId.empty(), entry.line, entry.snippet,
                                          entry.fingerprint, EBaselineState::ABSENT));
    return results;
}
