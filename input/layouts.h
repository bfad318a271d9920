// The layouts of the files kappa reads, one entry each: what --input calls
// it, the options that only some layouts take, and its reader. The command
// line's parsing of --input, its help and its checks of the options derive
// from this table, and so does the reading of a file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "input/byte_source.h"
#include "input/input.h"
#include "input/study_reader.h"

namespace kappa {

// The input options that only some layouts take.
enum class InputOption : std::uint8_t {
    Header,          // --header and --no-header: the first line names the columns
    Columns,         // --columns
    Id,              // --id
    By,              // --by
    Missing,         // --missing: the file holds ratings that may be missing
    IgnoreCase,      // --ignore-case: the file has labels of categories
    DropIncomplete,  // --drop-incomplete: the file says which rater gave each rating
    Diagnostics,     // --diagnostics: likewise
    FileWeights,     // --weights file: a column of disagreement weights
};

class InputOptionSet {
public:
    constexpr InputOptionSet(std::initializer_list<InputOption> options) {
        for (const InputOption option : options) bits_ |= bit(option);
    }
    constexpr bool contains(InputOption option) const { return (bits_ & bit(option)) != 0; }

private:
    static constexpr std::uint16_t bit(InputOption option) {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(option));
    }
    std::uint16_t bits_ = 0;
};

// Hands each group's study of the file in `source` to `take`, in order, as
// readStudies() says; the refusal, if any.
using TakeGroup = std::function<void(StudyGroup&&)>;
using LayoutReader = std::optional<InputError> (*)(ByteSource& source, const InputOptions& options,
                                                    InputDescription& input, const TakeGroup& take,
                                                    std::size_t chunk, const ReadAgain& again);

// The readers, a file each.
std::optional<InputError> readTableStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                           const TakeGroup& take, std::size_t chunk, const ReadAgain& again);
std::optional<InputError> readRatingsStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                             const TakeGroup& take, std::size_t chunk, const ReadAgain& again);
std::optional<InputError> readLongStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                          const TakeGroup& take, std::size_t chunk, const ReadAgain& again);
std::optional<InputError> readMatrixStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                            const TakeGroup& take, std::size_t chunk, const ReadAgain& again);
std::optional<InputError> readCountsStudies(ByteSource& source, const InputOptions& options, InputDescription& input,
                                            const TakeGroup& take, std::size_t chunk, const ReadAgain& again);

struct InputLayout {
    InputFormat format;
    std::string_view id;     // its name in --input
    InputOptionSet accepts;  // which of the options that only some layouts take it takes
    LayoutReader read;
};

// Every layout, in the order --help lists them.
inline constexpr std::array<InputLayout, 5> kInputLayouts = {{
    {InputFormat::Table, "table",
     {InputOption::Missing, InputOption::DropIncomplete, InputOption::Diagnostics, InputOption::FileWeights},
     readTableStudies},
    {InputFormat::Ratings, "ratings",
     {InputOption::Header, InputOption::Columns, InputOption::Id, InputOption::By, InputOption::Missing,
      InputOption::IgnoreCase, InputOption::DropIncomplete, InputOption::Diagnostics},
     readRatingsStudies},
    {InputFormat::Long, "long",
     {InputOption::Header, InputOption::Columns, InputOption::By, InputOption::Missing, InputOption::IgnoreCase,
      InputOption::DropIncomplete, InputOption::Diagnostics},
     readLongStudies},
    {InputFormat::Matrix, "matrix", {InputOption::IgnoreCase, InputOption::DropIncomplete, InputOption::Diagnostics},
     readMatrixStudies},
    {InputFormat::Counts, "counts", {InputOption::Header, InputOption::Id, InputOption::IgnoreCase},
     readCountsStudies},
}};

constexpr const InputLayout& inputLayout(InputFormat format) {
    for (const InputLayout& layout : kInputLayouts)
        if (layout.format == format) return layout;
    return kInputLayouts[0];
}

}  // namespace kappa
