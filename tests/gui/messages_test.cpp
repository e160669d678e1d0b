#include "resources/resource.h"
#include "toolkit/messages.h"
#include "toolkit/messagetext.h"

#include <gtest/gtest.h>

namespace {

struct Shown {
    std::string text;
    int style = -1;
    int helpId = -1;
};

TEST(ShowMessage, PassesTextStyleAndHelpIdToTheBox) {
    Shown shown;
    SetMessageBoxAnswerer([&](const std::string& text, int style, int helpId) {
        shown = {text, style, helpId};
        return IDYES;
    });
    EXPECT_EQ(ShowMessage(IDP_CONFIRM_DELETE, 3), IDYES);
    EXPECT_EQ(shown.text, "Are you sure you wish to delete this string ?");
    EXPECT_EQ(shown.style, MB_ICONQUESTION | MB_YESNO);
    EXPECT_EQ(shown.helpId, 3);

    ShowMessage(IDP_STRING_EXISTS, 6);
    EXPECT_EQ(shown.text, "Error: This string already exists!\nIt cannot be added again.");
    EXPECT_EQ(shown.style, MB_ICONEXCLAMATION | MB_OK);

    ShowMessageText("5Try again", -1);
    EXPECT_EQ(shown.style, MB_RETRYCANCEL);
    EXPECT_EQ(shown.helpId, 0);
    ShowMessageText("No prefix", 2);
    EXPECT_EQ(shown.style, MB_ICONEXCLAMATION | MB_OK);
    SetMessageBoxAnswerer({});
}

} // namespace
