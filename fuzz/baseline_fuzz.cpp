// The baseline reader on any file (a baseline is a file that anyone can commit): it loads or
// says why not, and what it loaded comes back out, as the absent results of a run that
// checked nothing, as JSON that a strict reader takes.
#include "core/report/formats.h"
#include "core/report/json.h"
#include "fuzz/memfile.h"

#include <cstdint>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CMemFile mem;
    mem.Set(data, size);
    CBaseline baseline;
    std::string message;
    if (!baseline.Load(mem.Path(), message)) {
        FUZZ_CHECK(!message.empty());
        return 0;
    }
    std::string text;
    CJsonWriter json(text);
    json.Array();
    std::set<std::string> rules;
    const long written = baseline.WriteAbsentResults(json, true, rules);
    json.End();
    CJson results;
    FUZZ_CHECK(ParseJson(text, results));
    FUZZ_CHECK(results.items.size() == static_cast<size_t>(written));
    for (const std::string& id : rules)
        baseline.RuleText(id);
    return 0;
}
