// The settings store reading any file contents: every value of the program reads as a stored
// value or as the caller's default, never anything in between, and nothing breaks.
#include "fuzz/memfile.h"
#include "gui/window/settings.h"

#include <QCoreApplication>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CMemFile mem;
    mem.Set(data, size);
    const CSettingsStore store(QString::fromStdString(mem.Path()));
    for (const char* name : {"Left", "Top", "Right", "Bottom", "Maximise"}) {
        // The stored number does not depend on the default: either both defaults come back,
        // or the same number twice.
        const int a = store.ReadSettingInt("Window", name, 11);
        const int b = store.ReadSettingInt("Window", name, 22);
        FUZZ_CHECK((a == 11 && b == 22) || a == b);
    }
    for (const char* name : {"Output", "SearchStrings"}) {
        const std::string a = store.ReadSettingString("Application", name, "\x01");
        const std::string b = store.ReadSettingString("Application", name, "\x02");
        FUZZ_CHECK((a == "\x01" && b == "\x02") || a == b);
    }
    return 0;
}
