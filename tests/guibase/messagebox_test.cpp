#include "gui/base/messagebox.h"

#include <gtest/gtest.h>

namespace {

struct PrefixCase {
    std::string stored;
    std::string shown;
    int style;
};

TEST(ParseMessageText, IconCharacterAndButtonDigits) {
    const PrefixCase cases[] = {
        {"!Error", "Error", MB_ICONEXCLAMATION | MB_OK},
        {"?3Are you sure?", "Are you sure?", MB_ICONQUESTION | MB_YESNO},
        {"i2Info", "Info", MB_ICONINFORMATION | MB_OKCANCEL},
        {"*4Stop", "Stop", MB_ICONSTOP | MB_YESNOCANCEL},
        {"5Retry", "Retry", MB_RETRYCANCEL},
        {"6Abort", "Abort", MB_ABORTRETRYIGNORE},
        {"12Text", "Text", MB_OKCANCEL}, // a later digit replaces an earlier one
        {"31Text", "1Text", MB_YESNO},   // a lower digit after a higher stays
        {"I3Text", "I3Text", MB_OK},     // letter case of the icon matters
        {"3", "", MB_YESNO},
        {"!", "", MB_ICONEXCLAMATION},
        {"", "", MB_OK},
        {"Plain", "Plain", MB_OK},
        {"!7Seven", "7Seven", MB_ICONEXCLAMATION},
    };
    for (const PrefixCase& c : cases) {
        CParsedMessage parsed = ParseMessageText(c.stored);
        EXPECT_EQ(parsed.text, c.shown) << c.stored;
        EXPECT_EQ(parsed.nStyle, c.style) << c.stored;
    }
}

TEST(ParseMessageText, InsertsReplaceEveryOccurrence) {
    EXPECT_EQ(ParseMessageText("!%1 and %1, %2", "a", "b").text, "a and a, b");
    EXPECT_EQ(ParseMessageText("!%1 and %2", nullptr, "b").text, "%1 and b");
    // An insert holding a placeholder is not substituted again.
    EXPECT_EQ(ParseMessageText("%1", "%2", "x").text, "x");
    // Inserts of any length are taken whole.
    EXPECT_EQ(ParseMessageText("%1", std::string(5000, 'q').c_str()).text.size(), 5000u);
}

TEST(ApplyDefaultIcon, OnlyForOkAndYesNoSetsWithoutIcon) {
    EXPECT_EQ(ApplyDefaultIcon(MB_OK), MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(ApplyDefaultIcon(MB_OKCANCEL), MB_OKCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(ApplyDefaultIcon(MB_YESNO), MB_YESNO | MB_ICONEXCLAMATION);
    EXPECT_EQ(ApplyDefaultIcon(MB_YESNOCANCEL), MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(ApplyDefaultIcon(MB_RETRYCANCEL), MB_RETRYCANCEL);
    EXPECT_EQ(ApplyDefaultIcon(MB_ABORTRETRYIGNORE), MB_ABORTRETRYIGNORE);
    EXPECT_EQ(ApplyDefaultIcon(MB_YESNO | MB_ICONQUESTION), MB_YESNO | MB_ICONQUESTION);
}

} // namespace
