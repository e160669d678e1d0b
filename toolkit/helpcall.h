#pragma once
// The program's help calls: a command and a number, handed to the help viewer.

#include <functional>
#include <string>

constexpr unsigned HELP_CONTEXT = 0x1;     // show topic n
constexpr unsigned HELP_QUIT = 0x2;        // close the viewer
constexpr unsigned HELP_INDEX = 0x3;       // show the contents topic
constexpr unsigned HELP_HELPONHELP = 0x4;  // show the topic on using the viewer
constexpr unsigned HELP_PARTIALKEY = 0x105; // open the keyword search

// Carries out a help command; returns false when the viewer cannot be created.
using HelpHandler = std::function<bool(unsigned command, unsigned long data)>;

// Replaces the handler (the viewer installs itself; tests record calls). An empty handler
// makes every call do nothing and succeed.
void SetHelpHandler(HelpHandler handler);

// Makes a help call. Returns false when the viewer cannot be created; the caller then shows
// "Failed to launch help.".
bool CallHelp(unsigned command, unsigned long data);

// The help file of this program file: the path with the file name's extension dropped and
// ".html" appended, every "kavel32.html" (any letter case) then replaced by "kavel.html".
std::string HelpFilePathFor(const std::string& programPath);
