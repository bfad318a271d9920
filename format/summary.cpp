// The summary: one aligned row per estimate, for comparing many
// coefficients, groups or files at a glance. Text columns are aligned left
// and numbers right; values as in the text report ("n/a" where a value
// cannot be computed).
#include <algorithm>
#include <cmath>

#include "format/format.h"
#include "format/numbers.h"
#include "input/printable.h"

namespace kappa {

namespace {

using format::fixed;

enum Column { File, Group, Coefficient_, Weights, EstimateColumn, Se, Ci, P, Subjects, kColumnCount };

constexpr const char* kHeadings[kColumnCount] = {"File", "Group", "Coefficient", "Weights", "Estimate",
                                                 "SE",   "CI",    "p",           "Subjects"};

bool rightAligned(int column) { return column >= EstimateColumn && column != Ci; }

}  // namespace

void SummaryTable::add(const Source& source, const Analysis& a) {
    groups_ = groups_ || source.group.has_value();
    for (const Estimate& e : a.estimates) {
        std::vector<std::string> row(kColumnCount);
        row[File] = source.file == "-" ? "standard input" : printable(source.file);
        row[Group] = printable(source.group.value_or(""));
        row[Coefficient_] = e.name;
        row[Weights] = std::string(weightingId(e.weights));
        row[EstimateColumn] = fixed(e.kappa, 4);
        row[Se] = fixed(e.se, 5);
        row[Ci] = "n/a";
        if (!std::isnan(e.wald.ci.lower))
            row[Ci] = std::string("[") + format::intervalLimit(e.wald.ci.lower) + ", " +
                      format::intervalLimit(e.wald.ci.upper) + "]";
        row[P] = format::pValue(e.reportPValue);
        row[Subjects] = std::to_string(e.subjects);
        rows_.push_back(std::move(row));
    }
}

std::string SummaryTable::text() const {
    if (rows_.empty()) return "";
    std::vector<std::vector<std::string>> lines = {std::vector<std::string>(std::begin(kHeadings), std::end(kHeadings))};
    lines.insert(lines.end(), rows_.begin(), rows_.end());
    std::size_t width[kColumnCount] = {};
    for (const auto& line : lines)
        for (int c = 0; c < kColumnCount; ++c) width[c] = std::max(width[c], line[static_cast<std::size_t>(c)].size());
    std::string text;
    for (const auto& line : lines) {
        std::string out;
        for (int c = 0; c < kColumnCount; ++c) {
            if (c == Group && !groups_) continue;
            const std::string& cell = line[static_cast<std::size_t>(c)];
            const std::string pad(width[c] - cell.size(), ' ');
            if (!out.empty()) out += "  ";
            out += rightAligned(c) ? pad + cell : cell + pad;
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        text += out + '\n';
    }
    return text;
}

}  // namespace kappa
