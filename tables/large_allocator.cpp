#include "tables/large_allocator.h"

#include <sys/mman.h>

#include <cstdlib>

namespace kappa::detail {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t rounded(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* allocateLarge(std::size_t bytes) {
    if (bytes < kHugePage) {
        void* block = std::malloc(bytes == 0 ? 1 : bytes);
        if (block == nullptr) throw std::bad_alloc();
        return block;
    }
    void* block = std::aligned_alloc(kHugePage, rounded(bytes));
    if (block == nullptr) throw std::bad_alloc();
    ::madvise(block, rounded(bytes), MADV_HUGEPAGE);
    return block;
}

void releaseLarge(void* block, std::size_t) noexcept { std::free(block); }

}  // namespace kappa::detail
