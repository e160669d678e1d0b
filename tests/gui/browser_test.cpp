#include "toolkit/filebrowser.h"

#include "support/testfiles.h"

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A name that is not valid UTF-8 (Latin-1 e acute).
const std::string ODD = "r\xe9sum\xe9";

std::vector<std::string> Texts(const QListWidget& list) {
    std::vector<std::string> texts;
    for (int i = 0; i < list.count(); ++i)
        texts.push_back(list.item(i)->text().toStdString());
    return texts;
}

std::vector<std::string> Names(const QList<QListWidgetItem*>& items) {
    std::vector<std::string> names;
    for (const QListWidgetItem* item : items)
        names.push_back(FileListEntryName(item));
    std::sort(names.begin(), names.end());
    return names;
}

bool Select(QListWidget& list, const QString& text) {
    const QList<QListWidgetItem*> found = list.findItems(text, Qt::MatchExactly);
    if (found.size() != 1)
        return false;
    list.setCurrentItem(found.first());
    return found.first()->isSelected();
}

// A tree under a temporary folder, entered; the current directory and the volume memory are
// put back afterwards.
class BrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_strSavedDir = CurrentDirectory();
        ForgetVolumeDirectories();
        for (const char* dir : {"top", "top/deep", "top/deep/src", "top/deep/Old.src",
                                "top/deep/.config", "top/deep/gone"})
            ASSERT_EQ(::mkdir((m_tree / dir).c_str(), 0755), 0) << dir;
        ASSERT_EQ(::mkdir((m_tree / ("top/deep/" + ODD + "dir")).c_str(), 0755), 0);
        for (const char* file : {"top/deep/b.txt", "top/deep/A.txt", "top/deep/.hidden"})
            WriteWholeFile(m_tree / file, file);
        WriteWholeFile(m_tree / ("top/deep/" + ODD + ".txt"), "odd bytes");
        ASSERT_EQ(::mkfifo((m_tree / "top/deep/pipe").c_str(), 0600), 0);
        ASSERT_EQ(EnterDirectory(m_tree / "top/deep"), 0);
        m_strDeep = CurrentDirectory();
    }
    void TearDown() override {
        EXPECT_EQ(::chdir(m_strSavedDir.c_str()), 0);
        ForgetVolumeDirectories();
    }

    CTempDir m_tree;
    std::string m_strSavedDir, m_strDeep;
};

TEST_F(BrowserTest, ListsFollowTheRulesAndKeepNameBytes) {
    QListWidget dirs, files;
    files.setSortingEnabled(true); // the browser's order must win over the control's own
    FillDirectoryList(&dirs);
    FillFileList(&files, "*.*");

    EXPECT_EQ(Texts(dirs),
              (std::vector<std::string>{
                  "[..]", "[gone]", QFile::decodeName(("[" + ODD + "dir]").c_str()).toStdString(),
                  "[src]"}));
    ASSERT_EQ(files.count(), 5);
    EXPECT_EQ(Texts(files)[0], ".hidden");
    EXPECT_EQ(Texts(files)[1], "A.txt");
    EXPECT_EQ(Texts(files)[2], "b.txt");
    EXPECT_EQ(Texts(files)[3], "pipe");
    // The odd name is shown decoded, and gives back its bytes: it opens the same file.
    const std::string odd = FileListEntryName(files.item(4));
    EXPECT_EQ(odd, ODD + ".txt");
    EXPECT_EQ(ReadWholeFile(m_strDeep + "/" + odd), "odd bytes");
    EXPECT_TRUE(files.updatesEnabled());

    // Refilling replaces, never adds.
    FillFileList(&files, "*.txt");
    EXPECT_EQ(files.count(), 3);
    FillDirectoryList(&dirs);
    EXPECT_EQ(dirs.count(), 4);

    ASSERT_EQ(EnterDirectory("/"), 0);
    FillDirectoryList(&dirs);
    EXPECT_TRUE(dirs.findItems("[..]", Qt::MatchExactly).isEmpty());
    EXPECT_TRUE(dirs.findItems("[.]", Qt::MatchExactly).isEmpty());
    EXPECT_FALSE(dirs.findItems("[tmp]", Qt::MatchExactly).isEmpty());
}

TEST_F(BrowserTest, DoubleClickEntersTheSelectedDirectory) {
    QListWidget dirs;
    FillDirectoryList(&dirs);

    // Nothing selected: nothing changes.
    EnterSelectedDirectory(&dirs);
    EXPECT_EQ(CurrentDirectory(), m_strDeep);

    ASSERT_TRUE(Select(dirs, QFile::decodeName(("[" + ODD + "dir]").c_str())));
    EnterSelectedDirectory(&dirs);
    EXPECT_EQ(CurrentDirectory(), m_strDeep + "/" + ODD + "dir");

    FillDirectoryList(&dirs);
    EXPECT_EQ(Texts(dirs), std::vector<std::string>{"[..]"});
    ASSERT_TRUE(Select(dirs, "[..]"));
    EnterSelectedDirectory(&dirs);
    EXPECT_EQ(CurrentDirectory(), m_strDeep);

    // A directory named like a volume is entered as a directory.
    ASSERT_EQ(::mkdir("~:", 0755), 0);
    FillDirectoryList(&dirs);
    ASSERT_TRUE(Select(dirs, "[~:]"));
    EnterSelectedDirectory(&dirs);
    EXPECT_EQ(CurrentDirectory(), m_strDeep + "/~:");
    ASSERT_EQ(EnterDirectory(".."), 0);

    // A directory that vanished after the list was filled: the change fails and a refill
    // shows the unchanged directory without it.
    FillDirectoryList(&dirs);
    ASSERT_TRUE(Select(dirs, "[gone]"));
    ASSERT_EQ(::rmdir((m_strDeep + "/gone").c_str()), 0);
    EnterSelectedDirectory(&dirs);
    EXPECT_EQ(CurrentDirectory(), m_strDeep);
    FillDirectoryList(&dirs);
    EXPECT_TRUE(dirs.findItems("[gone]", Qt::MatchExactly).isEmpty());
}

TEST_F(BrowserTest, VolumeChoiceReturnsToTheLastDirectoryAndShowsTheCurrentVolume) {
    QComboBox box;
    int nChanges = 0;
    QObject::connect(&box, &QComboBox::currentIndexChanged, [&] { ++nChanges; });
    FillDriveBox(&box);
    ASSERT_EQ(box.count(), 2);
    EXPECT_EQ(box.itemText(0), "[-/-]");
    EXPECT_EQ(box.itemText(1), "[-~-]");
    EXPECT_EQ(box.currentText(), "[-/-]");
    EXPECT_EQ(nChanges, 0) << "filling the box is not a choice";

    box.setCurrentIndex(1);
    EXPECT_TRUE(EnterSelectedVolume(&box));
    EXPECT_EQ(CurrentDirectory(), HomeDirectory());
    EXPECT_EQ(box.currentText(), "[-~-]");

    box.setCurrentIndex(0);
    EXPECT_TRUE(EnterSelectedVolume(&box));
    EXPECT_EQ(CurrentDirectory(), m_strDeep);
    EXPECT_EQ(box.currentText(), "[-/-]");

    // A volume that cannot be entered: the box shows the volume really current again.
    const std::string home = std::getenv("HOME");
    ::setenv("HOME", (m_tree / "no-home").c_str(), 1);
    ForgetVolumeDirectories();
    box.setCurrentIndex(1);
    EXPECT_TRUE(EnterSelectedVolume(&box));
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(CurrentDirectory(), m_strDeep);
    EXPECT_EQ(box.currentText(), "[-/-]");

    box.setCurrentIndex(-1);
    EXPECT_FALSE(EnterSelectedVolume(&box));
    EXPECT_EQ(box.currentText(), "[-/-]");
}

TEST_F(BrowserTest, ExtendedSelectionSurvivesRefills) {
    QListWidget files;
    files.setSelectionMode(QAbstractItemView::ExtendedSelection);
    files.resize(300, 300);
    files.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&files));

    for (int round = 0; round < 2; ++round) {
        FillFileList(&files, "*.*");
        ASSERT_EQ(files.count(), 5);
        EXPECT_TRUE(files.selectedItems().isEmpty()) << "a refill drops the old selection";
        auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
            QTest::mouseClick(files.viewport(), Qt::LeftButton, modifiers,
                              files.visualItemRect(files.item(row)).center());
        };
        click(1, Qt::NoModifier);
        click(2, Qt::ShiftModifier);
        click(4, Qt::ControlModifier);
        EXPECT_EQ(Names(files.selectedItems()),
                  (std::vector<std::string>{"A.txt", "b.txt", ODD + ".txt"}));
    }
}

} // namespace
