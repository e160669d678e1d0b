#include "core/text/messagetext.h"
#include "core/text/resource.h"
#include "core/text/stringtable.h"

#include <gtest/gtest.h>

namespace {

TEST(ReplaceAll, ReplacesLeftToRightOnce) {
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        {"a%1b%1c", "%1", "", "abc"},
        {"xx", "x", "xx", "xxxx"}, // a replacement holding the pattern ends
        {"aaa", "aa", "b", "ba"},
        {"abc", "", "z", "abc"}, // empty pattern: nothing
        {"", "a", "b", ""},
        {"Case", "case", "x", "Case"}, // letter case matters
        {"%1%1", "%1", "long insert", "long insertlong insert"},
    };
    for (auto [text, pattern, replacement, expected] : cases) {
        ReplaceAll(text, pattern, replacement);
        EXPECT_EQ(text, expected);
    }
}

TEST(LoadStringResource, KeepsWhatTheBufferHolds) {
    EXPECT_EQ(LoadStringResource(ID_FILE_EDIT_FILE, 10), "Use the h"); // 9 of 10
    EXPECT_EQ(LoadStringResource(12345, 10), "");
}

} // namespace
