#include "modaldriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

CModalAction::CModalAction(std::function<void(QWidget*)> act, QWidget* except) {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this, act, except] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == except || !modal->isVisible())
            return;
        m_timer.stop();
        act(modal);
    });
    m_timer.start();
}

CDialogWatchdog::CDialogWatchdog() {
    m_timer.setInterval(3000);
    QObject::connect(&m_timer, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box != nullptr && !box->buttons().isEmpty())
            box->buttons().first()->click();
        else
            modal->close();
    });
    m_timer.start();
}
