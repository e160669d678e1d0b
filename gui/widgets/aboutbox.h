#pragma once
// The about box, and placing a window at an edge or the centre of the screen.

#include "gui/widgets/templatedialog.h"

#include <QRect>

class QWidget;

// Moves a window (its frame) without changing its size. Horizontal mode: 0 keeps the left edge,
// 1 puts it 20 pixels from the screen's left, 2 puts the right edge 20 pixels from the screen's
// right, 3 centres it; any other mode keeps it. The vertical mode does the same for the top.
void PlaceWindow(QWidget* window, int horizontal, int vertical);

// Logo, title, description, version and notice painted in navy, three black rules, the fixed
// "Free Memory" lines, OK and the Help button of the help command. Centred on the screen.
class CAboutDlg : public CTemplateDialog {
  public:
    explicit CAboutDlg(QWidget* parent);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Paint(QWidget* canvas);

    // A transparent child over the whole box, above the group box's frame, that receives the
    // painting: a style may fill the group box, which would cover the dialog's own painting.
    QWidget* m_pCanvas;
    // Rectangles of the template's hidden statics, where the painting goes.
    QRect m_rcBitmap;
    QRect m_rcHeading;
    QRect m_rcDescription;
    QRect m_rcVersion;
    QRect m_rcNotice;
    QRect m_rcRules[3];
};
