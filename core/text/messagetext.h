#pragma once
// Message texts without the box: loading with inserts, replacing, and reading the prefix
// (icon character, button digit) that chooses a box's look.

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

// Replaces every occurrence of pattern in text by replacement, scanning left to right and
// never rescanning inserted text. An empty pattern or text changes nothing.
void ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement);

// Replaces "%1" by first (when given), then "%2" by second (when given).
void SubstituteInserts(std::string& text, const char* first, const char* second);

// The string-table text with that id (at most 254 characters, "" when missing), inserts
// substituted, in one shared buffer that the next call overwrites.
const std::string& LoadMessageText(int id, const char* first = nullptr,
                                   const char* second = nullptr);

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
