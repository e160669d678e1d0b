#pragma once
// The files a walk has listed and the run has not yet taken, handed over in order from the
// walk's thread to the run's: a walk far ahead waits for the run to take some, and the run
// waits for the walk only when it needs the next file.

#include "core/lines/filepath.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class CListedQueue {
  public:
    // leadMax: the files held before a bounded Push waits; stopLook: how often such a wait
    // looks for a stop.
    CListedQueue(size_t leadMax, std::chrono::milliseconds stopLook)
        : m_nLeadMax(leadMax), m_stopLook(stopLook) {}

    // Adds the files (files is emptied); with bBounded, first waits while leadMax files are
    // held, until stopped() says so.
    void Push(std::vector<CListedFile>& files, bool bBounded, const std::function<bool()>& stopped);
    // No file follows.
    void Complete();
    bool IsComplete() const;
    // Files listed so far, taken or not.
    size_t Listed() const;
    // Waits at most timeout until more than known files are listed or the list is complete;
    // returns the number listed, and whether it is complete in *pComplete. A look without a
    // wait costs the walk no wake-up.
    size_t Wait(size_t known, std::chrono::milliseconds timeout, bool* pComplete);
    // File index, handed over once; those skipped before it are dropped. An empty file when it
    // is gone or not yet listed.
    CListedFile Take(size_t index);
    // Wakes a Push that waits for room (a stop came).
    void Wake();
    // The files not yet taken, all at once.
    std::deque<CListedFile> TakeAll();

  private:
    const size_t m_nLeadMax;
    const std::chrono::milliseconds m_stopLook;
    mutable std::mutex m_mutex;
    std::condition_variable m_listed; // files listed, or the list complete
    int m_nListWaiters = 0;           // waits on m_listed
    std::condition_variable m_taken;  // files taken: a walk that is far ahead goes on
    std::deque<CListedFile> m_files;  // listed and not yet taken
    size_t m_nTaken = 0;
    bool m_bComplete = false;
    bool m_bPushWaits = false; // a Push waits for files to be taken
};
