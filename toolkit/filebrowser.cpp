// Placeholder: the file browser is filled in by its own change.
#include "toolkit/filebrowser.h"

#include <QListWidgetItem>
#include <unistd.h>
#include <vector>

void FillDriveBox(QComboBox*) {}
void FillDirectoryList(QListWidget*) {}
void FillFileList(QListWidget*, const char*) {}
int EnterDirectory(const std::string& path) { return ::chdir(path.c_str()) == 0 ? 0 : -1; }
void EnterSelectedDirectory(QListWidget*) {}
bool EnterSelectedVolume(QComboBox*) { return false; }
void SelectCurrentVolume(QComboBox*) {}
std::string FileListEntryName(const QListWidgetItem* item) {
    return item ? item->text().toStdString() : std::string();
}
std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    return ::getcwd(buffer.data(), buffer.size()) ? buffer.data() : "";
}
