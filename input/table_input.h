// A table file read on the command line: R from the first line, K from the
// largest code or from --categories, every row checked as it is read.
#pragma once

#include "input/byte_source.h"
#include "input/input.h"

namespace kappa {

InputRead readTable(ByteSource& source, const InputOptions& options);

}  // namespace kappa
