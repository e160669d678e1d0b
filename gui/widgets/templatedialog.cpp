#include "gui/widgets/templatedialog.h"

#include "core/text/resource.h"
#include "gui/base/controlids.h"
#include "gui/base/helpcall.h"
#include "gui/base/messagebox.h"
#include "gui/widgets/messages.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace {

// Rounded a * b / c, as dialog unit conversions round.
int MulDiv(int a, int b, int c) {
    return (a * b + (a * b >= 0 ? c / 2 : -c / 2)) / c;
}

} // namespace

CTemplateDialog::CTemplateDialog(QWidget* parent, int cx, int cy)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    const QFontMetrics metrics(font());
    static const QString Letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    m_nBaseX = (metrics.horizontalAdvance(Letters) / 26 + 1) / 2;
    m_nBaseY = metrics.height();
    const QRect size = MapDialogRect(0, 0, cx, cy);
    setFixedSize(size.width(), size.height());
}

QRect CTemplateDialog::MapDialogRect(int x, int y, int cx, int cy) const {
    return QRect(MulDiv(x, m_nBaseX, 4), MulDiv(y, m_nBaseY, 8), MulDiv(cx, m_nBaseX, 4),
                 MulDiv(cy, m_nBaseY, 8));
}

void CTemplateDialog::Place(QWidget* child, int id, int x, int y, int cx, int cy) const {
    child->setGeometry(MapDialogRect(x, y, cx, cy));
    if (id != -1)
        child->setObjectName(QString::number(id));
}

void CTemplateDialog::MoveToTemplatePosition(int x, int y) {
    const QRect offset = MapDialogRect(x, y, 0, 0);
    QPoint origin;
    if (parentWidget() != nullptr)
        origin = parentWidget()->mapToGlobal(QPoint(0, 0));
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        origin = screen->geometry().topLeft();
    move(origin + offset.topLeft());
}

void CTemplateDialog::OnHelp() {
    ShowHelp(HELP_CONTEXT, HELP_BASE_DIALOG + static_cast<unsigned>(m_nHelpId));
}

void CTemplateDialog::reject() {
    done(IDCANCEL);
}

void CTemplateDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        OnHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}
