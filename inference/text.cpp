#include "inference/text.h"

#include <cstdarg>
#include <cstdio>

namespace kappa {

std::string printfTextList(const char* format, std::va_list args) {
    std::va_list again;
    va_copy(again, args);
    char small[256];
    const int length = std::vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(length));
    } else if (length >= 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.pop_back();
    }
    va_end(again);
    return text;
}

std::string printfText(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = printfTextList(format, args);
    va_end(args);
    return text;
}

}  // namespace kappa
