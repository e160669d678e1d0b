#include "core/report/recordsink.h"

namespace {

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

} // namespace

std::unique_ptr<CFormatSink> MakeGithubFormat(const CFormatContext& context) {
    return std::make_unique<CGithubFormat>(context);
}
