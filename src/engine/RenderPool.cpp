#include "engine/RenderPool.h"

#include <algorithm>

CRenderPool::CRenderPool(int nLanes) : m_nLanes(std::max(1, nLanes)) {
    m_Threads.reserve(static_cast<size_t>(m_nLanes - 1));
    for (int nLane = 1; nLane < m_nLanes; ++nLane)
        m_Threads.emplace_back([this, nLane] { LaneMain(nLane); });
}

CRenderPool::~CRenderPool() {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bQuit = true;
    }
    m_Start.notify_all();
    for (std::thread& thread : m_Threads)
        thread.join();
}

void CRenderPool::Run(int nLanes, const std::function<void(int)>& job) {
    nLanes = std::clamp(nLanes, 1, m_nLanes);
    if (nLanes > 1) {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_pJob = &job;
            m_nJobLanes = nLanes;
            m_nBusy = nLanes - 1;
            ++m_nGeneration;
        }
        m_Start.notify_all();
    }
    job(0);
    if (nLanes > 1) {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Done.wait(lock, [this] { return m_nBusy == 0; });
        m_pJob = nullptr;
    }
}

void CRenderPool::LaneMain(int nLane) {
    uint64_t nSeen = 0;
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Start.wait(lock, [&] { return m_bQuit || m_nGeneration != nSeen; });
        if (m_bQuit)
            return;
        nSeen = m_nGeneration;
        if (nLane >= m_nJobLanes)
            continue; // not needed for this job
        const std::function<void(int)>* pJob = m_pJob;
        lock.unlock();
        (*pJob)(nLane);
        lock.lock();
        if (--m_nBusy == 0)
            m_Done.notify_one();
    }
}
