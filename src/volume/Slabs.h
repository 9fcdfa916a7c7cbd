// Passes over a dataset's voxels shared by every processor.
#pragma once

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

// At most this many slabs (and threads) share a pass over the voxels.
inline int MaxSlabs() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

// Runs f(nSlab, nFirst, nEnd) over slabs that split [0, nCount), one slab per
// processor (at most MaxSlabs()), the calling thread taking slab 0; a small job
// (below nMinPerSlab items per slab) runs on the calling thread alone, and so
// does a slab whose thread cannot be started.
template <class F> void ForEachSlab(int nCount, int nMinPerSlab, const F& f) {
    const int nSlabs = std::clamp(nCount / std::max(1, nMinPerSlab), 1, MaxSlabs());
    std::vector<std::thread> threads;
    auto slab = [&](int i) {
        f(i, static_cast<int>(static_cast<long long>(nCount) * i / nSlabs),
          static_cast<int>(static_cast<long long>(nCount) * (i + 1) / nSlabs));
    };
    for (int i = 1; i < nSlabs; ++i) {
        try {
            threads.emplace_back(slab, i);
        } catch (const std::system_error&) {
            slab(i);
        }
    }
    slab(0);
    for (std::thread& thread : threads)
        thread.join();
}
