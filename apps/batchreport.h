#pragma once
// kavel-report: the report run from the command line.

// Exit statuses.
constexpr int BATCH_EXIT_CLEAN = 0;    // run completed, no potential problem
constexpr int BATCH_EXIT_PROBLEMS = 1; // run completed, at least one potential problem
constexpr int BATCH_EXIT_FAILURE = 2;  // something failed, or the command line is wrong
constexpr int BATCH_EXIT_CANCELLED = 130;

// Installs the handlers of the stop signals: the first thing main does, so that a signal that
// comes while the tool starts ends it as a stop.
void CatchBatchStopSignals();

// Runs the tool with its command line; returns the exit status.
int RunBatchReport(int argc, char** argv);
