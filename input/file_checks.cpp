#include "input/file_checks.h"

namespace kappa {

FileCheck checkLoadedFile(const DataFile& file, std::int32_t R, std::int32_t K, double N) {
    FileCheck check;
    check.categories = K != file.largestCodeRead;
    check.raters = R != file.ratersFound;
    check.subjects = N != file.subjectsRead;
    check.weights = file.negativeWeights;
    check.codes = file.codesBelowOne;
    check.frequencies = file.negativeFrequencies;
    check.repeated = file.repeatedRows;
    return check;
}

}  // namespace kappa
