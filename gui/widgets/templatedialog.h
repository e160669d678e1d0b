#pragma once
// Dialogs built from a template: children placed in dialog units of the dialog's font, a help
// id, and F1 or the Help button asking for help context 0x20000 + help id.

#include <QDialog>
#include <QRect>

class QPushButton;

class CTemplateDialog : public QDialog {
  public:
    // A fixed-size dialog of cx x cy dialog units with a caption, a close box and no resizing.
    CTemplateDialog(QWidget* parent, int cx, int cy);

    // The pixel rectangle of a template rectangle given in dialog units: x and width in
    // quarters of the font's average character width, y and height in eighths of its line
    // height.
    QRect MapDialogRect(int x, int y, int cx, int cy) const;
    // Puts a child at its template rectangle and names it by its control id.
    void Place(QWidget* child, int id, int x, int y, int cx, int cy) const;

    void SetHelpId(int helpId) { m_nHelpId = helpId; }
    int HelpId() const { return m_nHelpId; }

    // Moves the dialog to x, y dialog units from the top-left corner of the parent's client
    // area (of the screen when there is no parent).
    void MoveToTemplatePosition(int x, int y);

  protected:
    // The help command (button 57670 and F1): help context 0x20000 + help id.
    void OnHelp();
    // Cancel, Esc and the close box end the dialog with IDCANCEL (2).
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    int m_nHelpId = 0;
    int m_nBaseX = 0; // average character width in pixels
    int m_nBaseY = 0; // line height in pixels
};
