#include "core/report/judge.h"

#include "core/report/recordtext.h"
#include "core/text/ascii.h"

#include <algorithm>

bool CLineRanges::Holds(long line) const {
    if (bWhole)
        return true;
    const auto after = std::upper_bound(spans.begin(), spans.end(), line,
                                        [](long n, const auto& span) { return n < span.first; });
    return after != spans.begin() && std::prev(after)->second >= line;
}

CResultJudge::CResultJudge(std::string currentDirectory, CBaseline* baseline, const StopFlag* stop,
                           bool bMarkers, bool bEveryLine)
    : m_strDirectory(std::move(currentDirectory)), m_pBaseline(baseline), m_pStop(stop),
      m_bMarkers(bMarkers), m_bEveryLine(bEveryLine) {}

void CResultJudge::StringsLoaded(const SearchStringTable& strings) {
    m_rules.clear();
    for (int i = 0; i < CountSearchStrings(strings); ++i) {
        std::string folded = AsciiUpperCopy(strings[i]);
        bool known = false;
        for (const CRule& rule : m_rules)
            known = known || rule.folded == folded;
        if (!known)
            m_rules.push_back({folded, std::string(strings[i]), RuleId(strings[i])});
    }
}

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
