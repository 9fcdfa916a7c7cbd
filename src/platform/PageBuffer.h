// Large buffers straight from the kernel, outside the C library's heap, and kept
// out of child processes: the import's reading child (a fork) then copies no
// page table entries of the dataset, and the parent's writes while that child
// lives copy no pages.
#pragma once

#include <cstddef>

// nBytes of zeroed memory on a page boundary, not inherited by a fork; null
// when there is not that much.
void* AllocatePages(size_t nBytes);
// Frees what AllocatePages gave; null frees nothing.
void FreePages(void* p);
