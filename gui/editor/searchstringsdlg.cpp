#include "gui/editor/searchstringsdlg.h"

#include "core/match/searchstrings.h"
#include "core/text/ascii.h"
#include "core/text/resource.h"
#include "gui/base/controlids.h"
#include "gui/base/messagebox.h"
#include "gui/widgets/bytetext.h"
#include "gui/widgets/messages.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QValidator>

#include <algorithm>
#include <vector>

namespace {

constexpr int IDC_DEFINED_LABEL = 600;
constexpr int IDC_STRING_LIST = 570;
constexpr int IDC_STRING_EDIT = 551;
constexpr int IDC_EDIT_BUTTON = 580;
constexpr int IDC_DELETE_BUTTON = 581;
constexpr int IDC_ADD_BUTTON = 582;
constexpr int IDC_MODIFY_BUTTON = 583;
constexpr int IDC_MOVE_UP_BUTTON = 584;
constexpr int IDC_MOVE_DOWN_BUTTON = 585;
constexpr int EDIT_TEXT_LIMIT = SEARCH_STRING_SIZE - 1;
// The loader's buffer, which also holds the label text.
constexpr size_t LABEL_BUFFER_SIZE = 300;

// Entries are bytes: shown as UTF-8 when they are valid UTF-8, else as Latin-1.
QString Display(const std::string& bytes) {
    return ShowBytes(bytes);
}

// The text's length as it is saved: its UTF-8 bytes (the loader cuts a string at 30 bytes).
int SavedLength(const QString& text) {
    return static_cast<int>(text.toUtf8().size());
}

bool IsLineBreak(QChar ch) {
    return ch == u'\n' || ch == u'\r' || ch == QChar::LineSeparator ||
           ch == QChar::ParagraphSeparator;
}

// Input no longer than the limit in bytes as saved. What is put in at once (a paste, a drop)
// is taken up to its first line break and cut at a whole character to fit, with a beep when
// anything but line ends is left out; a text set by the dialog itself passes as it is.
class CByteLimitValidator : public QValidator {
  public:
    CByteLimitValidator(QObject* parent, const int& limit, const QString& before,
                        const bool& bSetting)
        : QValidator(parent), m_limit(limit), m_before(before), m_bSetting(bSetting) {}

    State validate(QString& input, int& pos) const override {
        if (m_bSetting)
            return Acceptable;
        // The text put in ends at the cursor; after it the text is as before.
        const qsizetype tail = input.size() - pos;
        if (pos < 0 || tail < 0 || tail > m_before.size() || input.mid(pos) != m_before.right(tail))
            return SavedLength(input) <= m_limit ? Acceptable : Invalid;
        qsizetype head = 0;
        const qsizetype headMax = std::min<qsizetype>(pos, m_before.size() - tail);
        while (head < headMax && input[head] == m_before[head])
            ++head;
        QString put = input.mid(head, pos - head);
        bool bCut = false;
        for (qsizetype i = 0; i < put.size(); ++i)
            if (IsLineBreak(put[i])) {
                for (qsizetype j = i; j < put.size() && !bCut; ++j)
                    bCut = !IsLineBreak(put[j]);
                put.truncate(i);
                break;
            }
        const QString kept = input.left(head), rest = input.mid(pos);
        const int room = m_limit - SavedLength(kept + rest);
        while (!put.isEmpty() && SavedLength(put) > room) {
            put.chop(put.size() >= 2 && put.back().isLowSurrogate() ? 2 : 1);
            bCut = true;
        }
        if (put.size() == pos - head && !bCut)
            return SavedLength(input) <= m_limit ? Acceptable : Invalid;
        input = kept + put + rest;
        pos = static_cast<int>(head + put.size());
        if (bCut)
            MessageBeep();
        return SavedLength(input) <= m_limit ? Acceptable : Invalid;
    }

  private:
    const int& m_limit;
    const QString& m_before;
    const bool& m_bSetting;
};

QPushButton* MakeButton(CTemplateDialog* dialog, int id, const char* text, int x, int y) {
    auto* button = new QPushButton(QString::fromLatin1(text), dialog);
    dialog->Place(button, id, x, y, 45, 14);
    return button;
}

} // namespace

CSearchStringsDlg::CSearchStringsDlg(QWidget* parent, const std::string& fileName)
    : CTemplateDialog(parent, 246, 184), m_strFileName(fileName) {
    setWindowTitle("Edit Search Strings");

    // Children in tab order.
    auto* group = new QGroupBox(this);
    Place(group, -1, 5, 6, 235, 151);
    auto* label = new QLabel("Defined Strings", this);
    Place(label, IDC_DEFINED_LABEL, 13, 17, 219, 9);
    m_listStrings = new QListWidget(this);
    Place(m_listStrings, IDC_STRING_LIST, 13, 29, 168, 81);
    m_listStrings->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listStrings->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_listStrings->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_listStrings->setUniformItemSizes(true);
    // A screen reader names the list and the field by their labels (a list takes only a name
    // of its own).
    label->setBuddy(m_listStrings);
    m_listStrings->setAccessibleName(label->text());
    QPushButton* edit = MakeButton(this, IDC_EDIT_BUTTON, "&Edit", 187, 39);
    QPushButton* remove = MakeButton(this, IDC_DELETE_BUTTON, "&Delete", 187, 55);
    QPushButton* up = MakeButton(this, IDC_MOVE_UP_BUTTON, "Move &Up", 187, 71);
    QPushButton* down = MakeButton(this, IDC_MOVE_DOWN_BUTTON, "Mo&ve Down", 187, 87);
    auto* newLabel = new QLabel("New/Modify Search String", this);
    Place(newLabel, -1, 13, 118, 104, 9);
    m_editString = new QLineEdit(this);
    Place(m_editString, IDC_STRING_EDIT, 13, 129, 163, 12);
    newLabel->setBuddy(m_editString);
    QPushButton* add = MakeButton(this, IDC_ADD_BUTTON, "&Add", 187, 119);
    QPushButton* modify = MakeButton(this, IDC_MODIFY_BUTTON, "&Modify", 187, 135);
    QPushButton* ok = MakeButton(this, IDOK, "&Ok", 85, 164);
    ok->setDefault(true);
    QPushButton* cancel = MakeButton(this, IDCANCEL, "&Cancel", 140, 164);
    QPushButton* help = MakeButton(this, ID_HELP, "&Help", 195, 164);

    connect(edit, &QPushButton::clicked, this, &CSearchStringsDlg::OnEdit);
    connect(m_listStrings, &QListWidget::itemDoubleClicked, this, &CSearchStringsDlg::OnEdit);
    connect(remove, &QPushButton::clicked, this, &CSearchStringsDlg::OnDelete);
    connect(up, &QPushButton::clicked, this, &CSearchStringsDlg::OnMoveUp);
    connect(down, &QPushButton::clicked, this, &CSearchStringsDlg::OnMoveDown);
    connect(add, &QPushButton::clicked, this, &CSearchStringsDlg::OnAdd);
    connect(modify, &QPushButton::clicked, this, &CSearchStringsDlg::OnModify);
    connect(ok, &QPushButton::clicked, this, &CSearchStringsDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &CSearchStringsDlg::reject);
    connect(help, &QPushButton::clicked, this, &CSearchStringsDlg::OnHelp);
    connect(m_editString, &QLineEdit::textEdited, this, &CSearchStringsDlg::OnEditTextEdited);

    MoveToTemplatePosition(40, 30);
    OnInitDialog();
}

void CSearchStringsDlg::OnInitDialog() {
    m_nEditByteLimit = EDIT_TEXT_LIMIT;
    m_editString->setValidator(
        new CByteLimitValidator(m_editString, m_nEditByteLimit, m_strFieldText, m_bSettingText));
    connect(m_editString, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_strFieldText = text; });

    // The label holds at most 299 bytes, cut at a character boundary.
    std::string label = "Strings defined in: " + m_strFileName;
    if (label.size() > LABEL_BUFFER_SIZE - 1) {
        size_t cut = LABEL_BUFFER_SIZE - 1;
        while (cut > 0 && (static_cast<unsigned char>(label[cut]) & 0xC0) == 0x80)
            --cut;
        label.resize(cut);
    }
    auto* definedLabel = findChild<QLabel*>(QString::number(IDC_DEFINED_LABEL));
    definedLabel->setText(Display(label));
    definedLabel->setToolTip(Display(m_strFileName));

    std::vector<std::string> entries;
    LoadStringsFileEntries(m_strFileName, entries);
    for (const std::string& entry : entries)
        AddString(entry);

    m_editString->setFocus();
    SetHelpId(5);
}

// Typing is limited to 30 bytes as saved; a longer text put in by Edit stays whole, and
// typing can then only shorten it.
void CSearchStringsDlg::OnEditTextEdited(const QString& text) {
    m_nEditByteLimit = std::max(EDIT_TEXT_LIMIT, SavedLength(text));
}

void CSearchStringsDlg::OnEdit() {
    const int index = GetCurSel();
    if (index >= 0) {
        m_strCurrent = GetText(index);
        SetEditText(m_strCurrent);
    }
    m_editString->setFocus();
}

void CSearchStringsDlg::OnDelete() {
    const int index = GetCurSel();
    if (index >= 0) {
        if (ShowMessage(IDP_CONFIRM_DELETE, 3) == IDYES) {
            DeleteString(index);
            SetCurSel(-1);
        }
    }
    m_listStrings->setFocus();
}

void CSearchStringsDlg::OnMoveUp() {
    const int index = GetCurSel();
    if (index >= 1) {
        const std::string text = GetText(index);
        DeleteString(index);
        InsertString(index - 1, text);
        SetCurSel(index - 1);
    }
    m_listStrings->setFocus();
}

void CSearchStringsDlg::OnMoveDown() {
    const int index = GetCurSel();
    if (index >= 0 && index + 1 < GetCount()) {
        const std::string text = GetText(index);
        DeleteString(index);
        InsertString(index + 1, text);
        SetCurSel(index + 1);
    }
    m_listStrings->setFocus();
}

void CSearchStringsDlg::OnAdd() {
    if (GetCount() + 1 > MAX_SEARCH_STRINGS) {
        ShowMessage(IDP_TOO_MANY_STRINGS, 4);
    } else {
        const std::string text = GetEditText();
        if (text.empty()) {
            ShowMessage(IDP_STRING_REQUIRED, 5);
        } else if (FindStringExact(text) >= 0) {
            ShowMessage(IDP_STRING_EXISTS, 6);
        } else {
            AddString(text);
            SetCurSel(FindStringExact(text));
            m_strCurrent = text;
        }
    }
    m_editString->setFocus();
}

void CSearchStringsDlg::OnModify() {
    if (m_strCurrent.empty()) {
        ShowMessage(IDP_NOTHING_TO_MODIFY, 7);
    } else {
        const std::string text = GetEditText();
        if (text.empty()) {
            ShowMessage(IDP_STRING_REQUIRED, 5);
        } else {
            const int old = FindStringExact(m_strCurrent);
            if (old >= 0)
                DeleteString(old);
            if (FindStringExact(text) < 0) {
                AddString(text);
                SetCurSel(GetCount() - 1);
                m_strCurrent = text;
            } else {
                AddString(m_strCurrent);
                SetCurSel(GetCount() - 1);
                ShowMessage(IDP_STRING_EXISTS, 6);
            }
        }
    }
    m_editString->setFocus();
}

void CSearchStringsDlg::OnOK() {
    std::vector<std::string> entries;
    entries.reserve(static_cast<size_t>(GetCount()));
    for (int i = 0; i < GetCount(); ++i)
        entries.push_back(GetText(i));
    SaveStringsFileEntries(m_strFileName, entries);
    done(IDOK);
}

int CSearchStringsDlg::GetCount() const {
    return m_listStrings->count();
}

int CSearchStringsDlg::GetCurSel() const {
    const QList<QListWidgetItem*> selected = m_listStrings->selectedItems();
    return selected.isEmpty() ? -1 : m_listStrings->row(selected.first());
}

void CSearchStringsDlg::SetCurSel(int index) {
    if (index < 0) {
        m_listStrings->clearSelection();
        return;
    }
    m_listStrings->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    m_listStrings->scrollToItem(m_listStrings->item(index));
}

std::string CSearchStringsDlg::GetText(int index) const {
    return m_listStrings->item(index)->data(Qt::UserRole).toByteArray().toStdString();
}

void CSearchStringsDlg::AddString(const std::string& text) {
    InsertString(GetCount(), text);
}

void CSearchStringsDlg::InsertString(int index, const std::string& text) {
    auto* item = new QListWidgetItem(Display(text));
    item->setData(Qt::UserRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    m_listStrings->insertItem(index, item);
}

void CSearchStringsDlg::DeleteString(int index) {
    delete m_listStrings->takeItem(index);
}

int CSearchStringsDlg::FindStringExact(const std::string& text) const {
    for (int i = 0; i < GetCount(); ++i)
        if (AsciiEqualNoCase(GetText(i), text))
            return i;
    return -1;
}

std::string CSearchStringsDlg::GetEditText() const {
    const QString text = m_editString->text();
    if (text == Display(m_strEditBytes))
        return m_strEditBytes;
    return text.toUtf8().toStdString();
}

void CSearchStringsDlg::SetEditText(const std::string& text) {
    const QString shown = Display(text);
    m_nEditByteLimit = std::max(EDIT_TEXT_LIMIT, SavedLength(shown));
    m_bSettingText = true;
    m_editString->setText(shown);
    m_bSettingText = false;
    m_strEditBytes = text;
}
