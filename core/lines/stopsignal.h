#pragma once
// The stop signals of both programs: SIGINT, SIGTERM and SIGHUP (the terminal closed).

// Installs the handler for the three, without SA_RESTART so that a write that waits is broken
// off; a signal that was ignored when the program started (nohup, a background job) stays
// ignored.
void CatchStopSignals(void (*handler)(int));
