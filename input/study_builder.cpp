#include "input/study_builder.h"

#include "input/printable.h"
#include "tables/subjects.h"

#include <algorithm>
#include <cstring>
#include <bit>
#include <iterator>
#include <numeric>
#include <tuple>

namespace kappa {

std::int32_t largestCategoryCount(std::int32_t R) {
    if (R < 1) return 0;
    std::int32_t K = 1;
    for (;;) {
        double patterns = 1.0;
        for (std::int32_t j = 0; j < R && patterns <= kMaxPatterns; ++j) patterns *= K + 1;
        if (patterns > kMaxPatterns) return K;
        ++K;
    }
}

std::pair<std::uint32_t, bool> StringTable::intern(std::string_view key) {
    const std::uint64_t tag = tagOf(key);
    std::size_t s = home(tag, key.size(), mask());
    for (;; s = (s + 1) & mask()) {
        const Slot& slot = slots_[s];
        if (slot.length == kEmpty) break;
        if (matches(slot, tag, key)) return {slot.index, false};
    }
    const auto index = static_cast<std::uint32_t>(size());
    bytes_.append(key);
    offsets_.push_back(bytes_.size());
    slots_[s] = Slot{tag, static_cast<std::uint32_t>(key.size()), index, {}};
    if (key.size() > 8 && key.size() <= kInline) std::memcpy(slots_[s].bytes, key.data(), key.size());
    if (size() * 4 > slots_.size() * 3) {  // keep the table at most three quarters full
        std::vector<Slot, LargeAllocator<Slot>> larger(slots_.size() * 2);
        const std::size_t largerMask = larger.size() - 1;
        for (const Slot& old : slots_) {
            if (old.length == kEmpty) continue;
            std::size_t t = home(old.tag, old.length, largerMask);
            while (larger[t].length != kEmpty) t = (t + 1) & largerMask;
            larger[t] = old;
        }
        slots_ = std::move(larger);
    }
    return {index, true};
}

std::string canonicalLabel(std::string_view text) {
    if (const auto value = wholeNumberLabel(text)) return std::to_string(*value);
    return std::string(text);
}

std::string foldedLabel(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    std::string folded(text);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const auto c = static_cast<unsigned char>(folded[i]);
        if (c >= 'A' && c <= 'Z') {
            folded[i] = static_cast<char>(c - 'A' + 'a');
        } else if (c == 0xC3 && i + 1 < folded.size()) {
            // U+00C0..U+00DE, the capitals of Latin-1 but the multiplication
            // sign, are two bytes C3 80..C3 9E; their small letters are C3 A0..C3 BE.
            const auto next = static_cast<unsigned char>(folded[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) folded[i + 1] = static_cast<char>(next + 0x20);
            ++i;
        }
    }
    return folded;
}

bool isMissingMarker(std::string_view text) {
    static constexpr std::string_view kMarkers[] = {"na",   "n/a", "n.a.", "n.a", "#n/a", "#na", "nan", "null",
                                                    "#null!", "nil", ".",    "-",   "--",   "?"};
    const std::string folded = foldedLabel(text);
    return std::find(std::begin(kMarkers), std::end(kMarkers), folded) != std::end(kMarkers);
}

namespace {

// Other spellings of a label or token ("2.0" for "2", "MILD" for "mild" when
// case is ignored) kept in the lookup tables, at most: beyond them a spelling
// is looked up the slow way each time, so that the tables do not grow with
// the file.
constexpr std::size_t kMaxSpellings = 4096;

}  // namespace

CategoryLabels::CategoryLabels(std::span<const std::string> explicitLabels, std::span<const std::string> missing,
                               bool ignoreCase)
    : missing_(missing.begin(), missing.end()), explicit_(!explicitLabels.empty()), ignoreCase_(ignoreCase) {
    for (const std::string& token : missing) {
        for (const std::string& spelling : {token, canonicalLabel(token)})
            if (!known(spelling)) remember(spelling, kMissing);
        if (!token.empty() && folded_.intern(foldedLabel(canonicalLabel(token))).second) foldedIds_.push_back(kMissing);
    }
    for (const std::string& label : explicitLabels) {
        const std::string canonical = canonicalLabel(label);
        if (known(canonical)) continue;
        const auto id = static_cast<std::uint16_t>(labels_.size());
        remember(canonical, id);
        if (folded_.intern(foldedLabel(canonical)).second) foldedIds_.push_back(id);
        labels_.push_back(label);
        values_.push_back(wholeNumberLabel(label));
        firstLine_.push_back(0);
        firstColumn_.push_back(0);
    }
    limit_ = labels_.size();
}

std::optional<std::uint16_t> CategoryLabels::known(std::string_view text) const {
    if (text.size() <= kShortest) {
        const std::uint64_t key = shortKey(text);
        for (std::size_t s = shortSlot(key);; s = (s + 1) & (shortKeys_.size() - 1)) {
            if (shortKeys_[s] == key) return shortIds_[s];
            if (shortKeys_[s] == kNoKey) return std::nullopt;
        }
    }
    if (const auto index = table_.find(text)) return tableIds_[*index];
    return std::nullopt;
}

std::string CategoryLabels::missingToken(std::string_view folded) const {
    for (const std::string& token : missing_)
        if (foldedLabel(canonicalLabel(token)) == folded) return token;
    return std::string();
}

std::string CategoryLabels::caseVariant(std::string_view text, std::uint16_t other) const {
    const std::string spelling = other == kMissing ? missingToken(foldedLabel(text)) : labels_[other];
    // The blanks around a text, and the text between them.
    const auto parts = [](std::string_view t) {
        const std::size_t first = std::min(t.find_first_not_of(" \t"), t.size());
        const std::size_t last = std::max(first, t.find_last_not_of(" \t") + 1);
        return std::tuple(t.substr(0, first), t.substr(first, last - first), t.substr(last));
    };
    const auto [textBefore, textMiddle, textAfter] = parts(text);
    const auto [otherBefore, otherMiddle, otherAfter] = parts(spelling);
    const bool blanks = textBefore != otherBefore || textAfter != otherAfter;
    const char* how = textMiddle == otherMiddle ? "only in surrounding blanks"
                      : blanks                  ? "only in case and surrounding blanks"
                                                : "only in case";
    if (other == kMissing)
        return quote(text) + " differs " + how + " from the missing token " + quote(spelling) +
               ": --ignore-case reads it as not rated";
    if (firstLine_[other] == 0)
        return quote(text) + " differs " + how + " from the category " + quote(spelling) +
               " of --categories: correct the file, or --ignore-case reads it as " + quote(spelling);
    return quote(text) + " and " + quote(spelling) + " (line " + std::to_string(firstLine_[other]) + ", column " +
           std::to_string(firstColumn_[other]) + ") differ " + how +
           ", and would be two categories: correct the file, or --ignore-case reads them as one category";
}

std::string CategoryLabels::refusal(Lookup outcome, std::string_view text, std::uint16_t id, std::int32_t R,
                                    bool missingApplies) const {
    switch (outcome) {
        case Lookup::EmptyField:
            return "an empty rating, but the empty field is not a missing token (--missing " + listOf(missing_) + ")";
        case Lookup::Outside:
            return quote(text) + " is not one of the categories of --categories (" + listOf(labels_) + ")";
        case Lookup::Marker: {
            if (!missingApplies)
                return quote(text) + " looks like a missing-value marker, not the label of a category: if it is "
                                     "one, list every category, in order, with --categories";
            std::string tokens;  // today's tokens and this one, as --missing takes them
            for (const std::string& token : missing_) tokens += token + ",";
            return quote(text) + " looks like a missing-value marker, but the missing tokens are " +
                   (missing_.empty() ? std::string("none") : listOf(missing_)) + ": --missing '" + tokens +
                   std::string(text) +
                   "' reads it as not rated; if it is a category, list every category, in order, with --categories";
        }
        case Lookup::CaseVariant: return caseVariant(text, id);
        case Lookup::TooMany:
            if (limit_ >= static_cast<std::size_t>(kMaxCategories))
                return quote(text) + " is label number " + std::to_string(labels_.size() + 1) + ": at most " +
                       std::to_string(kMaxCategories) + " categories can be analysed";
            return quote(text) + " is label number " + std::to_string(labels_.size() + 1) + ": with " +
                   std::to_string(R) + (R == 1 ? " rater" : " raters") + " there can be at most " +
                   std::to_string(largestCategoryCount(R)) + " categories (K^R at most " + kMaxPatternsText + ")";
        case Lookup::Found:
        case Lookup::Missing: break;
    }
    return quote(text) + " is not a category";
}

void CategoryLabels::remember(std::string_view text, std::uint16_t id) {
    if (text.size() > kShortest) {
        if (table_.intern(text).second) tableIds_.push_back(id);
        return;
    }
    if (++shortCount_ * 2 > shortKeys_.size()) {  // keep the table at most half full
        std::vector<std::uint64_t> keys(shortKeys_.size() * 2, kNoKey);
        std::vector<std::uint16_t> ids(keys.size(), 0);
        keys.swap(shortKeys_);
        ids.swap(shortIds_);
        for (std::size_t s = 0; s < keys.size(); ++s) {
            if (keys[s] == kNoKey) continue;
            std::size_t t = shortSlot(keys[s]);
            while (shortKeys_[t] != kNoKey) t = (t + 1) & (shortKeys_.size() - 1);
            shortKeys_[t] = keys[s];
            shortIds_[t] = ids[s];
        }
    }
    std::size_t s = shortSlot(shortKey(text));
    while (shortKeys_[s] != kNoKey) s = (s + 1) & (shortKeys_.size() - 1);
    shortKeys_[s] = shortKey(text);
    shortIds_[s] = id;
}

void CategoryLabels::rememberSpelling(std::string_view text, std::uint16_t id) {
    if (spellings_ == kMaxSpellings) return;
    remember(text, id);
    ++spellings_;
}

CategoryLabels::Lookup CategoryLabels::add(std::string_view text, std::uint16_t& id, std::int64_t line,
                                           std::int64_t column) {
    if (text.empty()) return Lookup::EmptyField;
    const std::string canonical = canonicalLabel(text);
    const auto outcome = [](std::uint16_t found) { return found == kMissing ? Lookup::Missing : Lookup::Found; };
    if (canonical != text) {
        if (const auto same = known(canonical)) {
            id = *same;
            rememberSpelling(text, id);
            return outcome(id);
        }
    }
    const std::string folded = foldedLabel(canonical);
    if (const auto index = folded_.find(folded)) {
        id = foldedIds_[*index];
        if (ignoreCase_) {
            rememberSpelling(text, id);
            return outcome(id);
        }
        return id == kMissing && isMissingMarker(text) ? Lookup::Marker : Lookup::CaseVariant;
    }
    if (isMissingMarker(text)) return Lookup::Marker;
    if (explicit_) return Lookup::Outside;
    if (labels_.size() >= limit_) return Lookup::TooMany;
    id = static_cast<std::uint16_t>(labels_.size());
    remember(canonical, id);
    if (canonical != text) rememberSpelling(text, id);
    folded_.intern(folded);
    foldedIds_.push_back(id);
    values_.push_back(wholeNumberLabel(text));
    labels_.push_back(canonical);
    firstLine_.push_back(line);
    firstColumn_.push_back(column);
    return Lookup::Found;
}

CategoryLabels::Final CategoryLabels::finish(std::int64_t largestK, bool inOrderFound) const {
    Final result;
    const std::size_t n = labels_.size();
    result.code.resize(n);
    if (explicit_) {
        result.labels = labels_;
        result.ordered = true;
        std::iota(result.code.begin(), result.code.end(), std::uint16_t{0});
        result.span = static_cast<std::int64_t>(n);
        return result;
    }
    if (n == 0) return result;
    if (std::all_of(values_.begin(), values_.end(), [](const auto& v) { return v.has_value(); })) {
        const auto [low, high] = std::minmax_element(values_.begin(), values_.end());
        const std::int64_t smallest = **low;
        result.span = **high - smallest + 1;
        result.ordered = true;
        if (result.span > largestK) return result;
        for (std::int64_t v = smallest; v <= **high; ++v) result.labels.push_back(std::to_string(v));
        for (std::size_t id = 0; id < n; ++id) result.code[id] = static_cast<std::uint16_t>(*values_[id] - smallest);
        return result;
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (!inOrderFound)
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return labels_[a] < labels_[b]; });
    for (std::size_t k = 0; k < n; ++k) {
        result.labels.push_back(labels_[order[k]]);
        result.code[order[k]] = static_cast<std::uint16_t>(k);
    }
    result.ordered = inOrderFound;
    result.span = static_cast<std::int64_t>(n);
    return result;
}

PatternKey PatternKey::forRaters(std::int32_t R, std::int32_t categories) {
    // Ids 0..categories-1 and the missing code, all ones, above them.
    return PatternKey{R, static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(categories)))};
}

void PatternCounts::grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
        if (slot.key == kEmpty) continue;
        std::size_t s = slotOf(slot.key);
        while (slots_[s].key != kEmpty) s = (s + 1) & (slots_.size() - 1);
        slots_[s] = slot;
    }
}

Study PatternCounts::build(const PatternKey& key, const CategoryLabels::Final& categories) const {
    Study study;
    study.R = key.R;
    study.K = static_cast<std::int32_t>(categories.labels.size());
    study.labels = categories.labels;
    study.frequency.assign(patternCount(study.K, study.R), 0);
    const auto R = static_cast<std::size_t>(key.R);
    const std::uint64_t missing = key.missingCode();
    std::vector<std::uint16_t> codes(R);
    for (const Slot& slot : slots_) {
        if (slot.key == kEmpty) continue;
        bool complete = true;
        for (std::size_t j = 0; j < R; ++j) {
            const std::uint64_t id = (slot.key >> (key.bits * (R - 1 - j))) & missing;
            complete = complete && id != missing;
            codes[j] = id == missing ? kMissing : categories.code[id];
        }
        if (complete) {
            std::size_t p = 0;
            for (const std::uint16_t code : codes) p = p * static_cast<std::size_t>(study.K) + code;
            study.frequency[p] += slot.count;
        } else {
            study.incomplete.push_back(IncompleteSubjects{codes, slot.count, slot.firstLine});
        }
    }
    std::sort(study.incomplete.begin(), study.incomplete.end(),
              [](const IncompleteSubjects& a, const IncompleteSubjects& b) { return a.firstLine < b.firstLine; });
    return study;
}

void RaterTally::grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
        if (slot.key == kEmpty) continue;
        std::size_t s = static_cast<std::size_t>(mixBits(slot.key)) & (slots_.size() - 1);
        while (slots_[s].key != kEmpty) s = (s + 1) & (slots_.size() - 1);
        slots_[s] = slot;
    }
}

RaterCounts RaterTally::build(std::size_t R, std::span<const std::uint16_t> code) const {
    // Each rater's entries placed after those of the raters before it, then
    // sorted by category: one array, however many raters there are.
    const auto forEach = [&](auto visit) {
        if (perRater_) {
            for (std::size_t g = 0; g < counts_.size() && g < R; ++g)
                for (std::size_t id = 0; id < counts_[g].size(); ++id)
                    if (counts_[g][id] > 0) visit(g, RaterCounts::Entry{code[id], counts_[g][id]});
        } else {
            for (const Slot& slot : slots_)
                if (slot.key != kEmpty && slot.count > 0 && (slot.key >> 16) < R)
                    visit(static_cast<std::size_t>(slot.key >> 16), RaterCounts::Entry{code[slot.key & 0xFFFF], slot.count});
        }
    };
    std::vector<std::size_t> start(R + 1, 0);
    forEach([&](std::size_t g, const RaterCounts::Entry&) { ++start[g + 1]; });
    for (std::size_t g = 0; g < R; ++g) start[g + 1] += start[g];
    std::vector<RaterCounts::Entry> entries(start[R]);
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    forEach([&](std::size_t g, const RaterCounts::Entry& e) { entries[next[g]++] = e; });
    for (std::size_t g = 0; g < R; ++g)
        std::sort(entries.begin() + static_cast<std::ptrdiff_t>(start[g]),
                  entries.begin() + static_cast<std::ptrdiff_t>(start[g + 1]),
                  [](const RaterCounts::Entry& a, const RaterCounts::Entry& b) { return a.category < b.category; });
    return RaterCounts(std::move(entries), std::move(start));
}

std::vector<bool> RaterTally::rated(std::size_t R) const {
    std::vector<bool> rated(R, false);
    for (std::size_t g = 0; g < counts_.size() && g < R; ++g)
        rated[g] = std::any_of(counts_[g].begin(), counts_[g].end(), [](std::int64_t n) { return n > 0; });
    for (const Slot& slot : slots_)
        if (slot.key != kEmpty && slot.count > 0 && (slot.key >> 16) < R) rated[slot.key >> 16] = true;
    return rated;
}

void RaterTally::renumber(std::span<const std::uint32_t> index) {
    std::vector<std::vector<std::int64_t>> counts;
    for (std::size_t g = 0; g < counts_.size(); ++g) {
        if (std::none_of(counts_[g].begin(), counts_[g].end(), [](std::int64_t n) { return n > 0; })) continue;
        if (index[g] >= counts.size()) counts.resize(index[g] + std::size_t{1});
        counts[index[g]] = std::move(counts_[g]);
    }
    counts_ = std::move(counts);
    std::vector<Slot> slots;
    slots.swap(slots_);
    slots_.assign(16, Slot{});
    size_ = 0;
    for (const Slot& slot : slots)
        if (slot.key != kEmpty && slot.count > 0)
            add(index[slot.key >> 16], static_cast<std::uint16_t>(slot.key & 0xFFFF), slot.count);
    if (perRater_) slots_.clear();
}

namespace {

// Groups of rated subjects merged at most: beyond them each subject is a
// group of its own, so that the table of merged groups stays small.
constexpr std::size_t kMostMerged = std::size_t{1} << 18;

void appendNumber(std::string& bytes, std::uint64_t value) {
    while (value >= 0x80) {
        bytes.push_back(static_cast<char>(value | 0x80));
        value >>= 7;
    }
    bytes.push_back(static_cast<char>(value));
}

std::uint64_t readNumber(std::string_view bytes, std::size_t& at) {
    std::uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (byte < 0x80) return value;
    }
}

}  // namespace

void ProfileCounter::countProfile(std::int64_t count) {
    std::uint64_t packed = 0;
    bool packs = true;
    for (const std::uint16_t id : ids_) {
        packs = packs && id < kPackedIds && perId_[id] < kPackedCount;
        if (packs) packed |= std::uint64_t{perId_[id]} << (8 * id);
    }
    if (packs) {
        for (const std::uint16_t id : ids_) perId_[id] = 0;
        for (std::size_t s = static_cast<std::size_t>(mixBits(packed)) & (packed_.size() - 1);;
             s = (s + 1) & (packed_.size() - 1)) {
            if (packed_[s].key == packed) {
                packed_[s].subjects += count;
                return;
            }
            if (packed_[s].key != 0) continue;
            packed_[s] = Packed{packed, count};
            if (++packedCount_ * 2 <= packed_.size()) return;
            std::vector<Packed> larger(packed_.size() * 2);
            for (const Packed& p : packed_) {
                if (p.key == 0) continue;
                std::size_t t = static_cast<std::size_t>(mixBits(p.key)) & (larger.size() - 1);
                while (larger[t].key != 0) t = (t + 1) & (larger.size() - 1);
                larger[t] = p;
            }
            packed_ = std::move(larger);
            return;
        }
    }
    std::sort(ids_.begin(), ids_.end());
    key_.clear();
    for (const std::uint16_t id : ids_) {
        appendNumber(key_, id);
        appendNumber(key_, perId_[id]);
        perId_[id] = 0;
    }
    const auto [index, added] = profiles_.intern(key_);
    if (added) profileCount_.push_back(0);
    profileCount_[index] += count;
}

void ProfileCounter::ratingsKey(std::span<const Rating> ratings) {
    key_.clear();
    std::uint32_t rater = 0;
    for (const Rating& rating : ratings) {
        appendNumber(key_, rating.rater - rater);
        appendNumber(key_, rating.category);
        rater = rating.rater;
    }
}

void ProfileCounter::add(std::int64_t count, std::span<const Rating> ratings, std::int64_t line) {
    ids_.clear();
    for (const Rating& rating : ratings) {
        if (rating.category >= perId_.size()) perId_.resize(rating.category + std::size_t{1}, 0);
        if (perId_[rating.category]++ == 0) ids_.push_back(rating.category);
    }
    countProfile(count);
    for (const Rating& rating : ratings) raters_.add(rating.rater, rating.category, count);
    if (!keepRaters_) return;
    if (merging_) {
        ratingsKey(ratings);
        const auto [index, added] = merged_.intern(key_);
        if (added) {
            mergedCount_.push_back(0);
            mergedLine_.push_back(line);
        }
        mergedCount_[index] += count;
        if (merged_.size() >= kMostMerged) stopMerging();
        return;
    }
    rated_.add(count, ratings);
}

void ProfileCounter::add(std::int64_t count, std::span<const CategoryCount> profile) {
    ids_.clear();
    for (const CategoryCount& c : profile) {
        if (c.category >= perId_.size()) perId_.resize(c.category + std::size_t{1}, 0);
        perId_[c.category] = c.count;
        ids_.push_back(static_cast<std::uint16_t>(c.category));
    }
    countProfile(count);
}

void ProfileCounter::stopKeepingRaters() {
    keepRaters_ = false;
    merged_ = StringTable();
    mergedCount_ = {};
    mergedLine_ = {};
    rated_ = RatedSubjects();
}

template <typename Visit>
void ProfileCounter::forEachRated(Visit&& visit) const {
    forEachMerged(visit);
    rated_.forEach([&](std::int64_t count, std::span<const Rating> group) { visit(count, group, std::int64_t{0}); });
}

template <typename Visit>
void ProfileCounter::forEachMerged(Visit&& visit) const {
    std::vector<Rating> ratings;
    for (std::uint32_t i = 0; i < merged_.size(); ++i) {
        const std::string_view key = merged_.key(i);
        ratings.clear();
        std::uint64_t rater = 0;
        for (std::size_t at = 0; at < key.size();) {
            rater += readNumber(key, at);
            ratings.push_back({static_cast<std::uint32_t>(rater), static_cast<std::uint16_t>(readNumber(key, at))});
        }
        visit(mergedCount_[i], std::span<const Rating>(ratings), mergedLine_[i]);
    }
}

void ProfileCounter::stopMerging() {
    if (!merging_) return;
    merging_ = false;
    // Nothing is in rated_ yet: subjects go there only once merging has stopped.
    forEachMerged([&](std::int64_t count, std::span<const Rating> ratings, std::int64_t) { rated_.add(count, ratings); });
    merged_ = StringTable();
    mergedCount_ = {};
    mergedLine_ = {};
}

void ProfileCounter::renumberRaters(std::span<const std::uint32_t> index) {
    raters_.renumber(index);
    if (!keepRaters_) return;
    std::vector<std::int64_t> counts, lines;
    RatedSubjects rated;
    std::vector<Rating> renumbered;
    StringTable merged;
    forEachRated([&](std::int64_t count, std::span<const Rating> ratings, std::int64_t line) {
        renumbered.assign(ratings.begin(), ratings.end());
        for (Rating& rating : renumbered) rating.rater = index[rating.rater];
        if (!merging_) {
            rated.add(count, renumbered);
            return;
        }
        ratingsKey(renumbered);
        merged.intern(key_);
        counts.push_back(count);
        lines.push_back(line);
    });
    merged_ = std::move(merged);
    mergedCount_ = std::move(counts);
    mergedLine_ = std::move(lines);
    rated_ = std::move(rated);
}

void ProfileCounter::buildByProfile(Study& study) {
    std::vector<std::uint16_t> code(static_cast<std::size_t>(study.K));
    std::iota(code.begin(), code.end(), std::uint16_t{0});
    build(study, code, false);
}

void ProfileCounter::build(Study& study, std::span<const std::uint16_t> code, bool table) {
    const auto R = static_cast<std::size_t>(study.R);
    if (table) {
        study.frequency.assign(patternCount(study.K, study.R), 0);
        std::vector<std::uint16_t> codes(R);
        forEachRated([&](std::int64_t count, std::span<const Rating> ratings, std::int64_t line) {
            std::fill(codes.begin(), codes.end(), kMissing);
            for (const Rating& rating : ratings) codes[rating.rater] = code[rating.category];
            if (ratings.size() < R) {
                study.incomplete.push_back(IncompleteSubjects{codes, count, line});
                return;
            }
            std::size_t p = 0;
            for (const std::uint16_t c : codes) p = p * static_cast<std::size_t>(study.K) + c;
            study.frequency[p] += count;
        });
        std::stable_sort(
            study.incomplete.begin(), study.incomplete.end(),
            [](const IncompleteSubjects& a, const IncompleteSubjects& b) { return a.firstLine < b.firstLine; });
        return;
    }
    std::vector<CategoryCount> profile;
    const auto add = [&](std::int64_t subjects) {
        std::sort(profile.begin(), profile.end(),
                  [](const CategoryCount& a, const CategoryCount& b) { return a.category < b.category; });
        study.profiles.add(profile, subjects);
    };
    // The profiles in an order of their own, not of the rows that brought
    // them, so that the same subjects in any order are summed alike.
    std::vector<Packed> packed;
    for (const Packed& p : packed_)
        if (p.key != 0) packed.push_back(p);
    std::sort(packed.begin(), packed.end(), [](const Packed& a, const Packed& b) { return a.key < b.key; });
    for (const Packed& p : packed) {
        profile.clear();
        for (std::uint16_t id = 0; id < kPackedIds; ++id)
            if (const auto n = static_cast<std::uint32_t>((p.key >> (8 * id)) & 0xFF); n > 0)
                profile.push_back({code[id], n});
        add(p.subjects);
    }
    std::vector<std::uint32_t> order(profiles_.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return profiles_.key(a) < profiles_.key(b); });
    for (const std::uint32_t i : order) {
        const std::string_view key = profiles_.key(i);
        profile.clear();
        for (std::size_t at = 0; at < key.size();) {
            const auto id = static_cast<std::size_t>(readNumber(key, at));
            profile.push_back({code[id], static_cast<std::uint32_t>(readNumber(key, at))});
        }
        add(profileCount_[i]);
    }
    if (R > 0) study.raterCounts = raters_.build(R, code);
    if (keepRaters_) {
        stopMerging();
        study.rated = std::move(rated_);
        study.rated.renumber(code);
    }
}

namespace {

// The groups of `study` that `keep` accepts, held without a table of response
// patterns.
template <typename Keep>
Study heldWithoutTable(const Study& study, bool keepRaters, Keep keep) {
    ProfileCounter counter(keepRaters, true);
    forEachSubjectGroup(study, [&](std::int64_t count, std::span<const Rating> ratings) {
        if (keep(ratings)) counter.add(count, ratings, 0);
    });
    Study held;
    held.R = study.R;
    held.K = study.K;
    held.labels = study.labels;
    held.raterNames = study.raterNames;
    held.dropped = study.dropped;
    counter.buildByProfile(held);
    return held;
}

}  // namespace

Study withoutPatternTable(const Study& study, bool keepRaters) {
    return heldWithoutTable(study, keepRaters, [](std::span<const Rating>) { return true; });
}

Study completeSubjectsOf(const Study& study) {
    return heldWithoutTable(study, true, [&](std::span<const Rating> ratings) {
        return ratings.size() == static_cast<std::size_t>(study.R);
    });
}

}  // namespace kappa
