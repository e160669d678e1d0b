#pragma once
// The program's help viewer: one window over the help file, topics by context number.

#include <string>

// Makes the viewer of this help file the handler of every help call (see helpcall.h).
void InstallHelpViewer(const std::string& helpFilePath);
