#include "gui/widgets/filebrowser.h"

#include "support/testfiles.h"

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

// The lists keep their own order (refilling replaces, never adds); a name that is not UTF-8
// shows decoded, a name with a line break on one row with "?" for CR and LF as the report shows
// it, and each gives back its bytes.
TEST(Browser, ListsInTheirOrderShowOddNamesOnOneRowAndKeepTheirBytes) {
    const std::string saved = CurrentDirectory();
    CTempDir tree;
    for (const std::string& dir : std::vector<std::string>{"src", "gone", ODD + "dir", "x\ny"})
        ASSERT_EQ(::mkdir((tree / dir).c_str(), 0755), 0) << dir;
    for (const std::string& file :
         std::vector<std::string>{"b.txt", "A.txt", ODD + ".txt", "c\rd.txt", "a\nb", "b<b>&amp;"})
        WriteWholeFile(tree / file, file);
    ASSERT_EQ(::chdir(tree.Path().c_str()), 0);
    QListWidget dirs, files;
    files.setSortingEnabled(true); // the browser's order must win over the control's own
    for (int round = 0; round < 2; ++round) {
        FillDirectoryList(&dirs);
        FillFileList(&files, "*.*");
    }
    EXPECT_EQ(::chdir(saved.c_str()), 0);
    EXPECT_EQ(Texts(dirs), (std::vector<std::string>{"[..]", "[gone]", ODD_DIR.toStdString(),
                                                     "[src]", "[x?y]"}));
    EXPECT_EQ(Texts(files), (std::vector<std::string>{"a?b", "A.txt", "b.txt", "b<b>&amp;",
                                                      "c?d.txt", ODD_FILE}));
    EXPECT_EQ(FileListEntryName(files.item(0)), "a\nb");
    EXPECT_EQ(ReadWholeFile(tree / FileListEntryName(files.item(5))), ODD + ".txt");
    EXPECT_EQ(files.item(4)->toolTip().toStdString(), "c?d.txt");
}

} // namespace
