#include "core/text/stringtable.h"
#include "gui/editor/searchstringsdlg.h"
#include "guitest.h"

#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <optional>

namespace {

// A step: clicks the button with that id, or one of the actions below zero.
enum Op { Select = -1, Type = -2, TypeMore = -3, DoubleClick = -4, Enter = -5, Paste = -6 };
constexpr int Edit = 580, Delete = 581, Add = 582, Modify = 583, Up = 584, Down = 585;
constexpr int Ok = IDOK, Cancel = IDCANCEL;

struct Step {
    int op;
    int index = -1;        // Select (-1 clears), DoubleClick; Paste: the cursor's place
    std::string text = ""; // Type: replaces the field's text, TypeMore: appended to it;
                           // Paste: the clipboard's; Delete: "no" answers No
};

struct EditorCase {
    const char* name;
    std::optional<std::string> file; // nullopt: the file does not exist
    std::vector<Step> steps;
    std::vector<std::string> list;             // the list afterwards
    std::vector<int> messages;                 // message ids shown and beeps, in order
    std::optional<std::string> fileAfter = {}; // when unset, the file is unchanged
    int result = 0;                            // the dialog's result when it closed, else 0
};

constexpr int BEEP = -1;

// The ids of the messages whose texts the boxes showed (BEEP: none, a beep).
std::vector<int> MessageIds(const std::vector<std::pair<std::string, int>>& boxes) {
    std::vector<int> ids;
    for (const auto& box : boxes) {
        ids.push_back(BEEP);
        for (int id = IDP_NO_STRINGS_FILE; id <= IDP_EDIT_FILE_NO_MEMORY; ++id)
            if (ParseMessageText(LoadStringResource(id, 255)).text == box.first)
                ids.back() = id;
    }
    return ids;
}

const std::string LONG40 = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
const std::string LATIN1 = "caf\xe9", X25(25, 'x');

// The letter a with diaeresis, two bytes in UTF-8, n times.
std::string Ae(int n) {
    std::string text;
    while (n-- > 0)
        text += "\xc3\xa4";
    return text;
}

// clang-format off
std::vector<EditorCase> Cases() {
    std::string lines201;
    std::vector<std::string> after201 = {"s3", "s2"};
    for (int i = 0; i < 201; ++i) {
        lines201 += "s" + std::to_string(i) + "\r\n";
        if (i >= 4)
            after201.push_back("s" + std::to_string(i));
    }
    after201.push_back("first");
    return {
        {"empty lines load and save back; add keeps duplicates already in the file",
         "a\r\n\r\nA\r\n\r\n", {{Type, -1, "y "}, {Add}, {Ok}}, {"a", "", "A", "", "y "}, {},
         "a\r\n\r\nA\r\n\r\ny \r\n", IDOK},
        {"add refuses an empty text and one differing only in case", "abc\r\n",
         {{Add}, {Type, -1, "ABC"}, {Add}}, {"abc"}, {IDP_STRING_REQUIRED, IDP_STRING_EXISTS}},
        {"201 lines load; add refused first of all; modify, delete, moves work", lines201,
         {{Type, -1, "new"}, {Add}, {Type, -1, ""}, {Add}, {Select, 0}, {Edit},
          {Type, -1, "first"}, {Modify}, {Select, 0}, {Delete}, {Select, 0}, {Down}},
         after201, {IDP_TOO_MANY_STRINGS, IDP_TOO_MANY_STRINGS, IDP_CONFIRM_DELETE}},
        {"long and non-UTF-8 entries survive edit and modify; typing cannot lengthen them",
         LONG40 + "\r\n" + LATIN1 + "\r\nb\r\n",
         {{DoubleClick, 0}, {TypeMore, -1, "+"}, {Modify}, {Select, 0}, {Edit}, {Modify}, {Ok}},
         {"b", LONG40, LATIN1}, {BEEP}, "b\r\n" + LONG40 + "\r\n" + LATIN1 + "\r\n", IDOK},
        {"modify needs a current string and a text; an empty entry is not current", "a\r\n\r\n",
         {{Select, 0}, {Modify}, {Edit}, {Type, -1, ""}, {Modify}, {Select, 1}, {Edit},
          {Type, -1, "c"}, {Modify}},
         {"a", ""}, {IDP_NOTHING_TO_MODIFY, IDP_STRING_REQUIRED, IDP_NOTHING_TO_MODIFY}},
        {"modify moves the entry last, refuses another's text, may change only the case",
         "a\r\nb\r\nc\r\n",
         {{DoubleClick, 0}, {Type, -1, "C"}, {Modify}, {Type, -1, "A"}, {Modify}},
         {"b", "c", "A"}, {IDP_STRING_EXISTS}},
        {"delete asks nothing without a selection, keeps on No; OK writes the empty list",
         "a\r\n", {{Delete}, {Select, 0}, {Delete, -1, "no"}, {Delete}, {Ok}}, {},
         {IDP_CONFIRM_DELETE, IDP_CONFIRM_DELETE}, "", IDOK},
        {"moves keep the moved entry selected and stop at the ends", "a\r\nb\r\nc\r\n",
         {{Select, 2}, {Up}, {Up}, {Up}, {Select, 1}, {Down}, {Down}, {Select, -1}, {Up},
          {Down}},
         {"c", "b", "a"}, {}},
        {"enter in the edit field saves and closes without adding", "a\r\n",
         {{Type, -1, "typed"}, {Enter}}, {"a"}, {}, "a\r\n", IDOK},
        {"cancel leaves the file", "a\r\nb\r\n",
         {{Type, -1, "c"}, {Add}, {Select, 0}, {Delete}, {Cancel}}, {"b", "c"},
         {IDP_CONFIRM_DELETE}, {}, IDCANCEL},
        {"a missing file shows an empty list; typing stops at 30 bytes as saved, a beep for each "
         "key refused; OK creates it", std::nullopt,
         {{Type, -1, LONG40}, {Add}, {Type, -1, Ae(20)}, {Add}, {Ok}},
         {LONG40.substr(0, 30), Ae(15)}, std::vector(15, BEEP),
         LONG40.substr(0, 30) + "\r\n" + Ae(15) + "\r\n", IDOK},
        {"a paste stops at a line break and is cut at a whole character to 30 bytes, with a beep",
         "", {{Paste, 0, "line1\nline2"}, {Add}, {Type, -1, "0123456789"}, {Paste, 10, X25},
          {Add}, {Type, -1, "ab"}, {Paste, 1, "0123456789012345678901234567890"}, {Add},
          {Type, -1, ""}, {Paste, 0, Ae(20)}, {Add}, {Type, -1, "a"}, {Paste, 1, "\xc3\xa4\x62"},
          {Add}},
         {"line1", "0123456789" + X25.substr(0, 20), "a0123456789012345678901234567b", Ae(15),
          "a\xc3\xa4\x62"}, {BEEP, BEEP, BEEP, BEEP}},
    };
}
// clang-format on

using SearchStringsDlgTest = BoxRecorder;

TEST_F(SearchStringsDlgTest, Operations) {
    SetBeepHandler([this] { boxes.emplace_back("beep", 0); });
    for (const EditorCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        const std::string path = dir / "y2k.str";
        if (c.file)
            WriteWholeFile(path, *c.file);
        boxes.clear();
        CSearchStringsDlg dlg(nullptr, path);
        dlg.show();
        auto* list = dlg.findChild<QListWidget*>("570");
        auto* edit = dlg.findChild<QLineEdit*>("551");
        for (const Step& step : c.steps) {
            answer = step.text == "no" ? IDNO : IDYES;
            switch (step.op) {
            case Select:
                list->setCurrentRow(step.index, QItemSelectionModel::ClearAndSelect);
                break;
            case Type:
                edit->setFocus();
                edit->selectAll();
                QTest::keyClick(edit, Qt::Key_Delete);
                [[fallthrough]];
            case TypeMore:
                edit->end(false);
                // Letters beyond ASCII as the keyboard sends them: a key event with its text.
                for (const QChar ch : QString::fromStdString(step.text)) {
                    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, ch);
                    QApplication::sendEvent(edit, &press);
                }
                break;
            case DoubleClick: {
                const QPoint at = list->visualItemRect(list->item(step.index)).center();
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
                break;
            }
            case Enter: QTest::keyClick(edit, Qt::Key_Return); break;
            case Paste:
                QApplication::clipboard()->setText(QString::fromStdString(step.text));
                edit->setFocus();
                edit->setCursorPosition(step.index);
                QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
                break;
            default: dlg.findChild<QPushButton*>(QString::number(step.op))->click();
            }
        }
        std::vector<std::string> entries;
        for (int i = 0; i < list->count(); ++i)
            entries.push_back(list->item(i)->data(Qt::UserRole).toByteArray().toStdString());
        EXPECT_EQ(entries, c.list);
        EXPECT_EQ(MessageIds(boxes), c.messages);
        if (c.fileAfter || c.file) { // nothing reaches the disk before OK
            EXPECT_EQ(ReadWholeFile(path), c.fileAfter ? *c.fileAfter : *c.file);
        }
        EXPECT_EQ(dlg.isVisible() ? 0 : dlg.result(), c.result);
    }
}

} // namespace
