#include "input/file_checks.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <unordered_set>
#include <vector>

namespace kappa {

namespace {

std::span<const std::int32_t> codesOf(const AnalysisState& s, std::size_t r) {
    return s.data[r].first(static_cast<std::size_t>(s.nraters));
}

// For each row, whether an earlier row already gave the same combination of codes.
std::vector<bool> repeatedRows(const AnalysisState& s) {
    struct CodesHash {
        const AnalysisState* s;
        std::size_t operator()(std::size_t r) const {
            std::uint64_t h = 1469598103934665603ull;
            for (const std::int32_t code : codesOf(*s, r)) h = (h ^ static_cast<std::uint32_t>(code)) * 1099511628211ull;
            return static_cast<std::size_t>(h);
        }
    };
    struct SameCodes {
        const AnalysisState* s;
        bool operator()(std::size_t r1, std::size_t r2) const {
            const auto c1 = codesOf(*s, r1), c2 = codesOf(*s, r2);
            return std::equal(c1.begin(), c1.end(), c2.begin());
        }
    };
    const auto rows = static_cast<std::size_t>(s.contextra);
    std::unordered_set<std::size_t, CodesHash, SameCodes> seen(rows, CodesHash{&s}, SameCodes{&s});
    std::vector<bool> repeated(rows);
    for (std::size_t r = 0; r < rows; ++r) repeated[r] = !seen.insert(r).second;
    return repeated;
}

}  // namespace

bool checkLoadedFile(const AnalysisState& s, Console& con) {
    bool passed = true;
    auto fail = [&](const char* message) {
        con.print("%s", message);
        passed = false;
    };
    const auto rows = static_cast<std::size_t>(s.contextra);

    if (s.K != s.maxclase) fail("\n ERROR in the number of categories. Reload the data file.");
    if (s.R != s.nraters) fail("\n ERROR in the number of raters. Reload the data file.");
    if (s.N != s.Naux) fail("\n ERROR in the number of subjects. Reload the data file.");
    if (s.entrada == 2) {
        for (std::size_t r = 0; r < rows; ++r)
            if (s.pesostot[r] < 0) fail("\n ERROR in some weights. Reload the data file.");
    }

    for (std::size_t r = 0; r < rows; ++r) {
        const auto codes = codesOf(s, r);
        if (std::any_of(codes.begin(), codes.end(), [](std::int32_t code) { return code < 1; }))
            fail("\n ERROR in some category codes. Reload the data file.");
    }
    for (std::size_t r = 0; r < rows; ++r)
        if (s.data[r][static_cast<std::size_t>(s.nraters)] < 0) fail("\n ERROR in some frequencies. Reload the data file.");
    const std::vector<bool> repeated = repeatedRows(s);
    for (std::size_t r = 0; r < rows; ++r)
        if (repeated[r]) fail("\n ERROR in repeated combinations. Reload the data file.");
    return passed;
}

}  // namespace kappa
