// Large data files for the benchmarks: every one of the K^R response patterns
// listed once, in pattern order, with a pseudo-random frequency. The same seed
// always gives the same file, on any platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kappa::bench {

// A command-line argument that must be a whole number in [low, high].
inline bool readNumber(const char* text, long long low, long long high, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

struct PatternFile {
    std::string bytes;        // the file's contents
    std::int64_t subjects = 0;  // the sum of its frequencies: the N to answer
};

// SplitMix64: a small generator whose output is fixed by its definition.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

// Rows of R tab-separated codes (1..K) and a frequency in 0..99; with
// `weighted`, a last column holds the disagreement weight: 0.0 where all
// raters agree and a value in 0.001..1.000 elsewhere. Frequencies and weights
// come from a SplitMix64 stream started at `seed`.
inline PatternFile makePatternFile(int R, int K, std::uint64_t seed, bool weighted) {
    PatternFile file;
    std::size_t patterns = 1;
    for (int j = 0; j < R; ++j) patterns *= static_cast<std::size_t>(K);
    file.bytes.reserve(patterns * static_cast<std::size_t>(R * 5 + 12));

    SplitMix64 random(seed);
    std::vector<int> codes(static_cast<std::size_t>(R), 1);
    char field[32];
    for (std::size_t p = 0; p < patterns; ++p) {
        bool agree = true;
        for (const int code : codes) {
            file.bytes += std::to_string(code);
            file.bytes += '\t';
            agree = agree && code == codes[0];
        }
        const auto frequency = static_cast<std::int64_t>(random.next() % 100);
        file.subjects += frequency;
        file.bytes += std::to_string(frequency);
        if (weighted) {
            const auto thousandths = agree ? 0 : static_cast<int>(random.next() % 1000) + 1;
            std::snprintf(field, sizeof field, "\t%d.%03d", thousandths / 1000, thousandths % 1000);
            file.bytes += field;
        }
        file.bytes += '\n';
        // The next pattern: the codes as digits of a base-K number, rater 0 first.
        for (std::size_t j = codes.size(); j-- > 0;) {
            if (codes[j] < K) {
                ++codes[j];
                break;
            }
            codes[j] = 1;
        }
    }
    return file;
}

}  // namespace kappa::bench
