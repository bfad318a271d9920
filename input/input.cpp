// TEMPORARY: the readers of every input format land with the rewritten core.
// Until then this definition lets the program link; it reads nothing.
#include "input/input.h"

namespace kappa {

InputRead readInput(const std::string&, const InputOptions&) {
    InputRead read;
    read.error = InputError{0, 0, "reading input is not implemented yet"};
    return read;
}

}  // namespace kappa
