#include "gui/widgets/aboutbox.h"

#include "core/text/resource.h"
#include "core/text/stringtable.h"
#include "gui/base/controlids.h"
#include "gui/base/messagebox.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {

constexpr int IDC_ABOUT_ICON = 10;
constexpr int IDC_MEMORY_LABEL = 131;
constexpr int IDC_MEMORY_VALUE = 132;
constexpr int ABOUT_HELP_ID = 3;
constexpr unsigned long FREE_MEMORY_KB = 1024; // shown as is; nothing is measured
const QColor NAVY(0, 0, 128);

QString StringResource(int id) {
    return QString::fromUtf8(LoadStringResource(id));
}

int PlaceEdge(int mode, int current, int size, int screenStart, int screenSize) {
    switch (mode) {
    case 1: return screenStart + 20;
    case 2: return screenStart + screenSize - size - 20;
    case 3: return screenStart + (screenSize - size) / 2;
    default: return current;
    }
}

// The heading font: 23 pixels high, characters about 12 pixels wide, as heavy as it goes.
QFont HeadingFont(const QFont& dialogFont) {
    QFont font(dialogFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(23);
    font.setWeight(QFont::Black);
    const int width = QFontMetrics(font).averageCharWidth();
    if (width > 0)
        font.setStretch(std::clamp(12 * 100 / width, 50, 200));
    return font;
}

} // namespace

void PlaceWindow(QWidget* window, int horizontal, int vertical) {
    const QScreen* screen = window->screen();
    if (screen == nullptr)
        return;
    const QRect area = screen->geometry();
    QRect frame = window->frameGeometry();
    // Before the window is shown its frame is not known: it will be as wide as the frame of the
    // window it belongs to (left out, the title bar would put a centred box that much low).
    if (!window->isVisible()) {
        QSize size = window->size();
        const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
        if (owner != nullptr && owner->isVisible())
            size += owner->frameGeometry().size() - owner->size();
        frame.setSize(size);
    }
    window->move(PlaceEdge(horizontal, frame.left(), frame.width(), area.left(), area.width()),
                 PlaceEdge(vertical, frame.top(), frame.height(), area.top(), area.height()));
}

CAboutDlg::CAboutDlg(QWidget* parent) : CTemplateDialog(parent, 243, 256) {
    auto* group = new QGroupBox(this);
    Place(group, -1, 6, 3, 230, 248);
    m_pCanvas = new QWidget(this);
    m_pCanvas->setGeometry(rect());
    m_pCanvas->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pCanvas->installEventFilter(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(":/kavel/icon.xpm"));
    Place(icon, IDC_ABOUT_ICON, 19, 38, 16, 16);
    icon->resize(32, 32); // an icon keeps its own size whatever its control's
    icon->setAccessibleName(StringResource(IDS_APP_TITLE));
    m_rcBitmap = MapDialogRect(83, 15, 76, 21);
    m_rcHeading = MapDialogRect(50, 50, 141, 13);
    m_rcDescription = MapDialogRect(50, 68, 141, 10);
    m_rcVersion = MapDialogRect(50, 79, 141, 12);
    m_rcNotice = MapDialogRect(50, 94, 141, 8);
    m_rcRules[0] = MapDialogRect(50, 113, 141, 1);
    m_rcRules[1] = MapDialogRect(50, 156, 141, 1);
    m_rcRules[2] = MapDialogRect(50, 212, 141, 1);
    auto* memoryLabel = new QLabel(this);
    Place(memoryLabel, IDC_MEMORY_LABEL, 58, 219, 65, 24);
    auto* memoryValue = new QLabel(this);
    Place(memoryValue, IDC_MEMORY_VALUE, 132, 219, 47, 24);
    auto* ok = new QPushButton("&Ok", this);
    Place(ok, IDOK, 193, 233, 40, 14);
    ok->setDefault(true);
    auto* help = new QPushButton("&Help", this);
    Place(help, ID_HELP, 193, 217, 40, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(help, &QPushButton::clicked, this, &CAboutDlg::OnHelp);

    PlaceWindow(this, 3, 3);
    setWindowTitle("About " + StringResource(IDS_APP_TITLE));
    for (QLabel* label : {memoryLabel, memoryValue})
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    memoryLabel->setText("\n\nFree Memory:");
    memoryValue->setText(QString::asprintf("\n\n%lu Kb\n", FREE_MEMORY_KB));
    SetHelpId(ABOUT_HELP_ID);
    ok->setFocus();
}

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pCanvas && event->type() == QEvent::Paint) {
        Paint(m_pCanvas);
        return true;
    }
    return CTemplateDialog::eventFilter(watched, event);
}

void CAboutDlg::Paint(QWidget* canvas) {
    QPainter painter(canvas);
    const QPixmap logo(":/kavel/logo.xpm");
    // Centred across the dialog; of the bitmap's control only the top edge counts.
    painter.drawPixmap((width() - logo.width()) / 2, m_rcBitmap.top(), logo);

    painter.setPen(NAVY);
    // Not clipped: a text wider than its rectangle still shows whole, centred on it.
    const int centred = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip;
    painter.setFont(HeadingFont(font()));
    painter.drawText(m_rcHeading, centred, StringResource(IDS_APP_TITLE));
    painter.setFont(font());
    painter.drawText(m_rcDescription, centred, StringResource(IDS_ABOUT_DESCRIPTION));
    painter.drawText(m_rcVersion, centred, StringResource(IDS_ABOUT_VERSION));
    painter.drawText(m_rcNotice, centred, StringResource(IDS_ABOUT_NOTICE));

    for (const QRect& rule : m_rcRules)
        painter.fillRect(rule, Qt::black);
}
