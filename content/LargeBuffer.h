#pragma once
// Buffers of whole programs (tens to hundreds of MiB) are written once from
// start to end; asking the kernel for huge pages spares a page fault every
// 4 KiB, which otherwise costs as much as decoding the bytes.
#include <QByteArray>

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

// Blocks smaller than this are not worth the advice.
constexpr std::size_t HugePageAdviceFrom = 4 * 1024 * 1024;

// Advises huge pages for the part of a block they can cover.
inline void AdviseHugePages(void* block, std::size_t size)
{
    constexpr std::uintptr_t HugePage = 2 * 1024 * 1024;
    if (size < HugePageAdviceFrom)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t last = (begin + size) & ~(HugePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// Advises huge pages for the part of the buffer's capacity they can cover.
inline void AdviseHugePages(QByteArray& buffer)
{
    AdviseHugePages(buffer.data(), std::size_t(buffer.capacity()));
}

// The read part of a buffer is given back in whole steps of this size (a
// huge page), on their boundaries.
constexpr std::uintptr_t LargeBufferReleaseStep = 2 * 1024 * 1024;

// Gives whole pages of a private buffer back to the system: they read as
// zeros afterwards. For bytes that will never be read again.
inline void ReleasePages(void* pageAligned, std::size_t length)
{
    ::madvise(pageAligned, length, MADV_DONTNEED);
}
