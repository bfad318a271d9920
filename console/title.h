#pragma once

#include "console/console.h"

namespace kappa {

// The title screen: a credits block and the about block that describes the
// three data files of the CASE menu. Shown once per run.
void printTitle(Console& con);

}  // namespace kappa
