// Small synchronisation and diagnostics layer: manual-reset events, a mutex with
// timed waits, a millisecond clock and the diagnostic output channel.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// An unnamed manual-reset event, created non-signalled. Once set it stays set
// (releasing every waiter) until Reset.
class CManualResetEvent {
public:
    CManualResetEvent() = default;
    CManualResetEvent(const CManualResetEvent&) = delete;
    CManualResetEvent& operator=(const CManualResetEvent&) = delete;

    void Set();
    void Reset();
    // Waits up to nMilliseconds for the event; 0 only tests it. True when signalled.
    bool Wait(unsigned nMilliseconds);
    bool IsSet() { return Wait(0); }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    bool m_bSignalled = false;
};

// A mutex, created not owned, whose lock can wait a bounded time. Built from a
// plain mutex and a condition variable (rather than std::timed_mutex, whose timed
// lock ThreadSanitizer cannot follow), so that race checking sees every hand-over.
class CTimedMutex {
public:
    // True when the lock was obtained within nMilliseconds (0 only tries).
    bool Lock(unsigned nMilliseconds) {
        std::unique_lock<std::mutex> lock(m_Guard);
        if (!m_Released.wait_for(lock, std::chrono::milliseconds(nMilliseconds),
                                 [this] { return !m_bLocked; }))
            return false;
        m_bLocked = true;
        return true;
    }
    // Called by the owner only.
    void Unlock() {
        {
            std::lock_guard<std::mutex> lock(m_Guard);
            m_bLocked = false;
        }
        m_Released.notify_one();
    }

private:
    std::mutex m_Guard;
    std::condition_variable m_Released;
    bool m_bLocked = false;
};

// Milliseconds on a steady clock, wrapping like a 32-bit tick counter.
uint32_t TimeGetTime();

// Writes a diagnostic text as it is (no newline added). Goes to stderr unless a
// CDebugCapture is active. Safe to call from any thread.
void DebugOutput(const char* pText);

// While alive, collects everything written with DebugOutput instead of printing it.
// Meant for tests; captures do not nest.
class CDebugCapture {
public:
    CDebugCapture();
    ~CDebugCapture();
    std::string Text() const;
    // How many times exactly this text was written as one DebugOutput call.
    int Count(const std::string& sText) const;
    void Clear();

private:
    struct Impl;
    Impl* m_pImpl;
};
