#pragma once
// A message box's look without the box: its styles and buttons, and the prefix (icon
// character, button digits) of a message text that chooses them.

#include "core/text/messagetext.h"

#include <string>

// Box styles: icons and button sets, combined with |.
constexpr int MB_OK = 0x0;
constexpr int MB_OKCANCEL = 0x1;
constexpr int MB_ABORTRETRYIGNORE = 0x2;
constexpr int MB_YESNOCANCEL = 0x3;
constexpr int MB_YESNO = 0x4;
constexpr int MB_RETRYCANCEL = 0x5;
constexpr int MB_TYPEMASK = 0xF;
constexpr int MB_ICONSTOP = 0x10;
constexpr int MB_ICONQUESTION = 0x20;
constexpr int MB_ICONEXCLAMATION = 0x30;
constexpr int MB_ICONINFORMATION = 0x40;
constexpr int MB_ICONMASK = 0xF0;

// Buttons a box returns.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// A message text with its prefix read: the text to show and the box style.
struct CParsedMessage {
    std::string text;
    int nStyle = 0; // icon | button set, without the default icon
};

// Reads the icon character and button digits in front of the text and substitutes inserts.
CParsedMessage ParseMessageText(const std::string& text, const char* first = nullptr,
                                const char* second = nullptr);

// Adds the exclamation icon to a style without icon whose buttons are OK, OK/Cancel,
// Yes/No/Cancel or Yes/No.
int ApplyDefaultIcon(int style);
