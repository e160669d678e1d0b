#pragma once
// Opening a file with the program associated with it.

#include <QString>

#include <functional>

// Hands the text to the desktop as a local file to open; false when nothing took it.
bool OpenWithAssociatedProgram(const QString& text);

// Replaces the opener (tests record calls); an empty handler restores the desktop's.
using OpenHandler = std::function<bool(const QString& text)>;
void SetOpenHandler(OpenHandler handler);
