#include "app/LoadJob.h"

#include <cmath>
#include <utility>

CLoadJob::CLoadJob(Import import, Hooks hooks) : m_Hooks(std::move(hooks)) {
    m_Thread = std::thread([this, import = std::move(import)] {
        ImportProgress progress;
        progress.pCancel = &m_bCancel;
        progress.progress = [this](double dFraction) {
            const int nPercent = static_cast<int>(std::floor(dFraction * 100.0));
            if (nPercent != m_nPercent && m_Hooks.percent)
                m_Hooks.percent(nPercent);
            m_nPercent = nPercent;
        };
        progress.beforeDerived = [this] { return WaitForProceed(); };
        m_Result = import(progress);
        if (m_Hooks.done)
            m_Hooks.done();
    });
}

CLoadJob::~CLoadJob() {
    Cancel();
    if (m_Thread.joinable())
        m_Thread.join();
}

bool CLoadJob::WaitForProceed() {
    if (!m_Hooks.release)
        return !m_bCancel.load();
    m_Hooks.release();
    std::unique_lock<std::mutex> lock(m_Lock);
    m_Proceeded.wait(lock, [this] { return m_bProceed || m_bCancel.load(); });
    return !m_bCancel.load();
}

void CLoadJob::Proceed() {
    const std::lock_guard<std::mutex> lock(m_Lock);
    m_bProceed = true;
    m_Proceeded.notify_all();
}

void CLoadJob::Cancel() {
    const std::lock_guard<std::mutex> lock(m_Lock);
    m_bCancel.store(true);
    m_Proceeded.notify_all();
}

ImportResult CLoadJob::Take() {
    if (m_Thread.joinable())
        m_Thread.join();
    return std::move(m_Result);
}
