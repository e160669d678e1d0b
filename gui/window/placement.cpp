#include "gui/window/placement.h"

#include "gui/window/settings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <climits>
#include <cstdint>

void CWindowPlacement::Restore() {
    const int nTop = m_settings.ReadSettingInt("Window", "Top", CW_USEDEFAULT);
    const int nLeft = m_settings.ReadSettingInt("Window", "Left", CW_USEDEFAULT);
    const int nBottom = m_settings.ReadSettingInt("Window", "Bottom", 0);
    const int nRight = m_settings.ReadSettingInt("Window", "Right", 0);
    // The width as a 32-bit difference: with the defaults it comes out CW_USEDEFAULT.
    const int nWidth =
        static_cast<int>(static_cast<unsigned>(nRight) - static_cast<unsigned>(nLeft));
    // A stored rectangle is used as far as it fits the screens: a size beyond them is cut to
    // them, and a position where no part of the window could be seen is left to the window
    // system. A window of absurd size would take memory without end.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableVirtualGeometry() : QRect();
    const bool bStoredSize = nLeft != CW_USEDEFAULT && nWidth != CW_USEDEFAULT;
    // The size without wrapping: a right edge of 2147483647 asks for the most there is.
    const auto extent = [](int from, int to) {
        return static_cast<int>(std::clamp<int64_t>(int64_t{to} - from, 0, INT_MAX));
    };
    QSize size(extent(nLeft, nRight), extent(nTop, nBottom));
    if (!bStoredSize && screen != nullptr)
        size = screen->availableGeometry().size() * 3 / 4; // the window system's default size
    if (area.isValid())
        size = size.boundedTo(area.size());
    if (nLeft != CW_USEDEFAULT && nTop != CW_USEDEFAULT) {
        const QRect wanted(
            QPoint(std::clamp(nLeft, -0x10000, 0x10000), std::clamp(nTop, -0x10000, 0x10000)),
            size.expandedTo(QSize(1, 1)));
        if (!area.isValid() || wanted.intersects(area))
            m_window.move(nLeft, nTop);
    }
    if (bStoredSize || screen != nullptr)
        m_window.resize(size);
    if (bStoredSize)
        m_sizeToFit = size;
}

// A size that someone else set meanwhile ends the wait.
void CWindowPlacement::FitStoredSizeToFrame() {
    QWidget& w = m_window;
    if (!m_sizeToFit.isValid() || !w.isVisible() || w.isMinimized() || w.isMaximized())
        return;
    // Back from maximised, the window manager may tell the state before the size: the size it
    // still has then is the maximised one, which nobody set for the normal window.
    if (m_sizeLeftMaximized.isValid()) {
        if (w.size() == m_sizeLeftMaximized && w.size() != m_sizeToFit)
            return;
        m_sizeLeftMaximized = QSize();
    }
    const QSize frame = w.frameGeometry().size() - w.size();
    if (w.size() != m_sizeToFit && w.size() != m_sizeToFit - frame)
        m_sizeToFit = QSize();
    else if (frame.isEmpty())
        return; // no frame yet (or none at all)
    else if (w.size() == m_sizeToFit)
        w.resize(m_sizeToFit - frame);
    else
        m_sizeToFit = QSize();
}

void CWindowPlacement::Save(bool bSize) {
    if (m_window.isMinimized())
        return;
    if (m_window.isMaximized()) {
        if (bSize)
            m_settings.WriteSettingInt("Window", "Maximise", SW_SHOWMAXIMIZED);
        return;
    }
    // The outer rectangle, the window manager's frame included (while a stored size waits for
    // the frame, the stored size).
    const QRect rect(m_window.pos(),
                     m_sizeToFit.isValid() ? m_sizeToFit : m_window.frameGeometry().size());
    m_settings.WriteSettingInts("Window", {{"Top", rect.top()},
                                           {"Left", rect.left()},
                                           {"Bottom", rect.top() + rect.height()},
                                           {"Right", rect.left() + rect.width()},
                                           {"Maximise", SW_SHOW}});
}

void CWindowPlacement::Changed(bool bSize) {
    FitStoredSizeToFrame();
    Save(bSize);
}

void CWindowPlacement::StateChanged(const QEvent* event) {
    if (event->type() != QEvent::WindowStateChange)
        return;
    const Qt::WindowStates old = static_cast<const QWindowStateChangeEvent*>(event)->oldState();
    // Restored from minimised: stored again, also when the size stays the same (no resize
    // then tells it).
    if ((old & Qt::WindowMinimized) && !m_window.isMinimized())
        Changed(true);
    if ((old & Qt::WindowMaximized) && !m_window.isMaximized())
        m_sizeLeftMaximized = m_window.size();
}
