#pragma once
// Checked files scanned by worker threads, their results handed back in file order.

#include "core/lines/stopflag.h"
#include "core/match/matcher.h"
#include "core/report/reportsink.h"
#include "core/run/filecheck.h"
#include "core/run/runpause.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

// The processors this process may run on: the number of workers for a run on every core.
int ProcessorCount();

// The hits of a file in the order found, each as its line numbers, start and text, packed in
// chunks: hits pass from a worker to the run by moving chunks, not by copying them.
class CHitBuffer {
  public:
    // A hit, or a line that holds a marker and no string (bLoneMarker).
    void Add(const CHit& hit, bool bLoneMarker = false);
    size_t Size() const { return m_nSize; }
    bool Empty() const { return m_nSize == 0; }
    // Empties the buffer and gives its memory back.
    void Clear() {
        m_chunks.clear();
        m_nSize = 0;
    }
    // Moves other's hits after these; other is left empty.
    void Splice(CHitBuffer& other);
    // Calls report(hit) for every hit and marker(line) for every lone marker, in order.
    template <typename Report, typename Marker> void ForEach(Report report, Marker marker) const {
        for (const std::string& chunk : m_chunks)
            for (size_t at = 0; at < chunk.size();) {
                // The line, the physical line, and the start with the flags:
                // column * 16 + bytes continued * 4 + marked * 2 + lone marker.
                int64_t numbers[3];
                uint32_t len;
                std::memcpy(numbers, chunk.data() + at, sizeof numbers);
                std::memcpy(&len, chunk.data() + at + sizeof numbers, sizeof len);
                at += sizeof numbers + sizeof len;
                const CHit hit{static_cast<long>(numbers[0]),
                               static_cast<long>(numbers[1]),
                               std::string_view(chunk.data() + at, len),
                               {static_cast<long>(numbers[2] >> 4),
                                static_cast<unsigned>((numbers[2] >> 2) & 3)},
                               (numbers[2] & 2) != 0};
                if ((numbers[2] & 1) != 0)
                    marker(hit);
                else
                    report(hit);
                at += len;
            }
    }
    template <typename Report> void ForEach(Report report) const {
        ForEach(report, [](const CHit&) {});
    }

  private:
    std::vector<std::string> m_chunks;
    size_t m_nSize = 0;
};

// Scans files on jobs threads. Each file's hits wait until the run takes them, within a bound
// for all files together; a worker whose hits would pass it waits, and no worker starts a file
// far ahead of the one the run is writing, so memory stays bounded however many lines hit.
// Take must be called for the files in order.
class CScanPool {
  public:
    static constexpr size_t DEFAULT_HIT_BUDGET = 4u << 20;

    // Checks files on jobs threads as Add hands them over; the output file is left to the
    // run (its outcome is OUTPUT_FILE). The hits waiting for the run stay below about
    // hitBudget bytes, and each worker holds up to a part of it besides.
    CScanPool(const CSearchMatcher& matcher, unsigned maxChars, int jobs, const CFileId& output,
              size_t hitBudget = DEFAULT_HIT_BUDGET);
    // The same for a list known at the start: every path added, no other to come.
    CScanPool(const CSearchMatcher& matcher, unsigned maxChars, std::vector<CListedFile> files,
              int jobs, const CFileId& output, size_t hitBudget = DEFAULT_HIT_BUDGET);
    // The next files of the list, each opened as CFileCheck::Open does; each has the index of
    // the files added before it.
    void Add(CListedFile file) { Add(std::vector<CListedFile>{std::move(file)}); }
    void Add(std::vector<CListedFile> files);
    // No file comes after those added: workers with nothing to do end.
    void EndOfFiles();
    size_t Added() const;
    ~CScanPool();
    CScanPool(const CScanPool&) = delete;
    CScanPool& operator=(const CScanPool&) = delete;

    // Waits at most timeout for file index (an added one) to have an outcome or half a buffer
    // of hits, then moves its hits so far into hits (emptied first) and returns its outcome.
    // counts: what has been checked and found in the file so far. Once Take has
    // moved to a file, the files before it are gone. After Stop, a file that no worker had
    // started ends as SCANNED with nothing checked.
    ECheckState Take(size_t index, std::chrono::milliseconds timeout, CHitBuffer& hits,
                     CFileCounts& counts);
    // Workers end their files after the block at hand and start no other.
    void Stop();
    // While pause holds, workers wait after the block at hand (a stop still ends them). It
    // must outlive the pool.
    void SetPause(CRunPause* pause) { m_pPause.store(pause); }
    // The run's stop: once set, workers end their files after the block at hand, as after Stop.
    // It must outlive the pool.
    void SetStop(const StopFlag* stop) { m_pRunStop = stop; }
    // False when the system gave no thread at all: the caller checks the files itself.
    bool Started() const { return !m_workers.empty(); }
    // The most bytes of hits that waited for the run at once.
    size_t HeldPeak() const;

  private:
    struct CTask {
        CListedFile file;
        ECheckState outcome = ECheckState::SCANNING;
        CHitBuffer hits;
        CFileCounts counts;
    };

    void StartWorkers(size_t threads);
    void Work();
    void ScanTask(size_t index, CTask& task, CFileCheck& check);
    // Hands a worker's hits and counts of file index to the run, and its outcome when it is
    // not SCANNING; waits first while the hits waiting would be too many. False after a stop.
    bool HandOver(size_t index, CTask& task, CHitBuffer& found, const CFileCounts& counts,
                  ECheckState outcome);
    // Waits while the pause holds; false after a stop.
    bool WaitWhilePaused();
    // With the lock held: true when the run would take the file's hits now.
    bool Ready(const CTask& task) const {
        return task.outcome != ECheckState::SCANNING ||
               task.hits.Size() >= std::max<size_t>(m_nBufferCap / 2, 1);
    }
    // With the lock held: true when the run, waiting for the head file, should go on. Once it
    // has waited, it waits for a few files to be done, not one: each wake-up costs the system
    // more than checking a small file. A worker that waits, or hits that fill half a buffer,
    // wake it at once.
    bool RunMayGo() const {
        if (m_nHead >= End())
            return false;
        const CTask& head = At(m_nHead);
        if (!Ready(head))
            return false;
        if (head.outcome == ECheckState::SCANNING || m_nWorkersWaiting > 0 || m_bStop)
            return true;
        size_t done = 0;
        while (m_nHead + done < End() && done < RUN_BATCH &&
               At(m_nHead + done).outcome != ECheckState::SCANNING)
            ++done;
        return done == RUN_BATCH || m_nHead + done == End();
    }
    // With the lock held: wakes the run if it waits and may go on.
    void WakeRun() {
        if (m_bRunWaiting && RunMayGo())
            m_ready.notify_one();
    }
    // With the lock held: waits on m_taken until done() holds.
    template <typename Done> void WaitTaken(std::unique_lock<std::mutex>& lock, Done done) {
        while (!done()) {
            ++m_nWorkersWaiting;
            WakeRun();
            m_taken.wait(lock);
            --m_nWorkersWaiting;
        }
    }
    // With the lock held: lets waiting workers look again. Wake-ups are kept for what a
    // worker waits for: new files, room for its hits, or a quarter of the window free again
    // (not every file the run takes: with many small files each wake-up would cost more
    // than the file).
    void WakeWorkers() {
        if (m_nWorkersWaiting > 0)
            m_taken.notify_all();
    }

    const CSearchMatcher& m_matcher;
    const unsigned m_nMaxChars;
    // The files from m_nFirst on: added at the back while workers hold elements, and taken
    // ones dropped at the front, which a deque allows without moving the others.
    std::deque<CTask> m_tasks;
    size_t m_nFirst = 0;
    // With the lock held: file index (from m_nFirst on), and the index after the last added.
    CTask& At(size_t index) { return m_tasks[index - m_nFirst]; }
    const CTask& At(size_t index) const { return m_tasks[index - m_nFirst]; }
    size_t End() const { return m_nFirst + m_tasks.size(); }
    CFileId m_output;
    size_t m_nWindow;    // files started at most this far ahead of the one taken
    size_t m_nBufferCap; // the waiting hits of the file the run writes, before its worker waits
    // The hits of the files after it wait in the workers until the file ends or they reach
    // m_nBufferCap, and then for the run while all files' waiting hits would pass m_nBudget:
    // workers that check different files do not meet at the lock block by block.
    size_t m_nBudget;

    static constexpr size_t RUN_BATCH = 64; // files done before a waiting run is woken

    // Threads are woken only when one waits for what happened: a wake-up costs the system
    // more than checking a small file.
    mutable std::mutex m_mutex;
    std::condition_variable m_taken; // the run took hits or moved on: workers may go on
    std::condition_variable m_ready; // a worker has hits or an outcome for the run
    size_t m_nNext = 0;              // the next file to start
    size_t m_nHead = 0;              // the file the run takes from
    size_t m_nResumeHead = 0;        // workers waiting for the window go on at this head
    size_t m_nWorkersWaiting = 0;    // workers waiting on m_taken
    size_t m_nRoomWaiters = 0;       // of them, those that wait to hand hits over
    size_t m_nHeld = 0;              // bytes of hits handed over and not yet taken
    size_t m_nHeldPeak = 0;
    bool m_bRunWaiting = false; // the run waits on m_ready for the head file
    // Also read by workers without the lock, after every block.
    std::atomic<size_t> m_nHeadShared{0};
    std::atomic<bool> m_bStop{false};
    const StopFlag* m_pRunStop = nullptr;
    std::atomic<CRunPause*> m_pPause{nullptr};
    bool m_bEnded = false; // no file is added any more
    std::vector<std::thread> m_workers;
};
