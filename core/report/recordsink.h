#pragma once
// The base of the formats that point into files, and the makers of each (one file each:
// grepformat, jsonformat, sarifformat, githubformat, gitlabformat).

#include "core/report/formats.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

    const CFormatContext m_context;
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

// The message of a result, and of a line's results (their strings in the order given).
std::string ResultMessage(const std::vector<const std::string*>& strings);

std::unique_ptr<CFormatSink> MakeGrepFormat(const CFormatContext& context);
std::unique_ptr<CFormatSink> MakeJsonFormat(const CFormatContext& context);
// The log's rules, URIs and absent results come from the judge the sink stands behind.
std::unique_ptr<CFormatSink> MakeSarifFormat(const CFormatContext& context,
                                             const CResultJudge& judge);
std::unique_ptr<CFormatSink> MakeGithubFormat(const CFormatContext& context);
std::unique_ptr<CFormatSink> MakeGitlabFormat(const CFormatContext& context);
