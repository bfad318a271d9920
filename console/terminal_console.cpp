#include "console/terminal_console.h"

#include <langinfo.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstring>
#include <cstdio>
#include <string_view>
#include <thread>

namespace kappa {

namespace {

// Whether the locale of the environment writes UTF-8.
bool utf8Locale() {
    std::setlocale(LC_CTYPE, "");
    const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, "C");
    return utf8;
}

}  // namespace

TerminalConsole::TerminalConsole()
    : interactive_(isatty(STDIN_FILENO) == 1),
      showsOutput_(isatty(STDOUT_FILENO) == 1),
      utf8Output_(showsOutput_ && utf8Locale()) {}

bool TerminalConsole::readLine(std::string& line) {
    std::fflush(stdout);
    for (;;) {
        // Bytes already searched are not searched again, and returned lines
        // are dropped once per read: a line costs time in proportion to its
        // length however many reads it takes.
        const auto newline = pending_.find('\n', searched_);
        if (newline != std::string::npos) {
            line.assign(pending_, start_, std::min(newline - start_, kLongestAnswer));
            start_ = searched_ = newline + 1;
            return true;
        }
        pending_.erase(0, start_);
        start_ = 0;
        searched_ = pending_.size();
        if (endOfInput_) {
            if (pending_.empty()) return false;
            line = std::move(pending_);  // a last line without its line break
            pending_.clear();
            searched_ = 0;
            return true;
        }
        char chunk[1 << 16];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got > 0) {
            std::string_view bytes(chunk, static_cast<std::size_t>(got));
            if (dropping_) {
                const auto end = bytes.find('\n');
                if (end == std::string_view::npos) continue;
                dropping_ = false;
                bytes.remove_prefix(end);  // the line break ends the part kept
            }
            pending_.append(bytes);
            if (pending_.size() - start_ > kLongestAnswer && pending_.find('\n', searched_) == std::string::npos) {
                pending_.resize(start_ + kLongestAnswer);
                dropping_ = true;
            }
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
    start_ = searched_ = 0;
    dropping_ = false;
    tcflush(STDIN_FILENO, TCIFLUSH);
}

void TerminalConsole::pause(int milliseconds) {
    std::fflush(stdout);
    if (showsOutput_) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace kappa
