#include "gui/widgets/messages.h"

#include "core/text/resource.h"
#include "core/text/stringtable.h"
#include "gui/base/controlids.h"
#include "gui/base/helpcall.h"
#include "gui/base/messagebox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

MessageBoxAnswerer& Answerer() {
    static MessageBoxAnswerer answerer;
    return answerer;
}

std::function<void()>& BeepHandler() {
    static std::function<void()> handler;
    return handler;
}

// Turns F1 inside a box into a help call for the box's context. Key presses that the focused
// button leaves alone travel up to the box, where this filter sees them.
class CBoxHelpFilter : public QObject {
  public:
    explicit CBoxHelpFilter(unsigned helpContext) : m_nHelpContext(helpContext) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
                // Claim F1 before any shortcut of the windows behind the box sees it.
                event->accept();
                if (event->type() == QEvent::KeyPress && m_nHelpContext != 0)
                    ShowHelp(HELP_CONTEXT, m_nHelpContext);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    unsigned m_nHelpContext;
};

QMessageBox::StandardButtons ButtonsOf(int style) {
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_ABORTRETRYIGNORE: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case MB_YESNOCANCEL: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
    case MB_RETRYCANCEL: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconOf(int style) {
    switch (style & MB_ICONMASK) {
    case MB_ICONSTOP: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

int ButtonIdOf(QMessageBox::StandardButton button) {
    switch (button) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Abort: return IDABORT;
    case QMessageBox::Retry: return IDRETRY;
    case QMessageBox::Ignore: return IDIGNORE;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return 0;
    }
}

} // namespace

void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) {
    Answerer() = std::move(answerer);
}

int ShowMessage(int textId, int helpId, const char* first, const char* second) {
    return ShowMessageText(LoadStringResource(textId, 255), helpId, first, second);
}

int ShowMessageText(const std::string& text, int helpId, const char* first, const char* second) {
    const CParsedMessage parsed = ParseMessageText(text, first, second);
    return AppMessageBox(parsed.text, parsed.nStyle, helpId == -1 ? 0 : helpId);
}

void MessageBeep() {
    if (BeepHandler())
        BeepHandler()();
    else
        QApplication::beep();
}

void SetBeepHandler(std::function<void()> handler) {
    BeepHandler() = std::move(handler);
}

int AppMessageBox(const std::string& text, int style, int helpId) {
    style = ApplyDefaultIcon(style);
    if (Answerer())
        return Answerer()(text, style, helpId);

    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr)
        owner = QApplication::activeWindow();
    QMessageBox box(owner);
    box.setObjectName("messageBox");
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(QString::fromUtf8(LoadStringResource(IDS_APP_TITLE)));
    // Plain text always: a file name in an insert must not be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8(text));
    box.setIcon(IconOf(style));
    box.setStandardButtons(ButtonsOf(style));
    CBoxHelpFilter help(helpId != 0 ? HELP_BASE_MESSAGE + static_cast<unsigned>(helpId) : 0);
    box.installEventFilter(&help);
    box.exec();
    const int id = ButtonIdOf(box.standardButton(box.clickedButton()));
    if (id != 0)
        return id;
    // Closed without a button (the box was torn down): the answer that changes nothing.
    return (style & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
}

bool ShowHelp(unsigned command, unsigned long data) {
    if (CallHelp(command, data))
        return true;
    AppMessageBox(LoadStringResource(IDS_FAILED_TO_LAUNCH_HELP), MB_OK, 0);
    return false;
}
