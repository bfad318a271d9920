#include "input/input.h"

#include <functional>
#include <optional>

#include "input/byte_source.h"
#include "input/decoding.h"
#include "input/study_reader.h"
#include "platform/platform.h"

namespace kappa {

namespace {

// Opens `source` on the input from its start (a second time with `again`);
// false when it cannot, source.error() saying why.
using OpenInput = std::function<bool(ByteSource& source, bool again)>;

// Reads the input that `open` opens; `rereadable`: it can be read a second time.
InputRead readOpened(const OpenInput& open, bool rereadable, const InputOptions& options, const TakeStudy& take) {
    InputRead read;
    ByteSource file;
    if (!open(file, false)) {
        read.error = InputError{0, 0, file.error()};
        return read;
    }
    DecodingSource source(file, options.encoding);
    // The groups are built once the whole file is read, and so decoded.
    std::optional<ByteSource> secondFile;
    std::optional<DecodingSource> second;
    DecodingSource* decoded = &source;
    ReadAgain again;
    if (rereadable)
        again = [&]() -> ByteSource* {
            secondFile.emplace();
            if (!open(*secondFile, true)) return nullptr;
            decoded = &second.emplace(*secondFile, options.encoding);
            return decoded;
        };
    InputDescription input;
    bool described = false;
    read.error = readStudies(source, options, input, [&](StudyGroup&& group) {
        if (!described) {  // what the file holds is known before its first group
            read.delimiter = input.delimiter;
            read.ordered = input.ordered;
            read.notes = input.notes;
            described = true;
        }
        take(std::move(group), read);
    }, DelimitedReader::kChunk, again);
    read.error = decoded->settle(std::move(read.error));
    read.delimiter = input.delimiter;
    read.ordered = input.ordered;
    read.notes = std::move(input.notes);
    return read;
}

}  // namespace

InputRead readInput(const std::string& path, const InputOptions& options, const TakeStudy& take) {
    // A regular file can be read a second time (a long file not sorted by subject is).
    const bool rereadable = path != "-" && platform::regularFileIdentity(path);
    return readOpened([&](ByteSource& source, bool again) {
        return source.open(path, again ? ByteSource::Accept::RegularFile : ByteSource::Accept::AnyFile);
    }, rereadable, options, take);
}

InputRead readInputBytes(std::string_view bytes, const InputOptions& options, const TakeStudy& take) {
    return readOpened([&](ByteSource& source, bool) {
        source = ByteSource(bytes);
        return true;
    }, true, options, take);
}

InputRead readInput(const std::string& path, const InputOptions& options) {
    std::vector<StudyGroup> groups;
    InputRead read =
        readInput(path, options, [&](StudyGroup&& group, const InputRead&) { groups.push_back(std::move(group)); });
    if (!read.error) read.groups = std::move(groups);
    return read;
}

}  // namespace kappa
