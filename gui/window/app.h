#pragma once
// The application object: start-up, the program-wide names and the exit.

#include <QApplication>
#include <QPointer>
#include <QString>

#include <memory>
#include <string>

class CMainFrame;
class CSettingsStore;
class QIcon;
class QWidget;

// The settings maker key.
inline constexpr const char* SETTINGS_MAKER = "VornSoftware";

class CMainApp : public QApplication {
  public:
    CMainApp(int& argc, char** argv);
    ~CMainApp() override;

    // The start-up steps: style and colours, settings, help file, main window shown with the
    // stored show command, title. false ends the program at once.
    bool InitInstance();
    // The exit status of a normal exit: 1.
    int ExitInstance();

    CSettingsStore* Settings() const { return m_pSettings.get(); }
    const std::string& HelpFilePath() const { return m_strHelpFilePath; }
    CMainFrame* MainWindow() const;

  private:
    std::unique_ptr<CSettingsStore> m_pSettings;
    std::string m_strHelpFilePath;
    QPointer<CMainFrame> m_pMainWnd;
};

// The application name: string 57344, or the program file's name without its extension.
QString ApplicationName();
// The program's icon (icon 10), as the windows and the about box show it.
QIcon ProgramIcon();
// The classic "Windows" style with a grey palette and black text.
void ApplyDialogColours(QApplication& app);
// Shows the window as the stored show command says: 3 maximised, 2, 6, 7 and 11 minimised,
// anything else normal.
void ShowWithCommand(QWidget& window, int nShowCommand);
