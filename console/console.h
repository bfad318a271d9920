// The console the dialogue talks to: answer lines in, text out, and the two
// platform services the dialogue needs (discarding typed-ahead input and the
// pause before the program ends). The program runs on the terminal console;
// tests and fuzzers run the same dialogue on a scripted one.
#pragma once

#include <string>
#include <string_view>

#include "inference/text.h"

namespace kappa {

class Console {
public:
    virtual ~Console() = default;

    // Reads one whole answer line, without its line break. Returns false at
    // end of input. Whatever was written is flushed before waiting.
    virtual bool readLine(std::string& line) = 0;
    virtual void write(std::string_view text) = 0;
    // Discards input that was typed but not yet read.
    virtual void discardPending() = 0;
    virtual void pause(int milliseconds) = 0;
    // The plus-minus sign: byte 241, as code page 437 shows it, unless the
    // console knows it shows UTF-8.
    virtual std::string_view plusMinus() const { return "\xF1"; }

    // printf-style output.
    void print(const char* format, ...) KAPPA_PRINTF_FORMAT(2, 3);
    // The text followed by a line break, as puts writes it.
    void putLine(std::string_view text);
};

}  // namespace kappa
