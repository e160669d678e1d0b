#pragma once
// The one pace of a run's showing: progress and the host's drain are due once the interval has
// passed since the last drain, or after every line with an interval of zero. While lines are
// checked the clock is read only once in LINES_PER_LOOK lines, a cost far below a line's.

#include <algorithm>
#include <chrono>

class CPacer {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int LINES_PER_LOOK = 32;

    explicit CPacer(std::chrono::milliseconds interval) : m_interval(interval) {}

    std::chrono::milliseconds Interval() const { return m_interval; }
    bool EveryLine() const { return m_interval.count() <= 0; }
    // The interval, and at least least, has passed since the last drain.
    bool Due(std::chrono::milliseconds least = {}) const {
        return Clock::now() - m_last >= std::max(m_interval, least);
    }
    // The host was drained now.
    void Drained() { m_last = Clock::now(); }
    // Progress was shown and the host drained: the lines are counted anew.
    void Shown() {
        Drained();
        m_nLines = 0;
    }
    // A line was checked: true on every LINES_PER_LOOK-th, when the clock is to be looked at.
    bool LineLooks() {
        if (++m_nLines < LINES_PER_LOOK)
            return false;
        m_nLines = 0;
        return true;
    }

  private:
    const std::chrono::milliseconds m_interval;
    Clock::time_point m_last;
    int m_nLines = 0;
};
