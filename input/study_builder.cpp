#include "input/study_builder.h"

#include <algorithm>
#include <bit>
#include <numeric>

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
    slots_[s] = Slot{tag, static_cast<std::uint32_t>(key.size()), index};
    if (size() * 4 > slots_.size() * 3) {  // keep the table at most three quarters full
        std::vector<Slot> larger(slots_.size() * 2);
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

std::optional<std::int64_t> wholeNumberLabel(std::string_view text) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        if (digits == 15) return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && text[i] == '0';) ++i;
    if (i != text.size()) return std::nullopt;
    return negative ? -value : value;
}

std::string canonicalLabel(std::string_view text) {
    if (const auto value = wholeNumberLabel(text)) return std::to_string(*value);
    return std::string(text);
}

namespace {

// Other spellings of whole numbers ("2.0" for "2") kept in the table, at most:
// beyond them a spelling is looked up the slow way each time, so that the
// table does not grow with the file.
constexpr std::size_t kMaxSpellings = 4096;

}  // namespace

CategoryLabels::CategoryLabels(std::span<const std::string> explicitLabels, std::span<const std::string> missing)
    : explicit_(!explicitLabels.empty()) {
    for (const std::string& token : missing)
        if (!find(token)) remember(token, kMissing);
    for (const std::string& label : explicitLabels) {
        const std::string canonical = canonicalLabel(label);
        if (find(canonical)) continue;
        remember(canonical, static_cast<std::uint16_t>(labels_.size()));
        labels_.push_back(label);
        values_.push_back(wholeNumberLabel(label));
    }
    limit_ = labels_.size();
}

std::optional<std::uint16_t> CategoryLabels::find(std::string_view text) const {
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

CategoryLabels::Lookup CategoryLabels::add(std::string_view text, std::uint16_t& id) {
    if (text.empty()) return Lookup::EmptyField;
    const std::string canonical = canonicalLabel(text);
    if (canonical != text) {
        if (const auto known = find(canonical)) {
            id = *known;
            if (spellings_ < kMaxSpellings) {
                remember(text, id);
                ++spellings_;
            }
            return id == kMissing ? Lookup::Missing : Lookup::Found;
        }
    }
    if (explicit_) return Lookup::Outside;
    if (labels_.size() >= limit_) return Lookup::TooMany;
    id = static_cast<std::uint16_t>(labels_.size());
    remember(canonical, id);
    if (canonical != text && spellings_ < kMaxSpellings) {
        remember(text, id);
        ++spellings_;
    }
    values_.push_back(wholeNumberLabel(text));
    labels_.push_back(canonical);
    return Lookup::Found;
}

CategoryLabels::Final CategoryLabels::finish(std::int64_t largestK) const {
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
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return labels_[a] < labels_[b]; });
    for (std::size_t k = 0; k < n; ++k) {
        result.labels.push_back(labels_[order[k]]);
        result.code[order[k]] = static_cast<std::uint16_t>(k);
    }
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

}  // namespace kappa
