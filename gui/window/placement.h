#pragma once
// The window placement as the settings store it: section "Window", values Left, Top, Right and
// Bottom, and the show command in Maximise.

// The default of Left and Top: the window system chooses the place.
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
// Show commands as stored in "Maximise".
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;
