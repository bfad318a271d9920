#include "console/terminal_console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

namespace kappa {

TerminalConsole::TerminalConsole()
    : interactive_(isatty(STDIN_FILENO) == 1), showsOutput_(isatty(STDOUT_FILENO) == 1) {}

bool TerminalConsole::readLine(std::string& line) {
    std::fflush(stdout);
    for (;;) {
        const auto newline = pending_.find('\n');
        if (newline != std::string::npos) {
            line.assign(pending_, 0, newline);
            pending_.erase(0, newline + 1);
            return true;
        }
        if (endOfInput_) {
            if (pending_.empty()) return false;
            line = std::move(pending_);  // a last line without its line break
            pending_.clear();
            return true;
        }
        char chunk[4096];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got > 0) {
            pending_.append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            endOfInput_ = true;
        }
    }
}

void TerminalConsole::write(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void TerminalConsole::discardPending() {
    if (!interactive_) return;
    pending_.clear();
    tcflush(STDIN_FILENO, TCIFLUSH);
}

void TerminalConsole::pause(int milliseconds) {
    std::fflush(stdout);
    if (showsOutput_) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace kappa
