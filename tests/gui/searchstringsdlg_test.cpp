#include "editor/searchstringsdlg.h"
#include "modaldriver.h"
#include "resources/resource.h"
#include "resources/stringtable.h"
#include "shell/helpcall.h"
#include "support/testfiles.h"
#include "toolkit/messages.h"
#include "toolkit/messagetext.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

enum class Op {
    Select,
    Type,
    TypeMore,
    Edit,
    DoubleClick,
    Delete,
    Up,
    Down,
    Add,
    Modify,
    Ok,
    Enter,
    Cancel,
    Esc,
    CloseBox
};

struct Step {
    Op op;
    int index = -1;        // Select, DoubleClick
    std::string text = ""; // Type: typed into the cleared field, TypeMore: typed at the end;
                           // Delete: "no" answers No
};

struct EditorCase {
    const char* name;
    std::optional<std::string> file; // nullopt: the file does not exist
    std::vector<Step> steps;
    std::vector<std::string> list;             // the list afterwards
    std::vector<int> messages;                 // message ids shown, in order
    std::optional<std::string> fileAfter = {}; // the file's bytes afterwards
    int result = 0;                            // the dialog's result, when it ended
};

std::string Lines(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

std::vector<std::string> Numbered(int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back("s" + std::to_string(i));
    return lines;
}

template <typename T> std::vector<T> Concat(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

int MessageIdOf(const std::string& shown) {
    for (int id = IDP_NO_STRINGS_FILE; id <= IDP_EDIT_FILE_NO_MEMORY; ++id)
        if (ParseMessageText(LoadStringResource(id, 255)).text == shown)
            return id;
    return -1;
}

const std::string LONG40 = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
const std::string LATIN1 = "caf\xe9";

// clang-format off
std::vector<EditorCase> Cases() {
    using O = Op;
    const std::vector<std::string> two01 = Numbered(201);
    return {
        {"empty lines load and save back", "a\r\n\r\nb\r\n\r\n", {{O::Ok}},
         {"a", "", "b", ""}, {}, "a\r\n\r\nb\r\n\r\n", IDOK},
        {"add appends, keeps duplicates already in the file", "x\r\nX\r\n",
         {{O::Type, -1, "y "}, {O::Add}, {O::Ok}}, {"x", "X", "y "}, {}, "x\r\nX\r\ny \r\n", IDOK},
        {"add of a text differing only in case is refused", "abc\r\n",
         {{O::Type, -1, "ABC"}, {O::Add}}, {"abc"}, {IDP_STRING_EXISTS}},
        {"add of an empty text is refused", "abc\r\n", {{O::Add}}, {"abc"}, {IDP_STRING_REQUIRED}},
        {"201 lines load; add refused before any other test; modify, delete, moves work",
         Lines(two01),
         {{O::Type, -1, "new"}, {O::Add}, {O::Type, -1, ""}, {O::Add}, {O::Select, 0}, {O::Edit},
          {O::Type, -1, "first"}, {O::Modify}, {O::Select, 0}, {O::Delete}, {O::Select, 0},
          {O::Down}},
         Concat(Concat({"s3", "s2"}, std::vector<std::string>(two01.begin() + 4, two01.end())),
                {"first"}),
         {IDP_TOO_MANY_STRINGS, IDP_TOO_MANY_STRINGS, IDP_CONFIRM_DELETE}},
        {"typing stops at 30 characters", "", {{O::Type, -1, LONG40}, {O::Add}},
         {LONG40.substr(0, 30)}, {}},
        {"a loaded entry over 30 characters keeps its length through edit and modify",
         LONG40 + "\r\nb\r\n", {{O::Select, 0}, {O::Edit}, {O::Modify}, {O::Ok}}, {"b", LONG40},
         {}, "b\r\n" + LONG40 + "\r\n", IDOK},
        {"typing into a long entry cannot lengthen it", LONG40 + "\r\n",
         {{O::DoubleClick, 0}, {O::TypeMore, -1, "+"}, {O::Modify}}, {LONG40}, {}},
        {"bytes that are not UTF-8 survive edit and modify", LATIN1 + "\r\nz\r\n",
         {{O::Select, 0}, {O::Edit}, {O::Modify}, {O::Ok}}, {"z", LATIN1}, {},
         "z\r\n" + LATIN1 + "\r\n", IDOK},
        {"modify after add changes the entry just added", "a\r\nb\r\n",
         {{O::Type, -1, "new"}, {O::Add}, {O::Type, -1, "newer"}, {O::Modify}},
         {"a", "b", "newer"}, {}},
        {"modify without a current string", "a\r\n", {{O::Select, 0}, {O::Modify}}, {"a"},
         {IDP_NOTHING_TO_MODIFY}},
        {"modify with an empty field", "a\r\n",
         {{O::Select, 0}, {O::Edit}, {O::Type, -1, ""}, {O::Modify}}, {"a"}, {IDP_STRING_REQUIRED}},
        {"edit of an empty entry leaves nothing to modify; it can still be deleted",
         "a\r\n\r\nb\r\n",
         {{O::Select, 1}, {O::Edit}, {O::Type, -1, "c"}, {O::Modify}, {O::Select, 1}, {O::Delete}},
         {"a", "b"}, {IDP_NOTHING_TO_MODIFY, IDP_CONFIRM_DELETE}},
        {"modify onto another entry moves the current one to the end", "a\r\nb\r\nc\r\n",
         {{O::DoubleClick, 0}, {O::Type, -1, "C"}, {O::Modify}, {O::Type, -1, "d"}, {O::Modify}},
         {"b", "c", "d"}, {IDP_STRING_EXISTS}},
        {"modify that changes only the letter case", "ab\r\ncd\r\n",
         {{O::Select, 0}, {O::Edit}, {O::Type, -1, "AB"}, {O::Modify}}, {"cd", "AB"}, {}},
        {"modify after the current entry was deleted appends the new text", "a\r\nb\r\n",
         {{O::Select, 0}, {O::Edit}, {O::Delete}, {O::Type, -1, "z"}, {O::Modify}}, {"b", "z"},
         {IDP_CONFIRM_DELETE}},
        {"delete answered No keeps the list; no selection asks nothing", "a\r\nb\r\n",
         {{O::Select, 1}, {O::Delete, -1, "no"}, {O::Select, -1}, {O::Delete}}, {"a", "b"},
         {IDP_CONFIRM_DELETE}},
        {"moves keep the moved entry selected and stop at the ends", "a\r\nb\r\nc\r\n",
         {{O::Select, 2}, {O::Up}, {O::Up}, {O::Up}, {O::Select, 1}, {O::Down}, {O::Down},
          {O::Select, -1}, {O::Up}, {O::Down}},
         {"c", "b", "a"}, {}},
        {"enter in the edit field saves and closes without adding", "a\r\n",
         {{O::Type, -1, "typed"}, {O::Enter}}, {"a"}, {}, "a\r\n", IDOK},
        {"cancel leaves the file", "a\r\nb\r\n",
         {{O::Type, -1, "c"}, {O::Add}, {O::Select, 0}, {O::Delete}, {O::Cancel}}, {"b", "c"},
         {IDP_CONFIRM_DELETE}, "a\r\nb\r\n", IDCANCEL},
        {"esc leaves the file", "a\r\n", {{O::Type, -1, "c"}, {O::Add}, {O::Esc}}, {"a", "c"},
         {}, "a\r\n", IDCANCEL},
        {"the close box leaves the file", "a\r\n", {{O::Type, -1, "c"}, {O::Add}, {O::CloseBox}},
         {"a", "c"}, {}, "a\r\n", IDCANCEL},
        {"ok on an empty list writes 0 bytes", "a\r\n", {{O::Select, 0}, {O::Delete}, {O::Ok}},
         {}, {IDP_CONFIRM_DELETE}, "", IDOK},
        {"a missing file shows an empty list; ok creates it", std::nullopt,
         {{O::Type, -1, "y2k"}, {O::Add}, {O::Ok}}, {"y2k"}, {}, "y2k\r\n", IDOK},
    };
}
// clang-format on

class SearchStringsDlgTest : public ::testing::Test {
  protected:
    void TearDown() override {
        SetMessageBoxAnswerer({});
        SetHelpHandler({});
    }
    CDialogWatchdog m_watchdog;
};

std::vector<std::string> ListOf(QListWidget* list) {
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i)
        entries.push_back(list->item(i)->data(Qt::UserRole).toByteArray().toStdString());
    return entries;
}

TEST_F(SearchStringsDlgTest, Operations) {
    for (const EditorCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        const std::string path = dir / "y2k.str";
        if (c.file)
            WriteWholeFile(path, *c.file);
        std::vector<int> shown;
        std::string deleteAnswer;
        SetMessageBoxAnswerer([&](const std::string& text, int, int) {
            shown.push_back(MessageIdOf(text));
            return deleteAnswer == "no" ? IDNO : IDYES;
        });

        CSearchStringsDlg dlg(nullptr, path);
        dlg.show();
        auto* list = dlg.findChild<QListWidget*>("570");
        auto* edit = dlg.findChild<QLineEdit*>("551");
        ASSERT_NE(list, nullptr);
        ASSERT_NE(edit, nullptr);
        auto click = [&](int id) { dlg.findChild<QPushButton*>(QString::number(id))->click(); };
        for (const Step& step : c.steps) {
            deleteAnswer = step.text;
            switch (step.op) {
            case Op::Select:
                if (step.index < 0)
                    list->clearSelection();
                else
                    list->setCurrentRow(step.index, QItemSelectionModel::ClearAndSelect);
                break;
            case Op::Type:
                edit->setFocus();
                edit->selectAll();
                QTest::keyClick(edit, Qt::Key_Delete);
                QTest::keyClicks(edit, QString::fromStdString(step.text));
                break;
            case Op::TypeMore:
                edit->end(false);
                QTest::keyClicks(edit, QString::fromStdString(step.text));
                break;
            case Op::DoubleClick: {
                const QRect rect = list->visualItemRect(list->item(step.index));
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
                break;
            }
            case Op::Edit:
                click(580);
                break;
            case Op::Delete:
                click(581);
                break;
            case Op::Up:
                click(584);
                break;
            case Op::Down:
                click(585);
                break;
            case Op::Add:
                click(582);
                break;
            case Op::Modify:
                click(583);
                break;
            case Op::Ok:
                click(IDOK);
                break;
            case Op::Cancel:
                click(IDCANCEL);
                break;
            case Op::Enter:
                QTest::keyClick(edit, Qt::Key_Return);
                break;
            case Op::Esc:
                QTest::keyClick(edit, Qt::Key_Escape);
                break;
            case Op::CloseBox:
                dlg.close();
                break;
            }
        }
        EXPECT_EQ(ListOf(list), c.list);
        EXPECT_EQ(shown, c.messages);
        if (c.fileAfter) {
            EXPECT_EQ(ReadWholeFile(path), *c.fileAfter);
        } else if (c.file) {
            EXPECT_EQ(ReadWholeFile(path), *c.file); // nothing reaches the disk before OK
        }
        if (c.result != 0) {
            EXPECT_FALSE(dlg.isVisible());
            EXPECT_EQ(dlg.result(), c.result);
        } else {
            EXPECT_TRUE(dlg.isVisible());
        }
    }
}

TEST_F(SearchStringsDlgTest, OpensWithPathLabelFocusInFieldAndNothingSelected) {
    CTempDir dir;
    const std::string path = dir / "strings.str";
    WriteWholeFile(path, "a\r\nb\r\n");
    CSearchStringsDlg dlg(nullptr, path);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    EXPECT_EQ(dlg.windowTitle(), "Edit Search Strings");
    EXPECT_EQ(dlg.findChild<QLabel*>("600")->text().toStdString(), "Strings defined in: " + path);
    EXPECT_EQ(QApplication::focusWidget(), dlg.findChild<QLineEdit*>("551"));
    EXPECT_TRUE(dlg.findChild<QListWidget*>("570")->selectedItems().isEmpty());

    // A path too long for the 300-byte label is cut, not refused.
    const std::string longPath = "/" + std::string(400, 'd') + "/y2k.str";
    CSearchStringsDlg longDlg(nullptr, longPath);
    EXPECT_EQ(longDlg.findChild<QLabel*>("600")->text().size(), 299);
}

TEST_F(SearchStringsDlgTest, FileThatCannotBeCreatedClosesSilently) {
    CTempDir dir;
    std::vector<std::string> shown;
    SetMessageBoxAnswerer([&](const std::string& text, int, int) {
        shown.push_back(text);
        return IDOK;
    });
    CSearchStringsDlg dlg(nullptr, dir / "missing/y2k.str");
    dlg.show();
    dlg.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(shown.empty());
}

TEST_F(SearchStringsDlgTest, HelpButtonAndF1AskForTheEditorContext) {
    std::vector<std::pair<unsigned, unsigned long>> calls;
    SetHelpHandler([&](unsigned command, unsigned long data) {
        calls.emplace_back(command, data);
        return true;
    });
    CTempDir dir;
    CSearchStringsDlg dlg(nullptr, dir / "y2k.str");
    dlg.show();
    dlg.findChild<QPushButton*>("57670")->click();
    QTest::keyClick(dlg.findChild<QLineEdit*>("551"), Qt::Key_F1);
    QTest::keyClick(dlg.findChild<QListWidget*>("570"), Qt::Key_F1);
    const std::vector<std::pair<unsigned, unsigned long>> expected(3, {HELP_CONTEXT, 0x20005});
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(dlg.isVisible());
}

} // namespace
