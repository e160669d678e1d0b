#pragma once
// Message boxes: prefixed string-table texts shown with their icon, buttons and help context.

#include <functional>
#include <string>

class QWidget;

// Shows the string-table text with that id (prefix read, "%1" and "%2" replaced by the inserts
// when given); returns the pressed button (IDOK ... IDNO). helpId -1 means no help.
int ShowMessage(int textId, int helpId, const char* first = nullptr, const char* second = nullptr);
// The same for a text in hand.
int ShowMessageText(const std::string& text, int helpId, const char* first = nullptr,
                    const char* second = nullptr);
// Shows text with the style as given (plus the default icon rule), the application name as
// caption, modal to the whole program, over the active modal dialog or else the active window.
// While it is shown, F1 asks for help context 0x30000 + helpId (none when helpId is 0).
// Returns the pressed button.
int AppMessageBox(const std::string& text, int style, int helpId);

// Makes a help call; when the viewer cannot be created, shows "Failed to launch help." in a
// box without help and returns false.
bool ShowHelp(unsigned command, unsigned long data);

// Sounds the warning beep of an input refused or cut short.
void MessageBeep();
// Replaces the beep (tests count it); an empty handler restores the real one.
void SetBeepHandler(std::function<void()> handler);

// Answers boxes without showing them (tests): receives the text, the final style and the help
// id, returns the button. An empty answerer restores the real boxes.
using MessageBoxAnswerer = std::function<int(const std::string& text, int style, int helpId)>;
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);
