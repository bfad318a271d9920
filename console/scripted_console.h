// A console that answers from a script of lines and records everything the
// dialogue writes, discards and pauses: the dialogue runs in-process, in
// tests and fuzzers, exactly as it runs on the terminal.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "console/console.h"

namespace kappa {

class ScriptedConsole final : public Console {
public:
    explicit ScriptedConsole(std::vector<std::string> lines) : lines_(std::move(lines)) {}

    bool readLine(std::string& line) override;
    void write(std::string_view text) override { output_.append(text); }
    void discardPending() override { ++discards_; }
    void pause(int milliseconds) override { pauses_.push_back(milliseconds); }

    const std::string& output() const { return output_; }
    std::size_t linesRead() const { return next_; }
    int discards() const { return discards_; }
    const std::vector<int>& pauses() const { return pauses_; }

private:
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
    std::string output_;
    int discards_ = 0;
    std::vector<int> pauses_;
};

}  // namespace kappa
