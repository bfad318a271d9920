// A refusal of an input, with the place in the file that is at fault.
#pragma once

#include <cstdint>
#include <string>

namespace kappa {

struct InputError {
    std::int64_t line = 0;    // 1-based; 0 when no line is at fault
    std::int64_t column = 0;  // 1-based; 0 when no column is at fault
    std::string message;
};

}  // namespace kappa
