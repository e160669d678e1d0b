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

#include "core/lines/stopflag.h"
#include "core/match/markers.h"
#include "core/match/searchstrings.h"
#include "core/report/json.h"
#include "core/report/reportsink.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

enum class EOutputFormat { REPORT, GREP, JSON, SARIF, GITHUB, GITLAB };

// The format named report, grep, json, sarif, github or gitlab; false for any other name.
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

// A rule: a search string, and those that match alike (the same when upper-cased) with it.
struct CRule {
    std::string folded;
    std::string text; // the first of them in the strings file
    std::string id;   // RuleId
};

// How a result stands against a baseline (SARIF's baselineState).
enum class EBaselineState { NONE, NEW, UNCHANGED, ABSENT };

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

// The results of an earlier run, from a SARIF log that --format sarif wrote.
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

class CBaseline {
  public:
    // The most bytes a baseline may hold, and the most JSON values: a result of ours holds 17
    // values in some 330 bytes or more, so the values allow some 120,000 results, and the
    // tree (some 100 bytes a value, whatever the text's) stays at a few hundred MB.
    static constexpr off_t BYTES_MAX = 64 << 20;
    static constexpr size_t VALUES_MAX = 2 << 20;

    // Reads the log; false with a message when it cannot be read, is larger than the limits,
    // does not fit in memory, or is not such a log (an empty baseline would make every result
    // of the run look old, or new), or holds only the new results of a run with a baseline;
    // false with an empty message once *stop is nonzero (stop may be null).
    bool Load(const std::string& path, std::string& message, const StopFlag* stop = nullptr);
    // Takes a result of the same rule, URI and fingerprint (the line's text, not its number)
    // out of the baseline, in the order of the log; false when none is left: the result is new.
    bool Take(const std::string& ruleId, const std::string& uri, const std::string& fingerprint);
    // A file of the run was checked, to its end (bWhole) or not: it failed to open or read,
    // or a stop ended its check. Results of a file not read to its end are not absent.
    void FileChecked(const std::string& uri, bool bWhole);
    // The results that nothing took, as SARIF results with the baselineState "absent": those
    // of the files read to their end and, when the run was not stopped (bRunWhole), those of
    // files it did not check (they are gone). Adds their rule ids to ruleIds; returns how
    // many it wrote.
    long WriteAbsentResults(CJsonWriter& json, bool bRunWhole,
                            std::set<std::string>& ruleIds) const;
    // Only a part of the tree is checked (a change's files): the results of a file the run did
    // not check are absent only when the file is one of these URIs (it is gone); the others
    // are left out of the log.
    void SetGone(std::set<std::string> uris);
    // The search string of a rule of the log, as its description names it; empty if none.
    std::string RuleText(const std::string& ruleId) const;

  private:
    bool Read(const std::string& path, std::string& message, const StopFlag* stop);

    struct CEntry {
        std::string ruleId, uri, uriBaseId, fingerprint, message, snippet;
        long line, startColumn, endColumn; // columns 0 when the log gave none
        bool bTaken = false;
    };
    std::map<std::string, std::string> m_ruleTexts; // by rule id: its search string
    std::vector<CEntry> m_entries;
    std::multimap<std::string, size_t> m_open;   // by rule, URI and fingerprint: not yet taken
    std::set<std::string> m_whole, m_partial;    // URIs of the files checked, to their end or not
    std::optional<std::set<std::string>> m_gone; // see SetGone
};

// The results of the lines found, made once for every format and the exit status: each
// line's rules, their columns, fingerprints (FNV-1a 64 over the rule id, a NUL, the URI, a NUL
// and the line's text as recorded) and what tells whether they are new: the baseline's state,
// and the in-source markers that accept them (core/match/markers.h). A line is judged when it
// has ended (its last piece, or a marker on the line after it, may accept its strings): a sink
// of the run ahead of the format's sink, which reads Finished() when it sees the line end.
// Strings are looked up only on lines where a marker, the baseline or the format asks for it;
// a line that is not looked up is new.
class CResultJudge : public CReportSink {
  public:
    // baseline may be null. The table is filled when the strings are loaded. stop (may be
    // null): the run's stop, nonzero when a file's check ends by a stop. bMarkers: markers
    // accept results; bEveryLine: every line is looked up (for formats that show results).
    CResultJudge(const SearchStringTable& strings, std::string currentDirectory,
                 CBaseline* baseline, const StopFlag* stop = nullptr, bool bMarkers = false,
                 bool bEveryLine = true);
    // Only results on the lines a change touched are new (changed may be null: every line).
    void SetChangedLines(const CChangedLines* changed) { m_pChanged = changed; }
    bool HasChangedLines() const { return m_pChanged != nullptr; }
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

    const SearchStringTable& m_strings;
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

// What a format sink needs beyond the events: where it writes, the table of the run (filled
// when the strings are loaded, before the first hit), the current directory (SARIF's URIs are
// relative to it), the program's version, and the judge of the results (null for report,
// and for grep and JSON without a baseline). bAllLines: grep and JSON print every line found,
// not only those with a new result. pStop: the run's stop; a file that ends with it set was
// stopped in its check (may be null).
struct CFormatContext {
    CByteOutput& out;
    const SearchStringTable& strings;
    std::string currentDirectory;
    std::string version;
    const CResultJudge* pJudge = nullptr;
    bool bAllLines = false;
    const StopFlag* pStop = nullptr;
    bool bNewCounts = false; // JSON counts the new lines (markers or a baseline judge them)
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

std::unique_ptr<CFormatSink> MakeFormatSink(EOutputFormat format, const CFormatContext& context);

// The bytes with every control character but TAB (0x00 to 0x1F, 0x7F) shown as "?": a name or
// a line that cannot break a record or a message line, or forge one.
std::string SafeText(std::string_view bytes);
// What kavel-report says of a file that failed (an outcome IsFailure holds for): "Failed to open
// file: " or "Failed to read file: " and the reason, as standard error and SARIF word it.
std::string FailureText(EFileOutcome outcome, const CFileCounts& counts);
// A record's text: a piece's text without the LF that a cut CR LF left at its start.
std::string_view RecordText(std::string_view text);

// The path as a SARIF URI reference: "//" and "/./" made single; relative to the directory
// when it lies under it with no ".." on the way, else a file URI; every byte but letters,
// digits, "-._~/" percent-encoded.
std::string UriReference(const std::string& path, const std::string& directory);
// The path as UriReference makes it relative, its bytes as they are; the name the file was
// given by when it lies outside the directory.
std::string RelativePath(const std::string& path, const std::string& name,
                         const std::string& directory);
// A value of a GitHub workflow command, escaped as the runner undoes it: "%", CR and LF, and
// in a property also ":" and ",", so that no text ends the command or starts another.
std::string WorkflowEscape(std::string_view text, bool bProperty);
// FNV-1a, 64 bits.
uint64_t Fnv1a64(std::string_view bytes);
// A SARIF rule id: "KAVEL-" and 16 lower-case hex digits of Fnv1a64 of the string with its
// ASCII letters upper-cased, so that strings that match alike have one id in any strings file.
std::string RuleId(std::string_view searchString);
