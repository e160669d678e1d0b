#pragma once
// What is new: the results of the lines found, judged once for every format and the exit
// status against the baseline, the in-source markers and the lines a change touched.

#include "core/lines/stopflag.h"
#include "core/match/markers.h"
#include "core/match/searchstrings.h"
#include "core/report/baseline.h"
#include "core/report/reportsink.h"

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// A rule: a search string, and those that match alike (the same when upper-cased) with it.
struct CRule {
    std::string folded;
    std::string text; // the first of them in the strings file
    std::string id;   // RuleId
};

// A result: a rule found on a file's own line, first in one of its pieces.
struct CResult {
    const CRule* pRule;
    std::string fingerprint; // 16 hex digits: see CResultJudge
    EBaselineState state;
    // Where the rule's string first stands on the line: columns in characters (Utf8Columns)
    // from 1, the end column after its last character.
    long nStartColumn = 1, nEndColumn = 1;
    // Of the results of the file with this fingerprint (equal lines), the how-manieth, from 1.
    long nOccurrence = 1;
    bool bAccepted = false;     // by an in-source marker
    bool bChanged = true;       // on a line the change touched (every line without one)
    std::string_view snippet{}; // the text of the line's piece it was found in

    // Not in the baseline (every result is new without one), not accepted by a marker, and on
    // a changed line.
    bool IsNew() const { return !bAccepted && bChanged && state != EBaselineState::UNCHANGED; }
};

// The lines of a file that a change added or changed: spans of line numbers, or every line.
struct CLineRanges {
    bool bWhole = false;
    std::vector<std::pair<long, long>> spans; // first and last line, ascending, apart

    bool Holds(long line) const;
};

// A change's files, as the run names them: the lines each added or changed.
class CChangedLines {
  public:
    virtual ~CChangedLines() = default;
    // The lines of the file the run checks under this name; null when it did not change.
    virtual const CLineRanges* Of(const std::string& name) const = 0;
};

// The results of the lines found, made once for every format and the exit status: each
// line's rules, their columns, fingerprints (FNV-1a 64 over the rule id, a NUL, the URI, a NUL
// and the line's text as recorded) and what tells whether they are new: the baseline's state,
// and the in-source markers that accept them (core/match/markers.h). A line is judged when it
// has ended (its last piece, or a marker on the line after it, may accept its strings): it
// stands in front of the format's sink (CJudgedSink, core/report/formats.h), which reads
// Finished() when it sees the line end.
// Strings are looked up only on lines where a marker, the baseline or the format asks for it;
// a line that is not looked up is new.
class CResultJudge : public CReportSink {
  public:
    // baseline may be null. stop (may be null): the run's stop, nonzero when a file's check
    // ends by a stop. bMarkers: markers accept results; bEveryLine: every line is looked up
    // (for formats that show results).
    CResultJudge(std::string currentDirectory, CBaseline* baseline, const StopFlag* stop = nullptr,
                 bool bMarkers = false, bool bEveryLine = true);
    // Only results on the lines a change touched are new (changed may be null: every line).
    void SetChangedLines(const CChangedLines* changed) { m_pChanged = changed; }
    bool HasChangedLines() const { return m_pChanged != nullptr; }
    // The rules: one for each search string, those that match alike (the same when
    // upper-cased) taken together under the first of them.
    void StringsLoaded(const SearchStringTable& strings) override;
    void Error(std::string_view) override {}
    void FileBegin(const std::string& path, const std::string& name) override;
    void Hit(const CHit& hit) override;
    void Marker(const CHit& line) override;
    void FileEnd(EFileOutcome outcome, const CFileCounts&) override;
    void RunEnd(bool) override {}

    // The line that the last event ended (0: none), its results (none when it was not looked
    // up) and whether one of them is new. Their snippets last until the next event.
    long FinishedLine() const { return m_nFinishedLine; }
    const std::vector<CResult>& Finished() const { return m_finished; }
    bool FinishedNew() const { return m_bFinishedNew; }
    // Whether that line is one the change touched (true without changed lines).
    bool FinishedChanged() const { return m_bFinishedChanged; }
    // Whether that line holds a string outside its markers.
    bool FinishedFound() const { return m_bFinishedFound; }
    // The file's URI, as SARIF gives it (UriReference), made when first asked for.
    const std::string& Uri() const;
    const std::vector<CRule>& Rules() const { return m_rules; }
    bool HasBaseline() const { return m_pBaseline != nullptr; }
    CBaseline* Baseline() const { return m_pBaseline; }
    // Lines with a new result.
    long NewResults() const { return m_nNew; }
    // "FILE:LINE: stale marker: ..." for each marker that accepts nothing or names a string
    // that is not on its line, in file order: the first STALE_NAMED of them, so that a tree
    // of stale markers costs no memory; StaleCount() counts them all.
    static constexpr long STALE_NAMED = 1000;
    const std::vector<std::string>& StaleMarkers() const { return m_stale; }
    long StaleCount() const { return m_nStale; }

  private:
    struct CDeferred { // a hit piece not looked up yet, in m_strDeferred
        size_t nOffset, nLength;
        CPieceStart start;
    };
    // The most bytes of a line's hit pieces that wait for a marker later on the line; a
    // longer line is looked up as it comes.
    static constexpr size_t DEFERRED_MAX = 64 << 10;
    struct CPending { // a line's next-line markers, for the line after it
        long nLine = 0;
        std::vector<CMarker> markers;
    };
    void BeginLine(const CHit& hit, bool bHit);
    // The results of a piece: each rule's first occurrence on the line, outside markers.
    void LookUp(std::string_view text, CPieceStart start, const std::vector<CMarker>& markers);
    void LookUpDeferred();
    void FinishLine();
    // Judges the markers against the results they may accept; says so of those that are stale.
    void Accept(const std::vector<CMarker>& markers, long line, std::vector<CResult>& results);
    void Stale(long line, bool bNextLine, const std::string& what);
    // Next-line markers that no line followed (the next one had no string, or the file
    // ended): they accept nothing.
    void DropPending();

    const std::string m_strDirectory;
    CBaseline* m_pBaseline;
    const StopFlag* m_pStop;
    const bool m_bMarkers, m_bEveryLine;
    const CChangedLines* m_pChanged = nullptr;
    const CLineRanges* m_pFileChanges = nullptr; // of the file being judged
    std::vector<CRule> m_rules;
    std::map<std::string, long> m_seen; // results of the file so far, by fingerprint
    std::string m_strPath, m_strName;
    mutable std::string m_strUri;
    // The line being judged, piece by piece: whether it has a string and is looked up (a
    // marker, a baseline or a format asks), its markers, its results so far and the texts
    // they point into (kept until the next line ends, as those of the line before).
    long m_nLine = 0;
    bool m_bHits = false, m_bLookUp = false;
    std::vector<CDeferred> m_deferred;
    std::string m_strDeferred;
    std::vector<CMarker> m_here, m_next;
    std::vector<CResult> m_line;
    std::vector<bool> m_onLine; // by rule: found on the line
    std::deque<std::string> m_snippets, m_finishedSnippets;
    CPending m_pending;
    std::vector<CResult> m_finished;
    long m_nFinishedLine = 0;
    bool m_bFinishedNew = false, m_bFinishedChanged = true, m_bFinishedFound = false;
    long m_nNew = 0;
    std::vector<std::string> m_stale;
    long m_nStale = 0;
};
