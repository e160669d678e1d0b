#include "toolkit/filebrowser.h"

#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QListWidgetItem>
#include <QSignalBlocker>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

// The two volume entries, in the box's sort order.
const char* const VOLUME_ENTRIES[] = {"[-/-]", "[-~-]"};

// An entry's text as the file system's bytes: kept beside the shown text, which is decoded
// for display and cannot always be encoded back (names need not be valid UTF-8).
QByteArray EntryBytes(const QListWidgetItem* item) {
    const QVariant raw = item->data(Qt::UserRole);
    return raw.isValid() ? raw.toByteArray() : QFile::encodeName(item->text());
}

// Replaces the list's entries by texts, in their order, with redrawing off meanwhile. The
// list's own sorting stays off: the texts come sorted in the browser's order. Every entry is
// one line of text, so the list may take all rows as high as the first, which spares it
// measuring each of 100,000 rows when it lays them out.
void ReplaceEntries(QListWidget* list, const std::vector<std::string>& texts) {
    const bool bUpdates = list->updatesEnabled();
    list->setUpdatesEnabled(false);
    list->setSortingEnabled(false);
    list->setUniformItemSizes(true);
    list->clear();
    QStringList labels;
    labels.reserve(static_cast<qsizetype>(texts.size()));
    for (const std::string& text : texts)
        labels.append(QFile::decodeName(text.c_str()));
    list->addItems(labels);
    for (int i = 0; i < static_cast<int>(texts.size()); ++i)
        list->item(i)->setData(
            Qt::UserRole, QByteArray(texts[i].data(), static_cast<qsizetype>(texts[i].size())));
    list->setUpdatesEnabled(bUpdates);
}

std::vector<CDirEntry> ReadCurrentDirectory() {
    std::vector<CDirEntry> entries;
    ReadDirectory(".", entries);
    return entries;
}

} // namespace

void FillDriveBox(QComboBox* driveBox) {
    // Filling the box is not a choice of the user: no change signals.
    const QSignalBlocker blocker(driveBox);
    driveBox->clear();
    for (const char* entry : VOLUME_ENTRIES)
        driveBox->addItem(QString::fromLatin1(entry));
    SelectCurrentVolume(driveBox);
}

void FillDirectoryList(QListWidget* dirList) {
    ReplaceEntries(dirList, DirectoryListEntries(ReadCurrentDirectory(), CurrentDirectory()));
}

void FillFileList(QListWidget* fileList, const char* mask) {
    ReplaceEntries(fileList, FileListEntries(ReadCurrentDirectory(), mask ? mask : "*.*"));
}

void EnterSelectedDirectory(QListWidget* dirList) {
    const QList<QListWidgetItem*> selected = dirList->selectedItems();
    if (selected.isEmpty())
        return;
    const QByteArray text = EntryBytes(selected.first());
    if (text.size() < 2)
        return;
    std::string name = text.mid(1, text.size() - 2).toStdString();
    // A directory really named "~:" is not the home volume.
    if (name == "~:")
        name = "./" + name;
    EnterDirectory(name);
}

bool EnterSelectedVolume(QComboBox* driveBox) {
    const int index = driveBox->currentIndex();
    const QString text = driveBox->itemText(index);
    const bool bSelected = index >= 0 && text.size() >= 3;
    if (bSelected)
        EnterDirectory(QString(text.at(2)).toStdString() + ":");
    SelectCurrentVolume(driveBox);
    return bSelected;
}

void SelectCurrentVolume(QComboBox* driveBox) {
    const QSignalBlocker blocker(driveBox);
    const std::string volume = VolumeOfDirectory(CurrentDirectory(), HomeDirectory());
    const QString entry = QString::fromStdString("[-" + volume + "-]");
    driveBox->setCurrentIndex(volume.empty() ? -1
                                             : driveBox->findText(entry, Qt::MatchFixedString));
}

std::string FileListEntryName(const QListWidgetItem* item) {
    return item ? EntryBytes(item).toStdString() : std::string();
}
