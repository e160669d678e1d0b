#pragma once
// The results of an earlier run, from a SARIF log that --format sarif wrote: read strictly and
// within bounds (a baseline is a file anyone can commit), taken by the results of this run,
// and the rest written again as absent.

#include "core/lines/stopflag.h"
#include "core/report/json.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// How a result stands against a baseline (SARIF's baselineState).
enum class EBaselineState { NONE, NEW, UNCHANGED, ABSENT };

// The state as SARIF's baselineState names it ("" for NONE).
const char* StateName(EBaselineState state);

// The run property of a log that holds only the new results of a run with a baseline.
inline constexpr const char* NEW_RESULTS_ONLY = "kavelNewResultsOnly";

// Where a SARIF result points, as a result of the run gives it and as a baseline's absent
// result is written again (with the columns it had, if any).
struct CSarifPlace {
    const std::string& uri;
    bool bRelative;
    long line, startColumn, endColumn; // columns 0: none
    std::string_view snippet;
};

// A SARIF result as both the log and the baseline's absent results write it.
void SarifResult(CJsonWriter& json, const std::string& ruleId, const std::string& message,
                 const CSarifPlace& place, const std::string& fingerprint, EBaselineState state,
                 bool bAccepted = false, bool bChanged = true);

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
    void ReadRuleTexts(const CJson& log);

    struct CEntry {
        std::string ruleId, uri, uriBaseId, fingerprint, message, snippet;
        long line, startColumn, endColumn; // columns 0 when the log gave none
        bool bTaken = false;
    };
    // A result of the log: as a log of ours writes it, taken into the baseline; left out (an
    // absent or accepted one); or invalid, which makes the whole log no baseline.
    enum class EEntry { TAKEN, LEFT_OUT, INVALID };
    static EEntry ReadEntry(const CJson& result, CEntry& entry);
    std::map<std::string, std::string> m_ruleTexts; // by rule id: its search string
    std::vector<CEntry> m_entries;
    std::multimap<std::string, size_t> m_open;   // by rule, URI and fingerprint: not yet taken
    std::set<std::string> m_whole, m_partial;    // URIs of the files checked, to their end or not
    std::optional<std::set<std::string>> m_gone; // see SetGone
};
