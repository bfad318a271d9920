// Numbers drawn from a fuzz target's input, for the targets that build what
// they check from it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kappa::fuzz {

// Numbers drawn from the input's bytes, 0 once they run out.
class Draw {
public:
    Draw(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    unsigned operator()(unsigned range) { return range == 0 || at_ == size_ ? 0 : data_[at_++] % range; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace kappa::fuzz
