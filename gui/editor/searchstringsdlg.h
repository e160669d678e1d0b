#pragma once
// The search strings editor: a modal dialog that loads every line of the strings file into a
// list, lets the user add, change, delete and reorder entries, and writes the list back on OK.

#include "gui/widgets/templatedialog.h"

#include <QString>

#include <string>

class QLineEdit;
class QListWidget;

class CSearchStringsDlg : public CTemplateDialog {
  public:
    // The editor of the strings file at fileName (bytes, as stored in the settings).
    CSearchStringsDlg(QWidget* parent, const std::string& fileName);

    void OnEdit();
    void OnDelete();
    void OnMoveUp();
    void OnMoveDown();
    void OnAdd();
    void OnModify();
    // Writes the list to the file (silently nothing when it cannot be created) and ends the
    // dialog with IDOK.
    void OnOK();

  private:
    void OnInitDialog();
    void OnEditTextEdited(const QString& text);

    int GetCount() const;
    int GetCurSel() const;
    void SetCurSel(int index);
    std::string GetText(int index) const;
    void AddString(const std::string& text);
    void InsertString(int index, const std::string& text);
    void DeleteString(int index);
    // Index of the first entry from the top that equals text, ignoring ASCII letter case;
    // -1 when none does.
    int FindStringExact(const std::string& text) const;

    std::string GetEditText() const;
    void SetEditText(const std::string& text);

    QListWidget* m_listStrings;
    QLineEdit* m_editString;
    std::string m_strFileName;
    // The entry last taken into the edit field by Edit, or the text last stored by Add or
    // Modify.
    std::string m_strCurrent;
    // The bytes behind the edit field's text as Edit last put it there, so that an entry that
    // is not UTF-8 keeps its bytes when stored again unchanged.
    std::string m_strEditBytes;
    int m_nEditByteLimit = 30; // bytes as saved that typing may reach
    QString m_strFieldText;    // the field's text before the change being checked
    bool m_bSettingText = false;
};
