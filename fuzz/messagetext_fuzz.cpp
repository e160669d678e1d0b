// ReplaceAll and the inserts of messages on any texts: the results follow the plain rules, and
// nothing is read or written outside a buffer whatever the inserts' lengths.
#include "core/text/resource.h"
#include "fuzz/memfile.h"
#include "gui/base/messagebox.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

namespace {

// Left to right; after a replacement the scan goes on behind the inserted text.
std::string ModelReplaceAll(const std::string& text, const std::string& pattern,
                            const std::string& replacement) {
    std::string out;
    for (size_t pos = 0; pos < text.size();) {
        if (!pattern.empty() && text.compare(pos, pattern.size(), pattern) == 0) {
            out += replacement;
            pos += pattern.size();
        } else {
            out += text[pos++];
        }
    }
    return out;
}

std::string ModelInserts(std::string text, const char* first, const char* second) {
    if (first != nullptr)
        text = ModelReplaceAll(text, "%1", first);
    if (second != nullptr)
        text = ModelReplaceAll(text, "%2", second);
    return text;
}

// An insert that is absent or present (possibly empty, possibly holding "%1" or "%2").
const char* OptionalInsert(FuzzedDataProvider& in, std::string& storage) {
    if (!in.ConsumeBool())
        return nullptr;
    storage = in.ConsumeRandomLengthString(600);
    return storage.c_str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string firstStorage, secondStorage;
    const char* first = OptionalInsert(in, firstStorage);
    const char* second = OptionalInsert(in, secondStorage);
    const std::string pattern = in.ConsumeRandomLengthString(8);
    const std::string replacement = in.ConsumeRandomLengthString(600);
    const std::string text = in.ConsumeRemainingBytesAsString();

    std::string replaced = text;
    ReplaceAll(replaced, pattern, replacement);
    FUZZ_CHECK(replaced == ModelReplaceAll(text, pattern, replacement));

    // Inserts change the text behind the prefix only, as ReplaceAll would.
    const CParsedMessage plain = ParseMessageText(text);
    const CParsedMessage parsed = ParseMessageText(text, first, second);
    FUZZ_CHECK(parsed.nStyle == plain.nStyle);
    FUZZ_CHECK(parsed.text == ModelInserts(plain.text, first, second));
    FUZZ_CHECK(text.ends_with(plain.text) && text.size() - plain.text.size() <= 7);

    // Texts of the string table with inserts: the shared buffer holds the substituted text.
    static const int ids[] = {IDP_NO_STRINGS_FILE, IDP_STRING_EXISTS, IDS_APP_TITLE, 1};
    const int id = ids[text.size() % 4];
    const std::string loaded = LoadMessageText(id);
    FUZZ_CHECK(loaded.size() <= 254);
    FUZZ_CHECK(LoadMessageText(id, first, second) == ModelInserts(loaded, first, second));
    return 0;
}
