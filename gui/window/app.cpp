#include "gui/window/app.h"

#include "core/text/resource.h"
#include "core/text/stringtable.h"
#include "gui/base/helpcall.h"
#include "gui/window/helpviewer.h"
#include "gui/window/mainframe.h"
#include "gui/window/placement.h"
#include "gui/window/settings.h"
#include "gui/window/stopsignals.h"

#include <QColor>
#include <QFileInfo>
#include <QIcon>
#include <QPalette>
#include <QStyleFactory>

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {}

CMainApp::~CMainApp() {
    delete m_pMainWnd.data();
}

bool CMainApp::InitInstance() {
    // From the start: a stop signal while the settings are read closes the window once it is
    // there, and the program ends as usual.
    CloseOnStopSignals(nullptr);
    setApplicationName(ApplicationName());
    // The program's icon on every window, and the desktop entry it belongs to.
    setWindowIcon(ProgramIcon());
    setDesktopFileName(QStringLiteral("kavel2000"));
    ApplyDialogColours(*this);

    setOrganizationName(QString::fromLatin1(SETTINGS_MAKER));
    m_pSettings = std::make_unique<CSettingsStore>(
        CSettingsStore::DefaultFilePath(QString::fromLatin1(SETTINGS_MAKER), applicationName()));

    // Beside the program file, or where an installed program finds it.
    const std::vector<std::string> helpFiles =
        HelpFileCandidates(applicationFilePath().toLocal8Bit().toStdString());
    m_strHelpFilePath = FirstHelpFile(helpFiles);
    InstallHelpViewer(helpFiles);

    const int nShowCommand = m_pSettings->ReadSettingInt("Window", "Maximise", SW_SHOW);

    auto* frame = new CMainFrame(*m_pSettings);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    // The window's end is the program's: the help viewer goes too, and the loop ends.
    connect(frame, &QObject::destroyed, this, [] {
        CallHelp(HELP_QUIT, 0);
        QCoreApplication::quit();
    });
    m_pMainWnd = frame;
    CloseOnStopSignals(frame);
    frame->m_pStopSignal = StopSignalFlag();

    ShowWithCommand(*frame, nShowCommand);
    frame->repaint();
    frame->UpdateTitle();
    return true;
}

int CMainApp::ExitInstance() {
    return 1;
}

CMainFrame* CMainApp::MainWindow() const {
    return m_pMainWnd.data();
}

QString ApplicationName() {
    if (const char* name = FindStringResource(IDS_APP_TITLE))
        return QString::fromLatin1(name);
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void ApplyDialogColours(QApplication& app) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(style);
    QPalette palette(QColor(192, 192, 192));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::All, role, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
    app.setPalette(palette);
}

void ShowWithCommand(QWidget& window, int nShowCommand) {
    switch (nShowCommand) {
    case SW_SHOWMAXIMIZED: window.showMaximized(); break;
    case 2:  // minimised
    case 6:  // minimise
    case 7:  // minimised, not active
    case 11: // forced minimise
        window.showMinimized();
        break;
    default: window.showNormal(); break;
    }
}

QIcon ProgramIcon() {
    return QIcon(QStringLiteral(":/kavel/icon.xpm"));
}
