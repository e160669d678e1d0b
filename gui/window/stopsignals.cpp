#include "gui/window/stopsignals.h"

#include "core/lines/stopsignal.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler only writes a byte to this pipe; the event loop reads it.
int g_nSignalPipe[2] = {-1, -1};
StopFlag g_nStopSignal = 0;
QPointer<QWidget> g_pWindow;
bool g_bCloseWanted = false; // a signal came while there was no window to close

void OnStopSignal(int) {
    g_nStopSignal = 1;
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_nSignalPipe[1], &byte, 1);
    errno = saved;
}

// A dialog's loop runs on the stack above the window's: it is cancelled first, and the
// window closed once the loops have returned.
void CloseWhenNoDialog() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(10, [] { CloseWhenNoDialog(); });
        return;
    }
    if (g_pWindow != nullptr)
        g_pWindow->close();
    else
        g_bCloseWanted = true;
}

} // namespace

void CloseOnStopSignals(QWidget* window) {
    g_pWindow = window;
    if (window != nullptr && g_bCloseWanted) { // a signal came while there was no window
        g_bCloseWanted = false;
        QTimer::singleShot(0, window, [] { CloseWhenNoDialog(); });
    }
    if (g_nSignalPipe[0] >= 0)
        return;
    if (::pipe2(g_nSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(g_nSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char bytes[64];
        while (::read(g_nSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        CloseWhenNoDialog();
    });
    CatchStopSignals(OnStopSignal);
}

const StopFlag* StopSignalFlag() {
    return &g_nStopSignal;
}
