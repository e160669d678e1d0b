#include "core/run/listedqueue.h"

void CListedQueue::Push(std::vector<CListedFile>& files, bool bBounded,
                        const std::function<bool()>& stopped) {
    if (files.empty())
        return;
    std::unique_lock lock(m_mutex);
    while (bBounded && m_files.size() >= m_nLeadMax && !stopped()) {
        m_bPushWaits = true;
        m_taken.wait_for(lock, m_stopLook);
        m_bPushWaits = false;
    }
    for (CListedFile& file : files)
        m_files.push_back(std::move(file));
    files.clear();
    if (m_nListWaiters > 0)
        m_listed.notify_all();
}

void CListedQueue::Complete() {
    std::lock_guard lock(m_mutex);
    m_bComplete = true;
    m_listed.notify_all();
}

bool CListedQueue::IsComplete() const {
    std::lock_guard lock(m_mutex);
    return m_bComplete;
}

size_t CListedQueue::Listed() const {
    std::lock_guard lock(m_mutex);
    return m_nTaken + m_files.size();
}

size_t CListedQueue::Wait(size_t known, std::chrono::milliseconds timeout, bool* pComplete) {
    std::unique_lock lock(m_mutex);
    if (timeout.count() > 0 && m_nTaken + m_files.size() <= known && !m_bComplete) {
        ++m_nListWaiters;
        m_listed.wait_for(lock, timeout,
                          [&] { return m_nTaken + m_files.size() > known || m_bComplete; });
        --m_nListWaiters;
    }
    if (pComplete != nullptr)
        *pComplete = m_bComplete;
    return m_nTaken + m_files.size();
}

CListedFile CListedQueue::Take(size_t index) {
    std::lock_guard lock(m_mutex);
    while (m_nTaken < index && !m_files.empty()) { // files skipped are dropped
        m_files.pop_front();
        ++m_nTaken;
    }
    if (m_nTaken != index || m_files.empty())
        return {};
    CListedFile file = std::move(m_files.front());
    m_files.pop_front();
    ++m_nTaken;
    if (m_bPushWaits && m_files.size() <= m_nLeadMax / 2)
        m_taken.notify_all();
    return file;
}

void CListedQueue::Wake() {
    std::lock_guard lock(m_mutex);
    m_taken.notify_all();
}

std::deque<CListedFile> CListedQueue::TakeAll() {
    std::lock_guard lock(m_mutex);
    m_nTaken += m_files.size();
    return std::exchange(m_files, {});
}
