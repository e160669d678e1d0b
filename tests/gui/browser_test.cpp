#include "gui/widgets/filebrowser.h"

#include "support/testfiles.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A name that is not valid UTF-8 (Latin-1 e acute), and how the lists show it: as Latin-1, as
// the report view shows it, so that names that differ only there do not look alike.
const std::string ODD = "r\xe9sum\xe9";
const QString ODD_DIR = QString::fromUtf8("[r\u00e9sum\u00e9dir]");
const std::string ODD_FILE = "r\u00e9sum\u00e9.txt";

std::vector<std::string> Texts(const QListWidget& list) {
    std::vector<std::string> texts;
    for (int i = 0; i < list.count(); ++i)
        texts.push_back(list.item(i)->text().toStdString());
    return texts;
}

// Selects the one entry with that text, then enters it.
void Enter(QListWidget& dirs, const QString& text) {
    FillDirectoryList(&dirs);
    const QList<QListWidgetItem*> found = dirs.findItems(text, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text.toStdString();
    dirs.setCurrentItem(found.first());
    EnterSelectedDirectory(&dirs);
}

// A temporary directory, entered; the current directory and the volume memory are put back
// afterwards.
class BrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetVolumeDirectories();
        for (const std::string& dir : {std::string("src"), std::string("gone"), ODD + "dir"})
            ASSERT_EQ(::mkdir((m_tree / dir).c_str(), 0755), 0) << dir;
        for (const std::string& file : {std::string("b.txt"), std::string("A.txt"), ODD + ".txt"})
            WriteWholeFile(m_tree / file, file);
        ASSERT_EQ(EnterDirectory(m_tree.Path()), 0);
        m_strDir = CurrentDirectory();
    }
    void TearDown() override {
        EXPECT_EQ(::chdir(m_strSavedDir.c_str()), 0);
        ForgetVolumeDirectories();
    }

    const std::string m_strSavedDir = CurrentDirectory();
    CTempDir m_tree;
    std::string m_strDir;
};

TEST_F(BrowserTest, ListsInTheirOwnOrderShowOddNamesDecodedAndGiveBackTheirBytes) {
    QListWidget dirs, files;
    files.setSortingEnabled(true);            // the browser's order must win over the control's own
    for (int round = 0; round < 2; ++round) { // refilling replaces, never adds
        FillDirectoryList(&dirs);
        FillFileList(&files, "*.*");
    }
    EXPECT_EQ(Texts(dirs),
              (std::vector<std::string>{"[..]", "[gone]", ODD_DIR.toStdString(), "[src]"}));
    EXPECT_EQ(Texts(files), (std::vector<std::string>{"A.txt", "b.txt", ODD_FILE}));
    EXPECT_EQ(FileListEntryName(files.item(2)), ODD + ".txt");
    EXPECT_EQ(ReadWholeFile(m_strDir + "/" + FileListEntryName(files.item(2))), ODD + ".txt");

    ASSERT_EQ(EnterDirectory("/"), 0);
    FillDirectoryList(&dirs);
    EXPECT_TRUE(dirs.findItems("[..]", Qt::MatchExactly).isEmpty());
}

// A long name is not cut short: every row is as wide as the widest name needs (at least 600
// pixels), the list scrolls across to it, and the tooltip gives the name in full.
TEST_F(BrowserTest, LongNamesCanBeScrolledToInFull) {
    const std::string longName = std::string(150, 'n') + "-end.txt";
    WriteWholeFile(m_tree / longName, "x");
    QListWidget files;
    files.setUniformItemSizes(true);
    files.resize(150, 200);
    files.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&files));
    FillFileList(&files, "*.*");
    const QList<QListWidgetItem*> found =
        files.findItems(QString::fromStdString(longName), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    const int textWidth = QFontMetrics(files.font()).horizontalAdvance(found[0]->text());
    EXPECT_GE(files.visualItemRect(found[0]).width(), std::max(600, textWidth));
    EXPECT_GE(files.visualItemRect(files.item(0)).width(), 600); // a short name's row too
    EXPECT_GT(files.horizontalScrollBar()->maximum(), textWidth - 150);
    EXPECT_EQ(found[0]->toolTip(), found[0]->text());
}

// After every refill the keys move from the first entry: End and Enter never reach "[..]" by
// accident, and Home, Shift+End selects every file.
TEST_F(BrowserTest, KeysMoveFromTheFirstEntryAfterARefill) {
    QApplication::setStyle(QStyleFactory::create("Windows")); // as the program has it
    QListWidget dirs, files;
    files.setSelectionMode(QAbstractItemView::ExtendedSelection);
    const auto selected = [](const QListWidget& list) {
        std::vector<std::string> texts;
        for (const QListWidgetItem* item : list.selectedItems())
            texts.push_back(item->text().toStdString());
        std::sort(texts.begin(), texts.end());
        return texts;
    };
    for (QListWidget* list : {&dirs, &files}) {
        list->resize(300, 300);
        list->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
    }
    for (int round = 0; round < 2; ++round) { // the focus already in the list
        dirs.setFocus();
        FillDirectoryList(&dirs);
        QTest::keyClick(&dirs, Qt::Key_End);
        EXPECT_EQ(selected(dirs), std::vector<std::string>{"[src]"}) << round;
        FillDirectoryList(&dirs);
        QTest::keyClick(&dirs, Qt::Key_Down);
        EXPECT_EQ(selected(dirs), std::vector<std::string>{"[gone]"}) << round;

        files.setFocus();
        FillFileList(&files, "*.*");
        QTest::keyClick(&files, Qt::Key_Home);
        QTest::keyClick(&files, Qt::Key_End, Qt::ShiftModifier);
        EXPECT_EQ(selected(files), (std::vector<std::string>{"A.txt", "b.txt", ODD_FILE})) << round;
    }
}

// A name with a line break shows on one row, with "?" for CR and LF as the report shows it,
// and keeps its bytes; a name too long for the screen has a tooltip that wraps within it; a
// tooltip shows a name as it is, also one that looks like markup.
TEST_F(BrowserTest, OddNamesShowOnOneRowAndLongOnesWrapInTheirTooltip) {
    WriteWholeFile(m_tree / "c\rd.txt", "");
    WriteWholeFile(m_tree / "a\nb", "");
    WriteWholeFile(m_tree / "b<b>&amp;", "");
    ASSERT_EQ(::mkdir((m_tree / "x\ny").c_str(), 0755), 0);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const std::string longName(250, 'w'); // some 3 screens wide
    WriteWholeFile(m_tree / longName, "");
    QListWidget dirs, files;
    FillDirectoryList(&dirs);
    FillFileList(&files, "*.*");
    EXPECT_EQ(Texts(dirs), (std::vector<std::string>{"[..]", "[gone]", ODD_DIR.toStdString(),
                                                     "[src]", "[x?y]"}));
    EXPECT_EQ(Texts(files), (std::vector<std::string>{"a?b", "A.txt", "b.txt", "b<b>&amp;",
                                                      "c?d.txt", ODD_FILE, longName}));
    EXPECT_EQ(FileListEntryName(files.item(0)), "a\nb");
    EXPECT_EQ(files.item(4)->toolTip().toStdString(), "c?d.txt");

    files.resize(300, 300);
    files.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&files));
    // The tooltip's label and the text it shows (a label reads rich text as a document).
    const auto showTip = [&](int row) -> std::pair<QWidget*, QString> {
        files.scrollToItem(files.item(row));
        const QPoint at = files.visualItemRect(files.item(row)).center();
        QHelpEvent help(QEvent::ToolTip, at, files.viewport()->mapToGlobal(at));
        QApplication::sendEvent(files.viewport(), &help);
        QWidget* tip = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->inherits("QTipLabel") && widget->isVisible())
                tip = widget;
        QString shown = QToolTip::text();
        if (Qt::mightBeRichText(shown)) {
            QTextDocument document;
            document.setHtml(shown);
            shown = document.toPlainText();
        }
        return {tip, shown};
    };
    const auto [tip, shown] = showTip(6);
    ASSERT_NE(tip, nullptr);
    EXPECT_LE(tip->width(), screen.width());
    EXPECT_GT(tip->height(), 2 * QFontMetrics(tip->font()).height()); // several lines
    QString joined = shown;
    joined.remove(QChar::LineSeparator).remove(u'\n');
    EXPECT_NE(joined, shown); // wrapped
    EXPECT_EQ(joined.toStdString(), longName);
    QToolTip::hideText();
    EXPECT_EQ(showTip(3).second.toStdString(), "b<b>&amp;");
    EXPECT_EQ(showTip(5).second.toStdString(), ODD_FILE);
    QToolTip::hideText();
}

TEST_F(BrowserTest, DoubleClickEntersTheSelectedDirectory) {
    QListWidget dirs;
    FillDirectoryList(&dirs);
    EnterSelectedDirectory(&dirs); // nothing selected: nothing changes
    EXPECT_EQ(CurrentDirectory(), m_strDir);
    Enter(dirs, ODD_DIR);
    EXPECT_EQ(CurrentDirectory(), m_strDir + "/" + ODD + "dir");
    Enter(dirs, "[..]");
    EXPECT_EQ(CurrentDirectory(), m_strDir);
    // A directory named like a volume is entered as a directory.
    ASSERT_EQ(::mkdir("~:", 0755), 0);
    Enter(dirs, "[~:]");
    EXPECT_EQ(CurrentDirectory(), m_strDir + "/~:");
    ASSERT_EQ(EnterDirectory(".."), 0);

    // A directory that vanished after the list was filled: nothing changes.
    FillDirectoryList(&dirs);
    ASSERT_EQ(::rmdir((m_strDir + "/gone").c_str()), 0);
    dirs.setCurrentItem(dirs.findItems("[gone]", Qt::MatchExactly).value(0));
    EnterSelectedDirectory(&dirs);
    EXPECT_EQ(CurrentDirectory(), m_strDir);
}

TEST_F(BrowserTest, VolumeChoiceReturnsToTheLastDirectoryAndShowsTheCurrentVolume) {
    QComboBox box;
    int changes = 0;
    QObject::connect(&box, &QComboBox::currentIndexChanged, [&] { ++changes; });
    FillDriveBox(&box);
    ASSERT_EQ(box.count(), 2);
    EXPECT_EQ(changes, 0) << "filling the box is not a choice";
    EXPECT_EQ(box.currentText(), "[-/-]");
    const std::pair<int, std::string> choices[] = {{1, HomeDirectory()}, {0, m_strDir}};
    for (const auto& [index, dir] : choices) {
        box.setCurrentIndex(index);
        EXPECT_TRUE(EnterSelectedVolume(&box));
        EXPECT_EQ(CurrentDirectory(), dir);
        EXPECT_EQ(box.currentIndex(), index);
    }

    // A volume that cannot be entered: the box shows the volume really current again.
    const std::string home = std::getenv("HOME");
    ::setenv("HOME", (m_tree / "no-home").c_str(), 1);
    ForgetVolumeDirectories();
    box.setCurrentIndex(1);
    EXPECT_TRUE(EnterSelectedVolume(&box));
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(CurrentDirectory(), m_strDir);
    EXPECT_EQ(box.currentText(), "[-/-]");
}

TEST_F(BrowserTest, ExtendedSelectionSurvivesRefills) {
    QListWidget files;
    files.setSelectionMode(QAbstractItemView::ExtendedSelection);
    files.resize(300, 300);
    files.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&files));
    WriteWholeFile(m_tree / "c.txt", "");
    for (int round = 0; round < 2; ++round) {
        FillFileList(&files, "*.*");
        EXPECT_TRUE(files.selectedItems().isEmpty()) << "a refill drops the old selection";
        for (const auto& [row, modifiers] :
             {std::pair{0, Qt::NoModifier}, {1, Qt::ShiftModifier}, {3, Qt::ControlModifier}})
            QTest::mouseClick(files.viewport(), Qt::LeftButton, modifiers,
                              files.visualItemRect(files.item(row)).center());
        std::vector<std::string> names;
        for (const QListWidgetItem* item : files.selectedItems())
            names.push_back(FileListEntryName(item));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"A.txt", "b.txt", ODD + ".txt"}));
    }
}

} // namespace
