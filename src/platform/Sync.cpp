#include "platform/Sync.h"

#include <chrono>
#include <cstdio>
#include <vector>

void CManualResetEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bSignalled = true;
    }
    m_Changed.notify_all();
}

void CManualResetEvent::Reset() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bSignalled = false;
}

bool CManualResetEvent::Wait(unsigned nMilliseconds) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_Changed.wait_for(lock, std::chrono::milliseconds(nMilliseconds),
                              [this] { return m_bSignalled; });
}

uint32_t TimeGetTime() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {
// What a capture collects; the private CDebugCapture::Impl is this.
struct CaptureSink {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};
std::mutex g_DebugMutex;
CaptureSink* g_pCapture = nullptr;
} // namespace

struct CDebugCapture::Impl : CaptureSink {};

void DebugOutput(const char* pText) {
    std::lock_guard<std::mutex> lock(g_DebugMutex);
    if (g_pCapture) {
        std::lock_guard<std::mutex> inner(g_pCapture->mutex);
        g_pCapture->lines.emplace_back(pText);
        return;
    }
    std::fputs(pText, stderr);
    std::fflush(stderr);
}

CDebugCapture::CDebugCapture() : m_pImpl(new Impl) {
    std::lock_guard<std::mutex> lock(g_DebugMutex);
    g_pCapture = m_pImpl;
}

CDebugCapture::~CDebugCapture() {
    {
        std::lock_guard<std::mutex> lock(g_DebugMutex);
        g_pCapture = nullptr;
    }
    delete m_pImpl;
}

std::string CDebugCapture::Text() const {
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    std::string all;
    for (const std::string& s : m_pImpl->lines)
        all += s;
    return all;
}

int CDebugCapture::Count(const std::string& sText) const {
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    int n = 0;
    for (const std::string& s : m_pImpl->lines)
        n += s == sText ? 1 : 0;
    return n;
}

void CDebugCapture::Clear() {
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    m_pImpl->lines.clear();
}
