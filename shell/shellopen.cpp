#include "shell/shellopen.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

OpenHandler& Handler() {
    static OpenHandler handler;
    return handler;
}

} // namespace

void SetOpenHandler(OpenHandler handler) {
    Handler() = std::move(handler);
}

bool OpenWithAssociatedProgram(const QString& text) {
    if (Handler())
        return Handler()(text);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(text));
}
