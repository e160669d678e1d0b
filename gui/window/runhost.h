#pragma once
// The window's side of a report run: the settings name the output and strings files, the file
// list gives the selected files, and the main window shows progress, drains its events, locks
// its browser while the run goes, and stops the run by clearing its m_bReporting.

#include "core/run/reportrun.h"

class CMainFrame;
class QListWidget;

class CWindowRunHost : public CReportHost {
  public:
    CWindowRunHost(CMainFrame& frame, QListWidget& files) : m_frame(frame), m_files(files) {}

    std::string GetOutputPath() override;
    std::string GetSearchStringsPath() override;
    std::string GetCurrentDirectory() override;
    int GetFileCount() override;
    bool IsFileSelected(int index) override;
    CListedFile GetFileName(int index) override;
    void SetStatusText(const std::string& text) override;
    // The window's events; a stop asked for there ends the run after the line at hand.
    void DrainMessageQueue() override;
    void BeginReporting() override;
    void EndReporting() override;
    std::tm GetLocalTime() override;

  private:
    CMainFrame& m_frame;
    QListWidget& m_files;
};
