#pragma once

#include "console/console.h"

namespace kappa {

// Exit statuses of a run.
inline constexpr int kExitFinished = 0;     // the user ended the run, or input ended at the end prompt
inline constexpr int kExitInputEnded = 1;   // input ended while an answer was still needed

// The whole program on a console: the title screen, then data-entry cycles
// until the user answers 0 at the end prompt. Returns the exit status.
int runProgram(Console& con);

}  // namespace kappa
