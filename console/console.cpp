#include "console/console.h"

#include <cstdarg>

#include "inference/text.h"

namespace kappa {

void Console::print(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    write(printfTextList(format, args));
    va_end(args);
}

void Console::putLine(std::string_view text) {
    write(text);
    write("\n");
}

}  // namespace kappa
