#include "input/file_checks.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>
#include <vector>

namespace kappa {

namespace {

std::span<const std::int32_t> codesOf(const AnalysisState& s, std::size_t r) {
    return s.data[r].first(static_cast<std::size_t>(s.nraters));
}

// For each row, whether an earlier row already gave the same combination of
// codes. The rows seen so far are kept in an open-addressing table keyed by a
// hash of their codes.
std::vector<bool> repeatedRows(const AnalysisState& s) {
    const auto rows = static_cast<std::size_t>(s.contextra);
    const auto hashOf = [&](std::size_t r) {
        std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the codes
        for (const std::int32_t code : codesOf(s, r)) h = (h ^ static_cast<std::uint32_t>(code)) * 1099511628211ull;
        return h ^ (h >> 29);
    };
    constexpr std::uint32_t empty = UINT32_MAX;  // row numbers stay below 2^31
    const std::size_t slots = std::bit_ceil(2 * rows + 1);
    std::vector<std::uint32_t> table(slots, empty);
    std::vector<bool> repeated(rows);
    for (std::size_t r = 0; r < rows; ++r) {
        const auto codes = codesOf(s, r);
        std::size_t i = hashOf(r) & (slots - 1);
        for (; table[i] != empty; i = (i + 1) & (slots - 1)) {
            const auto earlier = codesOf(s, table[i]);
            if (std::equal(codes.begin(), codes.end(), earlier.begin())) {
                repeated[r] = true;
                break;
            }
        }
        if (!repeated[r]) table[i] = static_cast<std::uint32_t>(r);
    }
    return repeated;
}

}  // namespace

bool checkLoadedFile(const AnalysisState& s, Console& con) {
    bool passed = true;
    auto fail = [&](const char* message) {
        con.write(message);
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
