#pragma once
// kavel-report's standard output in the format asked for: the report itself, grep's lines,
// JSON Lines, one SARIF log, GitHub Actions' workflow commands or a GitLab Code Quality
// report. The output file always keeps the report.
//
// The machine formats point into the files: they speak in the files' own lines (counted by
// LF), with one record for each line that holds a search string, however many pieces of the
// report it took. grep and JSON name each file as it was given (a walk's files as the folder
// given, "/" and the names below it); SARIF, github and gitlab relative to the current folder.
// Each shows the new results only (all of them without a baseline); with bAllLines, grep,
// JSON and SARIF show every result.

#include "core/report/byteoutput.h"
#include "core/report/judge.h"
#include "core/report/recordtext.h"
#include "core/report/reportsink.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class EOutputFormat { REPORT, GREP, JSON, SARIF, GITHUB, GITLAB };

// The format named report, grep, json, sarif, github or gitlab; false for any other name.
bool ParseOutputFormat(std::string_view name, EOutputFormat& format);

// What a format sink needs beyond the events: where it writes, the current directory (SARIF's
// URIs are relative to it), the program's version, and the judge of the results, which
// MakeFormatSink sets (null for report, and for grep and JSON without a judge). bAllLines: grep
// and JSON print every line found, not only those with a new result. pStop: the run's stop; a
// file that ends with it set was stopped in its check (may be null).
struct CFormatContext {
    CByteOutput& out;
    std::string currentDirectory;
    std::string version;
    bool bAllLines = false;
    const StopFlag* pStop = nullptr;
    bool bNewCounts = false; // JSON counts the new lines (markers or a baseline judge them)
    const CResultJudge* pJudge = nullptr; // set by MakeFormatSink
};

// A format's sink. Finish comes after the run, once the tool knows why it fails (the causes of
// exit status 2, as messages, none for a run that did not fail): what a reader takes for the
// run's verdict (JSON's summary, SARIF's invocation, the end of GitLab's array) is written
// then, last. It returns what standard error should say of the output (a consumer's limit
// that it passes), without the program's name.
class CFormatSink : public CReportSink {
  public:
    virtual std::vector<std::string> Finish(const std::vector<std::string>& failures) = 0;
};

// A judge and the format sink it judges for, as one sink: every event reaches the judge first
// and the format after it, so that the format reads the results of each line as the line ends.
// The format may be null (nothing is written: the judge still gives the verdict).
class CJudgedSink final : public CFormatSink {
  public:
    CJudgedSink(std::unique_ptr<CResultJudge> judge, std::unique_ptr<CFormatSink> format);
    const CResultJudge& Judge() const { return *m_pJudge; }

    void RunBegin(const CRunHeader& header) override;
    void StringsLoaded(const SearchStringTable& strings) override;
    void Error(std::string_view text) override;
    void FileBegin(const std::string& path, const std::string& name) override;
    void Hit(const CHit& hit) override;
    void Marker(const CHit& line) override;
    void FileEnd(EFileOutcome outcome, const CFileCounts& counts) override;
    void RunEnd(bool bCancelled) override;
    void Flush() override;
    std::vector<std::string> Finish(const std::vector<std::string>& failures) override;

  private:
    // The event to the judge, then to the format.
    template <typename Event> void Each(const Event& event) {
        event(*m_pJudge);
        if (m_pFormat)
            event(*m_pFormat);
    }

    std::unique_ptr<CResultJudge> m_pJudge;
    std::unique_ptr<CFormatSink> m_pFormat;
};

// The sink of a format, behind the judge when one is given (a CJudgedSink then). SARIF,
// GitHub and GitLab show the judge's results: without a judge given they get one of their own
// (no baseline, no markers, every line looked up).
std::unique_ptr<CFormatSink> MakeFormatSink(EOutputFormat format, CFormatContext context,
                                            std::unique_ptr<CResultJudge> judge = nullptr);
