#pragma once
// The main window: menu bar, file browser, report view and status bar. A run started from its
// menu reports into its view (see CWindowRunHost for the run's side).

#include "core/lines/stopflag.h"
#include "core/report/reportsink.h"
#include "core/run/runpause.h"
#include "core/text/datestamp.h"
#include "gui/window/commands.h"
#include "gui/window/placement.h"
#include "gui/window/reportlines.h"
#include "gui/window/reportview.h"

#include <QMainWindow>
#include <QSize>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CSettingsStore;
class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QMenuBar;
class QPlainTextEdit;
class QStatusBar;
class QWidget;

class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    // Creates the window with its menu bar, children and status bar and sets its stored
    // rectangle; the window is not shown yet. The store must outlive the window.
    explicit CMainFrame(CSettingsStore& settings);
    ~CMainFrame() override;

    CSettingsStore& Settings() { return m_settings; }

    // Appends the text and CR LF to the report view, dropping whole oldest lines so that the
    // view keeps at most REPORT_VIEW_LIMIT characters, and scrolls to the end. During a run
    // the view itself is brought up to date at each drain and at the run's end.
    void AppendReportLine(std::string_view text);
    // Shows the text (or the string with that id, cut to 79 characters) in the message pane
    // and repaints the status bar at once; during a run, at the view's next catch-up.
    void SetStatusText(const std::string& text);
    void SetStatusText(int nStringId);
    // "Kavel 2000 - " and the current directory as the caption.
    void UpdateTitle();
    // File list, directory list, drive box, report view, and round again; from anywhere
    // else to the file list.
    void FocusNextControl();
    // Runs the command when its enable rule allows it now; false when it did nothing.
    bool RunCommand(int nId);
    CCommandState CommandState() const;
    // Enables and disables the commands' actions by their rules.
    void UpdateCommandStates();

    // 1 while a run is active; a stop (the Stop command, a close request, the session's end)
    // clears it, and the run ends after the line being checked.
    int m_bReporting = 0;
    int m_nReportLength = 0;
    // The run's options: progress and draining at most this far apart (zero: after every
    // line), and the stop-signal flag that lets a blocked output file give up.
    std::chrono::milliseconds m_drainInterval{40};
    // Files checked at the same time in a run: one per processor (set at construction).
    int m_nJobs = 1;
    const StopFlag* m_pStopSignal = nullptr;

    // Command handlers.
    void OnSetOutputFile();
    void OnSetSearchStringsFile();
    void OnEditSearchStrings();
    void OnStartReporting();
    void OnStopReporting();
    void OnEditFile();
    void OnExit();
    void OnCopyReport();
    void OnClearScreen();
    void OnHelpIndex();
    void OnHelpSearch();
    void OnHelpUsing();
    void OnAbout();
    void OnHelp();
    void OnContextHelp();

    // The browser controls' actions.
    void OnDirectoryDoubleClicked();
    void OnDriveChosen();
    void RefreshFileList();
    void RefreshDirectoryList();

    // What a run asks of the window: its events handled (painting, commands, a stop) with the
    // view and the status pane brought up to date when due, and the browser locked while the
    // run goes and unlocked after.
    void DrainMessageQueue();
    void BeginReporting();
    void EndReporting();
    // The clock of the report header's date and time stamps.
    virtual std::tm GetLocalTime() { return ReadLocalTime(); }

    // Lays out the four controls in the client area above the status bar.
    void LayoutChildren();
    // True while a modal window holds the run's workers.
    bool IsRunHeld() const { return m_runPause.IsPaused(); }

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool bNext) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The report view as a sink of the run: every line appended as AppendReportLine does.
    class CViewSink : public CTextReportSink {
      public:
        explicit CViewSink(CMainFrame& frame) : m_frame(frame) {}

      protected:
        void WriteLine(std::string_view text) override { m_frame.AppendReportLine(text); }

      private:
        CMainFrame& m_frame;
    };

    void CreateMenuBar();
    void CreateStatusBar();
    void NameControls();
    void UpdateKeyIndicators();
    void ShowStatusText(const std::string& text);
    void SetMessagePaneText(const QString& text);
    // Shows the status text last set, now: the menu that covered it has closed, or a modal
    // window holds the run that would show it at its next catch-up.
    void ShowLastStatusText();
    // Holds the run's workers while a modal window is open, and releases them after.
    void UpdateRunPause();

    CSettingsStore& m_settings;

    QMenuBar* m_pMenu = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    QListWidget* m_wndFileList = nullptr;
    QListWidget* m_wndDirList = nullptr;
    QComboBox* m_wndDriveBox = nullptr;
    QPlainTextEdit* m_wndReport = nullptr;
    QWidget* m_wndClient = nullptr;
    QLabel* m_wndMessagePane = nullptr;
    QLabel* m_wndCapsPane = nullptr;
    QLabel* m_wndNumPane = nullptr;
    QLabel* m_wndScrollPane = nullptr;

    std::vector<std::pair<int, QAction*>> m_commandActions; // the menu's commands
    std::vector<QObject*> m_shownKeyActions; // items that show a key, which is no accelerator
    int m_nOpenMenus = 0;
    CWindowPlacement m_placement{*this, m_settings};
    bool m_bScrollLock = false;

    std::unique_ptr<CReportView> m_reportView;
    // The status text last set: during a run it waits for the view's next catch-up, and while
    // a menu is open for the menu to close.
    std::string m_strStatus;
    bool m_bStatusPending = false;
    // Holds the run's workers while a modal window is open: the run waits in it.
    CRunPause m_runPause;

    CViewSink m_viewSink{*this};
    bool m_bInRun = false;         // RunReport is on the stack
    bool m_bCloseAfterRun = false; // a close request waits for the run to end
};
