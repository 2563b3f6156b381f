// The window's allocation functions: large blocks get huge-page advice, as
// the program's own large buffers do (content/LargeBuffer.h). The editor keeps
// a program's text and its styles in blocks of tens of MiB, which it fills
// the moment they are made; a page fault every 4 KiB of them cost more than
// decoding the file. Memory still comes from malloc and goes back to free.
#include "content/LargeBuffer.h"

#include <cstdlib>
#include <new>

// Built only where no sanitizer brings allocation functions of its own: the
// build decides (CMakeLists.txt, quillex_large_allocations).

namespace {

void* AllocateBlock(std::size_t size)
{
    if (size == 0)
        size = 1;
    while (true) {
        if (void* block = std::malloc(size)) {
            AdviseHugePages(block, size);
            return block;
        }
        const std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void* AllocateBlock(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return AllocateBlock(size);
    } catch (...) {
        return nullptr;
    }
}

} // namespace

void* operator new(std::size_t size)
{
    return AllocateBlock(size);
}
void* operator new[](std::size_t size)
{
    return AllocateBlock(size);
}
void* operator new(std::size_t size, const std::nothrow_t& tag) noexcept
{
    return AllocateBlock(size, tag);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return AllocateBlock(size, tag);
}
void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}
