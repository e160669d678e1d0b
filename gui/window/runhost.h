#pragma once
// The window's side of a report run: the settings name the output and strings files, the file
// list gives the selected files, and the main window shows progress, drains its events, locks
// its browser while the run goes, and stops the run by clearing its m_bReporting.

#include "core/run/reportrun.h"

class CMainFrame;
class QListWidget;

class CWindowRunHost : public CReportHost, public CFileSource {
  public:
    CWindowRunHost(CMainFrame& frame, QListWidget& files) : m_frame(frame), m_files(files) {}

    // The run's inputs: the two settings, the process's directory, this host's list and stop.
    CRunInputs Inputs();
    // The list's next selected item, asked afresh for every item; the list never waits.
    ENext Next(CListedFile& file, std::chrono::milliseconds wait) override;
    void SetStatusText(const std::string& text) override;
    // The window's events; a stop asked for there ends the run after the line at hand.
    void DrainMessageQueue() override;
    void BeginReporting() override;
    void EndReporting() override;

  private:
    CMainFrame& m_frame;
    QListWidget& m_files;
    int m_nNext = 0; // the list's next item to look at
    StopFlag m_stop{0};
    SearchStringTable m_strings = {};
};
