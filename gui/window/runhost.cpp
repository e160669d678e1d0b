#include "gui/window/runhost.h"

#include "core/lines/filepath.h"
#include "gui/widgets/filebrowser.h"
#include "gui/window/mainframe.h"
#include "gui/window/settings.h"

#include <QListWidget>

std::string CWindowRunHost::GetOutputPath() {
    return m_frame.Settings().ReadSettingString("Application", "Output", "");
}

std::string CWindowRunHost::GetSearchStringsPath() {
    return m_frame.Settings().ReadSettingString("Application", "SearchStrings", "");
}

std::string CWindowRunHost::GetCurrentDirectory() {
    return CurrentDirectory();
}

int CWindowRunHost::GetFileCount() {
    return m_files.count();
}

bool CWindowRunHost::IsFileSelected(int index) {
    const QListWidgetItem* item = m_files.item(index);
    return item != nullptr && item->isSelected();
}

CListedFile CWindowRunHost::GetFileName(int index) {
    return FileListEntryName(m_files.item(index));
}

void CWindowRunHost::SetStatusText(const std::string& text) {
    m_frame.SetStatusText(text);
}

void CWindowRunHost::DrainMessageQueue() {
    m_frame.DrainMessageQueue();
    if (m_frame.m_bReporting == 0)
        m_bReporting = 0;
}

void CWindowRunHost::BeginReporting() {
    m_frame.m_bReporting = m_bReporting;
    m_frame.BeginReporting();
}

void CWindowRunHost::EndReporting() {
    m_frame.m_bReporting = m_bReporting;
    m_frame.EndReporting();
}

std::tm CWindowRunHost::GetLocalTime() {
    return m_frame.GetLocalTime();
}
