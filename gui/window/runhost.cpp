#include "gui/window/runhost.h"

#include "core/lines/filepath.h"
#include "core/text/resource.h"
#include "gui/widgets/filebrowser.h"
#include "gui/window/mainframe.h"
#include "gui/window/settings.h"

#include <QListWidget>

CRunInputs CWindowRunHost::Inputs() {
    CSettingsStore& settings = m_frame.Settings();
    return {settings.ReadSettingString("Application", "Output", ""),
            settings.ReadSettingString("Application", "SearchStrings", ""),
            CurrentDirectory(),
            *this,
            m_strings,
            m_stop,
            [this] { return m_frame.GetLocalTime(); }};
}

CFileSource::ENext CWindowRunHost::Next(CListedFile& file, std::chrono::milliseconds) {
    while (m_nNext < m_files.count()) {
        const QListWidgetItem* item = m_files.item(m_nNext++);
        if (item != nullptr && item->isSelected()) {
            file = FileListEntryName(item);
            return ENext::FILE;
        }
    }
    return ENext::END;
}

void CWindowRunHost::SetStatusText(const std::string& text) {
    m_frame.SetStatusText(text);
}

void CWindowRunHost::DrainMessageQueue() {
    m_frame.DrainMessageQueue();
    if (m_frame.m_bReporting == 0)
        m_stop = 1;
}

void CWindowRunHost::BeginReporting() {
    m_frame.m_bReporting = 1;
    m_frame.BeginReporting();
}

void CWindowRunHost::EndReporting() {
    m_frame.m_bReporting = 0;
    m_frame.EndReporting();
    m_frame.SetStatusText(IDS_READY);
}
