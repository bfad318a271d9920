#include "input/input.h"

#include "input/byte_source.h"
#include "input/study_reader.h"
#include "input/table_input.h"

namespace kappa {

InputRead readInput(const std::string& path, const InputOptions& options) {
    InputRead read;
    ByteSource source;
    if (!source.open(path)) {
        read.error = InputError{0, 0, source.error()};
        return read;
    }
    if (options.format == InputFormat::Table) return readTable(source, options);
    StudiesRead studies = readStudies(source, options);
    read.error = std::move(studies.error);
    read.groups = std::move(studies.groups);
    read.delimiter = studies.input.delimiter;
    read.ordered = studies.input.ordered;
    read.notes = std::move(studies.input.notes);
    return read;
}

}  // namespace kappa
