#include "engine/ShadeCache.h"

#include "platform/PageBuffer.h"

#include <cstdlib>
#include <cstring>

CShadeCache::~CShadeCache() {
    Fit(0);
}

bool CShadeCache::Fit(int32_t nVoxels) {
    if (nVoxels != m_nCount || !m_pValid) {
        FreePages(m_pEntries);
        FreePages(m_pValid);
        m_pEntries = nullptr;
        m_pValid = nullptr;
        m_nCount = 0;
        if (nVoxels < 1)
            return nVoxels == 0;
        const size_t n = static_cast<size_t>(nVoxels);
        // Fresh pages are zero: every flag starts clear. Kept out of the
        // import's reading child like the dataset.
        m_pEntries = static_cast<ShadeEntry*>(AllocatePages(n * sizeof(ShadeEntry)));
        m_pValid = static_cast<uint8_t*>(AllocatePages(n));
        if (!m_pEntries || !m_pValid) {
            Fit(0);
            return false;
        }
        m_nCount = nVoxels;
        m_nRun = 1;
        return true;
    }
    Clear();
    return true;
}

void CShadeCache::Clear() {
    if (!m_pValid)
        return;
    if (m_nRun < LAST_RUN) {
        ++m_nRun;
        return;
    }
    // The run numbers are used up: every flag back to 0 (empty for every run).
    std::memset(m_pValid, 0, static_cast<size_t>(m_nCount));
    m_nRun = 1;
}
