#include "gui/widgets/filebrowser.h"

#include "support/testfiles.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <gtest/gtest.h>

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

// The lists keep their own order (refilling replaces, never adds); a name that is not UTF-8
// shows decoded, a name with a line break on one row with "?" for CR and LF as the report shows
// it, and each gives back its bytes.
TEST_F(BrowserTest, ListsInTheirOrderShowOddNamesOnOneRowAndKeepTheirBytes) {
    WriteWholeFile(m_tree / "c\rd.txt", "");
    WriteWholeFile(m_tree / "a\nb", "");
    WriteWholeFile(m_tree / "b<b>&amp;", "");
    ASSERT_EQ(::mkdir((m_tree / "x\ny").c_str(), 0755), 0);
    QListWidget dirs, files;
    files.setSortingEnabled(true); // the browser's order must win over the control's own
    for (int round = 0; round < 2; ++round) {
        FillDirectoryList(&dirs);
        FillFileList(&files, "*.*");
    }
    EXPECT_EQ(Texts(dirs), (std::vector<std::string>{"[..]", "[gone]", ODD_DIR.toStdString(),
                                                     "[src]", "[x?y]"}));
    EXPECT_EQ(Texts(files), (std::vector<std::string>{"a?b", "A.txt", "b.txt", "b<b>&amp;",
                                                      "c?d.txt", ODD_FILE}));
    EXPECT_EQ(FileListEntryName(files.item(0)), "a\nb");
    EXPECT_EQ(ReadWholeFile(m_strDir + "/" + FileListEntryName(files.item(5))), ODD + ".txt");
    EXPECT_EQ(files.item(4)->toolTip().toStdString(), "c?d.txt");
}

} // namespace
