#include "input/column_roles.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "input/study_builder.h"

namespace kappa {

namespace {

// A label as the readers compare labels: whole numbers by value, text
// without regard to case or surrounding blanks.
std::string labelKey(std::string_view text) { return foldedLabel(canonicalLabel(text)); }

// A header name reduced to its letters and digits, in lower case.
std::string plainName(std::string_view name) {
    std::string plain;
    for (const char c : foldedLabel(name))
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) plain += c;
    return plain;
}

// What the names of a series of columns share: the name without its digits,
// its single letters and its separators ("r1" and "r2" give "", "rater_A"
// and "rater_B" give "rater"); "#" for a name of nothing else.
std::string nameStem(std::string_view name) {
    std::string stem, token;
    const auto endToken = [&] {
        if (token.size() > 1) stem += token;
        token.clear();
    };
    for (const char c : foldedLabel(name)) {
        if (c >= 'a' && c <= 'z')
            token += c;
        else if (c < '0' || c > '9')
            endToken();
    }
    endToken();
    return stem.empty() ? "#" : stem;
}

bool nameIn(std::string_view plain, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), plain) != names.end();
}

// Names that columns of subject identifiers, of groups and of other facts
// about a subject usually have.
bool identifierName(std::string_view plain) {
    return nameIn(plain, {"id",         "subject",  "subjectid", "subjects", "item",     "itemid",   "items",
                          "patient",    "patientid", "case",     "caseid",   "record",   "recordid", "row",
                          "rowid",      "index",    "unit",      "unitid",   "participant", "participantid",
                          "respondent", "sample",   "sampleid",  "image",    "imageid",  "text",     "document",
                          "docid",      "file",     "filename",  "url",      "unnamed0"});
}
bool groupName(std::string_view plain) {
    return nameIn(plain, {"site", "centre", "center", "group", "batch", "wave", "visit", "session", "country",
                          "region", "hospital", "clinic", "school", "class", "cohort"});
}
bool otherName(std::string_view plain) {
    return nameIn(plain, {"date", "time", "timestamp", "datetime", "notes", "note", "comment", "comments", "remark",
                          "remarks", "description", "source", "age", "sex", "gender"});
}

}  // namespace

bool RowSample::add(std::span<const std::string_view> fields, std::int64_t line) {
    std::size_t size = 0;
    for (const std::string_view field : fields) size += field.size() + sizeof(std::string);
    if (rows() == kMaxRows || (rows() > 0 && bytes_ + size > kMaxBytes)) return false;
    bytes_ += size;
    fields_.insert(fields_.end(), fields.begin(), fields.end());
    starts_.push_back(fields_.size());
    lines_.push_back(line);
    return true;
}

std::span<const std::string_view> RowSample::fields(std::size_t r) {
    views_.assign(fields_.begin() + static_cast<std::ptrdiff_t>(starts_[r]),
                  fields_.begin() + static_cast<std::ptrdiff_t>(starts_[r + 1]));
    return views_;
}

std::vector<ColumnJudgement> judgeColumns(RowSample& sample, std::span<const std::size_t> candidates,
                                          std::span<const std::string> names,
                                          const std::function<bool(std::string_view)>& isMissing) {
    const std::size_t C = candidates.size();
    std::vector<std::unordered_map<std::string, std::size_t>> rows(C);  // label -> rows, per column
    std::vector<std::vector<std::pair<std::string, std::string>>> firstSeen(C);  // (label, spelling) in order
    std::vector<ColumnProfile> profiles(C);
    std::vector<std::size_t> together(C);  // rows on which another candidate column has a label too
    std::vector<std::size_t> ratedHere;
    for (std::size_t r = 0; r < sample.rows(); ++r) {
        const std::span<const std::string_view> fields = sample.fields(r);
        ratedHere.clear();
        for (std::size_t i = 0; i < C; ++i) {
            const std::size_t c = candidates[i];
            if (c >= fields.size() || isMissing(fields[c])) continue;
            ratedHere.push_back(i);
            ++profiles[i].rated;
            profiles[i].wholeNumbers = profiles[i].wholeNumbers && wholeNumberLabel(fields[c]).has_value();
            std::string key = labelKey(fields[c]);
            const auto [it, isNew] = rows[i].try_emplace(key, 0);
            ++it->second;
            if (isNew) firstSeen[i].emplace_back(std::move(key), std::string(fields[c]));
        }
        if (ratedHere.size() >= 2)
            for (const std::size_t i : ratedHere) ++together[i];
    }
    std::unordered_map<std::string, std::size_t> columnsWith;  // label -> candidate columns that have it
    for (const auto& labels : rows)
        for (const auto& entry : labels) ++columnsWith[entry.first];

    // Columns named as a series (r1, r2, ...; rater_A, rater_B, ...) are the
    // raters' whatever their labels: a rater may disagree with every other.
    std::vector<std::string> stems;
    for (const std::size_t c : candidates)
        stems.push_back(c < names.size() && !wholeNumberLabel(names[c]) ? nameStem(names[c]) : std::string());
    const auto inSeries = [&](std::size_t i) {
        return !stems[i].empty() && std::count(stems.begin(), stems.end(), stems[i]) > 1;
    };

    std::vector<ColumnJudgement> judged;
    for (std::size_t i = 0; i < C; ++i) {
        ColumnProfile& p = profiles[i];
        p.column = candidates[i];
        p.distinct = rows[i].size();
        for (const auto& [key, spelling] : firstSeen[i]) {
            if (p.first.size() < 3) p.first.push_back(spelling);
            if (columnsWith[key] > 1) continue;
            ++p.exclusive;
            if (p.exclusives.size() < 3) p.exclusives.push_back(spelling);
        }

        const std::string plain = p.column < names.size() ? plainName(names[p.column]) : std::string();
        // Evidence enough: an identifier shows on five rows (or two, when its
        // name says so), other labels that no rater uses on two rows that
        // other columns rate as well.
        const bool allDistinct = p.distinct == p.rated;
        const bool mostExclusive = p.exclusive * 2 > p.distinct && p.exclusive >= 2 && together[i] >= 2;
        ColumnJudgement j;
        j.profile = p;
        if (allDistinct && ((p.rated >= 5 && mostExclusive && !inSeries(i)) || (p.rated >= 2 && identifierName(plain)))) {
            j.role = ColumnRole::Identifier;
            j.byName = identifierName(plain);
        } else if (groupName(plain) || identifierName(plain) || otherName(plain)) {
            j.role = groupName(plain) ? ColumnRole::Group : ColumnRole::Other;
            j.byName = true;
        } else if (mostExclusive && !inSeries(i)) {
            // A few values, each on many rows, and on every row: groups.
            const bool grouped = p.distinct >= 2 && p.rated == sample.rows() && p.distinct * 3 <= p.rated;
            j.role = grouped ? ColumnRole::Group : ColumnRole::Other;
        } else {
            continue;
        }
        judged.push_back(std::move(j));
    }
    return judged;
}

bool headerLooksLikeData(RowSample& sample, std::span<const std::size_t> raters, std::span<const std::string> names,
                         const std::function<bool(std::string_view)>& isMissing) {
    std::unordered_set<std::string> labels;
    bool everyLabelWhole = true;
    for (std::size_t r = 0; r < sample.rows(); ++r) {
        const std::span<const std::string_view> fields = sample.fields(r);
        for (const std::size_t c : raters) {
            if (c >= fields.size() || isMissing(fields[c])) continue;
            labels.insert(labelKey(fields[c]));
            everyLabelWhole = everyLabelWhole && wholeNumberLabel(fields[c]).has_value();
        }
    }
    if (labels.empty()) return false;
    bool everyNameALabel = true, everyNameWhole = true, anyName = false;
    for (const std::size_t c : raters) {
        if (c >= names.size() || isMissing(names[c])) continue;
        anyName = true;
        everyNameALabel = everyNameALabel && labels.contains(labelKey(names[c]));
        everyNameWhole = everyNameWhole && wholeNumberLabel(names[c]).has_value();
    }
    return anyName && (everyNameALabel || (everyNameWhole && everyLabelWhole));
}

}  // namespace kappa
