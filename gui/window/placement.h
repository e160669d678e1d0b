#pragma once
// The window placement as the settings store it: section "Window", values Left, Top, Right and
// Bottom, and the show command in Maximise.

// The default of Left and Top: the window system chooses the place.
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
// Show commands as stored in "Maximise".
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;

#include <QSize>

class CSettingsStore;
class QEvent;
class QWidget;

// A top-level window's placement kept in the settings: restored before the window is shown,
// stored on every size and move, and a stored outer size fitted to the frame once it is known.
class CWindowPlacement {
  public:
    CWindowPlacement(QWidget& window, CSettingsStore& settings)
        : m_window(window), m_settings(settings) {}

    // Moves and sizes the window as stored, as far as that fits the screens.
    void Restore();
    // Stores the rectangle and show state (minimised: nothing; maximised: only the show
    // state), as on a size (bSize) or move notification.
    void Save(bool bSize);
    // After a size, move or show: a stored size waiting for the frame is fitted to it, and
    // the placement stored.
    void Changed(bool bSize);
    // After a window state change event: a window back from minimised stores its placement
    // again, and one back from maximised remembers the size it left with.
    void StateChanged(const QEvent* event);

  private:
    // A stored size is the window's outer size, its frame included, and the frame is known
    // only once the window is shown: the client area is then made that much smaller, once.
    void FitStoredSizeToFrame();

    QWidget& m_window;
    CSettingsStore& m_settings;
    QSize m_sizeToFit;         // a stored outer size not yet fitted to the window's frame
    QSize m_sizeLeftMaximized; // the size when the window left maximised, till it changes
};
