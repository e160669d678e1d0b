#pragma once
// The program's help calls: a command and a number, handed to the help viewer.

#include <functional>
#include <string>
#include <vector>

constexpr unsigned HELP_CONTEXT = 0x1;      // show topic n
constexpr unsigned HELP_QUIT = 0x2;         // close the viewer
constexpr unsigned HELP_INDEX = 0x3;        // show the contents topic
constexpr unsigned HELP_HELPONHELP = 0x4;   // show the topic on using the viewer
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

// Where the help file of this program file may lie, in the order looked at: beside the
// program file (HelpFilePathFor), then in ../share/kavel2000/ relative to it, under the same
// name (where an installed program finds it).
std::vector<std::string> HelpFileCandidates(const std::string& programPath);
// The first of the paths that names a regular file, else the first path.
std::string FirstHelpFile(const std::vector<std::string>& candidates);
