#include "diagnostics/substudies.h"

#include <algorithm>
#include <utility>

namespace kappa {

StudyAssembler::StudyAssembler(std::int32_t raters, std::vector<std::string> labels,
                               std::vector<std::string> raterNames) {
    study_.R = raters;
    study_.K = static_cast<std::int32_t>(labels.size());
    study_.labels = std::move(labels);
    study_.raterNames = std::move(raterNames);
    if (raters <= kMaxRaters && patternCount(study_.K, raters) <= kMaxPatterns)
        study_.frequency.assign(patternCount(study_.K, study_.R), 0);
    else
        profiles_.emplace(true, true);
    codes_.resize(static_cast<std::size_t>(raters));
}

void StudyAssembler::add(std::int64_t count, std::span<const Rating> ratings) {
    if (count <= 0 || ratings.empty()) return;
    if (profiles_) {
        profiles_->add(count, ratings, 0);
        return;
    }
    if (ratings.size() == codes_.size()) {
        std::size_t p = 0;
        for (const Rating& r : ratings) p = p * static_cast<std::size_t>(study_.K) + r.category;
        study_.frequency[p] += count;
        return;
    }
    std::fill(codes_.begin(), codes_.end(), kMissing);
    for (const Rating& r : ratings) codes_[r.rater] = r.category;
    const auto [place, isNew] = incompleteIndex_.try_emplace(codes_, study_.incomplete.size());
    if (isNew)
        study_.incomplete.push_back({codes_, count, 0});
    else
        study_.incomplete[place->second].count += count;
}

Study StudyAssembler::finish() && {
    if (profiles_) profiles_->buildByProfile(study_);
    return std::move(study_);
}

std::vector<Study> studiesWithoutRaters(const Study& study, std::int32_t first, std::int32_t count) {
    std::vector<StudyAssembler> assemblers;
    for (std::int32_t rater = first; rater < first + count; ++rater) {
        std::vector<std::string> names = study.raterNames;
        if (static_cast<std::size_t>(rater) < names.size()) names.erase(names.begin() + rater);
        assemblers.emplace_back(study.R - 1, study.labels, std::move(names));
    }
    std::vector<Rating> others;
    forEachSubjectGroup(study, [&](std::int64_t n, std::span<const Rating> ratings) {
        for (std::size_t i = 0; i < assemblers.size(); ++i) {
            const auto rater = static_cast<std::uint32_t>(first) + static_cast<std::uint32_t>(i);
            others.clear();
            for (const Rating& r : ratings)
                if (r.rater != rater) others.push_back({r.rater > rater ? r.rater - 1 : r.rater, r.category});
            assemblers[i].add(n, others);
        }
    });
    std::vector<Study> studies;
    for (StudyAssembler& assembler : assemblers) studies.push_back(std::move(assembler).finish());
    return studies;
}

std::size_t pairIndex(std::int32_t a, std::int32_t b, std::int32_t R) {
    const auto i = static_cast<std::size_t>(a), j = static_cast<std::size_t>(b), n = static_cast<std::size_t>(R);
    return i * (2 * n - i - 1) / 2 + (j - i - 1);
}

std::vector<Matrix<std::int64_t>> pairCrossTables(const Study& study) {
    const auto K = static_cast<std::size_t>(study.K);
    const auto R = static_cast<std::size_t>(std::max(study.R, 0));
    std::vector<Matrix<std::int64_t>> tables(R * (R - std::min<std::size_t>(R, 1)) / 2, Matrix<std::int64_t>(K, K));
    forEachSubjectGroup(study, [&](std::int64_t count, std::span<const Rating> ratings) {
        for (std::size_t i = 0; i < ratings.size(); ++i)
            for (std::size_t j = i + 1; j < ratings.size(); ++j) {
                const auto a = static_cast<std::int32_t>(ratings[i].rater), b = static_cast<std::int32_t>(ratings[j].rater);
                tables[pairIndex(a, b, study.R)][ratings[i].category][ratings[j].category] += count;
            }
    });
    return tables;
}

Study studyOfPair(const Study& study, std::int32_t a, std::int32_t b, const Matrix<std::int64_t>& crossTable) {
    StudyAssembler assembler(2, study.labels, {raterName(study, a), raterName(study, b)});
    for (std::size_t k = 0; k < crossTable.rows(); ++k)
        for (std::size_t l = 0; l < crossTable.cols(); ++l) {
            const Rating ratings[] = {{0, static_cast<std::uint16_t>(k)}, {1, static_cast<std::uint16_t>(l)}};
            assembler.add(crossTable[k][l], ratings);
        }
    return std::move(assembler).finish();
}

std::vector<Study> studiesOfCategories(const Study& study) {
    constexpr std::uint16_t kThis = 0, kOther = 1;
    const auto K = static_cast<std::size_t>(study.K);
    std::vector<StudyAssembler> assemblers;
    for (std::size_t k = 0; k < K; ++k)
        assemblers.emplace_back(study.R, std::vector<std::string>{study.labels[k], "not " + study.labels[k]},
                                study.raterNames);
    // A complete subject whom no rater put in k is all "other" in k's study:
    // those are counted as the complete subjects less the ones that some rater
    // put in k, so that a subject costs what its own categories do.
    std::int64_t complete = 0;
    std::vector<std::int64_t> completeUsing(K, 0);
    std::vector<std::uint16_t> used;
    std::vector<Rating> split;
    forEachSubjectGroup(study, [&](std::int64_t count, std::span<const Rating> ratings) {
        const bool isComplete = ratings.size() == static_cast<std::size_t>(study.R);
        used.clear();
        for (const Rating& r : ratings)
            if (std::find(used.begin(), used.end(), r.category) == used.end()) used.push_back(r.category);
        const auto addFor = [&](std::uint16_t k) {
            split.clear();
            for (const Rating& r : ratings) split.push_back({r.rater, r.category == k ? kThis : kOther});
            assemblers[k].add(count, split);
        };
        if (isComplete) {
            complete += count;
            for (const std::uint16_t k : used) {
                completeUsing[k] += count;
                addFor(k);
            }
        } else {
            for (std::size_t k = 0; k < K; ++k) addFor(static_cast<std::uint16_t>(k));
        }
    });
    std::vector<Rating> allOther;
    for (std::uint32_t j = 0; j < static_cast<std::uint32_t>(study.R); ++j) allOther.push_back({j, kOther});
    std::vector<Study> studies;
    for (std::size_t k = 0; k < K; ++k) {
        assemblers[k].add(complete - completeUsing[k], allOther);
        studies.push_back(std::move(assemblers[k]).finish());
    }
    return studies;
}

}  // namespace kappa
