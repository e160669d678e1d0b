#pragma once
// A hold on a run's workers while the program waits for its user (a dialog is open): the run
// that writes the report is held where it stands, so the workers wait after the block at hand
// instead of checking on, and go on when the hold is released.

#include <atomic>
#include <condition_variable>
#include <mutex>

class CRunPause {
  public:
    // Holds or releases the workers; from any thread.
    void Set(bool bPaused) {
        {
            std::lock_guard lock(m_mutex);
            m_bPaused.store(bPaused, std::memory_order_relaxed);
        }
        if (!bPaused)
            m_released.notify_all();
    }
    bool IsPaused() const { return m_bPaused.load(std::memory_order_relaxed); }

    // Waits while the hold lasts and stop is not set. Whoever sets stop calls Wake after it.
    void WaitWhilePaused(const std::atomic<bool>& stop) {
        if (!IsPaused())
            return;
        std::unique_lock lock(m_mutex);
        m_released.wait(lock, [&] { return !m_bPaused.load(std::memory_order_relaxed) || stop; });
    }
    // Lets waiting workers look at their stop flag again.
    void Wake() {
        std::lock_guard lock(m_mutex);
        m_released.notify_all();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    std::atomic<bool> m_bPaused{false};
};
