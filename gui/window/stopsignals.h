#pragma once
// SIGINT, SIGTERM and SIGHUP as a request to close the main window: a run in progress ends as
// stopped and its output file is completed, as with the window manager's close.

#include "core/lines/stopflag.h"

#include <csignal>

class QWidget;

// From now on each of the three signals closes the window (from the event loop, never inside
// the handler). Calling it again moves the request to another window; a signal that came
// while there was none (window nullptr, as during start-up) closes the next one.
void CloseOnStopSignals(QWidget* window);

// Nonzero once one of the signals came: a run's output file then stops waiting on a reader
// that takes nothing.
const StopFlag* StopSignalFlag();
