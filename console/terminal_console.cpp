#include "console/terminal_console.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>

#include "platform/platform.h"

namespace kappa {

TerminalConsole::TerminalConsole()
    : interactive_(platform::standardInputIsTerminal()),
      showsOutput_(platform::standardOutputIsTerminal()),
      plusMinus_(showsOutput_ ? platform::terminalPlusMinus() : "\xF1") {}

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
        std::string error;
        const std::ptrdiff_t got = platform::readSome(platform::kStandardInput, chunk, sizeof chunk, error);
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
        } else {
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
    platform::discardTypedInput();
}

void TerminalConsole::pause(int milliseconds) {
    std::fflush(stdout);
    if (showsOutput_) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace kappa
