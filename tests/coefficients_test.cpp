// The chance-corrected coefficients against the published values of irrCAC
// and of Krippendorff's examples, their degenerate cases, and the t
// distribution they are referred to.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "inference/chance_corrected.h"
#include "inference/analysis.h"
#include "inference/student_t.h"
#include "input/study_builder.h"
#include "study_fixture.h"

namespace kappa {
namespace {

// A study from a ratings file: a header line, then one subject per line with
// one field per rater, an empty field for a missing rating. `order` lists the
// categories, which defines their scores 1..K.
Study studyOf(std::vector<std::vector<std::string>> subjects, const std::vector<std::string>& order) {
    Study study;
    study.R = static_cast<std::int32_t>(subjects.front().size());
    study.K = static_cast<std::int32_t>(order.size());
    study.labels = order;
    study.frequency.assign(patternCount(study.K, study.R), 0);
    for (const auto& ratings : subjects) {
        std::vector<std::uint16_t> codes;
        std::size_t p = 0;
        bool complete = true, any = false;
        for (const std::string& rating : ratings) {
            std::uint16_t code = kMissing;
            for (std::size_t k = 0; k < order.size(); ++k)
                if (order[k] == rating) code = static_cast<std::uint16_t>(k);
            if (!rating.empty() && code == kMissing) ADD_FAILURE() << "unknown category " << rating;
            complete = complete && code != kMissing;
            any = any || code != kMissing;
            codes.push_back(code);
            p = p * order.size() + (code == kMissing ? 0 : code);
        }
        if (complete)
            ++study.frequency[p];
        else if (any)
            study.incomplete.push_back({codes, 1, 0});
    }
    return study;
}

Study readStudy(const std::string& file, const std::vector<std::string>& order) {
    std::ifstream in(std::string(KAPPA_TEST_DATA) + "/coefficients/" + file);
    EXPECT_TRUE(in) << file;
    std::string line;
    std::getline(in, line);  // header
    std::vector<std::vector<std::string>> subjects;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream row(line + ",");
        for (std::string field; std::getline(row, field, ',');) fields.push_back(field);
        subjects.push_back(fields);
    }
    return studyOf(subjects, order);
}

// The category orders of the reference data.
const std::map<std::string, std::vector<std::string>> kOrders = {
    {"cont3x3abstractors.csv", {"Ectopic", "AIU", "NIU"}},
    {"cac.raw.gender.csv", {"a", "b", "c"}},
    {"cac.raw4raters.csv", {"1", "2", "3", "4", "5"}},
    {"distrib.6raters.csv", {"Depression", "Personality.Disorder", "Schizophrenia", "Neurosis", "Other"}},
    {"krippendorff3x15.csv", {"1", "2", "3", "4"}},
};

// Checks a value against a published one to the digits printed: within half a
// unit of the last printed digit ("0.14548" within 5e-6, "4.345373e-05"
// within 5e-12).
void expectPrinted(double actual, const char* printed, const std::string& what) {
    if (printed == nullptr) return;
    const std::string text = printed;
    const std::size_t e = text.find('e');
    const std::string mantissa = text.substr(0, e);
    const std::size_t dot = mantissa.find('.');
    const int decimals = dot == std::string::npos ? 0 : static_cast<int>(mantissa.size() - dot - 1);
    const int exponent = e == std::string::npos ? 0 : std::atoi(text.c_str() + e + 1);
    const double tolerance = 0.5 * std::pow(10.0, exponent - decimals) * (1 + 1e-9);
    EXPECT_NEAR(actual, std::strtod(printed, nullptr), tolerance) << what;
}

struct Published {
    const char* file;
    Coefficient c;
    Weighting w;
    const char* value;
    const char* se = nullptr;
    const char* pa = nullptr;
    const char* pe = nullptr;
    const char* p = nullptr;  // two-sided, kappa0 = 0
    const char* lower = nullptr;
    const char* upper = nullptr;
};

using C = Coefficient;
using W = Weighting;
const char* const kAbstractors = "cont3x3abstractors.csv";
const char* const kGender = "cac.raw.gender.csv";
const char* const k4Raters = "cac.raw4raters.csv";
const char* const k6Raters = "distrib.6raters.csv";
const char* const kKrippendorff = "krippendorff3x15.csv";

const Published kPublished[] = {
    // cont3x3abstractors (R = 2): the table values, SEs times sqrt(100/99).
    {kAbstractors, C::Percent, W::None, "0.8900000", "0.0314466"},
    {kAbstractors, C::Fleiss, W::None, "0.7962397", "0.0593522"},
    {kAbstractors, C::Conger, W::None, "0.7964094", "0.0592075"},
    {kAbstractors, C::Gwet, W::None, "0.8493305", "0.0434352"},
    {kAbstractors, C::BrennanPrediger, W::None, "0.8350000", "0.0471699"},
    {kAbstractors, C::Alpha, W::None, "0.7972585", "0.0593522"},
    {kAbstractors, C::Percent, W::Quadratic, "0.9725000", "0.0078617"},
    {kAbstractors, C::Fleiss, W::Quadratic, "0.8921093", "0.0355734"},
    {kAbstractors, C::Conger, W::Quadratic, "0.8921569", "0.0355296"},
    {kAbstractors, C::Gwet, W::Quadratic, "0.9402369", "0.0180105"},
    {kAbstractors, C::BrennanPrediger, W::Quadratic, "0.9175000", "0.0235850"},
    {kAbstractors, C::Alpha, W::Quadratic, "0.8926487", "0.0355734"},
    // cac.raw.gender (complete, R = 4), unweighted, 14 df.
    {kGender, C::Percent, W::None, "0.4555556", "0.0679765", "0.4555556", "0", "1.008e-05", "0.30976", "0.60135"},
    {kGender, C::Fleiss, W::None, "0.1288889", "0.1405013", "0.4555556", "0.3750000", "0.374493", "-0.17246",
     "0.43023"},
    {kGender, C::Conger, W::None, "0.1657208", "0.1212060", "0.4555556", "0.3474074", "0.193094", "-0.09424",
     "0.42568"},
    {kGender, C::Gwet, W::None, "0.2080808", "0.0906968", "0.4555556", "0.3125000", "0.0377599", "0.01356",
     "0.40261"},
    {kGender, C::BrennanPrediger, W::None, "0.1833333", "0.1019648", "0.4555556", "0.3333333", "0.0937689",
     "-0.03536", "0.40203"},
    {kGender, C::Alpha, W::None, "0.1434074", "0.1405013", "0.4646296", "0.3750000", "0.324719", "-0.15794",
     "0.44475"},
    // cac.raw4raters (missing ratings), unweighted; alpha in its current form
    // (SE 0.14548, n0 - 1 = 11 df, observed the corrected 0.805).
    {k4Raters, C::Percent, W::None, "0.8181818", "0.12561", "0.8181818", "0", "4.345373e-05", "0.542", "1"},
    {k4Raters, C::Gwet, W::None, "0.77544", "0.14295", "0.8181818", "0.1903212", "0.000208721", "0.461", "1"},
    {k4Raters, C::Fleiss, W::None, "0.76117", "0.15302", "0.8181818", "0.2387153", "0.000419173", "0.424", "1"},
    {k4Raters, C::Conger, W::None, "0.76282", "0.14917", "0.8181818", "0.2334252", "0.0003367066", "0.435", "1"},
    {k4Raters, C::BrennanPrediger, W::None, "0.77273", "0.14472", "0.8181818", "0.2", "0.0002375609", "0.454",
     "1"},
    {k4Raters, C::Alpha, W::None, "0.74342", "0.14548", "0.805", "0.24", "0.000338625", "0.423", "1"},
    // cac.raw4raters, quadratic.
    {k4Raters, C::Percent, W::Quadratic, "0.9753788", "0.09062", "0.9753788", "0", "3.526377e-07"},
    {k4Raters, C::Gwet, W::Quadratic, "0.914", "0.10396", "0.9753788", "0.7137044", "2.634438e-06"},
    {k4Raters, C::Fleiss, W::Quadratic, "0.86494", "0.14603", "0.9753788", "0.8177083", "9.976081e-05"},
    {k4Raters, C::Alpha, W::Quadratic, "0.84911", "0.12905", "0.9735938", "0.825", "3.972199e-05"},
    {k4Raters, C::Conger, W::Quadratic, "0.85771", "0.14367", "0.9753788", "0.8269638", "9.319979e-05"},
    {k4Raters, C::BrennanPrediger, W::Quadratic, "0.90152", "0.11089", "0.9753788", "0.75", "5.60548e-06"},
    // cac.raw4raters, other weights (3 decimals).
    {k4Raters, C::Fleiss, W::Linear, "0.818", "0.149"},
    {k4Raters, C::Gwet, W::Linear, "0.859", "0.117"},
    {k4Raters, C::Conger, W::Linear, "0.814", "0.145"},
    {k4Raters, C::Alpha, W::Linear, "0.800", "0.135"},
    {k4Raters, C::BrennanPrediger, W::Linear, "0.848", "0.123"},
    {k4Raters, C::Fleiss, W::Bipolar, "0.853", "0.145"},
    {k4Raters, C::Gwet, W::Bipolar, "0.900", "0.106"},
    {k4Raters, C::Alpha, W::Ratio, "0.797"},
    {k4Raters, C::Alpha, W::Ordinal, "0.834"},
    // distrib.6raters: the columns are not raters, so no Conger.
    {k6Raters, C::Percent, W::None, "0.5511111", "0.0664971"},
    {k6Raters, C::Fleiss, W::None, "0.4139265", "0.08119291", nullptr, "0.2340741", "0.0001622724"},
    {k6Raters, C::Gwet, W::None, "0.4448007", "0.08418757", nullptr, "0.1914815", "0.0001155927"},
    {k6Raters, C::BrennanPrediger, W::None, "0.4388889", "0.08312142", nullptr, nullptr, "0.0001163"},
    {k6Raters, C::Alpha, W::None, "0.4204384", "0.0811929", "0.5560988"},
    {k6Raters, C::Percent, W::Quadratic, "0.8544444", "0.0266873"},
    {k6Raters, C::Fleiss, W::Quadratic, "0.2511909", "0.1457381", nullptr, nullptr, "0.1067865", "-0.061"},
    {k6Raters, C::Gwet, W::Quadratic, "0.4837438", "0.1058227"},
    {k6Raters, C::BrennanPrediger, W::Quadratic, "0.4177778", "0.1067493"},
    {k6Raters, C::Alpha, W::Quadratic, "0.259511", "0.1457381"},
    // Krippendorff's 3 coders x 15 units, two units without a rating.
    {kKrippendorff, C::Alpha, W::None, "0.691358"},
    {kKrippendorff, C::Alpha, W::Quadratic, "0.810845"},
    // Krippendorff's ordinal metric: his published 0.815 on cac.raw4raters (the
    // example of Krippendorff 2011), then the exact values of
    // bench/krippendorff_check.py (alpha from the coincidence matrix; the
    // others from their definitions with the metric's weights).
    {k4Raters, C::Alpha, W::KrippendorffOrdinal, "0.815"},
    {k4Raters, C::Alpha, W::KrippendorffOrdinal, "0.8153875037549"},
    {kKrippendorff, C::Alpha, W::KrippendorffOrdinal, "0.8067214199413"},
    {kGender, C::Alpha, W::KrippendorffOrdinal, "0.0797942386831"},
    {kGender, C::Fleiss, W::KrippendorffOrdinal, "0.0641975308642", "0.1564506757362"},
    {kGender, C::Conger, W::KrippendorffOrdinal, "0.1179208688906", "0.1237861815069"},
    {kGender, C::Gwet, W::KrippendorffOrdinal, "0.1115018315018", "0.1431817698187"},
    {kGender, C::BrennanPrediger, W::KrippendorffOrdinal, "0.0026315789474", "0.1762252881861"},
    {kGender, C::Percent, W::KrippendorffOrdinal, "0.6631111111111", "0.0595249862318"},
};

// Each study with its table of response patterns and without it.
TEST(ChanceCorrected, PublishedValues) {
    std::map<std::string, Study> studies, held;
    for (const auto& [file, order] : kOrders) {
        studies.emplace(file, readStudy(file, order));
        held.emplace(file, withoutPatternTable(studies.at(file), true));
    }
    for (const auto* way : {&studies, &held}) {
        for (const Published& row : kPublished) {
            const Estimate e = chanceCorrectedEstimate(way->at(row.file), row.c, row.w, 95, 0);
            const std::string what = std::string(row.file) + " " + e.name + " " + std::string(weightingId(row.w)) +
                                     (way == &held ? " without the table" : "");
            expectPrinted(e.kappa, row.value, what + " value");
            expectPrinted(e.se, row.se, what + " SE");
            expectPrinted(e.observed, row.pa, what + " p_a");
            expectPrinted(e.chance, row.pe, what + " p_e");
            expectPrinted(e.wald.pValue, row.p, what + " p");
            expectPrinted(e.wald.ci.lower, row.lower, what + " lower");
            expectPrinted(e.wald.ci.upper, row.upper, what + " upper");
            EXPECT_EQ(e.wald.distribution, Distribution::StudentT);
            EXPECT_NEAR(e.se * e.se, e.variance, 1e-15) << what;
            EXPECT_TRUE(e.restricted.empty());
        }
    }
    // Every subject with a rating counts, in n and in the degrees of freedom.
    const Estimate alpha = chanceCorrectedEstimate(studies.at(kKrippendorff), C::Alpha, W::None, 95, 0);
    EXPECT_EQ(alpha.subjects, 13);
    EXPECT_EQ(alpha.wald.df, 12);
    const Estimate fleiss = chanceCorrectedEstimate(studies.at(k4Raters), C::Fleiss, W::None, 95, 0);
    EXPECT_EQ(fleiss.subjects, 12);
    EXPECT_EQ(fleiss.wald.df, 11);
}

// At R = 2 Conger's kappa is Cohen's, which the program computes by its own
// route as Hubert's kappa (Fleiss' = Scott's pi is pinned by the published
// values above).
TEST(ChanceCorrected, CongerIsCohenForTwoRaters) {
    fixture::Lcg random(7);
    for (const std::int32_t K : {2, 3, 5}) {
        std::vector<std::int64_t> F(static_cast<std::size_t>(K * K));
        for (std::int64_t& f : F) f = random.below(9);
        for (std::int32_t k = 0; k < K; ++k) F[static_cast<std::size_t>(k * (K + 1))] += 15;
        const Study study = fixture::studyOf(K, 2, F);
        const double cohen = analyse(study, {}).estimates.at(0).kappa;
        EXPECT_NEAR(chanceCorrectedEstimate(study, C::Conger, W::None, 95, 0).kappa, cohen, 1e-14) << K;
    }
}

// The complete subjects are summed a row of patterns at a time from split
// sums; the same subjects given one by one, as if some ratings were missing,
// take the direct route. Both must agree, for every shape of row and prefix.
TEST(ChanceCorrected, PatternRowsMatchSubjectBySubject) {
    fixture::Lcg random(11);
    const struct {
        std::int32_t R, K;
    } shapes[] = {{2, 4}, {3, 5}, {6, 3}, {9, 2}};
    for (const auto& shape : shapes) {
        Study rows;
        rows.R = shape.R;
        rows.K = shape.K;
        rows.frequency.assign(patternCount(shape.K, shape.R), 0);
        for (std::int64_t& F : rows.frequency) F = random.below(3) == 0 ? 0 : random.below(6);
        rows.frequency.front() += 30;
        rows.frequency.back() += 30;
        Study single = rows;
        single.frequency.assign(rows.frequency.size(), 0);
        for (std::size_t p = 0; p < rows.frequency.size(); ++p) {
            std::vector<std::uint16_t> codes(static_cast<std::size_t>(shape.R));
            patternDigits(p, shape.K, codes);
            if (rows.frequency[p] > 0) single.incomplete.push_back({codes, rows.frequency[p], 0});
        }
        for (const C c : {C::Percent, C::Fleiss, C::Conger, C::Gwet, C::BrennanPrediger, C::Alpha})
            for (const W w : {W::None, W::Quadratic, W::Bipolar}) {
                const Estimate a = chanceCorrectedEstimate(rows, c, w, 95, 0);
                const Estimate b = chanceCorrectedEstimate(single, c, w, 95, 0);
                const std::string what = a.name + " " + std::string(weightingId(w)) + " R = " +
                                         std::to_string(shape.R) + " K = " + std::to_string(shape.K);
                EXPECT_NEAR(a.kappa, b.kappa, 1e-13) << what;
                EXPECT_NEAR(a.se, b.se, 1e-13) << what;
                EXPECT_NEAR(a.observed, b.observed, 1e-13) << what;
                EXPECT_NEAR(a.chance, b.chance, 1e-13) << what;
            }
    }
}

bool allNaN(const Estimate& e) {
    return std::isnan(e.kappa) && std::isnan(e.se) && std::isnan(e.wald.statistic) && std::isnan(e.wald.pValue) &&
           std::isnan(e.wald.ci.lower) && std::isnan(e.wald.ci.upper) && !e.notes.empty();
}

// Every rating in one category of K = 3: p_e = 1 for the coefficients with
// pooled or rater marginals; AC1, BP and percent agreement are 1 with SE 0,
// and no test.
TEST(ChanceCorrectedDegenerate, ChanceAgreementOne) {
    const Study study = studyOf({{"b", "b", "b"}, {"b", "b", "b"}, {"b", "b", ""}, {"b", "b", "b"}}, {"a", "b", "c"});
    for (const C c : {C::Fleiss, C::Conger, C::Alpha}) {
        const Estimate e = chanceCorrectedEstimate(study, c, W::None, 95, 0);
        EXPECT_EQ(e.chance, 1.0) << e.name;
        EXPECT_TRUE(allNaN(e)) << e.name;
    }
    for (const C c : {C::Gwet, C::BrennanPrediger, C::Percent}) {
        const Estimate e = chanceCorrectedEstimate(study, c, W::Quadratic, 95, 0);
        EXPECT_EQ(e.kappa, 1.0) << e.name;
        EXPECT_EQ(e.se, 0.0) << e.name;
        EXPECT_EQ(e.wald.ci.lower, 1.0) << e.name;
        EXPECT_EQ(e.wald.ci.upper, 1.0) << e.name;
        EXPECT_TRUE(std::isnan(e.wald.pValue)) << e.name;
        EXPECT_TRUE(e.wald.zeroVariance) << e.name;
        EXPECT_FALSE(e.notes.empty()) << e.name;
    }
}

// Agreement and chance agreement both within 1e-6 of 1 (linear weights, 11
// categories, 2.1 million subjects of whom 5 differ): formed as disagreements,
// the estimates keep the digits that p_a - p_e would lose. Exact values from
// rational arithmetic; Conger's kappa and each subject's part of its variance
// are exactly 0.
TEST(ChanceCorrected, AgreementAndChanceNearOne) {
    std::vector<std::int64_t> frequency(11 * 11 * 11, 0);
    frequency[0 * 121 + 1 * 11 + 10] = 3;
    frequency[0 * 121 + 1 * 11 + 1] = 2;
    frequency[1 * 121 + 1 * 11 + 1] = 2102313;
    const Study study = fixture::studyOf(11, 3, frequency);
    EXPECT_NEAR(chanceCorrectedEstimate(study, C::Fleiss, W::Linear, 95, 0).kappa, -5.25214190522399e-07, 1e-15);
    EXPECT_NEAR(chanceCorrectedEstimate(study, C::Alpha, W::Linear, 95, 0).kappa, -3.666589631948823e-07, 1e-15);
    const Estimate conger = chanceCorrectedEstimate(study, C::Conger, W::Linear, 95, 0);
    EXPECT_EQ(conger.kappa, 0.0);
    EXPECT_EQ(conger.se, 0.0);

    // Conger's kappa near 0 where 1 - p_e cannot tell: its chance disagreement formed anew.
    std::vector<std::int64_t> other(11 * 11 * 11, 0);
    other[1 * 121 + 1 * 11 + 10] = 3;
    other[0 * 121 + 1 * 11 + 1] = 2;
    other[1 * 121 + 1 * 11 + 1] = 2863954;
    const Study near = fixture::studyOf(11, 3, other);
    EXPECT_NEAR(chanceCorrectedEstimate(near, C::Conger, W::None, 95, 0).kappa, -2.0950024972429768e-07, 1e-15);
    EXPECT_NEAR(chanceCorrectedEstimate(near, C::Conger, W::Quadratic, 95, 0).kappa, 7.69592533632145e-08, 1e-15);
}

// SE = 0 and kappa0 at the estimate: 0/0, no test; the interval stays.
TEST(ChanceCorrectedDegenerate, ZeroStandardErrorAtKappa0) {
    const Study study = studyOf({{"a", "a"}, {"b", "b"}, {"a", "a"}}, {"a", "b"});
    const Estimate e = chanceCorrectedEstimate(study, C::Fleiss, W::None, 95, 1);
    EXPECT_EQ(e.kappa, 1.0);
    EXPECT_EQ(e.se, 0.0);
    EXPECT_TRUE(std::isnan(e.wald.statistic));
    EXPECT_TRUE(std::isnan(e.wald.pValue));
    EXPECT_EQ(e.wald.ci.lower, 1.0);
    EXPECT_EQ(e.wald.ci.upper, 1.0);
    EXPECT_FALSE(e.notes.empty());
}

// A single declared category: AC1 divides by K (K - 1) and BP's p_e = 1/K = 1.
TEST(ChanceCorrectedDegenerate, SingleCategory) {
    const Study study = studyOf({{"x", "x"}, {"x", "x"}, {"x", "x"}}, {"x"});
    EXPECT_TRUE(allNaN(chanceCorrectedEstimate(study, C::Gwet, W::None, 95, 0)));
    EXPECT_TRUE(allNaN(chanceCorrectedEstimate(study, C::BrennanPrediger, W::Linear, 95, 0)));
    EXPECT_EQ(chanceCorrectedEstimate(study, C::Percent, W::Linear, 95, 0).kappa, 1.0);
}

// One subject: a value, but no variance (divisor n (n - 1)) and 0 df.
TEST(ChanceCorrectedDegenerate, OneSubject) {
    const Study study = studyOf({{"a", "b", "b"}, {"", "", "a"}}, {"a", "b"});
    for (const C c : {C::Percent, C::Fleiss, C::Conger, C::Gwet, C::BrennanPrediger, C::Alpha}) {
        const Estimate e = chanceCorrectedEstimate(study, c, W::None, 95, 0);
        // alpha has one subject with two ratings or more; the others two subjects.
        const bool alpha = c == C::Alpha;
        EXPECT_FALSE(std::isnan(e.kappa)) << e.name;
        EXPECT_EQ(std::isnan(e.se), alpha) << e.name;
        EXPECT_EQ(e.subjects, 2) << e.name;
        EXPECT_FALSE(e.notes.empty()) << e.name;
    }
    const Study lone = studyOf({{"a", "b", "b"}}, {"a", "b"});
    const Estimate e = chanceCorrectedEstimate(lone, C::Gwet, W::None, 95, 0);
    EXPECT_FALSE(std::isnan(e.kappa));
    EXPECT_TRUE(std::isnan(e.se));
    EXPECT_EQ(e.wald.df, 0.0);
    EXPECT_TRUE(std::isnan(e.wald.ci.lower));
}

// No subject with two ratings, and Conger with a rater who rated no one.
TEST(ChanceCorrectedDegenerate, TooFewRatings) {
    const Study single = studyOf({{"a", ""}, {"", "b"}, {"b", ""}}, {"a", "b"});
    for (const C c : {C::Percent, C::Fleiss, C::Conger, C::Gwet, C::BrennanPrediger, C::Alpha}) {
        const Estimate e = chanceCorrectedEstimate(single, c, W::None, 95, 0);
        EXPECT_TRUE(allNaN(e)) << e.name;
        EXPECT_TRUE(std::isnan(e.observed)) << e.name;
    }
    const Study idle = studyOf({{"a", "a", ""}, {"b", "a", ""}, {"b", "b", ""}}, {"a", "b"});
    EXPECT_TRUE(allNaN(chanceCorrectedEstimate(idle, C::Conger, W::None, 95, 0)));
    EXPECT_FALSE(std::isnan(chanceCorrectedEstimate(idle, C::Fleiss, W::None, 95, 0).kappa));
}

// Boost's t, and the inputs on which it must neither throw nor abort.
TEST(StudentT, QuantilesAndExtremes) {
    EXPECT_NEAR(studentConfidenceQuantile(95, 10), 2.228139, 5e-7);
    EXPECT_NEAR(studentConfidenceQuantile(95, 99), 1.984217, 5e-7);
    EXPECT_NEAR(studentPValue(2.228139, 10), 0.05, 1e-7);
    EXPECT_EQ(studentPValue(HUGE_VAL, 3), 0.0);
    EXPECT_EQ(studentPValue(-HUGE_VAL, 3), 0.0);
    EXPECT_EQ(studentPValue(0, 3), 1.0);
    EXPECT_GE(studentPValue(1e300, 2), 0.0);
    EXPECT_GE(studentPValue(40, 1e12), 0.0);
    for (const double df : {0.0, -1.0, HUGE_VAL, std::nan("")}) {
        EXPECT_TRUE(std::isnan(studentPValue(1, df))) << df;
        EXPECT_TRUE(std::isnan(studentConfidenceQuantile(95, df))) << df;
    }
    for (const double Cf : {0.0, 100.0, -5.0, 150.0, std::nan("")})
        EXPECT_TRUE(std::isnan(studentConfidenceQuantile(Cf, 10))) << Cf;
    EXPECT_TRUE(std::isnan(studentPValue(std::nan(""), 10)));
}

}  // namespace
}  // namespace kappa
