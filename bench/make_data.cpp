// Writes a data file that lists every response pattern of R raters and K
// categories once, with reproducible pseudo-random frequencies, and prints the
// number of subjects it holds (the N to answer).
//
//   kappa_make_data R K FILE [SEED] [--weighted]
//
// Without --weighted the file has the layout of "Kappa_data.txt" and
// "Weighted_Kappa_data_linear_quadratic.txt"; with it, the layout of
// "Weighted_Kappa_data.txt".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pattern_file.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: kappa_make_data R K FILE [SEED] [--weighted]\n");
    return 2;
}

}  // namespace

using kappa::bench::readNumber;

int main(int argc, char** argv) {
    bool weighted = false;
    const char* positional[4] = {};
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--weighted") == 0)
            weighted = true;
        else if (count < 4)
            positional[count++] = argv[i];
        else
            return usage();
    }
    long long R = 0, K = 0, seed = 1;
    if (count < 3 || !readNumber(positional[0], 2, 20, R) || !readNumber(positional[1], 2, 1048576, K) ||
        (count == 4 && !readNumber(positional[3], 0, 0x7FFFFFFFFFFFFFFFll, seed)))
        return usage();
    double patterns = 1;
    for (long long j = 0; j < R; ++j) patterns *= static_cast<double>(K);
    if (patterns > 1048576) {
        std::fprintf(stderr, "kappa_make_data: K^R must be at most 1048576\n");
        return 2;
    }

    const auto file = kappa::bench::makePatternFile(static_cast<int>(R), static_cast<int>(K),
                                                    static_cast<std::uint64_t>(seed), weighted);
    std::FILE* out = std::fopen(positional[2], "wb");
    if (!out || std::fwrite(file.bytes.data(), 1, file.bytes.size(), out) != file.bytes.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "kappa_make_data: cannot write %s\n", positional[2]);
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(file.subjects));
    return 0;
}
