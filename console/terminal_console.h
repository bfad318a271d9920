// The console on the process's standard input and output. This is the one
// place that knows about the platform: whether standard input is a terminal,
// how typed-ahead input is thrown away, and how the program pauses.
#pragma once

#include <string>

#include "console/console.h"

namespace kappa {

class TerminalConsole final : public Console {
public:
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

private:
    bool interactive_;
    bool showsOutput_;
    bool endOfInput_ = false;
    std::string pending_;  // bytes read from standard input but not yet returned
};

}  // namespace kappa
