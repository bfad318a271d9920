// Writes the large files of the readers' benchmarks:
//
//   kappa_make_ratings ratings SUBJECTS R K FILE [SEED]
//       one row per subject: an id and R ratings, comma separated, with a header;
//   kappa_make_ratings long SUBJECTS R K FILE [SEED]
//       the same ratings one row each: subject, rater, category;
//   kappa_make_ratings crowd ITEMS PER POOL K sorted|shuffled FILE [SEED]
//       an annotation project's export, one row per rating: each item labelled
//       by PER annotators drawn from a pool of POOL, rows sorted by item or
//       shuffled;
//   kappa_make_ratings counts SUBJECTS RATINGS K FILE [SEED]
//       one row per subject: how many of its RATINGS fall in each of K
//       categories, with a header of labels.
//
// Each subject has a true category; each rating is it with probability 0.7
// and a category drawn uniformly otherwise. Categories are written 1..K.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pattern_file.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: kappa_make_ratings ratings|long SUBJECTS R K FILE [SEED]\n"
                 "       kappa_make_ratings crowd ITEMS PER POOL K sorted|shuffled FILE [SEED]\n"
                 "       kappa_make_ratings counts SUBJECTS RATINGS K FILE [SEED]\n");
    return 2;
}

using kappa::bench::readNumber;
using kappa::bench::SplitMix64;

// Text written out a megabyte at a time.
class Output {
public:
    explicit Output(const char* path) : path_(path), file_(std::fopen(path, "wb")) {}
    bool opened() const { return file_ != nullptr; }
    void write(const std::string& text) {
        text_ += text;
        if (text_.size() > (1 << 20)) flush();
    }
    bool close() {
        flush();
        const bool closed = std::fclose(file_) == 0;
        if (!ok_ || !closed) std::fprintf(stderr, "kappa_make_ratings: cannot write %s\n", path_);
        return ok_ && closed;
    }

private:
    void flush() {
        ok_ = ok_ && std::fwrite(text_.data(), 1, text_.size(), file_) == text_.size();
        text_.clear();
    }
    const char* path_;
    std::FILE* file_;
    std::string text_;
    bool ok_ = true;
};

// A rating of a subject whose true category is `truth`: 1..K.
std::uint64_t rating(SplitMix64& random, std::uint64_t truth, std::uint64_t K) {
    const std::uint64_t draw = random.next();
    return 1 + (draw % 10 < 7 ? truth : (draw >> 8) % K);
}

int ratingsOrLong(bool wide, long long subjects, long long R, long long K, Output& out, SplitMix64& random) {
    std::string text = wide ? "id" : "subject,rater,category\n";
    if (wide) {
        for (long long j = 1; j <= R; ++j) text += ",r" + std::to_string(j);
        text += '\n';
    }
    out.write(text);
    for (long long s = 1; s <= subjects; ++s) {
        const std::uint64_t truth = random.next() % static_cast<std::uint64_t>(K);
        const std::string id = std::to_string(s);
        text = wide ? id : std::string();
        for (long long j = 1; j <= R; ++j) {
            const std::string r = std::to_string(rating(random, truth, static_cast<std::uint64_t>(K)));
            if (wide)
                text += ',' + r;
            else
                text += id + ",r" + std::to_string(j) + ',' + r + '\n';
        }
        if (wide) text += '\n';
        out.write(text);
    }
    return out.close() ? 0 : 1;
}

// Item i's rows, each a function of i alone (so that a shuffled order can
// write them one at a time): PER distinct annotators from the pool.
std::string crowdRows(std::uint64_t i, long long per, long long pool, long long K, std::uint64_t seed) {
    SplitMix64 random(seed * 0x9E3779B97F4A7C15ull + i);
    const std::uint64_t truth = random.next() % static_cast<std::uint64_t>(K);
    std::vector<std::uint64_t> annotators;
    while (static_cast<long long>(annotators.size()) < per) {
        const std::uint64_t a = 1 + random.next() % static_cast<std::uint64_t>(pool);
        if (std::find(annotators.begin(), annotators.end(), a) == annotators.end()) annotators.push_back(a);
    }
    std::string rows;
    for (const std::uint64_t a : annotators)
        rows += "item" + std::to_string(i) + ",a" + std::to_string(a) + ',' +
                std::to_string(rating(random, truth, static_cast<std::uint64_t>(K))) + '\n';
    return rows;
}

int crowd(long long items, long long per, long long pool, long long K, bool shuffled, Output& out, std::uint64_t seed) {
    out.write("item,annotator,label\n");
    if (!shuffled) {
        for (long long i = 1; i <= items; ++i) out.write(crowdRows(static_cast<std::uint64_t>(i), per, pool, K, seed));
        return out.close() ? 0 : 1;
    }
    // Every rating's place, shuffled: item i's j-th rating is i * per + j.
    std::vector<std::uint32_t> order(static_cast<std::size_t>(items * per));
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = static_cast<std::uint32_t>(k);
    SplitMix64 random(seed);
    for (std::size_t k = order.size(); k-- > 1;) std::swap(order[k], order[random.next() % (k + 1)]);
    for (const std::uint32_t k : order) {
        const std::string rows = crowdRows(1 + k / static_cast<std::uint64_t>(per), per, pool, K, seed);
        std::size_t start = 0;
        for (std::uint64_t j = k % static_cast<std::uint64_t>(per); j > 0; --j) start = rows.find('\n', start) + 1;
        out.write(rows.substr(start, rows.find('\n', start) + 1 - start));
    }
    return out.close() ? 0 : 1;
}

int counts(long long subjects, long long ratings, long long K, Output& out, SplitMix64& random) {
    std::string text;
    for (long long k = 1; k <= K; ++k) text += (k == 1 ? "c" : ",c") + std::to_string(k);
    out.write(text + '\n');
    std::vector<long long> n(static_cast<std::size_t>(K));
    for (long long s = 0; s < subjects; ++s) {
        std::fill(n.begin(), n.end(), 0);
        const std::uint64_t truth = random.next() % static_cast<std::uint64_t>(K);
        for (long long r = 0; r < ratings; ++r) ++n[rating(random, truth, static_cast<std::uint64_t>(K)) - 1];
        text.clear();
        for (long long k = 0; k < K; ++k) text += (k == 0 ? "" : ",") + std::to_string(n[static_cast<std::size_t>(k)]);
        out.write(text + '\n');
    }
    return out.close() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string mode = argv[1];
    long long a = 0, b = 0, c = 0, d = 0, seed = 1;
    const auto seedAt = [&](int i) { return argc == i + 1 || (argc == i + 2 && readNumber(argv[i + 1], 0, 0x7FFFFFFFFFFFFFFFll, seed)); };
    if (mode == "ratings" || mode == "long" || mode == "counts") {
        if (argc < 6 || !seedAt(5) || !readNumber(argv[2], 1, 1'000'000'000'000, a) ||
            !readNumber(argv[3], 1, 1'000'000, b) || !readNumber(argv[4], 2, 65535, c))
            return usage();
        Output out(argv[5]);
        if (!out.opened()) return usage();
        SplitMix64 random(static_cast<std::uint64_t>(seed));
        if (mode == "counts") return counts(a, b, c, out, random);
        return ratingsOrLong(mode == "ratings", a, b, c, out, random);
    }
    if (mode == "crowd") {
        const bool shuffled = argc > 6 && std::strcmp(argv[6], "shuffled") == 0;
        if (argc < 8 || !seedAt(7) || !readNumber(argv[2], 1, 1'000'000'000, a) ||
            !readNumber(argv[3], 1, 1'000, b) || !readNumber(argv[4], 1, 100'000'000, c) || b > c ||
            !readNumber(argv[5], 2, 65535, d) || (!shuffled && std::strcmp(argv[6], "sorted") != 0) ||
            a * b > 0xFFFFFFFFll)
            return usage();
        Output out(argv[7]);
        if (!out.opened()) return usage();
        return crowd(a, b, c, d, shuffled, out, static_cast<std::uint64_t>(seed));
    }
    return usage();
}
