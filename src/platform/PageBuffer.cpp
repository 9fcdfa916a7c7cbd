#include "platform/PageBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The first page of a mapping holds its length; the caller's memory starts at
// the second.
size_t PageSize() {
    static const size_t s_nPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return s_nPage;
}

} // namespace

void* AllocatePages(size_t nBytes) {
    const size_t nPage = PageSize();
    if (nBytes > static_cast<size_t>(-1) - 2 * nPage)
        return nullptr;
    const size_t nLength = (nBytes + 2 * nPage - 1) / nPage * nPage;
    void* pBase =
        mmap(nullptr, nLength, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pBase == MAP_FAILED)
        return nullptr;
    // Without it the buffer only costs the child time; it still works.
    madvise(pBase, nLength, MADV_DONTFORK);
    *static_cast<size_t*>(pBase) = nLength;
    return static_cast<char*>(pBase) + nPage;
}

void FreePages(void* p) {
    if (!p)
        return;
    void* pBase = static_cast<char*>(p) - PageSize();
    munmap(pBase, *static_cast<size_t*>(pBase));
}
