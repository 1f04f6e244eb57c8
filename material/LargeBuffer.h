// An allocator for the chopper's minute-long buffers: large blocks ask the kernel for huge pages,
// because faulting in 200 MB page by page was a third of a long import's time.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

namespace vl
{

template <typename T>
struct LargeBufferAllocator
{
    using value_type = T;
    static constexpr std::size_t hugePage = 2u << 20;

    LargeBufferAllocator() = default;
    template <typename U>
    LargeBufferAllocator (const LargeBufferAllocator<U>&) noexcept {}

    T* allocate (std::size_t n)
    {
        const std::size_t bytes = n * sizeof (T);
        if (bytes < 2 * hugePage)
        {
            if (auto* p = std::malloc (bytes))
                return static_cast<T*> (p);
            throw std::bad_alloc();
        }
        const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
        auto* p = std::aligned_alloc (hugePage, rounded);
        if (p == nullptr)
            throw std::bad_alloc();
        ::madvise (p, rounded, MADV_HUGEPAGE); // only advice: without huge pages it still works
        return static_cast<T*> (p);
    }

    void deallocate (T* p, std::size_t) noexcept { std::free (p); }

    template <typename U>
    bool operator== (const LargeBufferAllocator<U>&) const noexcept { return true; }
};

using LargeFloats = std::vector<float, LargeBufferAllocator<float>>;

} // namespace vl
