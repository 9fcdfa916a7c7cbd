// The threads that cast a run's rays together. The progressive worker is lane 0
// of every job and the pool's own threads are lanes 1 .. n - 1, so a pool of
// one lane has no thread of its own and its jobs run on the worker alone. The
// pool is made once and lives as long as its owner (the render state); between
// jobs its threads sleep.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class CRenderPool {
public:
    // nLanes is at least 1.
    explicit CRenderPool(int nLanes);
    virtual ~CRenderPool();
    CRenderPool(const CRenderPool&) = delete;
    CRenderPool& operator=(const CRenderPool&) = delete;

    int Lanes() const { return m_nLanes; }

    // Runs job(lane) for lane = 0 .. nLanes - 1 (nLanes limited to 1 .. Lanes()),
    // lane 0 on the calling thread, and returns once every lane has returned.
    // Everything the lanes wrote is visible to the caller afterwards, and
    // everything the caller wrote before is visible to the lanes. One job at a
    // time, from one thread.
    void Run(int nLanes, const std::function<void(int)>& job);

private:
    void LaneMain(int nLane);

    const int m_nLanes;
    std::mutex m_Mutex;
    std::condition_variable m_Start;
    std::condition_variable m_Done;
    const std::function<void(int)>* m_pJob = nullptr;
    uint64_t m_nGeneration = 0; // counts the jobs handed out
    int m_nJobLanes = 0;        // lanes of the current job
    int m_nBusy = 0;            // pool threads still working on it
    bool m_bQuit = false;
    std::vector<std::thread> m_Threads;
};
