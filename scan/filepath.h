#pragma once
// Paths of the report: joining a file-list entry to its directory, showing a path in a report
// line, and telling two names of one file.

#include <string>
#include <sys/types.h>

// Makes the path end in exactly one separator: "" gives "/", a path ending in "/" stays.
void AddTrailingBackslash(std::string& path);

// The full path of a file-list entry: a name starting with "/" as it is, else the current
// directory, a separator and the name.
std::string BuildReportPath(const std::string& currentDirectory, const std::string& name);

// A path as a report line shows it: each CR and LF as "?", so that a file name cannot break a
// report line or forge one; every other byte as it is.
std::string ReportPathText(std::string path);

// True when the path (links followed) names the file with this device and inode.
bool NamesFile(const std::string& path, dev_t dev, ino_t ino);

// open(2) for a path of any length: a path longer than the system takes at once
// (ENAMETOOLONG) is opened through its folders, a piece at a time. flags as open takes them;
// the descriptor is close-on-exec. -1 with errno on failure.
int OpenPath(const std::string& path, int flags, mode_t mode = 0);
