// What the readers of ratings, long and matrix files share: a hash table of
// byte strings, the category labels found in a file, and the response
// patterns of a group of subjects counted as they are read.
//
// A file's categories are known only at its end (every integer from the
// smallest to the largest label, or the labels in byte order), so subjects are
// first counted under provisional category ids, given by first appearance, and
// renumbered once when the file has been read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "input/numbers.h"
#include "tables/large_allocator.h"
#include "tables/profiles.h"
#include "tables/study.h"

namespace kappa {

// The largest K with K^R <= kMaxPatterns: the most categories R raters can have.
std::int32_t largestCategoryCount(std::int32_t R);

// "1,048,576": the pattern limit as messages write it.
inline constexpr const char* kMaxPatternsText = "1,048,576";

// The bytes of s[from, from + count) (count < 8) as a little-endian word.
inline std::uint64_t tailWord(std::string_view s, std::size_t from, std::size_t count) {
    std::uint64_t word = 0;
    for (std::size_t k = count; k-- > 0;) word = (word << 8) | static_cast<unsigned char>(s[from + k]);
    return word;
}

// Every bit of x spread over every bit of the result (MurmurHash3's finaliser).
inline std::uint64_t mixBits(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    return x ^ (x >> 33);
}

// A hash of a byte string, for hash tables.
inline std::uint64_t hashBytes(std::string_view s) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        h = (h ^ word) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    if (i < s.size()) h ^= tailWord(s, i, s.size() - i);
    return mixBits(h);
}

// a == b, without a library call for the short strings that labels are.
inline bool sameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a.size() > 16) return a == b;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// A set of byte strings, each with its index: 0, 1, ... in order of entry.
// The keys are kept one after the other. A slot holds a tag of its key (the
// key itself when it has at most 8 bytes, else a 64-bit hash), its length,
// its index and, up to 16 bytes, the key itself, against which the tag is
// confirmed (a longer key is confirmed against its bytes): so keys of up to
// 16 bytes, as most identifiers are, are found in their slot alone, and the
// table grows without reading the keys again.
class StringTable {
public:
    StringTable() : slots_(16) {}

    std::optional<std::uint32_t> find(std::string_view key) const {
        const std::uint64_t tag = tagOf(key);
        for (std::size_t s = home(tag, key.size(), mask());; s = (s + 1) & mask()) {
            const Slot& slot = slots_[s];
            if (slot.length == kEmpty) return std::nullopt;
            if (matches(slot, tag, key)) return slot.index;
        }
    }

    // The index of `key`, entered with the next index when it is new; and
    // whether it was new.
    std::pair<std::uint32_t, bool> intern(std::string_view key);

    std::size_t size() const { return offsets_.size() - 1; }

    // The key of index i < size().
    std::string_view key(std::uint32_t i) const {
        return std::string_view(bytes_.data() + offsets_[i], offsets_[i + 1] - offsets_[i]);
    }

private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;  // the length of an empty slot
    static constexpr std::size_t kInline = 16;  // the longest key a slot holds
    struct Slot {
        std::uint64_t tag = 0;
        std::uint32_t length = kEmpty;
        std::uint32_t index = 0;
        char bytes[kInline] = {};  // a key of 9 to 16 bytes
    };
    static std::uint64_t tagOf(std::string_view key) {
        if (key.size() > 8) return hashBytes(key);
        if (key.size() < 8) return tailWord(key, 0, key.size());
        std::uint64_t word;
        std::memcpy(&word, key.data(), 8);
        return word;
    }
    static std::size_t home(std::uint64_t tag, std::size_t length, std::size_t mask) {
        return static_cast<std::size_t>(mixBits(tag ^ (length * 0x9E3779B97F4A7C15ull))) & mask;
    }
    bool matches(const Slot& slot, std::uint64_t tag, std::string_view key) const {
        if (slot.tag != tag || slot.length != key.size()) return false;
        if (key.size() <= 8) return true;
        if (key.size() <= kInline) return std::memcmp(slot.bytes, key.data(), key.size()) == 0;
        return sameBytes(this->key(slot.index), key);
    }
    std::size_t mask() const { return slots_.size() - 1; }

    std::vector<Slot, LargeAllocator<Slot>> slots_;  // in huge pages, where a large table is looked up at random
    std::string bytes_;                    // the keys, one after the other
    std::vector<std::size_t> offsets_{0};  // key i is bytes_[offsets_[i], offsets_[i + 1])
};

// The label a text stands for: a whole number in plain decimal ("2" for
// "2.0" or "+02"), any other text as it is.
std::string canonicalLabel(std::string_view text);

// A label as it is compared for spelling variants: its surrounding blanks
// removed and its letters in lower case (ASCII and the Latin-1 letters of
// UTF-8), so that "Mild", " mild" and "MILD" give the same key.
std::string foldedLabel(std::string_view text);

// Whether a label is one of the common spellings of a missing value ("N/A",
// "NULL", "NaN", ".", "-", "#N/A", "?", ...), in any case.
bool isMissingMarker(std::string_view text);

// The categories of a file, from the labels of its ratings, with the tokens
// that mean "not rated". While the file is read each label gets a provisional
// id in order of first appearance (with --categories, its place in the list);
// finish() puts them in their final order.
//
// A label is never taken silently when it may not be what it says: a label
// that differs from a known one only in case or surrounding blanks is a
// CaseVariant (unless case is ignored: then it is the known label), and a
// common missing-value marker that neither the missing tokens nor the
// explicit labels list is a Marker.
class CategoryLabels {
public:
    enum class Lookup { Found, Missing, EmptyField, Outside, TooMany, CaseVariant, Marker };

    // `explicitLabels`: the ordered labels of --categories, or none to find
    // them in the file. `missing`: the tokens of a missing rating ("" is the
    // empty field), read as labels are (so "99.0" is "99"). `ignoreCase`:
    // labels and tokens that differ only in case or surrounding blanks are
    // one, spelled as first seen.
    CategoryLabels(std::span<const std::string> explicitLabels, std::span<const std::string> missing,
                   bool ignoreCase = false);

    // At most `limit` different labels may be found (largestCategoryCount of
    // the number of raters).
    void setLimit(std::size_t limit) { limit_ = limit; }

    // The provisional id of a field's text (kMissing when it is a missing
    // token). Equal whole numbers are one label however they are written.
    // `line` and `column` say where the text is, for the messages about a new
    // label. For a CaseVariant, `id` is the known label it differs from
    // (kMissing: a missing token). Inlined into the readers' loops, which call
    // it for every rating.
    [[gnu::always_inline]] Lookup lookup(std::string_view text, std::uint16_t& id, std::int64_t line = 0,
                                         std::int64_t column = 0) {
        if (text.size() <= kShortest) {
            const std::uint64_t key = shortKey(text);
            for (std::size_t s = shortSlot(key);; s = (s + 1) & (shortKeys_.size() - 1)) {
                if (shortKeys_[s] == key) {
                    id = shortIds_[s];
                    return id == kMissing ? Lookup::Missing : Lookup::Found;
                }
                if (shortKeys_[s] == kNoKey) break;
            }
        } else if (const auto index = table_.find(text)) {
            id = tableIds_[*index];
            return id == kMissing ? Lookup::Missing : Lookup::Found;
        }
        return add(text, id, line, column);
    }

    // The id of a text when it is a known label or token, without adding it.
    std::optional<std::uint16_t> known(std::string_view text) const;

    // Whether a field means "not rated" as far as is known: empty, a
    // missing-value marker, or a missing token.
    bool meansNotRated(std::string_view text) const {
        if (text.empty() || isMissingMarker(text)) return true;
        const auto id = known(canonicalLabel(text));
        return id && *id == kMissing;
    }

    // Labels found so far, by provisional id.
    std::size_t found() const { return labels_.size(); }
    bool isExplicit() const { return explicit_; }
    bool ignoresCase() const { return ignoreCase_; }
    std::span<const std::string> labels() const { return labels_; }
    // Where label `id` was first seen (line 0: given by --categories).
    std::int64_t firstLine(std::uint16_t id) const { return firstLine_[id]; }
    std::int64_t firstColumn(std::uint16_t id) const { return firstColumn_[id]; }
    // Why a text that lookup() did not take as a label or a missing token is
    // refused, and which option settles it. `id` as lookup() left it; R, the
    // raters, for the limit on labels; `missingApplies`: ratings may be
    // missing (not in a cross-table).
    std::string refusal(Lookup outcome, std::string_view text, std::uint16_t id, std::int32_t R,
                        bool missingApplies) const;

    struct Final {
        std::vector<std::string> labels;  // the K labels in order
        bool ordered = false;             // whole numbers or --categories
        std::vector<std::uint16_t> code;  // the final 0-based category of each provisional id
        std::int64_t span = 0;            // K: for whole numbers, how many integers they span
    };
    // The categories in their final order: with --categories, the list; if
    // every label is a whole number, every integer from the smallest to the
    // largest; otherwise the labels in byte order, or in the order they were
    // found when `inOrderFound` (a cross-table's header). When whole numbers
    // span more than `largestK` integers only `span` is set: the file is
    // refused.
    Final finish(std::int64_t largestK, bool inOrderFound = false) const;

private:
    // Texts of at most kShortest bytes, packed with their length into one
    // word, are kept in a table of words: the one nearly every lookup touches.
    static constexpr std::size_t kShortest = 7;
    static constexpr std::uint64_t kNoKey = UINT64_MAX;  // no text has length 255
    static std::uint64_t shortKey(std::string_view text) {
        return tailWord(text, 0, text.size()) | (std::uint64_t{text.size()} << 56);
    }
    std::size_t shortSlot(std::uint64_t key) const {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 40) & (shortKeys_.size() - 1);
    }

    Lookup add(std::string_view text, std::uint16_t& id, std::int64_t line, std::int64_t column);
    // The missing token whose folded form is `folded`, as the options spell it.
    std::string missingToken(std::string_view folded) const;
    // Two spellings of one label: what the refusal says of them.
    std::string caseVariant(std::string_view text, std::uint16_t other) const;
    // Remembers another spelling of a known label or token, up to a bound.
    void rememberSpelling(std::string_view text, std::uint16_t id);
    void remember(std::string_view text, std::uint16_t id);

    std::vector<std::uint64_t> shortKeys_ = std::vector<std::uint64_t>(64, kNoKey);
    std::vector<std::uint16_t> shortIds_ = std::vector<std::uint16_t>(64, 0);
    std::size_t shortCount_ = 0;
    StringTable table_;                                // longer texts
    std::vector<std::uint16_t> tableIds_;              // their ids
    StringTable folded_;                               // the folded form of every label and token
    std::vector<std::uint16_t> foldedIds_;             // their ids
    std::vector<std::string> missing_;                 // the missing tokens as given
    std::vector<std::string> labels_;                  // by provisional id: the label, whole numbers in decimal
    std::vector<std::optional<std::int64_t>> values_;  // by provisional id: its whole number
    std::vector<std::int64_t> firstLine_;              // by provisional id: where it was first seen
    std::vector<std::int64_t> firstColumn_;
    bool explicit_ = false;
    bool ignoreCase_ = false;
    std::size_t limit_ = 0;
    std::size_t spellings_ = 0;  // other spellings kept
};

// A response pattern of provisional ids packed into 64 bits: `bits` per rater,
// rater 0 the most significant, the all-ones code for a missing rating.
struct PatternKey {
    std::int32_t R = 0;
    std::int32_t bits = 0;

    // For R raters and at most `categories` ids (0..categories-1).
    static PatternKey forRaters(std::int32_t R, std::int32_t categories);
    std::uint64_t missingCode() const { return (std::uint64_t{1} << bits) - 1; }
    std::uint64_t append(std::uint64_t key, std::uint16_t id) const {
        return (key << bits) | (id == kMissing ? missingCode() : std::uint64_t{id});
    }
};

// The subjects of one group, counted by provisional response pattern, with
// the line of the first subject of each pattern.
class PatternCounts {
public:
    PatternCounts() : slots_(16) {}

    // Counts `count` subjects (one by default) under `key`; returns the line
    // of the first subject of its pattern, `line` when the pattern is new.
    std::int64_t add(std::uint64_t key, std::int64_t line, std::int64_t count = 1) {
        for (std::size_t s = slotOf(key);; s = (s + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[s];
            if (slot.key == key) {
                slot.count += count;
                return slot.firstLine;
            }
            if (slot.key == kEmpty) {
                slot = Slot{key, count, line};
                if (++size_ * 2 > slots_.size()) grow();
                return line;
            }
        }
    }

    // Patterns seen.
    std::size_t size() const { return size_; }

    // Calls visit(key, count, firstLine) for every pattern seen.
    template <typename Visit>
    void forEach(Visit&& visit) const {
        for (const Slot& slot : slots_)
            if (slot.key != kEmpty) visit(slot.key, slot.count, slot.firstLine);
    }

    // The group as a study: every provisional id renumbered by `code`,
    // complete patterns into the dense frequency table, the others into
    // `incomplete` in order of their first line.
    Study build(const PatternKey& key, const CategoryLabels::Final& categories) const;

private:
    static constexpr std::uint64_t kEmpty = UINT64_MAX;  // no key uses all 64 bits
    struct Slot {
        std::uint64_t key = kEmpty;
        std::int64_t count = 0;
        std::int64_t firstLine = 0;
    };
    std::size_t slotOf(std::uint64_t key) const { return static_cast<std::size_t>(mixBits(key)) & (slots_.size() - 1); }
    void grow();

    std::vector<Slot> slots_;
    std::size_t size_ = 0;
};

// Each rater's ratings by provisional id: in a table per rater when the
// raters are a file's columns (few, and rated on every row), else in one hash
// table of (rater, id), whose size follows the pairs used however many raters
// and categories there are.
class RaterTally {
public:
    explicit RaterTally(bool perRater) : perRater_(perRater), slots_(perRater ? 0 : 16) {}

    void add(std::uint32_t rater, std::uint16_t id, std::int64_t count) {
        if (perRater_) {
            if (rater >= counts_.size()) counts_.resize(rater + 1);
            std::vector<std::int64_t>& of = counts_[rater];
            if (id >= of.size()) of.resize(id + std::size_t{1}, 0);
            of[id] += count;
            return;
        }
        const std::uint64_t key = (std::uint64_t{rater} << 16) | id;
        for (std::size_t s = static_cast<std::size_t>(mixBits(key)) & (slots_.size() - 1);;
             s = (s + 1) & (slots_.size() - 1)) {
            if (slots_[s].key == key) {
                slots_[s].count += count;
                return;
            }
            if (slots_[s].key == kEmpty) {
                slots_[s] = Slot{key, count};
                if (++size_ * 2 > slots_.size()) grow();
                return;
            }
        }
    }

    // The counts of raters 0..R-1, ids renumbered by `code`, categories ascending.
    RaterCounts build(std::size_t R, std::span<const std::uint16_t> code) const;
    // Which of raters 0..R-1 gave a rating.
    std::vector<bool> rated(std::size_t R) const;
    // Rater g becomes rater index[g] (raters without a rating may be dropped).
    void renumber(std::span<const std::uint32_t> index);

private:
    static constexpr std::uint64_t kEmpty = UINT64_MAX;
    struct Slot {
        std::uint64_t key = kEmpty;
        std::int64_t count = 0;
    };
    void grow();

    bool perRater_;
    std::vector<std::vector<std::int64_t>> counts_;  // per rater, by id
    std::vector<Slot> slots_;
    std::size_t size_ = 0;
};

// The subjects of one group counted without a pattern key, for any number of
// raters and categories: by profile, with each rater's ratings, and, when
// kept, the groups of identical subjects with their raters' ratings (merged
// while few raters make that worthwhile, each subject on its own beyond).
// Categories are provisional ids until build().
class ProfileCounter {
public:
    // `keepRaters`: keep the groups of rated subjects. `perRater`: see RaterTally.
    ProfileCounter(bool keepRaters, bool perRater) : keepRaters_(keepRaters), raters_(perRater) {}

    // Counts `count` subjects given `ratings` (raters ascending, at least one
    // rating), the first of them on `line`.
    void add(std::int64_t count, std::span<const Rating> ratings, std::int64_t line);
    // Counts `count` subjects of profile `profile` (ids ascending), without raters.
    void add(std::int64_t count, std::span<const CategoryCount> profile);

    bool keepsRaters() const { return keepRaters_; }
    // The groups of rated subjects are no longer kept (nothing needs them).
    void stopKeepingRaters();
    // Identical subjects are no longer merged: each is a group of its own.
    void stopMerging();
    bool empty() const { return profileCount_.empty() && packedCount_ == 0; }
    // Which of raters 0..R-1 gave a rating.
    std::vector<bool> rated(std::size_t R) const { return raters_.rated(R); }
    // Rater g becomes rater index[g]; raters without a rating may be dropped.
    void renumberRaters(std::span<const std::uint32_t> index);

    // The subjects into `study`, whose R, K and labels are set, ids
    // renumbered by `code`: with its table of response patterns when
    // `table` (the raters' ratings kept, K^R within the limits), else by
    // profile.
    void build(Study& study, std::span<const std::uint16_t> code, bool table);
    // The same by profile, of subjects whose ids are already the codes 0..K-1.
    void buildByProfile(Study& study);

private:
    // Ratings as the key of a merged group: each rater as the step from the
    // one before, and its id, each number in a few bytes.
    void ratingsKey(std::span<const Rating> ratings);
    // Counts `count` subjects of the profile whose ratings per id are in
    // perId_, the ids in ids_ (perId_ is cleared for them).
    void countProfile(std::int64_t count);
    // A profile of ids below 8 with fewer than 256 ratings each, as a number:
    // byte id holds the ratings of id.
    static constexpr std::uint16_t kPackedIds = 8;
    static constexpr std::uint32_t kPackedCount = 256;
    // Calls visit(count, ratings, firstLine) for every group of rated subjects.
    template <typename Visit>
    void forEachRated(Visit&& visit) const;
    template <typename Visit>
    void forEachMerged(Visit&& visit) const;

    bool keepRaters_;
    bool merging_ = true;
    RaterTally raters_;
    struct Packed {
        std::uint64_t key = 0;  // 0: an empty slot (a profile has a rating)
        std::int64_t subjects = 0;
    };
    std::vector<Packed> packed_ = std::vector<Packed>(16);  // profiles as numbers, by hash
    std::size_t packedCount_ = 0;
    StringTable profiles_;                  // other profiles, each (id, count) as two numbers in a few bytes
    std::vector<std::int64_t> profileCount_;
    StringTable merged_;                    // groups of rated subjects merged by their ratings
    std::vector<std::int64_t> mergedCount_, mergedLine_;
    RatedSubjects rated_;                   // groups beyond the merged ones
    std::vector<std::uint32_t> perId_;      // scratch: ratings per id of one subject
    std::vector<std::uint16_t> ids_;
    std::string key_;
};

// The same study held without its table of response patterns, its raters'
// ratings kept when `keepRaters`: what the coefficients read of a study too
// large for the table, here of one that fits, so that the two can be compared.
Study withoutPatternTable(const Study& study, bool keepRaters);

// A study held without its table of response patterns, whose groups of rated
// subjects were kept, with its complete subjects alone: those rated by every
// rater.
Study completeSubjectsOf(const Study& study);

}  // namespace kappa
