// Writes a large ratings file (one row per subject: an id and R ratings, comma
// separated, with a header) or the long file of the same ratings (one row per
// rating: subject, rater, category), for the benchmarks of the readers.
//
//   kappa_make_ratings ratings|long SUBJECTS R K FILE [SEED]
//
// Each subject has a true category; each rater gives it with probability 0.7
// and a category drawn uniformly otherwise. Categories are written 1..K.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pattern_file.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: kappa_make_ratings ratings|long SUBJECTS R K FILE [SEED]\n");
    return 2;
}

}  // namespace

using kappa::bench::readNumber;

int main(int argc, char** argv) {
    long long subjects = 0, R = 0, K = 0, seed = 1;
    if (argc < 6 || argc > 7 || (std::strcmp(argv[1], "ratings") != 0 && std::strcmp(argv[1], "long") != 0) ||
        !readNumber(argv[2], 1, 1'000'000'000'000, subjects) || !readNumber(argv[3], 2, 20, R) ||
        !readNumber(argv[4], 2, 1024, K) || (argc == 7 && !readNumber(argv[6], 0, 0x7FFFFFFFFFFFFFFFll, seed)))
        return usage();
    const bool wide = std::strcmp(argv[1], "ratings") == 0;
    std::FILE* out = std::fopen(argv[5], "wb");
    if (!out) {
        std::fprintf(stderr, "kappa_make_ratings: cannot write %s\n", argv[5]);
        return 1;
    }
    kappa::bench::SplitMix64 random(static_cast<std::uint64_t>(seed));
    std::string text = wide ? "id" : "subject,rater,category\n";
    if (wide) {
        for (long long j = 1; j <= R; ++j) text += ",r" + std::to_string(j);
        text += '\n';
    }
    const auto category = [&](std::uint64_t truth) {
        const std::uint64_t draw = random.next();
        return 1 + (draw % 10 < 7 ? truth : (draw >> 8) % static_cast<std::uint64_t>(K));
    };
    bool ok = true;
    for (long long s = 1; s <= subjects && ok; ++s) {
        const std::uint64_t truth = random.next() % static_cast<std::uint64_t>(K);
        const std::string id = std::to_string(s);
        if (wide) text += id;
        for (long long j = 1; j <= R; ++j) {
            const std::string rating = std::to_string(category(truth));
            if (wide)
                text += ',' + rating;
            else
                text += id + ",r" + std::to_string(j) + ',' + rating + '\n';
        }
        if (wide) text += '\n';
        if (text.size() > (1 << 20)) {
            ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
            text.clear();
        }
    }
    ok = ok && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !ok) {
        std::fprintf(stderr, "kappa_make_ratings: cannot write %s\n", argv[5]);
        return 1;
    }
    return 0;
}
