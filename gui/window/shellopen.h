#pragma once
// Opening a file with the program associated with it.

#include <functional>
#include <string>

// Starts the desktop's opener (xdg-open) on the file, by the bytes of its path, and does not
// wait for it; failed is called later, from the event loop, when it cannot be started or ends
// with a status other than 0 (no program for the file).
void OpenWithAssociatedProgram(const std::string& path, std::function<void()> failed);

// Replaces the opener (tests record calls; false: it failed); an empty handler restores the
// desktop's.
using OpenHandler = std::function<bool(const std::string& path)>;
void SetOpenHandler(OpenHandler handler);
