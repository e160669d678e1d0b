#include "toolkit/messages.h"

#include "resources/resource.h"
#include "resources/stringtable.h"
#include "shell/helpcall.h"
#include "toolkit/messagetext.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

MessageBoxAnswerer& Answerer() {
    static MessageBoxAnswerer answerer;
    return answerer;
}

} // namespace

void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) { Answerer() = std::move(answerer); }

int ShowMessage(int textId, int helpId, const char* first, const char* second) {
    return ShowMessageText(LoadStringResource(textId, 255), helpId, first, second);
}

int ShowMessageText(const std::string& text, int helpId, const char* first, const char* second) {
    const CParsedMessage parsed = ParseMessageText(text, first, second);
    return AppMessageBox(parsed.text, parsed.nStyle, helpId == -1 ? 0 : helpId);
}

int AppMessageBox(const std::string& text, int style, int helpId) {
    style = ApplyDefaultIcon(style);
    if (Answerer())
        return Answerer()(text, style, helpId);

    QMessageBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(QString::fromLocal8Bit(LoadStringResource(IDS_APP_TITLE).c_str()));
    box.setText(QString::fromLocal8Bit(text.c_str()));
    switch (style & MB_ICONMASK) {
    case MB_ICONSTOP: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    struct ButtonId {
        QMessageBox::StandardButton button;
        int id;
    };
    static const ButtonId Ids[] = {{QMessageBox::Ok, IDOK},       {QMessageBox::Cancel, IDCANCEL},
                                   {QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY},
                                   {QMessageBox::Ignore, IDIGNORE}, {QMessageBox::Yes, IDYES},
                                   {QMessageBox::No, IDNO}};
    QMessageBox::StandardButtons buttons;
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MB_ABORTRETRYIGNORE:
        buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        break;
    case MB_YESNOCANCEL: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case MB_YESNO: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case MB_RETRYCANCEL: buttons = QMessageBox::Retry | QMessageBox::Cancel; break;
    default: buttons = QMessageBox::Ok; break;
    }
    box.setStandardButtons(buttons);
    box.exec();
    const QMessageBox::StandardButton pressed = box.standardButton(box.clickedButton());
    for (const ButtonId& b : Ids)
        if (b.button == pressed)
            return b.id;
    return (style & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
}
