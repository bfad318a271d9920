#include "tables/large_allocator.h"

#include <cstdlib>

#include "platform/platform.h"

namespace kappa::detail {

namespace {

// Blocks from this size on are pages of their own.
constexpr std::size_t kPagedBlock = std::size_t{2} << 20;

}  // namespace

void* allocateLarge(std::size_t bytes) {
    void* block = bytes < kPagedBlock ? std::malloc(bytes == 0 ? 1 : bytes) : platform::allocatePages(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void releaseLarge(void* block, std::size_t bytes) noexcept {
    if (bytes < kPagedBlock)
        std::free(block);
    else
        platform::releasePages(block);
}

}  // namespace kappa::detail
