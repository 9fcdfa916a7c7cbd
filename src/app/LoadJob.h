// A dataset import on a thread of its own, so that the viewer stays usable
// while a large scan loads: it reports how far it has come, can be stopped at
// any time, and lets the viewer free the gradients of the dataset it replaces
// just before the new one's are made. Free of the toolkit: the hooks run on
// the loading thread, and the viewer posts from them to its own thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "volume/Import.h"

class CLoadJob {
public:
    using Import = std::function<ImportResult(const ImportProgress&)>;
    struct Hooks {
        // The whole percent done changed (0..100).
        std::function<void(int)> percent;
        // The new voxels are complete: the viewer should free what it can of
        // the old dataset and then call Proceed (the import waits for that or
        // for Cancel). Empty: the import goes on at once.
        std::function<void()> release;
        // The import has ended: Take gives its result.
        std::function<void()> done;
    };
    // Starts import on a new thread.
    CLoadJob(Import import, Hooks hooks);
    // Stops the import and waits for the thread.
    ~CLoadJob();
    CLoadJob(const CLoadJob&) = delete;
    CLoadJob& operator=(const CLoadJob&) = delete;

    // Lets an import that waits after its release hook go on.
    void Proceed();
    // Stops the import (any thread): it ends soon with IMPORT_CANCELLED.
    void Cancel();
    // Waits for the thread: the import's result (once).
    ImportResult Take();

private:
    bool WaitForProceed();

    Hooks m_Hooks;
    std::atomic<bool> m_bCancel{false};
    std::mutex m_Lock;
    std::condition_variable m_Proceeded;
    bool m_bProceed = false;
    int m_nPercent = -1; // the last one reported (the loading thread's alone)
    ImportResult m_Result;
    std::thread m_Thread;
};
