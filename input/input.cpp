#include "input/input.h"

#include "input/byte_source.h"
#include "input/table_input.h"

namespace kappa {

InputRead readInput(const std::string& path, const InputOptions& options) {
    InputRead read;
    ByteSource source;
    if (!source.open(path)) {
        read.error = InputError{0, 0, source.error()};
        return read;
    }
    switch (options.format) {
        case InputFormat::Table: return readTable(source, options);
        default: read.error = InputError{0, 0, "this input format is not available yet"}; return read;
    }
}

}  // namespace kappa
