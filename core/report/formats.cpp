#include "core/report/formats.h"

#include "core/lines/filepath.h"
#include "core/lines/linefile.h"
#include "core/text/ascii.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <new>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <vector>

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

// SafeText appended to out in place: a grep record's text, once per line found; 16 bytes at a
// time where SSE2 serves.
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

bool StartsWithFolder(const std::string& path, const std::string& directory) {
    return !directory.empty() && path.size() > directory.size() &&
           path.compare(0, directory.size(), directory) == 0 &&
           (directory.back() == '/' || path[directory.size()] == '/');
}

// The "report" format: the report's bytes, as the output file holds them.
class CReportFormat : public CFormatSink {
  public:
    explicit CReportFormat(CByteOutput& out) : m_text(out) {}
    void RunBegin(const CRunHeader& header) override { m_text.RunBegin(header); }
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
    std::vector<std::string> Finish(const std::vector<std::string>&) override {
        m_text.Flush();
        return {};
    }

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
    void Error(std::string_view) override {} // told with the failures, at the end
    void FileBegin(const std::string& path, const std::string& name) override {
        m_strPath = path;
        m_strName = name;
        m_nLastLine = 0;
        m_nRecords = 0;
        m_nNewRecords = 0;
    }
    void Hit(const CHit& hit) override {
        // A line's record starts at its first hit piece; a marker piece may come before it.
        if (hit.nPhysical != m_nLastLine || !m_bPending) {
            EndLine();
            m_nLastLine = hit.nPhysical;
            m_strPending.assign(RecordText(hit.text));
            m_bPending = true;
            ++m_nRecords;
        }
    }
    // A marker's line ends the line before it, as a hit does; it is no record.
    void Marker(const CHit& line) override {
        if (line.nPhysical != m_nLastLine) {
            EndLine();
            m_nLastLine = line.nPhysical;
        }
    }
    void FileEnd(EFileOutcome, const CFileCounts&) override { EndLine(); }
    void RunEnd(bool bCancelled) override {
        m_bCancelled = bCancelled;
        m_context.out.Flush();
    }
    void Flush() override { m_context.out.Flush(); }
    std::vector<std::string> Finish(const std::vector<std::string>&) override {
        m_context.out.Flush();
        return {};
    }

  protected:
    // A record for the file's line, with its text; state: NONE without a baseline, else NEW
    // when a result of it is not in the baseline. With a judge, Results() are the line's.
    virtual void Record(long line, std::string_view text, EBaselineState state) = 0;

    // The judge's results of the line that ended (none without a judge).
    const std::vector<CResult>& Results() const {
        static const std::vector<CResult> none;
        const CResultJudge* judge = m_context.pJudge;
        return judge != nullptr && judge->FinishedLine() == m_nLastLine ? judge->Finished() : none;
    }

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
            state = EBaselineState::UNCHANGED;
            for (const CResult& result : Results())
                if (result.state == EBaselineState::NEW)
                    state = EBaselineState::NEW;
        }
        if (m_context.pJudge != nullptr) {
            const bool isNew = m_context.pJudge->FinishedNew();
            if (!m_context.pJudge->FinishedFound()) { // its strings stand only inside markers
                --m_nRecords;
                return;
            }
            m_nNewRecords += isNew;
            if (!isNew && !m_context.bAllLines)
                return;
        }
        Record(m_nLastLine, m_strPending, state);
    }

    std::string m_strPending;
    bool m_bPending = false;
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
        AppendSafeText(out, text);
        m_context.out.Append("\n");
    }

  private:
    std::string m_strShown;
};

// JSON Lines: an object per line found, per file, per failure, and a summary last.
class CJsonFormat : public CRecordSink {
  public:
    using CRecordSink::CRecordSink;
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override {
        CRecordSink::FileEnd(outcome, counts);
        ++m_nFiles;
        m_nFailed += IsFailure(outcome);
        m_nLines += counts.nPhysical;
        m_nProblems += m_nRecords;
        m_nNew += m_nNewRecords;
        const bool stopped = m_context.pStop != nullptr && *m_context.pStop != 0;
        const char* status = outcome == EFileOutcome::OPEN_FAILED   ? "failed-open"
                             : outcome == EFileOutcome::READ_FAILED ? "failed-read"
                             : stopped                              ? "cancelled"
                                                                    : "ok";
        CJsonWriter json(m_context.out.Pending());
        json.Object().String("type", "file").Bytes("path", m_strName);
        json.Number("lines", counts.nPhysical).Number("problems", m_nRecords);
        if (m_context.bNewCounts)
            json.Number("new", m_nNewRecords);
        json.String("status", status);
        if (IsFailure(outcome) && counts.pszReason != nullptr)
            json.String("reason", counts.pszReason);
        json.End();
        m_context.out.Append("\n");
    }
    std::vector<std::string> Finish(const std::vector<std::string>& failures) override {
        for (const std::string& failure : failures) {
            CJsonWriter(m_context.out.Pending())
                .Object()
                .String("type", "error")
                .String("message", failure)
                .End();
            m_context.out.Append("\n");
        }
        CJsonWriter json(m_context.out.Pending());
        json.Object().String("type", "summary").Number("files", m_nFiles);
        json.Number("failed", m_nFailed).Number("lines", m_nLines);
        json.Number("problems", m_nProblems);
        if (m_context.bNewCounts)
            json.Number("new", m_nNew);
        json.Bool("cancelled", m_bCancelled).End();
        m_context.out.Append("\n");
        m_context.out.Flush();
        return {};
    }

  protected:
    void Record(long line, std::string_view text, EBaselineState state) override {
        CJsonWriter json(m_context.out.Pending());
        json.Object().String("type", "hit").Bytes("path", m_strName).Number("line", line);
        json.Bytes("text", text);
        if (state != EBaselineState::NONE)
            json.String("baseline", StateName(state));
        std::vector<std::string_view> accepted;
        for (const CResult& result : Results())
            if (result.bAccepted)
                accepted.push_back(result.pRule->text);
        if (!accepted.empty()) {
            json.Array("accepted");
            for (const std::string_view string : accepted)
                json.String({}, string);
            json.End();
        }
        if (m_context.pJudge != nullptr && !m_context.pJudge->FinishedChanged())
            json.Bool("changed", false);
        json.End();
        m_context.out.Append("\n");
    }

  private:
    long m_nFiles = 0, m_nFailed = 0, m_nLines = 0, m_nProblems = 0, m_nNew = 0;
};

// The message of a result, and of a line's results (their strings in the order given).
std::string ResultMessage(const std::vector<const std::string*>& strings) {
    std::string message = "Potential problem: the line holds ";
    for (size_t i = 0; i < strings.size(); ++i) {
        if (i > 0)
            message += i + 1 == strings.size() ? " and " : ", ";
        message += "\"" + *strings[i] + "\"";
    }
    return message;
}

// Where a SARIF result points, as a result of the run gives it and as a baseline's absent
// result is written again (with the columns it had, if any).
struct CSarifPlace {
    const std::string& uri;
    bool bRelative;
    long line, startColumn, endColumn; // columns 0: none
    std::string_view snippet;
};

void SarifResult(CJsonWriter& json, const std::string& ruleId, const std::string& message,
                 const CSarifPlace& place, const std::string& fingerprint, EBaselineState state,
                 bool bAccepted = false, bool bChanged = true) {
    json.Object().String("ruleId", ruleId).String("level", "warning");
    json.Object("message").String("text", message).End();
    json.Array("locations").Object().Object("physicalLocation");
    json.Object("artifactLocation").String("uri", place.uri);
    if (place.bRelative)
        json.String("uriBaseId", "SRCROOT");
    json.End();
    json.Object("region").Number("startLine", place.line);
    if (place.startColumn > 0)
        json.Number("startColumn", place.startColumn).Number("endColumn", place.endColumn);
    json.Object("snippet").String("text", place.snippet).End();
    json.End().End().End().End(); // region, physicalLocation, location, locations
    json.Object("partialFingerprints").String("kavelLine/v1", fingerprint).End();
    if (state != EBaselineState::NONE)
        json.String("baselineState", StateName(state));
    if (bAccepted)
        json.Array("suppressions").Object().String("kind", "inSource").End().End();
    if (!bChanged)
        json.Object("properties").Bool("changed", false).End();
    json.End();
}

// A rule as code scanning shows it: what it finds, why, and how to accept what it found.
void SarifRule(CJsonWriter& json, const std::string& id, const std::string& text) {
    const std::string quoted = "\"" + text + "\"";
    json.Object().String("id", id);
    json.Object("shortDescription").String("text", "Search string " + quoted).End();
    json.Object("fullDescription")
        .String("text", "Lines that hold the search string " + quoted +
                            ", letter case ignored, as kavel-report's strings file lists it.")
        .End();
    const std::string why =
        "Such a line may hold a date with a two-digit year, or code that assumes one, which "
        "may not survive the change of century: check it, and change it where it would fail.";
    const std::string accept =
        "To accept the lines found now, record a baseline (a SARIF log of kavel-report "
        "written without --baseline) and run later checks with --baseline FILE: only results "
        "that are not in it are new.";
    json.Object("help")
        .String("text", "The line holds the search string " + quoted + " (letter case ignored). " +
                            why + " " + accept)
        .String("markdown", "The line holds the search string `` " + text +
                                " `` (letter case ignored).\n\n" + why + "\n\n" + accept)
        .End();
    json.Object("defaultConfiguration").String("level", "warning").End().End();
}

// A notification of the run's invocation: an error, and where it lies when it is a file's.
std::string Notification(std::string_view message, const std::string* uri) {
    std::string text;
    CJsonWriter json(text);
    json.Object().String("level", "error").Object("message").String("text", message).End();
    if (uri != nullptr) {
        json.Array("locations").Object().Object("physicalLocation");
        json.Object("artifactLocation").String("uri", *uri);
        if (!uri->starts_with("file:"))
            json.String("uriBaseId", "SRCROOT");
        json.End().End().End().End();
    }
    json.End();
    return text;
}

// The run property of a log that holds only the new results of a run with a baseline.
constexpr const char* NEW_RESULTS_ONLY = "kavelNewResultsOnly";

// The most results that code scanning takes in a run.
constexpr long CODE_SCANNING_RESULTS_MAX = 25000;

// One SARIF 2.1.0 log: the results as they come, then the run's invocation and the tool with a
// rule for every result's search string. With a baseline it holds the new results only (then
// it is no baseline itself, and says so), or with bAllLines every result with its state and
// the baseline's results that are gone.
class CSarifFormat : public CRecordSink {
  public:
    explicit CSarifFormat(const CFormatContext& context)
        : CRecordSink(context), m_json(m_context.out.Pending()) {
        m_json.Object().String("version", "2.1.0");
        m_json.String("$schema", "https://json.schemastore.org/sarif-2.1.0.json");
        m_json.Array("runs").Object().Array("results");
        m_context.out.Append({});
    }
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override {
        CRecordSink::FileEnd(outcome, counts);
        if (IsFailure(outcome))
            m_notifications.push_back(Notification(FailureText(outcome, counts), &Judge().Uri()));
    }
    std::vector<std::string> Finish(const std::vector<std::string>& failures) override {
        const CBaseline* baseline = Judge().Baseline();
        if (baseline != nullptr && m_context.bAllLines)
            m_nResults += baseline->WriteAbsentResults(m_json, !m_bCancelled, m_used);
        for (const std::string& failure : failures)
            m_notifications.push_back(Notification(failure, nullptr));
        CJsonWriter& json = m_json;
        json.End(); // results
        json.Array("invocations").Object();
        json.Bool("executionSuccessful", !m_bCancelled && m_notifications.empty());
        if (!m_notifications.empty()) {
            json.Array("toolExecutionNotifications");
            for (const std::string& notification : m_notifications)
                json.Raw({}, notification);
            json.End();
        }
        // No originalUriBaseIds: the log names no folder of the machine it was made on, and
        // a reader resolves SRCROOT against the checkout it looks at.
        json.End().End();
        json.Object("tool").Object("driver").String("name", "Kavel 2000");
        json.String("version", m_context.version).Array("rules");
        std::set<std::string> written;
        for (const CRule& rule : Judge().Rules())
            if (m_used.count(rule.id) != 0 && written.insert(rule.id).second)
                SarifRule(json, rule.id, rule.text);
        for (const std::string& id : m_used) // of absent results, whose strings may be gone
            if (written.count(id) == 0) {
                const std::string text = baseline != nullptr ? baseline->RuleText(id) : "";
                SarifRule(json, id, text.empty() ? id : text);
            }
        json.End().End().End(); // rules, driver, tool
        json.String("columnKind", "unicodeCodePoints");
        if ((baseline != nullptr || Judge().HasChangedLines()) && !m_context.bAllLines)
            json.Object("properties").Bool(NEW_RESULTS_ONLY, true).End();
        json.End().End().End(); // the run, runs, the log
        m_context.out.Append("\n");
        m_context.out.Flush();
        if (m_nResults <= CODE_SCANNING_RESULTS_MAX)
            return {};
        return {std::to_string(m_nResults) +
                " results: code scanning takes at most 25,000 in a run; use a baseline or "
                "excludes"};
    }

  protected:
    // A result for every rule that the judge found on the line, or only the new ones.
    void Record(long line, std::string_view, EBaselineState) override {
        const std::string& uri = Judge().Uri();
        for (const CResult& result : Results()) {
            if (!result.IsNew() && !m_context.bAllLines)
                continue;
            m_used.insert(result.pRule->id);
            ++m_nResults;
            SarifResult(m_json, result.pRule->id, ResultMessage({&result.pRule->text}),
                        {uri, !uri.starts_with("file:"), line, result.nStartColumn,
                         result.nEndColumn, result.snippet},
                        result.fingerprint, result.state, result.bAccepted, result.bChanged);
            m_context.out.Append({});
        }
    }

  private:
    // The sink is made with a judge: results are its.
    const CResultJudge& Judge() const { return *m_context.pJudge; }

    CJsonWriter m_json;           // the log, written as the run goes
    std::set<std::string> m_used; // ids of the rules with a result in the log
    std::vector<std::string> m_notifications;
    long m_nResults = 0;
};

// GitHub Actions' workflow commands: a warning for each line with a new result, at the
// leftmost of them, naming every string of the line; the failures as errors after them.
class CGithubFormat : public CRecordSink {
  public:
    using CRecordSink::CRecordSink;
    void FileBegin(const std::string& path, const std::string& name) override {
        CRecordSink::FileBegin(path, name);
        m_strFile = WorkflowEscape(RelativePath(path, name, m_context.currentDirectory), true);
    }
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override {
        CRecordSink::FileEnd(outcome, counts);
        if (IsFailure(outcome))
            m_errors.push_back("::error file=" + m_strFile +
                               "::" + WorkflowEscape(FailureText(outcome, counts), false));
    }
    std::vector<std::string> Finish(const std::vector<std::string>& failures) override {
        for (const std::string& failure : failures)
            m_errors.push_back("::error::" + WorkflowEscape(failure, false));
        if (m_bCancelled)
            m_errors.push_back("::error::Report Cancelled");
        for (const std::string& error : m_errors)
            m_context.out.Append(error + "\n");
        m_context.out.Flush();
        const long errors = static_cast<long>(m_errors.size());
        if (m_nWarnings <= ANNOTATIONS_MAX && errors <= ANNOTATIONS_MAX)
            return {};
        const auto count = [](long n, const char* what) {
            return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
        };
        return {count(m_nWarnings, "warning") + " and " + count(errors, "error") +
                ": GitHub shows at most 10 warnings and 10 errors of a step as annotations (50 "
                "of a job); the step's log holds them all"};
    }

  protected:
    void Record(long line, std::string_view, EBaselineState) override {
        const CResult* first = nullptr;
        std::vector<const CResult*> found;
        for (const CResult& result : Results()) {
            found.push_back(&result);
            if (result.IsNew() && (first == nullptr || result.nStartColumn < first->nStartColumn))
                first = &result;
        }
        if (first == nullptr)
            return;
        std::stable_sort(found.begin(), found.end(), [](const CResult* a, const CResult* b) {
            return a->nStartColumn < b->nStartColumn;
        });
        std::vector<const std::string*> strings;
        for (const CResult* result : found)
            strings.push_back(&result->pRule->text);
        std::string& out = m_context.out.Pending();
        out += "::warning file=" + m_strFile;
        out += ",line=" + std::to_string(line) + ",col=" + std::to_string(first->nStartColumn);
        out += ",endColumn=" + std::to_string(first->nEndColumn) + ",title=";
        out += WorkflowEscape("Kavel 2000: \"" + first->pRule->text + "\"", true);
        out += "::" + WorkflowEscape(ResultMessage(strings), false);
        m_context.out.Append("\n");
        ++m_nWarnings;
    }

  private:
    static constexpr long ANNOTATIONS_MAX = 10;
    std::string m_strFile; // the file property, escaped
    std::vector<std::string> m_errors;
    long m_nWarnings = 0;
};

// A GitLab Code Quality report: one JSON array, an issue for each new result, written as they
// come and closed at the end.
class CGitlabFormat : public CRecordSink {
  public:
    explicit CGitlabFormat(const CFormatContext& context) : CRecordSink(context) {
        m_context.out.Append("[");
    }
    void FileBegin(const std::string& path, const std::string& name) override {
        CRecordSink::FileBegin(path, name);
        m_strFile = RelativePath(path, name, m_context.currentDirectory);
    }
    std::vector<std::string> Finish(const std::vector<std::string>&) override {
        m_context.out.Append(m_bEmpty ? "]\n" : "\n]\n");
        m_context.out.Flush();
        return {};
    }

  protected:
    void Record(long line, std::string_view, EBaselineState) override {
        for (const CResult& result : Results()) {
            if (!result.IsNew())
                continue;
            std::string& out = m_context.out.Pending();
            out += m_bEmpty ? "\n" : ",\n";
            m_bEmpty = false;
            // The judge's fingerprint leaves the line's number out; the occurrence keeps two
            // equal lines of a file two issues.
            const std::string print =
                result.fingerprint + '\0' + std::to_string(result.nOccurrence);
            CJsonWriter json(out);
            json.Object().String("description", ResultMessage({&result.pRule->text}));
            json.String("check_name", result.pRule->id);
            json.String("fingerprint", Hex16(Fnv1a64(print))).String("severity", "minor");
            json.Object("location").String("path", m_strFile);
            json.Object("lines").Number("begin", line).End().End().End();
            m_context.out.Append({});
        }
    }

  private:
    std::string m_strFile; // relative to the current folder
    bool m_bEmpty = true;
};

} // namespace

bool ParseOutputFormat(std::string_view name, EOutputFormat& format) {
    static const std::pair<std::string_view, EOutputFormat> NAMES[] = {
        {"report", EOutputFormat::REPORT}, {"grep", EOutputFormat::GREP},
        {"json", EOutputFormat::JSON},     {"sarif", EOutputFormat::SARIF},
        {"github", EOutputFormat::GITHUB}, {"gitlab", EOutputFormat::GITLAB}};
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
    case EOutputFormat::GITHUB: return std::make_unique<CGithubFormat>(context);
    case EOutputFormat::GITLAB: return std::make_unique<CGitlabFormat>(context);
    case EOutputFormat::REPORT: break;
    }
    return std::make_unique<CReportFormat>(context.out);
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

namespace {

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

CResultJudge::CResultJudge(const SearchStringTable& strings, std::string currentDirectory,
                           CBaseline* baseline, const StopFlag* stop, bool bMarkers,
                           bool bEveryLine)
    : m_strings(strings), m_strDirectory(std::move(currentDirectory)), m_pBaseline(baseline),
      m_pStop(stop), m_bMarkers(bMarkers), m_bEveryLine(bEveryLine) {}

const std::string& CResultJudge::Uri() const {
    if (m_strUri.empty())
        m_strUri = UriReference(m_strPath, m_strDirectory);
    return m_strUri;
}

void CResultJudge::FileBegin(const std::string& path, const std::string& name) {
    m_strPath = path;
    m_strUri.clear();
    m_strName = name;
    m_pFileChanges = m_pChanged != nullptr ? m_pChanged->Of(name) : nullptr;
    m_nLine = 0;
    m_pending = {};
    m_seen.clear();
}

void CResultJudge::FileEnd(EFileOutcome outcome, const CFileCounts&) {
    FinishLine();
    DropPending(); // next-line markers on the file's last line
    if (m_pBaseline != nullptr)
        m_pBaseline->FileChecked(Uri(),
                                 !IsFailure(outcome) && !(m_pStop != nullptr && *m_pStop != 0));
}

void CResultJudge::Hit(const CHit& hit) {
    BeginLine(hit, true);
}

void CResultJudge::Marker(const CHit& line) {
    if (m_bMarkers)
        BeginLine(line, false);
}

void CResultJudge::BeginLine(const CHit& hit, bool bHit) {
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
    if (hit.nPhysical != m_nLine) {
        FinishLine();
        m_nLine = hit.nPhysical;
        if (m_pending.nLine + 1 != m_nLine)
            DropPending();
        m_bLookUp = m_bEveryLine || m_pBaseline != nullptr || !m_pending.markers.empty();
    } else {
        m_nFinishedLine = 0;
        m_finished.clear();
    }
    const std::string_view text = RecordText(hit.text);
    std::vector<CMarker> markers;
    if (m_bMarkers && hit.bMarker) {
        markers = ParseMarkers(text);
        for (const CMarker& marker : markers)
            (marker.bNextLine ? m_next : m_here).push_back(marker);
        m_bLookUp = m_bLookUp || !markers.empty();
    }
    if (!bHit)
        return;
    m_bHits = true;
    // A line that nothing asks to look up keeps its pieces, up to a bound, in case a marker
    // comes later on it; past the bound, and once something asks, it is looked up as it goes.
    if (!m_bLookUp && m_strDeferred.size() + text.size() > DEFERRED_MAX)
        m_bLookUp = true;
    if (!m_bLookUp) {
        m_deferred.push_back({m_strDeferred.size(), text.size(), hit.start});
        m_strDeferred.append(text);
        return;
    }
    LookUpDeferred();
    LookUp(text, hit.start, markers);
}

void CResultJudge::LookUpDeferred() {
    for (const CDeferred& piece : m_deferred)
        LookUp(std::string_view(m_strDeferred).substr(piece.nOffset, piece.nLength), piece.start,
               {});
    m_deferred.clear();
    m_strDeferred.clear();
}

void CResultJudge::LookUp(std::string_view text, CPieceStart start,
                          const std::vector<CMarker>& markers) {
    // A string inside a marker is none of the line's.
    std::string folded = AsciiUpperCopy(text);
    for (const CMarker& marker : markers)
        std::fill(folded.begin() + static_cast<std::ptrdiff_t>(marker.nBegin),
                  folded.begin() + static_cast<std::ptrdiff_t>(marker.nEnd), '\0');
    if (m_onLine.size() < m_rules.size())
        m_onLine.assign(m_rules.size(), false);
    std::string_view snippet;
    bool kept = false;
    for (size_t i = 0; i < m_rules.size(); ++i) {
        const size_t at = m_onLine[i] ? std::string::npos : folded.find(m_rules[i].folded);
        if (at == std::string::npos)
            continue;
        m_onLine[i] = true;
        if (!kept) { // the piece's text, kept while its results are read
            snippet = m_snippets.emplace_back(text);
            kept = true;
        }
        std::string print = m_rules[i].id;
        print += '\0';
        print += Uri();
        print += '\0';
        print.append(text);
        CResult result{&m_rules[i], Hex16(Fnv1a64(print)), EBaselineState::NONE};
        result.nStartColumn = PieceColumn(text, start, at);
        result.nEndColumn = PieceColumn(text, start, at + m_rules[i].folded.size());
        result.nOccurrence = ++m_seen[result.fingerprint];
        result.snippet = snippet;
        if (m_pBaseline != nullptr)
            result.state = m_pBaseline->Take(m_rules[i].id, m_strUri, result.fingerprint)
                               ? EBaselineState::UNCHANGED
                               : EBaselineState::NEW;
        m_line.push_back(std::move(result));
    }
}

void CResultJudge::Stale(long line, bool bNextLine, const std::string& what) {
    // With a change, a marker is judged where the change touched it or the line it is for: a
    // check of the change does not fail on lines that nobody touched.
    const bool touched =
        m_pFileChanges != nullptr &&
        (m_pFileChanges->Holds(line) || (bNextLine && m_pFileChanges->Holds(line + 1)));
    if (m_pChanged != nullptr && !touched)
        return;
    if (++m_nStale <= STALE_NAMED)
        m_stale.push_back(SafeText(m_strName) + ":" + std::to_string(line) +
                          ": stale marker: " + what);
}

void CResultJudge::Accept(const std::vector<CMarker>& markers, long line,
                          std::vector<CResult>& results) {
    for (const CMarker& marker : markers) {
        // Each item names a rule as the strings file would: letters folded, cut to the length
        // a search string keeps.
        std::vector<std::string> folded;
        for (const std::string& item : marker.items)
            folded.push_back(AsciiUpperCopy(std::string_view(item).substr(0, SEARCH_STRING_MAX)));
        std::vector<bool> named(folded.size(), false);
        bool any = false;
        for (CResult& result : results) {
            bool accepted = !marker.bList;
            for (size_t k = 0; k < folded.size(); ++k)
                if (folded[k] == result.pRule->folded)
                    accepted = named[k] = true;
            result.bAccepted = result.bAccepted || accepted;
            any = any || accepted;
        }
        for (size_t k = 0; k < folded.size(); ++k) {
            // An item as long as a line cannot be a string: its first bytes name it.
            const std::string& item = marker.items[k];
            if (!named[k])
                Stale(line, marker.bNextLine,
                      "\"" + SafeText(item.substr(0, 40)) + (item.size() > 40 ? "...\"" : "\"") +
                          " is not on the line");
        }
        if (!any && marker.items.empty())
            Stale(line, marker.bNextLine, "accepts nothing");
    }
}

void CResultJudge::DropPending() {
    std::vector<CResult> none;
    Accept(m_pending.markers, m_pending.nLine, none);
    m_pending = {};
}

void CResultJudge::FinishLine() {
    m_finished.clear();
    m_nFinishedLine = m_nLine;
    m_bFinishedNew = false;
    m_bFinishedChanged = true;
    m_bFinishedFound = false;
    // The snippets of the line before are no longer read; this line's stay until the next.
    m_finishedSnippets.swap(m_snippets);
    m_snippets.clear();
    if (m_nLine == 0)
        return;
    // On a changed line, or under a next-line marker on one: a change to the marker changes
    // what it accepts.
    const bool pending = !m_pending.markers.empty(); // for this line
    const bool changed =
        m_pChanged == nullptr ||
        (m_pFileChanges != nullptr &&
         (m_pFileChanges->Holds(m_nLine) || (pending && m_pFileChanges->Holds(m_pending.nLine))));
    m_bFinishedChanged = changed;
    if (!m_bLookUp) {
        m_bFinishedNew = m_bHits && changed; // nothing asks for its strings: each is new
        m_bFinishedFound = m_bHits;
    } else {
        LookUpDeferred();
        m_finished.swap(m_line);
        if (pending)
            Accept(m_pending.markers, m_pending.nLine, m_finished);
        Accept(m_here, m_nLine, m_finished);
        for (CResult& result : m_finished) {
            result.bChanged = changed;
            m_bFinishedNew = m_bFinishedNew || result.IsNew();
        }
        m_bFinishedFound = !m_finished.empty();
    }
    m_nNew += m_bFinishedNew;
    m_pending = {m_nLine, std::move(m_next)};
    m_next.clear();
    m_here.clear();
    m_line.clear();
    m_deferred.clear();
    m_strDeferred.clear();
    m_onLine.assign(m_onLine.size(), false);
    m_bHits = false;
    m_bLookUp = false;
    m_nLine = 0;
}

bool CBaseline::Load(const std::string& path, std::string& message, const StopFlag* stop) {
    try {
        return Read(path, message, stop);
    } catch (const std::bad_alloc&) {
        m_entries.clear();
        m_open.clear();
        message = "the baseline " + SafeText(path) + " does not fit in memory";
        return false;
    }
}

namespace {

// A URI reference of the characters a path may hold (RFC 3986): letters, digits, "-._~",
// "!$&'()*+,;=", ":", "@", "/" and "%" with two hex digits; no blank, "#", "?", nothing that is
// not ASCII. A log of ours holds no other: an absent result comes back into the next log as it
// stands, and must not make it invalid.
bool IsUriPath(std::string_view uri) {
    const auto hex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    for (size_t i = 0; i < uri.size(); ++i) {
        const char c = uri[i];
        if (c == '%') {
            if (i + 2 >= uri.size() || !hex(uri[i + 1]) || !hex(uri[i + 2]))
                return false;
            i += 2;
        } else if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') &&
                   std::string_view("-._~!$&'()*+,;=:@/").find(c) == std::string_view::npos) {
            return false;
        }
    }
    return !uri.empty();
}

// The member name of object, when it is of the kind given; nullptr when object is null, or
// the member missing (ok false then if it is required) or of another kind (ok false).
const CJson* Member(const CJson* object, const char* name, CJson::EKind kind, bool required,
                    bool& ok) {
    if (object == nullptr)
        return nullptr;
    const CJson* member = object->Get(name);
    if (member == nullptr) {
        ok = ok && !required;
        return nullptr;
    }
    if (member->kind != kind) {
        ok = false;
        return nullptr;
    }
    return member;
}

} // namespace

bool CBaseline::Read(const std::string& path, std::string& message, const StopFlag* stop) {
    const auto stopped = [stop] { return stop != nullptr && *stop != 0; };
    CLineFile file;
    if (!file.OpenRead(path)) {
        message = "cannot read the baseline " + SafeText(path);
        return false;
    }
    // Bounded as it is read (to a buffer past the limit), not by the size at the open: a file
    // of the kernel's says 0, and a file may grow while it is read.
    const std::string tooLarge = "the baseline " + SafeText(path) + " is larger than " +
                                 std::to_string(BYTES_MAX >> 20) +
                                 " MiB, the most a baseline may hold";
    std::string text;
    for (auto [data, avail] = file.Peek(); avail > 0; std::tie(data, avail) = file.Peek()) {
        if (stopped()) {
            message.clear();
            return false;
        }
        if (text.size() + avail > static_cast<size_t>(BYTES_MAX)) {
            message = tooLarge;
            return false;
        }
        text.append(data, avail);
        file.Consume(avail);
    }
    if (file.ReadFailed()) {
        message = "cannot read the baseline " + SafeText(path);
        return false;
    }
    message = SafeText(path) + " is not a SARIF log of kavel-report";
    CJson log;
    switch (ParseJsonBounded(text, log, VALUES_MAX, stop)) {
    case EJsonRead::OK: break;
    case EJsonRead::INVALID: return false;
    case EJsonRead::TOO_MANY_VALUES:
        message = "the baseline " + SafeText(path) + " holds more than " +
                  std::to_string(VALUES_MAX) + " JSON values, the most a baseline may hold";
        return false;
    case EJsonRead::STOPPED: message.clear(); return false;
    }
    std::string().swap(text);
    const CJson* version = log.Get("version");
    const CJson* name = log.At("runs/0/tool/driver/name");
    const CJson* results = log.At("runs/0/results");
    if (version == nullptr || version->text != "2.1.0" || name == nullptr ||
        name->text != "Kavel 2000" || results == nullptr || results->kind != CJson::EKind::ARRAY)
        return false;
    using EKind = CJson::EKind;
    // A log of a run with a baseline or a change lists its new results only: as a baseline it would
    // make every unchanged result of the next run new.
    if (const CJson* only = log.At(std::string("runs/0/properties/") + NEW_RESULTS_ONLY);
        only != nullptr && only->kind == EKind::BOOL && only->b) {
        message = SafeText(path) +
                  " holds only the new results of a run with --baseline or --changed-since: it "
                  "is no baseline; record one without them (or with --baseline-all)";
        return false;
    }
    // The rules' strings, as their descriptions name them: the rules of results that come
    // back absent are defined in the next log by them.
    if (const CJson* rules = log.At("runs/0/tool/driver/rules");
        rules != nullptr && rules->kind == EKind::ARRAY)
        for (const CJson& rule : rules->items) {
            const CJson* id = rule.kind == EKind::OBJECT ? rule.Get("id") : nullptr;
            const CJson* shortText = rule.At("shortDescription/text");
            const std::string_view prefix = "Search string \"";
            if (id != nullptr && id->kind == EKind::STRING && shortText != nullptr &&
                shortText->kind == EKind::STRING && shortText->text.size() > prefix.size() &&
                shortText->text.starts_with(prefix) && shortText->text.back() == '"')
                m_ruleTexts[id->text] = shortText->text.substr(
                    prefix.size(), shortText->text.size() - prefix.size() - 1);
        }
    for (const CJson& result : results->items) {
        // Each member is of the kind a log of ours gives it: a result that comes back absent
        // is written into the next log as it stands, and a line there is a whole number from 1.
        bool ok = result.kind == EKind::OBJECT;
        const CJson* ruleId = Member(&result, "ruleId", EKind::STRING, true, ok);
        const CJson* messageText = Member(Member(&result, "message", EKind::OBJECT, false, ok),
                                          "text", EKind::STRING, false, ok);
        const CJson* locations = Member(&result, "locations", EKind::ARRAY, true, ok);
        const CJson* location = nullptr;
        if (locations != nullptr &&
            (locations->items.empty() || (location = &locations->items[0])->kind != EKind::OBJECT))
            ok = false;
        const CJson* physical = Member(location, "physicalLocation", EKind::OBJECT, true, ok);
        const CJson* artifact = Member(physical, "artifactLocation", EKind::OBJECT, true, ok);
        const CJson* uri = Member(artifact, "uri", EKind::STRING, true, ok);
        const CJson* base = Member(artifact, "uriBaseId", EKind::STRING, false, ok);
        const CJson* region = Member(physical, "region", EKind::OBJECT, true, ok);
        const CJson* line = Member(region, "startLine", EKind::NUMBER, true, ok);
        const CJson* startColumn = Member(region, "startColumn", EKind::NUMBER, false, ok);
        const CJson* endColumn = Member(region, "endColumn", EKind::NUMBER, false, ok);
        const CJson* snippet = Member(Member(region, "snippet", EKind::OBJECT, false, ok), "text",
                                      EKind::STRING, false, ok);
        const CJson* print = Member(Member(&result, "partialFingerprints", EKind::OBJECT, true, ok),
                                    "kavelLine/v1", EKind::STRING, true, ok);
        const CJson* state = Member(&result, "baselineState", EKind::STRING, false, ok);
        const CJson* suppressions = Member(&result, "suppressions", EKind::ARRAY, false, ok);
        // The one base a log of ours names, kept as it is: another would be rewritten.
        const auto whole = [](const CJson* number) {
            return number->number >= 1 && number->number <= 0x1p53 &&
                   number->number == static_cast<double>(static_cast<long>(number->number));
        };
        if (!ok || !IsUriPath(uri->text) || (base != nullptr && base->text != "SRCROOT") ||
            !whole(line) || (startColumn == nullptr) != (endColumn == nullptr) ||
            (startColumn != nullptr && (!whole(startColumn) || !whole(endColumn) ||
                                        endColumn->number < startColumn->number)) ||
            !ruleId->text.starts_with("KAVEL-"))
            return false;
        // Results that were absent from the run the log came from are gone already, and
        // those that a marker accepted are its: without the marker they are new.
        if ((state != nullptr && state->text == "absent") ||
            (suppressions != nullptr && !suppressions->items.empty()))
            continue;
        CEntry entry;
        entry.ruleId = ruleId->text;
        entry.uri = uri->text;
        entry.uriBaseId = base != nullptr ? base->text : "";
        entry.fingerprint = print->text;
        entry.message = messageText != nullptr ? messageText->text : "";
        entry.snippet = snippet != nullptr ? snippet->text : "";
        entry.line = static_cast<long>(line->number);
        entry.startColumn = startColumn != nullptr ? static_cast<long>(startColumn->number) : 0;
        entry.endColumn = endColumn != nullptr ? static_cast<long>(endColumn->number) : 0;
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

void CBaseline::FileChecked(const std::string& uri, bool bWhole) {
    (bWhole ? m_whole : m_partial).insert(uri);
}

long CBaseline::WriteAbsentResults(CJsonWriter& json, bool bRunWhole,
                                   std::set<std::string>& ruleIds) const {
    long written = 0;
    for (const CEntry& entry : m_entries)
        if (!entry.bTaken && m_partial.count(entry.uri) == 0 &&
            (m_whole.count(entry.uri) != 0 ||
             (bRunWhole && (!m_gone || m_gone->count(entry.uri) != 0)))) {
            SarifResult(json, entry.ruleId, entry.message,
                        {entry.uri, !entry.uriBaseId.empty(), entry.line, entry.startColumn,
                         entry.endColumn, entry.snippet},
                        entry.fingerprint, EBaselineState::ABSENT);
            ruleIds.insert(entry.ruleId);
            ++written;
        }
    return written;
}

void CBaseline::SetGone(std::set<std::string> uris) {
    m_gone = std::move(uris);
}

bool CLineRanges::Holds(long line) const {
    if (bWhole)
        return true;
    const auto after = std::upper_bound(spans.begin(), spans.end(), line,
                                        [](long n, const auto& span) { return n < span.first; });
    return after != spans.begin() && std::prev(after)->second >= line;
}

std::string CBaseline::RuleText(const std::string& ruleId) const {
    const auto found = m_ruleTexts.find(ruleId);
    return found != m_ruleTexts.end() ? found->second : "";
}
