// Text of the printf family, as a string.
#pragma once

#include <cstdarg>
#include <string>

#include "platform/compat.h"

namespace kappa {

// The text that printf would write for the format and arguments.
std::string printfText(const char* format, ...) KAPPA_PRINTF_FORMAT(1, 2);
std::string printfTextList(const char* format, std::va_list args);

}  // namespace kappa
