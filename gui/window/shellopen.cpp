#include "gui/window/shellopen.h"

#include "gui/widgets/bytetext.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

namespace {

OpenHandler& Handler() {
    static OpenHandler handler;
    return handler;
}

// The opener's argument: the path itself, or where it is not UTF-8 (an argument cannot carry
// such bytes) its file URL, each byte percent-encoded.
QString OpenerArgument(const std::string& path) {
    if (IsShownAsUtf8(path))
        return QString::fromStdString(path);
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    return QLatin1String("file://") + QString::fromLatin1(bytes.toPercentEncoding("/"));
}

} // namespace

void SetOpenHandler(OpenHandler handler) {
    Handler() = std::move(handler);
}

void OpenWithAssociatedProgram(const std::string& path, std::function<void()> failed) {
    if (Handler()) {
        if (!Handler()(path))
            failed();
        return;
    }
    // Not owned by a window: an opener that waits for the program it started (as xdg-open
    // does for some) must outlive the window, which would end it.
    auto* opener = new QProcess;
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({OpenerArgument(path)});
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    opener->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, failed](int status, QProcess::ExitStatus how) {
                         opener->deleteLater();
                         if (how != QProcess::NormalExit || status != 0)
                             failed();
                     });
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [opener, failed](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         opener->deleteLater();
                         failed();
                     });
    opener->start();
}
