#include "console/scripted_console.h"

namespace kappa {

bool ScriptedConsole::readLine(std::string& line) {
    if (next_ == lines_.size()) return false;
    line = lines_[next_++];
    return true;
}

}  // namespace kappa
