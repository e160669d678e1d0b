#include "modaldriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

void WhenModalShown(std::function<void(QWidget*)> act, QWidget* except) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act, except] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == except || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

CDialogWatchdog::CDialogWatchdog() : m_pTimer(new QTimer) {
    m_pTimer->setInterval(3000);
    QObject::connect(m_pTimer, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box != nullptr && !box->buttons().isEmpty())
            box->buttons().first()->click();
        else
            modal->close();
    });
    m_pTimer->start();
}

CDialogWatchdog::~CDialogWatchdog() {
    delete m_pTimer;
}
