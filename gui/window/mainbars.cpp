// The main window's menu bar and status bar: built from the menu table and the panes, named
// for screen readers, and the key indicators kept up to date.
#include "core/text/resource.h"
#include "core/text/stringtable.h"
#include "gui/base/controlids.h"
#include "gui/window/commands.h"
#include "gui/window/keyindicators.h"
#include "gui/window/mainframe.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QStatusBar>
#include <QStyleFactory>

#include <algorithm>

namespace {

// The status bar's style: the message pane is drawn without a frame.
class CStatusBarStyle : public QProxyStyle {
  public:
    CStatusBarStyle(QStyle* base, const QWidget* messagePane)
        : QProxyStyle(base), m_pMessagePane(messagePane) {}
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_FrameStatusBarItem && widget == m_pMessagePane)
            return;
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

  private:
    const QWidget* m_pMessagePane;
};

// Room right of the last status pane, in pixels.
constexpr int STATUS_RIGHT_MARGIN = 3;

} // namespace

void CMainFrame::CreateMenuBar() {
    m_pMenu = new QMenuBar(this);
    m_pMenu->setObjectName(QStringLiteral("ApplicationMenu"));
    setMenuBar(m_pMenu);
    for (const CMenuDefinition& definition : APPLICATION_MENU) {
        QMenu* menu = m_pMenu->addMenu(QString::fromLatin1(definition.szTitle));
        connect(menu, &QMenu::aboutToShow, this, [this] {
            ++m_nOpenMenus;
            UpdateTitle();
            UpdateCommandStates();
        });
        connect(menu, &QMenu::aboutToHide, this, [this] {
            m_nOpenMenus = std::max(m_nOpenMenus - 1, 0);
            if (m_nOpenMenus > 0)
                return;
            // During a run its progress comes back at once: the command chosen may open a
            // box that holds the run, and with it the next catch-up. Else "Ready".
            if (m_bReporting != 0)
                ShowLastStatusText();
            else
                SetStatusText(IDS_READY);
        });
        for (size_t i = 0; i < definition.nItems; ++i) {
            const CMenuItem& item = definition.pItems[i];
            if (item.nId == 0) {
                menu->addSeparator();
                continue;
            }
            // The key after a tab is shown beside the item, but is no accelerator of it: the
            // item's name for a screen reader is the text before the tab.
            const QStringList text = QString::fromLatin1(item.szText).split(u'\t');
            QAction* action = menu->addAction(text.first());
            if (text.size() > 1) {
                action->setShortcut(QKeySequence(text.last()));
                action->setShortcutContext(Qt::WidgetShortcut);
                m_shownKeyActions.push_back(action);
            }
            action->setObjectName(QString::number(item.nId));
            action->setStatusTip(QString::fromLatin1(LoadStringResource(item.nId).c_str()));
            const int nId = item.nId;
            connect(action, &QAction::triggered, this, [this, nId] { RunCommand(nId); });
        }
    }
}

void CMainFrame::CreateStatusBar() {
    m_wndStatusBar = new QStatusBar(this);
    m_wndStatusBar->setObjectName(QStringLiteral("IDC_STATUS_BAR"));
    m_wndStatusBar->setProperty("controlId", IDC_STATUS_BAR);
    m_wndStatusBar->setSizeGripEnabled(false);
    // A pane's frame is drawn a pixel outside the pane: the last pane keeps a little room at
    // the window's edge so that its right border shows.
    m_wndStatusBar->setContentsMargins(0, 0, STATUS_RIGHT_MARGIN, 0);
    setStatusBar(m_wndStatusBar);

    m_wndMessagePane = new QLabel(m_wndStatusBar);
    m_wndMessagePane->setObjectName(QStringLiteral("MessagePane"));
    m_wndStatusBar->addWidget(m_wndMessagePane, 1);

    const QFontMetrics metrics(m_wndStatusBar->font());
    struct CPane {
        QLabel** ppLabel;
        const char* szName;
        int nId;
    };
    const CPane panes[] = {{&m_wndCapsPane, "CAP", ID_INDICATOR_CAPS},
                           {&m_wndNumPane, "NUM", ID_INDICATOR_NUM},
                           {&m_wndScrollPane, "SCRL", ID_INDICATOR_SCRL}};
    for (const CPane& pane : panes) {
        auto* label = new QLabel(m_wndStatusBar);
        label->setObjectName(QLatin1String(pane.szName));
        label->setProperty("controlId", pane.nId);
        label->setAlignment(Qt::AlignCenter);
        label->setFixedWidth(metrics.horizontalAdvance(QLatin1String(pane.szName)) + 8);
        m_wndStatusBar->addPermanentWidget(label);
        *pane.ppLabel = label;
    }

    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    auto* style = new CStatusBarStyle(base, m_wndMessagePane);
    style->setParent(m_wndStatusBar);
    m_wndStatusBar->setStyle(style);
}

// Names and descriptions for screen readers: lists, panes and a box have no label of their
// own to take them from (an indicator pane is even empty while its key is off).
void CMainFrame::NameControls() {
    struct CControlName {
        QWidget* pWidget;
        const char* szName;
        const char* szDescription;
    };
    const CControlName names[] = {
        {m_wndFileList, "Files", "The files of the directory shown; the selected ones are checked"},
        {m_wndDirList, "Folders",
         "The folders of the directory shown; Enter enters the one highlighted"},
        {m_wndDriveBox, "Volume", "The root folder or the home folder; Enter enters the one shown"},
        {m_wndReport, "Report",
         "The reports of the runs; select a file name to open it with Edit File"},
        {m_pMenu, "Menu", "The commands"},
        {m_wndStatusBar, "Status bar", "The prompt or progress, and the key indicators"},
        // The message pane is named by its text; the indicators by their key and state.
        {m_wndMessagePane, nullptr,
         "The prompt of the highlighted command, or the progress of a run"},
        {m_wndCapsPane, nullptr, "Shows CAP while Caps Lock is on"},
        {m_wndNumPane, nullptr, "Shows NUM while Num Lock is on"},
        {m_wndScrollPane, nullptr, "Shows SCRL while Scroll Lock is on"},
    };
    for (const CControlName& name : names) {
        if (name.szName != nullptr)
            name.pWidget->setAccessibleName(QString::fromLatin1(name.szName));
        name.pWidget->setAccessibleDescription(QString::fromLatin1(name.szDescription));
    }
}

void CMainFrame::UpdateKeyIndicators() {
    const CKeyIndicators indicators = ReadKeyIndicators();
    // A pane shows its text while its key is on; a screen reader hears the key and its state.
    const auto show = [](QLabel* pane, const char* text, const char* key, bool bOn) {
        pane->setText(bOn ? QLatin1String(text) : QString());
        const QString name = QLatin1String(key) + QLatin1String(bOn ? " on" : " off");
        if (pane->accessibleName() != name)
            pane->setAccessibleName(name);
    };
    show(m_wndCapsPane, "CAP", "Caps Lock", indicators.bCaps);
    show(m_wndNumPane, "NUM", "Num Lock", indicators.bNum);
    show(m_wndScrollPane, "SCRL", "Scroll Lock", indicators.bKnown && m_bScrollLock);
}
