#pragma once

#include <cstddef>
#include <cstdint>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace workbook {

// Maps the whole pages of a block about to be written in one call: a large block is otherwise
// mapped page by page as it is first written, each page a fault. Only a hint; small blocks and
// systems without it are left alone.
inline void prefault(void *data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr uintptr_t Page = 4096;
    if (!data || bytes < 16 * Page) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + Page - 1) & ~(Page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(Page - 1);
    if (end > begin) madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace workbook
