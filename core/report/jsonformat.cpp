#include "core/report/recordsink.h"

namespace {

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

} // namespace

std::unique_ptr<CFormatSink> MakeJsonFormat(const CFormatContext& context) {
    return std::make_unique<CJsonFormat>(context);
}
