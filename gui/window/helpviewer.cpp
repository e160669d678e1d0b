#include "gui/window/helpviewer.h"

#include "core/text/resource.h"
#include "core/text/stringtable.h"
#include "gui/base/helpcall.h"
#include "gui/base/helpfile.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

// Enter in the filter field displays the chosen keyword; Up and Down move in the list.
class CFilterKeys : public QObject {
  public:
    CFilterKeys(QListWidget* list, std::function<void()> display)
        : m_pList(list), m_fnDisplay(std::move(display)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_fnDisplay();
            return true;
        }
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            int row = m_pList->currentRow();
            do
                row += key == Qt::Key_Up ? -1 : 1;
            while (row >= 0 && row < m_pList->count() && m_pList->item(row)->isHidden());
            if (row >= 0 && row < m_pList->count())
                m_pList->setCurrentRow(row);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QListWidget* m_pList;
    std::function<void()> m_fnDisplay;
};

// A screen reader takes a plain top-level widget for a filler: the viewer is a window, named by
// its title.
QAccessibleInterface* ViewerAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("QWidget") && object != nullptr &&
        object->objectName() == QLatin1String("helpViewer"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

CHelpViewer::CHelpViewer(const std::string& helpFilePath)
    : QWidget(nullptr, Qt::Window), m_strFilePath(helpFilePath) {
    static const bool bFactory = (QAccessible::installFactory(ViewerAccessible), true);
    (void)bFactory;
    setObjectName("helpViewer");
    // The program ends with its main window, whether or not help is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QString::fromUtf8(LoadStringResource(IDS_APP_TITLE)) + " Help");

    auto* contents = new QPushButton("&Contents", this);
    auto* search = new QPushButton("&Search", this);
    m_pBack = new QPushButton("&Back", this);
    m_pForward = new QPushButton("&Forward", this);
    auto* usingHelp = new QPushButton("&Using Help", this);
    auto* close = new QPushButton("C&lose", this);
    for (QPushButton* button : {contents, search, m_pBack, m_pForward, usingHelp, close})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(search);
    buttons->addWidget(m_pBack);
    buttons->addWidget(m_pForward);
    buttons->addWidget(usingHelp);
    buttons->addStretch();
    buttons->addWidget(close);

    m_pSearchPanel = new QWidget(this);
    m_pSearchPanel->setObjectName("helpSearch");
    auto* searchLayout = new QVBoxLayout(m_pSearchPanel);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    auto* filterLabel = new QLabel("&Type a word:", m_pSearchPanel);
    m_pFilter = new QLineEdit(m_pSearchPanel);
    m_pFilter->setObjectName("helpFilter");
    filterLabel->setBuddy(m_pFilter);
    m_pKeywords = new QListWidget(m_pSearchPanel);
    m_pKeywords->setObjectName("helpKeywords");
    m_pKeywords->setAccessibleName("Keywords"); // a list takes no name from its label
    auto* display = new QPushButton("&Display", m_pSearchPanel);
    display->setAutoDefault(false);
    searchLayout->addWidget(filterLabel);
    searchLayout->addWidget(m_pFilter);
    searchLayout->addWidget(m_pKeywords);
    searchLayout->addWidget(display);
    m_pSearchPanel->setFixedWidth(220);
    m_pSearchPanel->hide();

    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setObjectName("helpText");
    m_pBrowser->setOpenLinks(false);
    m_pBrowser->setAccessibleName("Topic");
    m_pBrowser->setAccessibleDescription("The help topic shown; its links lead to other topics");

    auto* body = new QHBoxLayout;
    body->addWidget(m_pSearchPanel);
    body->addWidget(m_pBrowser, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addLayout(body, 1);
    resize(680, 520);

    connect(contents, &QPushButton::clicked, this, &CHelpViewer::ShowContents);
    connect(search, &QPushButton::clicked, this, &CHelpViewer::ShowSearch);
    connect(m_pBack, &QPushButton::clicked, this, &CHelpViewer::OnBack);
    connect(m_pForward, &QPushButton::clicked, this, &CHelpViewer::OnForward);
    connect(usingHelp, &QPushButton::clicked, this, &CHelpViewer::ShowUsingHelp);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(m_pBrowser, &QTextBrowser::anchorClicked, this, &CHelpViewer::OnAnchorClicked);
    connect(m_pFilter, &QLineEdit::textChanged, this, &CHelpViewer::OnFilterChanged);
    connect(m_pKeywords, &QListWidget::itemActivated, this, &CHelpViewer::OnDisplayKeyword);
    connect(display, &QPushButton::clicked, this, &CHelpViewer::OnDisplayKeyword);
    auto* keys = new CFilterKeys(m_pKeywords, [this] { OnDisplayKeyword(); });
    keys->setParent(m_pFilter);
    m_pFilter->installEventFilter(keys);
    UpdateButtons();
}

bool CHelpViewer::Load() {
    m_mapTopics.clear();
    m_vecKeywords.clear();
    m_strStyle.clear();
    QFile file(QFile::decodeName(QByteArray::fromStdString(m_strFilePath)));
    // Only a regular file: a FIFO would hold the program in open(), a device feed it forever.
    const QFileInfo info(file.fileName());
    const bool regular = !info.exists() || info.isFile();
    if (!regular || !file.open(QIODevice::ReadOnly)) {
        m_bLoaded = false;
        ShowPage("<h1>Help is not available</h1><p>The help file <b>" +
                 file.fileName().toHtmlEscaped() + "</b> cannot be read: " +
                 (regular ? file.errorString() : QString("not a regular file")).toHtmlEscaped() +
                 ".</p><p>The help file is looked for in the folder of the program file, then in "
                 "<b>../share/kavel2000/</b> beside that folder, where an install puts it.</p>");
        FillKeywordList();
        return false;
    }
    CHelpFile help = ParseHelpFile(QString::fromUtf8(file.readAll()));
    m_strStyle = std::move(help.strStyle);
    if (help.title)
        setWindowTitle(*help.title);
    m_mapTopics = std::move(help.topics);
    m_vecKeywords = std::move(help.keywords);
    m_bLoaded = true;
    FillKeywordList();
    return true;
}

QStringList CHelpViewer::TopicNames() const {
    QStringList names;
    for (const auto& [name, topic] : m_mapTopics)
        names.append(name);
    return names;
}

void CHelpViewer::ShowContext(unsigned long context) {
    ShowTopic(QString::number(context));
}

void CHelpViewer::ShowContents() {
    ShowTopic(CONTENTS_TOPIC);
}

void CHelpViewer::ShowUsingHelp() {
    ShowTopic(USING_HELP_TOPIC);
}

void CHelpViewer::ShowSearch() {
    if (m_strCurrentTopic.isEmpty())
        ShowContents();
    m_pSearchPanel->show();
    m_pFilter->setFocus();
    m_pFilter->selectAll();
}

void CHelpViewer::ShowTopic(const QString& name, bool bRecord) {
    if (!m_bLoaded)
        return; // the page already says why there is no help
    const auto it = m_mapTopics.find(name);
    if (it == m_mapTopics.end()) {
        bool isNumber = false;
        const unsigned long number = name.toULong(&isNumber);
        ShowPage("<h1>No such topic</h1><p>The help file has no topic for " +
                 (isNumber ? "help context " + name + " (0x" + QString::number(number, 16) + ")"
                           : "\"" + name.toHtmlEscaped() + "\"") +
                 ".</p><p><a href=\"#contents\">Contents</a></p>");
        m_strCurrentTopic.clear();
        return;
    }
    ShowPage(it->second.strHtml);
    m_strCurrentTopic = name;
    if (bRecord) {
        m_vecHistory.resize(static_cast<size_t>(m_nHistoryPos + 1));
        if (m_vecHistory.empty() || m_vecHistory.back() != name)
            m_vecHistory.push_back(name);
        m_nHistoryPos = static_cast<int>(m_vecHistory.size()) - 1;
    }
    UpdateButtons();
}

void CHelpViewer::ShowPage(const QString& body) {
    m_pBrowser->setHtml("<html><head><style>" + m_strStyle + "</style></head><body>" + body +
                        "</body></html>");
}

void CHelpViewer::OnAnchorClicked(const QUrl& url) {
    if (url.isRelative() && url.path().isEmpty() && url.hasFragment())
        ShowTopic(url.fragment());
}

void CHelpViewer::OnBack() {
    if (m_nHistoryPos > 0)
        ShowTopic(m_vecHistory[static_cast<size_t>(--m_nHistoryPos)], false);
    UpdateButtons();
}

void CHelpViewer::OnForward() {
    if (m_nHistoryPos + 1 < static_cast<int>(m_vecHistory.size()))
        ShowTopic(m_vecHistory[static_cast<size_t>(++m_nHistoryPos)], false);
    UpdateButtons();
}

void CHelpViewer::UpdateButtons() {
    m_pBack->setEnabled(m_nHistoryPos > 0);
    m_pForward->setEnabled(m_nHistoryPos + 1 < static_cast<int>(m_vecHistory.size()));
}

void CHelpViewer::FillKeywordList() {
    std::vector<std::pair<QString, QString>> sorted = m_vecKeywords;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
    });
    m_pKeywords->clear();
    for (size_t i = 0; i < sorted.size(); ++i) {
        const auto& [word, topic] = sorted[i];
        const bool shared =
            (i > 0 && sorted[i - 1].first.compare(word, Qt::CaseInsensitive) == 0) ||
            (i + 1 < sorted.size() && sorted[i + 1].first.compare(word, Qt::CaseInsensitive) == 0);
        QString text = word;
        if (shared) {
            const auto it = m_mapTopics.find(topic);
            if (it != m_mapTopics.end() &&
                it->second.strTitle.compare(word, Qt::CaseInsensitive) != 0)
                text += " (" + it->second.strTitle + ")";
        }
        auto* item = new QListWidgetItem(text, m_pKeywords);
        item->setData(Qt::UserRole, topic);
    }
    OnFilterChanged(m_pFilter->text());
}

// Shows the keywords that start with the typed text and makes the first of them current.
void CHelpViewer::OnFilterChanged(const QString& text) {
    const QString typed = text.trimmed();
    int first = -1;
    for (int i = 0; i < m_pKeywords->count(); ++i) {
        QListWidgetItem* item = m_pKeywords->item(i);
        const bool match = item->text().startsWith(typed, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (match && first < 0)
            first = i;
    }
    if (first >= 0)
        m_pKeywords->setCurrentRow(first);
}

void CHelpViewer::OnDisplayKeyword() {
    QListWidgetItem* item = m_pKeywords->currentItem();
    if (item != nullptr && !item->isHidden())
        ShowTopic(item->data(Qt::UserRole).toString());
}

// Help stays usable while a dialog or box is up, as when it is a program of its own: a modal
// window that blocks the viewer becomes its transient parent, which does not block it. Done
// after the blocking is through, as the blocking is worked out window by window.
bool CHelpViewer::event(QEvent* event) {
    if (event->type() == QEvent::WindowBlocked)
        QMetaObject::invokeMethod(
            this,
            [this] {
                QWidget* modal = QApplication::activeModalWidget();
                if (modal != nullptr && modal != this && modal->windowHandle() != nullptr &&
                    windowHandle() != nullptr)
                    windowHandle()->setTransientParent(modal->windowHandle());
            },
            Qt::QueuedConnection);
    return QWidget::event(event);
}

void CHelpViewer::SetFilePath(const std::string& helpFilePath) {
    m_strFilePath = helpFilePath;
}

void InstallHelpViewer(const std::vector<std::string>& candidates) {
    auto viewer = std::make_shared<QPointer<CHelpViewer>>();
    SetHelpHandler([candidates, viewer](unsigned command, unsigned long data) {
        if (command == HELP_QUIT) {
            if (*viewer)
                (*viewer)->close();
            return true;
        }
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
            return false;
        if (!*viewer) {
            *viewer = new CHelpViewer(FirstHelpFile(candidates));
            (*viewer)->setAttribute(Qt::WA_DeleteOnClose);
        }
        CHelpViewer* window = *viewer;
        if (!window->IsLoaded()) {
            window->SetFilePath(FirstHelpFile(candidates)); // one may have come since
            window->Load();
        }
        switch (command) {
        case HELP_CONTEXT: window->ShowContext(data); break;
        case HELP_HELPONHELP: window->ShowUsingHelp(); break;
        case HELP_PARTIALKEY: window->ShowSearch(); break;
        default: window->ShowContents(); break;
        }
        // A help call made from inside a modal dialog or box must give a viewer the user can
        // work in: as a transient of the modal window it is not blocked by it.
        window->winId();
        QWidget* modal = QApplication::activeModalWidget();
        window->windowHandle()->setTransientParent(modal != nullptr ? modal->windowHandle()
                                                                    : nullptr);
        window->show();
        window->raise();
        window->activateWindow();
        return true;
    });
}
