// The checks of a loaded data file against the answers of the dialogue.
#pragma once

#include <cstdint>

#include "input/data_file.h"

namespace kappa {

// What is wrong with a loaded file, in the order the dialogue reports it:
// the three counts that must match the answers, then the rows that fail a
// check of their own (each reported once per offending row).
struct FileCheck {
    bool categories = false;       // the largest code is not K
    bool raters = false;           // the first line does not hold R + 1 fields (R + 2 with weights)
    bool subjects = false;         // the frequencies do not add up to N
    std::int64_t weights = 0;      // rows with a negative weight (weighted layout)
    std::int64_t codes = 0;        // rows with a code below 1
    std::int64_t frequencies = 0;  // rows with a negative frequency
    std::int64_t repeated = 0;     // rows repeating an earlier row's codes

    bool passed() const {
        return !categories && !raters && !subjects && weights == 0 && codes == 0 && frequencies == 0 && repeated == 0;
    }
};

FileCheck checkLoadedFile(const DataFile& file, std::int32_t R, std::int32_t K, double N);

}  // namespace kappa
