#include "gui/widgets/filebrowser.h"

#include "gui/widgets/bytetext.h"

#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QListWidget>
#include <QListWidgetItem>
#include <QScreen>
#include <QSignalBlocker>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QToolTip>

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

// Every row takes the last row's size (see ReplaceEntries): its width is made the list's
// horizontal scroll extent, at least MIN_SCROLL_EXTENT and as wide as the widest name needs,
// so that every name can be scrolled to in full. Only the longest names are measured: the
// width follows the length closely enough, and measuring 100,000 names would take long.
constexpr int MIN_SCROLL_EXTENT = 600;
constexpr qsizetype MEASURED_NAMES = 64;

void SetScrollExtent(QListWidget* list, const QStringList& labels) {
    if (labels.isEmpty())
        return;
    std::vector<qsizetype> longest(static_cast<size_t>(labels.size()));
    for (qsizetype i = 0; i < labels.size(); ++i)
        longest[static_cast<size_t>(i)] = i;
    const auto count = std::min<qsizetype>(MEASURED_NAMES, labels.size());
    std::partial_sort(
        longest.begin(), longest.begin() + count, longest.end(),
        [&](qsizetype a, qsizetype b) { return labels[a].size() > labels[b].size(); });
    const QFontMetrics metrics(list->font());
    int widest = 0;
    for (qsizetype i = 0; i < count; ++i)
        widest =
            std::max(widest, metrics.horizontalAdvance(labels[longest[static_cast<size_t>(i)]]));
    const int lastRow = list->count() - 1;
    QListWidgetItem* last = list->item(lastRow);
    last->setSizeHint(QSize());
    const QSize natural = list->sizeHintForIndex(list->model()->index(lastRow, 0));
    const int padding = std::max(0, natural.width() - metrics.horizontalAdvance(labels.back()));
    last->setSizeHint(QSize(std::max(MIN_SCROLL_EXTENT, widest + padding), natural.height()));
}

// The widest a tooltip line may be on the screen: the label's frame and margins take the rest.
constexpr int TOOLTIP_SCREEN_MARGIN = 16;

// A name as rich text that shows it as it is (a "<b>" or "&amp;" in a name is no markup), cut
// into lines that fit the width when it is too wide (names have no blanks to wrap at), each
// line kept whole.
QString WrapToWidth(const QString& text, const QFont& font, int width) {
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(text) <= width)
        return "<p style=\"white-space:pre\">" + text.toHtmlEscaped() + "</p>";
    QStringList lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start + 1;
        while (end < text.size() &&
               metrics.horizontalAdvance(text.mid(start, end + 1 - start)) <= width)
            ++end;
        if (end < text.size() && text[end].isLowSurrogate())
            --end; // a character is not split
        lines.append(text.mid(start, std::max<qsizetype>(end - start, 1)).toHtmlEscaped());
        start += std::max<qsizetype>(end - start, 1);
    }
    return "<p style=\"white-space:pre\">" + lines.join("<br>") + "</p>";
}

// Shows an entry's tooltip wrapped to the screen's width: a long name's would be cut.
class CNameDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        const QString tip = index.data(Qt::ToolTipRole).toString();
        const QScreen* screen = view->screen();
        if (event->type() != QEvent::ToolTip || tip.isEmpty() || screen == nullptr)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const int width = screen->availableGeometry().width() - TOOLTIP_SCREEN_MARGIN;
        QToolTip::showText(event->globalPos(), WrapToWidth(tip, QToolTip::font(), width), view,
                           option.rect);
        return true;
    }
};

// Replaces the list's entries by texts, in their order, with redrawing off meanwhile. The
// list's own sorting stays off: the texts come sorted in the browser's order. Every entry is
// one line of text, so the list may take every row's size from the last one, which spares it
// measuring each of 100,000 rows when it lays them out.
void ReplaceEntries(QListWidget* list, const std::vector<std::string>& texts) {
    const bool bUpdates = list->updatesEnabled();
    list->setUpdatesEnabled(false);
    list->setSortingEnabled(false);
    list->setUniformItemSizes(true);
    list->clear();
    QStringList labels;
    labels.reserve(static_cast<qsizetype>(texts.size()));
    // A CR or LF in a name shows as "?", as in the report: each entry stays one row. A name
    // that is not UTF-8 shows as Latin-1, as the report view shows it.
    for (const std::string& text : texts)
        labels.append(ShowBytes(text).replace(u'\r', u'?').replace(u'\n', u'?'));
    list->addItems(labels);
    for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
        QListWidgetItem* item = list->item(i);
        item->setData(Qt::UserRole,
                      QByteArray(texts[i].data(), static_cast<qsizetype>(texts[i].size())));
        item->setToolTip(labels[i]);
    }
    SetScrollExtent(list, labels);
    if (dynamic_cast<CNameDelegate*>(list->itemDelegate()) == nullptr)
        list->setItemDelegate(new CNameDelegate(list));
    // The keys move from the first entry, not to it: with no current entry the first key
    // (End, Down) would only reach "[..]".
    if (list->count() > 0)
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
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
