#include "gui/window/mainframe.h"

#include "core/lines/filepath.h"
#include "core/lines/linefile.h"
#include "core/run/scanpool.h"
#include "core/text/resource.h"
#include "core/text/stringtable.h"
#include "gui/base/controlids.h"
#include "gui/base/helpcall.h"
#include "gui/base/messagebox.h"
#include "gui/editor/searchstringsdlg.h"
#include "gui/widgets/aboutbox.h"
#include "gui/widgets/bytetext.h"
#include "gui/widgets/filebrowser.h"
#include "gui/widgets/messages.h"
#include "gui/window/filedialog.h"
#include "gui/window/keyindicators.h"
#include "gui/window/mainlayout.h"
#include "gui/window/reportview.h"
#include "gui/window/runhost.h"
#include "gui/window/settings.h"
#include "gui/window/shellopen.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStringDecoder>
#include <QStyleFactory>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <iterator>
#include <sys/stat.h>

namespace {

constexpr int KEY_INDICATOR_INTERVAL_MS = 250;
// The client area between menu bar and status bar: painted grey with two bevels; it places
// the four controls whenever its size changes.
class CClientArea : public QWidget {
  public:
    explicit CClientArea(CMainFrame* frame) : QWidget(frame), m_pFrame(frame) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        PaintMainClientArea(painter, width(), height());
    }
    void resizeEvent(QResizeEvent*) override { m_pFrame->LayoutChildren(); }

  private:
    CMainFrame* m_pFrame;
};

// The application name, string 57344.
QString ApplicationTitle() {
    return QString::fromLatin1(LoadStringResource(IDS_APP_TITLE).c_str());
}

// The commands: each one's id, enable rule and handler.
struct CCommandRow {
    int nId;
    EnableRule pfnRule;
    void (CMainFrame::*pfnHandler)();
};

const CCommandRow COMMANDS[] = {
    {ID_FILE_SET_OUTPUT, WhenIdle, &CMainFrame::OnSetOutputFile},
    {ID_FILE_SET_SEARCH_STRINGS, WhenIdle, &CMainFrame::OnSetSearchStringsFile},
    {ID_FILE_EDIT_SEARCH_STRINGS, WhenIdle, &CMainFrame::OnEditSearchStrings},
    {ID_FILE_START_REPORTING, WhenIdle, &CMainFrame::OnStartReporting},
    {ID_FILE_STOP_REPORTING, WhenReporting, &CMainFrame::OnStopReporting},
    {ID_FILE_EDIT_FILE, WithSelection, &CMainFrame::OnEditFile},
    {ID_FILE_EXIT, WhenIdle, &CMainFrame::OnExit},
    {ID_EDIT_COPY_REPORT, WithSelection, &CMainFrame::OnCopyReport},
    {ID_EDIT_CLEAR_SCREEN, Always, &CMainFrame::OnClearScreen},
    {ID_HELP_INDEX, Always, &CMainFrame::OnHelpIndex},
    {ID_HELP_SEARCH, Always, &CMainFrame::OnHelpSearch},
    {ID_HELP_USING, Always, &CMainFrame::OnHelpUsing},
    {ID_HELP_ABOUT, Always, &CMainFrame::OnAbout},
    {ID_HELP, Always, &CMainFrame::OnHelp},
    {ID_CONTEXT_HELP, Always, &CMainFrame::OnContextHelp},
    {ID_NEXT_CONTROL, Always, &CMainFrame::FocusNextControl},
};

const CCommandRow* FindCommand(int nId) {
    for (const CCommandRow& row : COMMANDS)
        if (row.nId == nId)
            return &row;
    return nullptr;
}

QListWidget* CreateList(QWidget* parent, const char* name, int id,
                        QAbstractItemView::SelectionMode mode) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setProperty("controlId", id);
    list->setSelectionMode(mode);
    list->setSortingEnabled(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Long names are scrolled to, not cut short.
    list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setTextElideMode(Qt::ElideNone);
    return list;
}

} // namespace

CMainFrame::CMainFrame(CSettingsStore& settings) : m_settings(settings) {
    m_nJobs = ProcessorCount();
    setWindowTitle(ApplicationTitle());
    setWindowIcon(QIcon(QStringLiteral(":/kavel/icon.xpm")));
    m_placement.Restore();

    CreateMenuBar();
    for (const CCommandRow& row : COMMANDS)
        if (QAction* action = m_pMenu->findChild<QAction*>(QString::number(row.nId)))
            m_commandActions.emplace_back(row.nId, action);
    UpdateTitle();

    m_wndClient = new CClientArea(this);
    m_wndClient->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(m_wndClient);

    m_wndFileList = CreateList(m_wndClient, "IDC_FILE_LIST", IDC_FILE_LIST,
                               QAbstractItemView::ExtendedSelection);
    RefreshFileList();
    m_wndDirList =
        CreateList(m_wndClient, "IDC_DIR_LIST", IDC_DIR_LIST, QAbstractItemView::SingleSelection);
    RefreshDirectoryList();
    connect(m_wndDirList, &QListWidget::itemDoubleClicked, this,
            &CMainFrame::OnDirectoryDoubleClicked);

    m_wndDriveBox = new QComboBox(m_wndClient);
    m_wndDriveBox->setObjectName(QStringLiteral("IDC_DRIVE_BOX"));
    m_wndDriveBox->setProperty("controlId", IDC_DRIVE_BOX);
    // A combo box is read by what it shows: a hidden label names it for a screen reader.
    auto* volumeLabel = new QLabel(QStringLiteral("Volume"), m_wndClient);
    volumeLabel->setObjectName(QStringLiteral("VolumeLabel"));
    volumeLabel->setBuddy(m_wndDriveBox);
    volumeLabel->hide();
    FillDriveBox(m_wndDriveBox);
    OnDriveChosen();
    connect(m_wndDriveBox, &QComboBox::activated, this, &CMainFrame::OnDriveChosen);

    m_wndReport = new QPlainTextEdit(m_wndClient);
    m_wndReport->setObjectName(QStringLiteral("IDC_REPORT"));
    m_wndReport->setProperty("controlId", IDC_REPORT);
    m_wndReport->setReadOnly(true);
    m_wndReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_wndReport->setUndoRedoEnabled(false);
    m_wndReport->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_reportView = std::make_unique<CReportView>(m_wndReport, m_nReportLength);

    // Screen readers read the items' states before any menu opens: they follow the rules always.
    connect(m_wndReport, &QPlainTextEdit::selectionChanged, this, &CMainFrame::UpdateCommandStates);

    CreateStatusBar();
    NameControls();
    SetStatusText(IDS_READY);
    UpdateCommandStates();

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { RunCommand(ID_HELP); });
    // F1 is also shown beside Index: where the menu bar has the focus both are asked.
    connect(help, &QShortcut::activatedAmbiguously, this, [this] { RunCommand(ID_HELP); });
    auto* contextHelp = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), this);
    connect(contextHelp, &QShortcut::activated, this, [this] { RunCommand(ID_CONTEXT_HELP); });

    auto* indicatorTimer = new QTimer(this);
    connect(indicatorTimer, &QTimer::timeout, this, &CMainFrame::UpdateKeyIndicators);
    indicatorTimer->start(KEY_INDICATOR_INTERVAL_MS);
    qApp->installEventFilter(this);
    UpdateKeyIndicators();

    // The session is ending: a run stops as on a close request, so that its output is complete.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] {
        if (m_bInRun)
            m_bReporting = 0;
    });
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
}

void CMainFrame::LayoutChildren() {
    if (m_wndReport == nullptr)
        return;
    const CMainLayout layout = ComputeMainLayout(m_wndClient->width(), m_wndClient->height());
    m_wndFileList->setGeometry(layout.rcFileList);
    m_wndDirList->setGeometry(layout.rcDirList);
    // The box's own height; its list drops down over the rest of the rectangle.
    QRect driveBox = layout.rcDriveBox;
    driveBox.setHeight(std::min(driveBox.height(), m_wndDriveBox->sizeHint().height()));
    m_wndDriveBox->setGeometry(driveBox);
    m_wndReport->setGeometry(layout.rcReport);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    m_placement.Changed(true);
}

// The frame may be known only after the window is on the screen, with no size or move to tell.
void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    QTimer::singleShot(0, this, [this] { m_placement.Changed(true); });
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    m_placement.Changed(false);
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_wndReport->setFocus(Qt::ActiveWindowFocusReason);
    m_placement.StateChanged(event);
}

void CMainFrame::focusInEvent(QFocusEvent*) {
    m_wndReport->setFocus(Qt::OtherFocusReason);
}

// Tab from any child ends here (Qt hands it up the parents): the fixed cycle, and no
// reverse direction.
bool CMainFrame::focusNextPrevChild(bool bNext) {
    if (bNext)
        RunCommand(ID_NEXT_CONTROL);
    return true;
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        if (m_nOpenMenus > 0 || !tip.isEmpty()) {
            SetMessagePaneText(tip);
            m_wndMessagePane->repaint();
        }
        return true;
    }
    return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowUnblocked)
        UpdateRunPause();
    // A key shown beside a menu item does what it does elsewhere in the window: F1 asks for
    // help on the window, Ctrl+C copies only in the report view.
    if (event->type() == QEvent::Shortcut &&
        std::find(m_shownKeyActions.begin(), m_shownKeyActions.end(), watched) !=
            m_shownKeyActions.end()) {
        if (static_cast<QShortcutEvent*>(event)->key() == QKeySequence(Qt::Key_F1))
            RunCommand(ID_HELP);
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // The keyboard's ways to choose: Enter or Space in the directory list enters the
        // highlighted directory, Enter in the volume box enters the volume shown.
        const bool bEnter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (watched == m_wndDirList && (bEnter || key->key() == Qt::Key_Space) &&
            key->modifiers() == Qt::NoModifier && m_wndDirList->isEnabled()) {
            if (QListWidgetItem* item = m_wndDirList->currentItem())
                item->setSelected(true);
            OnDirectoryDoubleClicked();
            return true;
        }
        if (watched == m_wndDriveBox && bEnter && m_wndDriveBox->isEnabled()) {
            OnDriveChosen();
            return true;
        }
        if (key->key() == Qt::Key_ScrollLock && !key->isAutoRepeat() && watched->isWidgetType()) {
            m_bScrollLock = !m_bScrollLock;
            UpdateKeyIndicators();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A run is on the stack below us: stop it and close once it has returned, so that it
    // never touches a destroyed window and the output file is completed.
    if (m_bInRun) {
        m_bReporting = 0;
        m_bCloseAfterRun = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

// During a run the text waits for the view's next catch-up, which shows both in one paint;
// while a menu is open it waits for the menu to close, as the pane shows the item's prompt.
void CMainFrame::SetStatusText(const std::string& text) {
    m_strStatus = text;
    if (m_bReporting != 0 || m_nOpenMenus > 0) {
        m_bStatusPending = true;
        return;
    }
    ShowStatusText(text);
    m_wndMessagePane->repaint();
}

void CMainFrame::ShowStatusText(const std::string& text) {
    m_bStatusPending = false;
    SetMessagePaneText(DecodeReportText(text));
}

// A screen reader reads the pane by its name, which says what the pane is and carries its text
// (a label with a name of its own hides its text from it).
void CMainFrame::SetMessagePaneText(const QString& text) {
    m_wndMessagePane->setText(text);
    m_wndMessagePane->setAccessibleName(QLatin1String("Status: ") + text);
}

void CMainFrame::ShowLastStatusText() {
    ShowStatusText(m_strStatus);
    m_wndMessagePane->repaint();
}

void CMainFrame::UpdateRunPause() {
    const bool bModal = QGuiApplication::modalWindow() != nullptr;
    if (bModal == m_runPause.IsPaused())
        return;
    m_runPause.Set(bModal);
    // The box stands over the run's progress, not over the prompt of the command that opened it.
    if (bModal && m_bInRun && m_nOpenMenus == 0)
        ShowLastStatusText();
}

void CMainFrame::SetStatusText(int nStringId) {
    SetStatusText(LoadStringResource(nStringId, 80));
}

void CMainFrame::UpdateTitle() {
    QString title = ApplicationTitle() + QLatin1String(" - ") + ShowBytes(CurrentDirectory());
    // "[*]" is Qt's placeholder for the modified mark; doubled it shows as itself.
    title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(title);
}

void CMainFrame::FocusNextControl() {
    const QWidget* focus = QApplication::focusWidget();
    QWidget* next = m_wndFileList;
    if (focus == m_wndFileList)
        next = m_wndDirList;
    else if (focus == m_wndDirList)
        next = m_wndDriveBox;
    else if (focus == m_wndDriveBox)
        next = m_wndReport;
    next->setFocus(Qt::TabFocusReason);
}

CCommandState CMainFrame::CommandState() const {
    CCommandState state;
    state.bReporting = m_bReporting != 0;
    state.bReportSelection = m_wndReport->textCursor().hasSelection();
    return state;
}

void CMainFrame::UpdateCommandStates() {
    const CCommandState state = CommandState();
    for (const auto& [nId, action] : m_commandActions)
        action->setEnabled(IsCommandEnabled(nId, state));
}

bool CMainFrame::RunCommand(int nId) {
    const CCommandRow* row = FindCommand(nId);
    if (row == nullptr || !row->pfnRule(CommandState()))
        return false;
    (this->*row->pfnHandler)();
    return true;
}

bool IsCommandEnabled(int nId, const CCommandState& state) {
    const CCommandRow* row = FindCommand(nId);
    return row != nullptr && row->pfnRule(state);
}

// Report view

void CMainFrame::AppendReportLine(std::string_view text) {
    m_reportView->Append(text, m_bReporting != 0);
}

// Browser

void CMainFrame::RefreshFileList() {
    FillFileList(m_wndFileList, "*.*");
}

void CMainFrame::RefreshDirectoryList() {
    FillDirectoryList(m_wndDirList);
}

void CMainFrame::OnDirectoryDoubleClicked() {
    EnterSelectedDirectory(m_wndDirList);
    RefreshDirectoryList();
    RefreshFileList();
    UpdateTitle();
    m_wndDirList->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::OnDriveChosen() {
    if (EnterSelectedVolume(m_wndDriveBox)) {
        RefreshDirectoryList();
        RefreshFileList();
    }
    SelectCurrentVolume(m_wndDriveBox);
    UpdateTitle();
}

// Commands

void CMainFrame::OnSetOutputFile() {
    const std::string strKept = CurrentDirectory();
    std::string strPath = m_settings.ReadSettingString("Application", "Output", "");
    if (strPath.empty()) {
        strPath = strKept;
        AddTrailingBackslash(strPath);
        strPath += "OUTPUT.TXT";
    }
    if (ChooseFileName(this, false, "Set Output File", "Output Files (*.TXT)|*.TXT||", "TXT",
                       OFN_NOREADONLYRETURN | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, strPath, 1))
        m_settings.WriteSettingString("Application", "Output", strPath);
    EnterDirectory(strKept);
}

void CMainFrame::OnSetSearchStringsFile() {
    const std::string strKept = CurrentDirectory();
    std::string strPath;
    if (ChooseFileName(this, true, "Set Search Strings File", "String Files (*.STR)|*.STR||", "STR",
                       OFN_NOREADONLYRETURN | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                           OFN_OVERWRITEPROMPT,
                       strPath, 2))
        m_settings.WriteSettingString("Application", "SearchStrings", strPath);
    EnterDirectory(strKept);
}

void CMainFrame::OnEditSearchStrings() {
    const std::string strPath = m_settings.ReadSettingString("Application", "SearchStrings", "");
    if (strPath.empty()) {
        ShowMessage(IDP_NO_STRINGS_FILE, 1);
        return;
    }
    CSearchStringsDlg dlg(this, strPath);
    dlg.exec();
}

void CMainFrame::OnStartReporting() {
    m_bInRun = true;
    CRunOptions options;
    options.nJobs = m_nJobs;
    options.drainInterval = m_drainInterval;
    options.pStopSignal = m_pStopSignal;
    options.pPause = &m_runPause;
    CWindowRunHost host(*this, *m_wndFileList);
    RunReport(host.Inputs(), host, m_viewSink, options);
    m_bInRun = false;
    if (m_bCloseAfterRun) {
        m_bCloseAfterRun = false;
        close();
    }
}

void CMainFrame::OnStopReporting() {
    if (AppMessageBox("Are you sure you wish to stop the reporting ?", MB_YESNO | MB_ICONQUESTION,
                      2) == IDYES)
        m_bReporting = 0;
}

void CMainFrame::OnEditFile() {
    // The selected text as the report's bytes, at most 255 of them (a UTF-8 name is not cut
    // inside a character), blanks kept; line ends around it are the selection running over a
    // line's end, not part of the name.
    std::string name = m_reportView->SelectedBytes();
    if (name.size() > 255) {
        size_t cut = 255;
        if (IsShownAsUtf8(name))
            while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
                --cut;
        name.resize(cut);
    }
    const auto lineEnd = [](char c) { return c == '\r' || c == '\n'; };
    while (!name.empty() && lineEnd(name.front()))
        name.erase(0, 1);
    while (!name.empty() && lineEnd(name.back()))
        name.pop_back();
    // A relative name means a file in the directory that the browser shows.
    std::string path = name;
    if (!name.empty() && name[0] != '/')
        path = CurrentDirectory() + "/" + name;
    // Nothing on this desktop reports a name that names no file, or a file it has no program
    // for: this command does.
    const std::string shown = ShowBytes(name).toStdString();
    const auto failed = [shown] { ShowMessage(IDP_EDIT_FILE_FAILED, 9, shown.c_str()); };
    struct stat info {};
    if (name.empty() || ::stat(path.c_str(), &info) != 0)
        failed();
    else
        OpenWithAssociatedProgram(path, failed);
}

void CMainFrame::OnExit() {
    close();
}

void CMainFrame::OnCopyReport() {
    m_wndReport->copy();
}

void CMainFrame::OnClearScreen() {
    m_reportView->Clear();
    m_wndReport->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::OnHelpIndex() {
    ShowHelp(HELP_INDEX, 0);
}

void CMainFrame::OnHelpSearch() {
    ShowHelp(HELP_PARTIALKEY, 0);
}

void CMainFrame::OnHelpUsing() {
    ShowHelp(HELP_HELPONHELP, 0);
}

void CMainFrame::OnAbout() {
    CAboutDlg dlg(this);
    dlg.SetHelpId(3);
    dlg.exec();
}

void CMainFrame::OnHelp() {
    ShowHelp(HELP_CONTEXT, HELP_CONTEXT_MAIN_WINDOW);
}

void CMainFrame::OnContextHelp() {}

void CMainFrame::DrainMessageQueue() {
    const std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    if (m_reportView->CatchUpIfDue(now)) {
        if (m_bStatusPending && m_nOpenMenus == 0)
            ShowStatusText(m_strStatus);
        // Paints all that is due, the view too, here rather than in the event handling below,
        // so that the time taken is the catch-up's own.
        m_wndMessagePane->repaint();
        m_reportView->CaughtUp(now);
    }
    QCoreApplication::processEvents();
}

void CMainFrame::BeginReporting() {
    UpdateCommandStates();
    m_wndFileList->setEnabled(false);
    m_wndDirList->setEnabled(false);
    m_wndDriveBox->setEnabled(false);
}

void CMainFrame::EndReporting() {
    m_reportView->Show();
    m_wndFileList->setEnabled(true);
    m_wndDirList->setEnabled(true);
    m_wndDriveBox->setEnabled(true);
    UpdateCommandStates();
}
