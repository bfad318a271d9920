// The console on the process's standard input and output: whether they are
// a terminal, how typed-ahead input is thrown away and the plus-minus sign
// shown are the platform's (platform/platform.h).
#pragma once

#include <cstddef>
#include <string>

#include "console/console.h"

namespace kappa {

class TerminalConsole final : public Console {
public:
    // Of a longer answer line only this much is kept, and the rest is
    // dropped as it comes, so that input without line breaks (kappa <
    // /dev/zero) takes no more memory than this.
    static constexpr std::size_t kLongestAnswer = std::size_t{1} << 16;

    TerminalConsole();

    bool readLine(std::string& line) override;
    void write(std::string_view text) override;
    // On a terminal, drops what was typed ahead; from a pipe or a file nothing
    // is dropped, so every answer is simply the next line.
    void discardPending() override;
    // The pause lets the user read the last message before a console window
    // closes; when the output goes to a pipe or a file nobody is reading it,
    // and the program ends at once.
    void pause(int milliseconds) override;
    // "±" as the terminal on standard output shows it; byte 241 when the
    // output is not a terminal (pipes and files keep it).
    std::string_view plusMinus() const override { return plusMinus_; }

private:
    bool interactive_;
    bool showsOutput_;
    std::string plusMinus_;
    bool endOfInput_ = false;
    bool dropping_ = false;     // the rest of an answer line longer than kLongestAnswer is being dropped
    std::string pending_;       // bytes read from standard input, from start_ on not yet returned
    std::size_t start_ = 0;
    std::size_t searched_ = 0;  // pending_ holds no line break between start_ and searched_
};

}  // namespace kappa
