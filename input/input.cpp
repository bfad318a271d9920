#include "input/input.h"

#include "input/byte_source.h"
#include "input/study_reader.h"
#include "input/table_input.h"

namespace kappa {

InputRead readInput(const std::string& path, const InputOptions& options) {
    InputRead read;
    ByteSource file;
    if (!file.open(path)) {
        read.error = InputError{0, 0, file.error()};
        return read;
    }
    DecodingSource source(file, options.encoding);
    if (options.format == InputFormat::Table) {
        read = readTable(source, options);
    } else {
        StudiesRead studies = readStudies(source, options);
        read.error = std::move(studies.error);
        read.groups = std::move(studies.groups);
        read.delimiter = studies.input.delimiter;
        read.ordered = studies.input.ordered;
        read.notes = std::move(studies.input.notes);
    }
    read.error = source.settle(std::move(read.error));
    return read;
}

}  // namespace kappa
