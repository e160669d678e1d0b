#pragma once
// The program's help viewer: one window over the help file, topics by context number.
//
// The help file is read by ParseHelpFile (gui/base/helpfile.h).

#include "gui/base/helpfile.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTextBrowser;

// Makes the viewer of the help file the handler of every help call (see helpcall.h): the
// first of the candidates that is a file, looked for again at every call until one is read.
// The window is made at the first call and shown by every call but HELP_QUIT, which closes it.
void InstallHelpViewer(const std::vector<std::string>& candidates);
inline void InstallHelpViewer(const std::string& helpFilePath) {
    InstallHelpViewer(std::vector<std::string>{helpFilePath});
}

class CHelpViewer : public QWidget {
  public:
    static constexpr const char* CONTENTS_TOPIC = "contents";
    static constexpr const char* USING_HELP_TOPIC = "usinghelp";

    explicit CHelpViewer(const std::string& helpFilePath);

    // Reads the help file; false when it cannot be read, and the page then says why.
    bool Load();
    // Another help file for the next Load.
    void SetFilePath(const std::string& helpFilePath);
    bool IsLoaded() const { return m_bLoaded; }

    // Shows topic n; a number without a topic gives a page that says so.
    void ShowContext(unsigned long context);
    void ShowContents();
    void ShowUsingHelp();
    // Opens the keyword search with the focus in its filter field.
    void ShowSearch();

    QString CurrentTopic() const { return m_strCurrentTopic; }
    bool HasTopic(const QString& name) const { return m_mapTopics.count(name) != 0; }
    QStringList TopicNames() const;

  protected:
    bool event(QEvent* event) override;

  private:
    void ShowTopic(const QString& name, bool bRecord = true);
    void ShowPage(const QString& body);
    void OnAnchorClicked(const QUrl& url);
    void OnBack();
    void OnForward();
    void OnFilterChanged(const QString& text);
    void OnDisplayKeyword();
    void FillKeywordList();
    void UpdateButtons();

    std::string m_strFilePath;
    bool m_bLoaded = false;
    QString m_strStyle;
    std::map<QString, CHelpTopic> m_mapTopics;
    // Keyword shown in the search list, and the topic it leads to.
    std::vector<std::pair<QString, QString>> m_vecKeywords;
    QString m_strCurrentTopic;
    std::vector<QString> m_vecHistory;
    int m_nHistoryPos = -1;

    QTextBrowser* m_pBrowser;
    QWidget* m_pSearchPanel;
    QLineEdit* m_pFilter;
    QListWidget* m_pKeywords;
    QPushButton* m_pBack;
    QPushButton* m_pForward;
};
