#pragma once
// The file browser's three controls: volume box, directory list, file list, all filled from
// the process's current directory. The volumes "/" and "~" stand in for drives.
// EnterDirectory and CurrentDirectory come from gui/base/dirlisting.h.

#include "gui/base/dirlisting.h"

#include <string>

class QComboBox;
class QListWidget;
class QListWidgetItem;

// Rebuilds the volume entries ("[-/-]", "[-~-]") and selects the current directory's volume.
void FillDriveBox(QComboBox* driveBox);
// Rebuilds the directory list: "[name]" for each subdirectory without a dot in its name,
// "[..]" once everywhere but in "/".
void FillDirectoryList(QListWidget* dirList);
// Rebuilds the file list: every entry of the current directory matching the mask that is not
// a directory, hidden files included.
void FillFileList(QListWidget* fileList, const char* mask);
// The directory list's double-click: enters the selected entry, if any. The caller refills
// the lists, updates the title and focuses the list.
void EnterSelectedDirectory(QListWidget* dirList);
// The volume box's choice: enters the selected volume, if any (true when one was selected),
// then selects the current directory's volume again.
bool EnterSelectedVolume(QComboBox* driveBox);
// Selects the entry of the current directory's volume.
void SelectCurrentVolume(QComboBox* driveBox);
// The file name of a file-list entry as the file system's bytes (names need not be UTF-8).
std::string FileListEntryName(const QListWidgetItem* item);
