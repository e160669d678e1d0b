#include "core/report/recordsink.h"

namespace {

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

// The most results that code scanning takes in a run.
constexpr long CODE_SCANNING_RESULTS_MAX = 25000;

// One SARIF 2.1.0 log: the results as they come, then the run's invocation and the tool with a
// rule for every result's search string. With a baseline it holds the new results only (then
// it is no baseline itself, and says so), or with bAllLines every result with its state and
// the baseline's results that are gone.
class CSarifFormat : public CRecordSink {
  public:
    CSarifFormat(const CFormatContext& context, const CResultJudge& judge)
        : CRecordSink(context), m_judge(judge), m_json(m_context.out.Pending()) {
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
    const CResultJudge& Judge() const { return m_judge; }

    const CResultJudge& m_judge;  // the one it stands behind: the results are its
    CJsonWriter m_json;           // the log, written as the run goes
    std::set<std::string> m_used; // ids of the rules with a result in the log
    std::vector<std::string> m_notifications;
    long m_nResults = 0;
};

} // namespace

std::unique_ptr<CFormatSink> MakeSarifFormat(const CFormatContext& context,
                                             const CResultJudge& judge) {
    return std::make_unique<CSarifFormat>(context, judge);
}
