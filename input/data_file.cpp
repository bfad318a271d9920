#include "input/data_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "input/byte_source.h"

namespace kappa {

namespace {

// Counts what the checks need, row by row, and puts every row whose codes fit
// the entered R and K straight into the pattern tables.
class DialogueRows final : public TableRows {
public:
    DialogueRows(DataFile& file, std::int32_t R, std::int32_t K, bool weighted)
        : file_(file), weighted_(weighted), K_(K) {
        Study& study = file_.study;
        study.R = R;
        study.K = K;
        for (std::int32_t k = 1; k <= K; ++k) study.labels.push_back(std::to_string(k));
        const std::size_t P = patternCount(K, R);
        study.frequency.assign(P, 0);
        if (weighted) study.fileWeight.assign(P, 1.0);
        seen_.assign(P, false);
    }

    void raters(std::int32_t R) override { file_.ratersFound = R; }

    bool row(const TableRow& row) override {
        ++file_.rowsRead;
        file_.largestCodeRead = std::max(file_.largestCodeRead, row.largestCode);
        subjects_ += row.frequency;
        file_.subjectsRead = static_cast<double>(subjects_);
        if (weighted_ && row.weight < 0) ++file_.negativeWeights;
        if (row.codeBelowOne) ++file_.codesBelowOne;
        if (row.frequency < 0) ++file_.negativeFrequencies;

        Study& study = file_.study;
        if (row.raters == study.R && !row.codeBelowOne && row.largestCode <= K_) {
            // Its pattern; a repeated one keeps the first row's values.
            std::size_t p = 0;
            for (const std::int32_t code : row.codes)
                p = p * static_cast<std::size_t>(K_) + static_cast<std::size_t>(code - 1);
            if (seen_[p]) {
                ++file_.repeatedRows;
            } else {
                seen_[p] = true;
                study.frequency[p] = row.frequency;
                if (weighted_) study.fileWeight[p] = row.weight;
            }
        } else if (!others_.insert(keyOf(row)).second) {
            ++file_.repeatedRows;
        }
        return true;
    }

private:
    // The codes of a row that fits no pattern, as bytes, to find repeats.
    static std::string keyOf(const TableRow& row) {
        constexpr std::size_t head = sizeof row.raters + sizeof row.restHash;
        std::string key(head + row.codes.size_bytes(), '\0');
        std::memcpy(key.data(), &row.raters, sizeof row.raters);
        std::memcpy(key.data() + sizeof row.raters, &row.restHash, sizeof row.restHash);
        std::memcpy(key.data() + head, row.codes.data(), row.codes.size_bytes());
        return key;
    }

    DataFile& file_;
    bool weighted_;
    std::int32_t K_;
    std::int64_t subjects_ = 0;
    std::vector<bool> seen_;                  // patterns already given by a row
    std::unordered_set<std::string> others_;  // the rows that fit no pattern
};

}  // namespace

LoadResult loadDataFile(const char* name, FileLayout layout, std::int32_t R, std::int32_t K) {
    LoadResult result;
    ByteSource source;
    if (!source.open(name, ByteSource::Accept::RegularFile)) {
        result.status = LoadResult::Status::CannotOpen;
        return result;
    }
    DialogueRows rows(result.file, R, K, layout == FileLayout::Weighted);
    const ParseOutcome outcome = parseTable(source, layout, rows);
    if (outcome.status == ParseOutcome::Status::ReadFailed) {
        result.status = LoadResult::Status::CannotOpen;
    } else if (!outcome.ok()) {
        result.status = LoadResult::Status::CannotRead;
        result.line = outcome.line;
    }
    return result;
}

LoadResult loadStudyFile(std::int32_t inputCase, std::int32_t R, std::int32_t K) {
    return loadDataFile(inputCase == 1 ? kUnweightedFile : kComputedWeightsFile, FileLayout::Unweighted, R, K);
}

LoadResult loadWeightedStudyFile(std::int32_t R, std::int32_t K) {
    return loadDataFile(kWeightedFile, FileLayout::Weighted, R, K);
}

}  // namespace kappa
