// An allocator for the tables with one entry per response pattern: up to
// 2^20 entries, touched once or a few times each. Large blocks are asked of
// the system in huge pages where it offers them, which saves most of the page
// faults of first touching them.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace kappa {

namespace detail {
void* allocateLarge(std::size_t bytes);
void releaseLarge(void* block, std::size_t bytes) noexcept;
}  // namespace detail

template <typename T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <typename U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(detail::allocateLarge(n * sizeof(T))); }
    void deallocate(T* block, std::size_t n) noexcept { detail::releaseLarge(block, n * sizeof(T)); }
    friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

// A table with one entry per response pattern.
template <typename T>
using PatternVector = std::vector<T, LargeAllocator<T>>;

}  // namespace kappa
