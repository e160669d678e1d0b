#include "core/report/baseline.h"

#include "core/lines/linefile.h"
#include "core/report/recordtext.h"
#include "core/text/ascii.h"

#include <new>
#include <sys/stat.h>

const char* StateName(EBaselineState state) {
    switch (state) {
    case EBaselineState::NEW: return "new";
    case EBaselineState::UNCHANGED: return "unchanged";
    case EBaselineState::ABSENT: return "absent";
    case EBaselineState::NONE: break;
    }
    return "";
}

void SarifResult(CJsonWriter& json, const std::string& ruleId, const std::string& message,
                 const CSarifPlace& place, const std::string& fingerprint, EBaselineState state,
                 bool bAccepted, bool bChanged) {
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

namespace {

// The log's text, bounded as it is read (to a buffer past the limit), not by the size at the
// open: a file of the kernel's says 0, and a file may grow while it is read. False with a
// message, or with none after a stop.
bool ReadBaselineText(const std::string& path, std::string& text, std::string& message,
                      const StopFlag* stop) {
    CLineFile file;
    if (!file.OpenRead(path)) {
        message = "cannot read the baseline " + SafeText(path);
        return false;
    }
    for (auto [data, avail] = file.Peek(); avail > 0; std::tie(data, avail) = file.Peek()) {
        if (stop != nullptr && *stop != 0) {
            message.clear();
            return false;
        }
        if (text.size() + avail > static_cast<size_t>(CBaseline::BYTES_MAX)) {
            message = "the baseline " + SafeText(path) + " is larger than " +
                      std::to_string(CBaseline::BYTES_MAX >> 20) +
                      " MiB, the most a baseline may hold";
            return false;
        }
        text.append(data, avail);
        file.Consume(avail);
    }
    if (file.ReadFailed()) {
        message = "cannot read the baseline " + SafeText(path);
        return false;
    }
    return true;
}

} // namespace

bool CBaseline::Read(const std::string& path, std::string& message, const StopFlag* stop) {
    std::string text;
    if (!ReadBaselineText(path, text, message, stop))
        return false;
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
    ReadRuleTexts(log);
    for (const CJson& result : results->items) {
        CEntry entry;
        const EEntry read = ReadEntry(result, entry);
        if (read == EEntry::INVALID)
            return false;
        if (read == EEntry::LEFT_OUT)
            continue;
        m_open.emplace(entry.ruleId + '\0' + entry.uri + '\0' + entry.fingerprint,
                       m_entries.size());
        m_entries.push_back(std::move(entry));
    }
    message.clear();
    return true;
}

// The rules' strings, as their descriptions name them: the rules of results that come back
// absent are defined in the next log by them.
void CBaseline::ReadRuleTexts(const CJson& log) {
    using EKind = CJson::EKind;
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
}

CBaseline::EEntry CBaseline::ReadEntry(const CJson& result, CEntry& entry) {
    using EKind = CJson::EKind;
    // Each member is of the kind a log of ours gives it: a result that comes back absent
    // is written into the next log as it stands, and a line there is a whole number from 1.
    bool ok = result.kind == EKind::OBJECT;
    const CJson* ruleId = Member(&result, "ruleId", EKind::STRING, true, ok);
    const CJson* messageText = Member(Member(&result, "message", EKind::OBJECT, false, ok), "text",
                                      EKind::STRING, false, ok);
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
        (startColumn != nullptr &&
         (!whole(startColumn) || !whole(endColumn) || endColumn->number < startColumn->number)) ||
        !ruleId->text.starts_with("KAVEL-"))
        return EEntry::INVALID;
    // Results that were absent from the run the log came from are gone already, and
    // those that a marker accepted are its: without the marker they are new.
    if ((state != nullptr && state->text == "absent") ||
        (suppressions != nullptr && !suppressions->items.empty()))
        return EEntry::LEFT_OUT;
    entry.ruleId = ruleId->text;
    entry.uri = uri->text;
    entry.uriBaseId = base != nullptr ? base->text : "";
    entry.fingerprint = print->text;
    entry.message = messageText != nullptr ? messageText->text : "";
    entry.snippet = snippet != nullptr ? snippet->text : "";
    entry.line = static_cast<long>(line->number);
    entry.startColumn = startColumn != nullptr ? static_cast<long>(startColumn->number) : 0;
    entry.endColumn = endColumn != nullptr ? static_cast<long>(endColumn->number) : 0;
    return EEntry::TAKEN;
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

std::string CBaseline::RuleText(const std::string& ruleId) const {
    const auto found = m_ruleTexts.find(ruleId);
    return found != m_ruleTexts.end() ? found->second : "";
}
