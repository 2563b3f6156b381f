#pragma once
// Buffers of whole programs (tens to hundreds of MiB) are written once from
// start to end; asking the kernel for huge pages spares a page fault every
// 4 KiB, which otherwise costs as much as decoding the bytes.
#include <QByteArray>

#include <sys/mman.h>

#include <cstdint>

// Advises huge pages for the part of the buffer's capacity they can cover.
inline void AdviseHugePages(QByteArray& buffer)
{
    constexpr std::uintptr_t HugePage = 2 * 1024 * 1024;
    const qsizetype capacity = buffer.capacity();
    if (capacity < qsizetype(2 * HugePage))
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t first = (begin + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t last = (begin + std::uintptr_t(capacity)) & ~(HugePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}
