#include "core/run/scanpool.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <system_error>
#include <unistd.h>

int ProcessorCount() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

void CHitBuffer::Add(const CHit& hit, bool bLoneMarker) {
    const int64_t numbers[3] = {hit.nLine, hit.nPhysical,
                                hit.start.nColumn * 16 +
                                    static_cast<int64_t>(hit.start.nContinued) * 4 +
                                    (hit.bMarker ? 2 : 0) + (bLoneMarker ? 1 : 0)};
    const uint32_t len = static_cast<uint32_t>(hit.text.size());
    if (m_chunks.empty())
        m_chunks.emplace_back();
    std::string& chunk = m_chunks.back();
    const size_t at = chunk.size();
    chunk.resize(at + sizeof numbers + sizeof len + hit.text.size());
    char* p = chunk.data() + at;
    std::memcpy(p, numbers, sizeof numbers);
    std::memcpy(p + sizeof numbers, &len, sizeof len);
    std::memcpy(p + sizeof numbers + sizeof len, hit.text.data(), hit.text.size());
    m_nSize += sizeof numbers + sizeof len + hit.text.size();
}

void CHitBuffer::Splice(CHitBuffer& other) {
    if (m_chunks.empty())
        m_chunks.swap(other.m_chunks);
    else
        for (std::string& chunk : other.m_chunks)
            m_chunks.push_back(std::move(chunk));
    m_nSize += other.m_nSize;
    other.m_chunks.clear();
    other.m_nSize = 0;
}

CScanPool::CScanPool(const CSearchMatcher& matcher, unsigned maxChars, int jobs,
                     const CFileId& output, size_t hitBudget)
    : m_matcher(matcher), m_nMaxChars(maxChars), m_output(output) {
    const size_t threads = std::max(jobs, 1);
    // Files differ in size: a window of a few files leaves workers waiting behind a large
    // one that the run is still writing, and with many small files every wait costs more than
    // a file. Many workers need no more than two files each.
    m_nWindow = std::max<size_t>(2 * threads, std::min<size_t>(64 * threads, 256));
    m_nBufferCap = std::max(std::min<size_t>(64 * 1024, hitBudget), hitBudget / m_nWindow);
    m_nBudget = hitBudget;
    StartWorkers(threads);
}

CScanPool::CScanPool(const CSearchMatcher& matcher, unsigned maxChars,
                     std::vector<CListedFile> files, int jobs, const CFileId& output,
                     size_t hitBudget)
    : CScanPool(matcher, maxChars, std::clamp<int>(jobs, 1, std::max<int>(1, int(files.size()))),
                output, hitBudget) {
    Add(std::move(files));
    EndOfFiles();
}

void CScanPool::StartWorkers(size_t threads) {
    m_workers.reserve(threads);
    // The workers take no signals: a stop signal must reach the thread that writes the report,
    // where it breaks a write that waits (see kavel-report).
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    // A thread the system refuses leaves fewer workers; with none the run checks the files
    // itself (see Started).
    for (size_t i = 0; i < threads; ++i) {
        try {
            m_workers.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void CScanPool::Add(std::vector<CListedFile> files) {
    if (files.empty())
        return;
    std::lock_guard lock(m_mutex);
    for (CListedFile& file : files)
        m_tasks.emplace_back().file = std::move(file);
    WakeWorkers();
}

void CScanPool::EndOfFiles() {
    std::lock_guard lock(m_mutex);
    m_bEnded = true;
    WakeWorkers();
}

size_t CScanPool::Added() const {
    std::lock_guard lock(m_mutex);
    return End();
}

CScanPool::~CScanPool() {
    Stop();
    for (std::thread& worker : m_workers)
        worker.join();
}

void CScanPool::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
        WakeWorkers();
    }
    if (CRunPause* pause = m_pPause.load())
        pause->Wake();
}

bool CScanPool::WaitWhilePaused() {
    if (CRunPause* pause = m_pPause.load(std::memory_order_relaxed))
        pause->WaitWhilePaused(m_bStop);
    return !m_bStop;
}

void CScanPool::Work() {
    CFileCheck check(m_matcher, m_nMaxChars); // its buffers serve every file of this worker
    for (;;) {
        CTask* task;
        size_t index;
        {
            std::unique_lock lock(m_mutex);
            WaitTaken(lock, [this] {
                if (m_bStop || (m_nNext >= End() && m_bEnded) ||
                    (m_nNext < End() && m_nNext < m_nHead + m_nWindow))
                    return true;
                if (m_nNext >= m_nHead + m_nWindow) // the window is full
                    m_nResumeHead = m_nNext + 1 + m_nWindow / 4 - m_nWindow;
                return false;
            });
            if (m_bStop || m_nNext >= End())
                return;
            index = m_nNext++;
            task = &At(index);
        }
        ScanTask(index, *task, check);
    }
}

void CScanPool::ScanTask(size_t index, CTask& task, CFileCheck& check) {
    ECheckState outcome = check.Open(task.file, m_output);
    task.file = {}; // a long list keeps no path (nor walk root) it is done with
    CHitBuffer found;
    CFileCounts counts;
    if (outcome == ECheckState::OPEN_FAILED)
        counts.pszReason = check.FailReason();
    if (outcome == ECheckState::SCANNING) {
        const auto take = [&](const CFileCheck& block, const CFileCounts& before) {
            size_t k = 0; // the lone markers in line order among the hits
            for (size_t j = 0; j < block.HitCount(); ++j) {
                for (; k < block.LoneMarkerCount() && block.LoneMarkerLine(k) < block.HitLine(j);
                     ++k)
                    found.Add(block.LoneMarker(k, before.nLines), true);
                found.Add(block.Hit(j, before.nLines));
            }
            for (; k < block.LoneMarkerCount(); ++k)
                found.Add(block.LoneMarker(k, before.nLines), true);
            return CFileCheck::CTaken{block.LineCount(), block.HitCount(), true};
        };
        // The file the run writes hands over every block: the run shows its lines and may
        // stop in it. Others hand over at their end, or when their hits grow large.
        const auto taken = [&](const CFileCounts& after) {
            if (m_bStop || (m_pRunStop != nullptr && *m_pRunStop != 0))
                return false;
            if ((index == m_nHeadShared.load(std::memory_order_relaxed) ||
                 found.Size() >= m_nBufferCap) &&
                !HandOver(index, task, found, after, ECheckState::SCANNING))
                return false;
            return WaitWhilePaused();
        };
        outcome = check.CheckBlocks(counts, take, taken);
    }
    HandOver(index, task, found, counts, outcome);
}

bool CScanPool::HandOver(size_t index, CTask& task, CHitBuffer& found, const CFileCounts& counts,
                         ECheckState outcome) {
    std::unique_lock lock(m_mutex);
    const auto room = [&] {
        if (m_bStop || found.Empty())
            return true;
        if (index == m_nHead) // into an empty buffer always, whatever the cap
            return task.hits.Empty() || task.hits.Size() < m_nBufferCap;
        return m_nHeld + found.Size() <= m_nBudget;
    };
    if (!room()) {
        ++m_nRoomWaiters;
        WaitTaken(lock, room);
        --m_nRoomWaiters;
    }
    m_nHeld += found.Size();
    m_nHeldPeak = std::max(m_nHeldPeak, m_nHeld);
    task.hits.Splice(found);
    task.counts = counts;
    if (outcome != ECheckState::SCANNING)
        task.outcome = outcome;
    WakeRun();
    return !m_bStop;
}

ECheckState CScanPool::Take(size_t index, std::chrono::milliseconds timeout, CHitBuffer& hits,
                            CFileCounts& counts) {
    hits.Clear(); // its memory is given back before the lock is taken
    std::unique_lock lock(m_mutex);
    if (m_nHead != index) {
        m_nHead = index;
        m_nHeadShared.store(index, std::memory_order_relaxed);
        // Workers that wait for the window, or to hand over hits of this file, go on.
        if (m_nHead >= m_nResumeHead || m_nRoomWaiters > 0)
            WakeWorkers();
        // The files before it are done with: a long list keeps none of them.
        while (m_nFirst < index && m_tasks.front().outcome != ECheckState::SCANNING) {
            m_tasks.pop_front();
            ++m_nFirst;
        }
    }
    CTask& task = At(index);
    // No worker starts a file after a stop: one not started by then ends with nothing checked.
    if (m_bStop && index >= m_nNext)
        task.outcome = ECheckState::SCANNED;
    if (!Ready(task)) {
        m_bRunWaiting = true;
        m_ready.wait_for(lock, std::max(timeout, std::chrono::milliseconds(1)),
                         [this] { return RunMayGo(); });
        m_bRunWaiting = false;
    }
    const bool took = !task.hits.Empty();
    m_nHeld -= task.hits.Size();
    hits.Splice(task.hits);
    counts = task.counts;
    if (took && m_nRoomWaiters > 0)
        WakeWorkers();
    return task.outcome;
}

size_t CScanPool::HeldPeak() const {
    std::lock_guard lock(m_mutex);
    return m_nHeldPeak;
}
