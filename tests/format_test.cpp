// The three output formats on one hand-built analysis: golden files, the JSON
// read back, the CSV columns and quoting, and '.' decimals whatever the locale.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <locale>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "format/format.h"
#include "input/printable.h"

namespace kappa {
namespace {

// Two raters, three categories: Cohen's kappa with a negative restricted
// variance, quadratic weighted kappa whose interval based on w has no real
// solution, and a Fleiss' kappa that cannot be computed.
Analysis handBuilt() {
    Analysis a;
    a.raters = 2;
    a.categories = 3;
    a.labels = {"none", "mild, or \"slight\"", "severe"};
    a.subjects = 100;
    a.dropped = 2;
    a.z = 1.959941;
    a.zExact = 1.959963984540054;
    a.rawAgreement = 0.85;
    a.rawAgreementSubjects = 100;
    a.raterSummary = {{"ana", 100, {40, 35, 25}}, {"rater \"b\"", 98, {36, 37, 25}}};
    a.fewestRatings = 98;
    a.mostRatings = 100;
    a.medianRatings = 99;
    a.notes = {"a note about the whole analysis"};

    Estimate cohen;
    cohen.name = "Cohen's kappa";
    cohen.subjects = 100;
    cohen.kappa = 0.7;
    cohen.se = 0.07106335201775947;
    cohen.variance = cohen.se * cohen.se;
    cohen.observed = 0.85;
    cohen.chance = 0.5;
    cohen.wald = {Distribution::Normal, kNaN, 9.850365, 6.8e-23, {0.5607, 0.8393}};
    RestrictedTest none;
    none.negativeVariance = true;
    none.ci = {0.5694, 0.8246};
    none.ciSet = IntervalSet{{0.5694, 0.8246}};
    none.independence = 7.0353;
    none.independencePValue = 1.99e-12;
    cohen.restricted = {none};
    cohen.notes = {"restricted variance at kappa0 = 0 is negative: no restricted statistic"};
    cohen.report = "Cohen's kappa = .70, 95% CI [.56, .84], z = 7.04, p < .001; 100 subjects, 2 raters.";

    Estimate quadratic = cohen;
    quadratic.weights = Weighting::Quadratic;
    quadratic.name = "Cohen's weighted kappa";
    quadratic.kappa = 0.7287;
    quadratic.se = 0.06277;
    quadratic.observed = 0.0914;
    quadratic.chance = 0.3370;
    quadratic.wald = {Distribution::Normal, kNaN, 11.609, 3.7e-31, {0.6056, 1.0}};
    RestrictedTest v;
    v.basis = Basis::V;
    v.statistic = 4.3584;
    v.pValue = 1.31e-05;
    v.ci = {0.5787, 0.8452};
    v.ciSet = IntervalSet{{-HUGE_VAL, 0.1234}, {0.5787, 0.8452}};
    v.independence = 7.3076;
    v.independencePValue = 2.7e-13;
    RestrictedTest w = v;
    w.basis = Basis::W;
    w.noSolution = true;
    w.ci = {};
    w.ciSet = IntervalSet{};
    w.pValue = 0.1234567;
    quadratic.restricted = {v, w};
    quadratic.notes = {"the restricted interval (based on v) is two disjoint pieces",
                       "the restricted interval (based on w) is empty"};
    quadratic.report = "Cohen's weighted kappa (quadratic weights) = .73, 95% CI [.61, 1.00], z = 7.31, p < .001; "
                       "100 subjects, 2 raters.";

    Estimate fleiss;
    fleiss.coefficient = Coefficient::Fleiss;
    fleiss.name = "Fleiss' kappa";
    fleiss.subjects = 102;
    fleiss.observed = 1.0;
    fleiss.chance = 1.0;
    fleiss.wald.distribution = Distribution::StudentT;
    fleiss.wald.df = 101;
    fleiss.notes = {"chance agreement p_e = 1: the coefficient is undefined"};
    fleiss.report = "Fleiss' kappa cannot be computed; 102 subjects, 2 raters.";

    a.estimates = {cohen, quadratic, fleiss};
    return a;
}

const Source source{"site \"north\", 2024.csv", "ward 3", InputFormat::Ratings, ','};

std::string formatAll(OutputFormat f) { return formatPreamble(f) + formatAnalysis(f, source, handBuilt()); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Compares with tests/format_golden/NAME; KAPPA_UPDATE_GOLDEN=1 rewrites it.
void expectGolden(const std::string& name, const std::string& actual) {
    const std::string path = std::string(KAPPA_TESTS_DIR) + "/format_golden/" + name;
    if (std::getenv("KAPPA_UPDATE_GOLDEN")) std::ofstream(path, std::ios::binary) << actual;
    EXPECT_EQ(readFile(path), actual) << "differs from " << path;
}

// A locale whose decimal point is a comma, as in many European locales.
struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(Format, GoldenOutputsWhateverTheGlobalLocale) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    const std::string text = formatAll(OutputFormat::Text), json = formatAll(OutputFormat::Json),
                      csv = formatAll(OutputFormat::Csv);
    std::locale::global(previous);
    expectGolden("analysis.txt", text);
    expectGolden("analysis.jsonl", json);
    expectGolden("analysis.csv", csv);
}

TEST(Format, JsonReadsBackWithNullsExplained) {
    const std::string line = formatJson(source, handBuilt());
    ASSERT_EQ(line.find('\n'), line.size() - 1) << "one object per line";
    const auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["category_labels"][1], "mild, or \"slight\"");
    const auto& estimates = j["estimates"];
    EXPECT_EQ(estimates[0]["se"].get<double>(), 0.07106335201775947) << "full precision";
    EXPECT_TRUE(estimates[0]["restricted"][0]["statistic"].is_null()) << "negative restricted variance";
    EXPECT_TRUE(estimates[1]["restricted"][0]["ci"].is_null()) << "two pieces";
    EXPECT_TRUE(estimates[1]["restricted"][0]["ci_set"][0][0].is_null()) << "unbounded below";
    EXPECT_EQ(estimates[1]["restricted"][1]["ci_set"], nlohmann::json::array()) << "empty";
    EXPECT_TRUE(estimates[2]["kappa"].is_null());
    EXPECT_TRUE(estimates[2]["wald"]["ci"].is_null());
    EXPECT_EQ(estimates[2]["wald"]["df"], 101);
    EXPECT_TRUE(estimates[2]["restricted"].is_array() && estimates[2]["restricted"].empty());
    for (const auto& e : estimates) EXPECT_FALSE(e["notes"].empty()) << e["name"] << " has nulls";
}

// The fields of each line of RFC 4180 text (no line breaks inside fields here).
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            rows.back().back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            rows.back().emplace_back();
        } else if (!quoted && c == '\n') {
            rows.emplace_back(1);
        } else {
            rows.back().back() += c;
        }
    }
    rows.pop_back();  // after the last line break
    return rows;
}

TEST(Format, CsvColumnsRowsAndQuoting) {
    const std::vector<std::string> columns = {
        "file", "group", "weights", "basis", "subjects", "raters", "categories", "raw_agreement", "kappa", "se",
        "observed", "chance", "wald_statistic", "wald_p_value", "wald_ci_lower", "wald_ci_upper",
        "restricted_statistic", "restricted_p_value", "restricted_ci_lower", "restricted_ci_upper",
        "independence_statistic", "independence_p_value", "dropped_subjects", "coefficient", "wald_df",
        "confidence", "kappa0", "alternative", "name", "report", "notes", "restricted_ci_set",
        "raw_agreement_subjects"};
    const auto rows = parseCsv(formatAll(OutputFormat::Csv));
    ASSERT_EQ(rows.size(), 1u + 1 + 2 + 1) << "header, then a row per estimate and basis";
    EXPECT_EQ(rows[0], columns);
    for (const auto& row : rows) ASSERT_EQ(row.size(), columns.size());
    EXPECT_EQ(rows[1][0], source.file);
    EXPECT_EQ(rows[1][16], "") << "negative restricted variance: no statistic";
    EXPECT_EQ(rows[3][3], "w");
    EXPECT_EQ(rows[3][18], "") << "no restricted interval";
    EXPECT_EQ(rows[3][31], "[]") << "an empty restricted interval";
    EXPECT_EQ(rows[4][3], "") << "no restricted tests: one row, empty basis";
    EXPECT_EQ(rows[4][24], "101");
    EXPECT_EQ(rows[4][30], "a note about the whole analysis; chance agreement p_e = 1: the coefficient is undefined")
        << "the analysis's notes, then the estimate's";
}

TEST(Format, ControlCharactersEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {std::string("\x1B[2J\x7F\0", 6), "\\x1B[2J\\x7F\\x00"},
        {"\xC2\x9B" "31m l\xC3\xA9ger \xC2\xA0", "\\u009B31m l\xC3\xA9ger \xC2\xA0"},  // C1 escaped, not the rest
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(printable(text), shown);
    EXPECT_EQ(quote(std::string(39, 'a') + "\xC3\xA9z"), "'" + std::string(39, 'a') + "...'") << "cut before a character";

    // A label and a group that would forge a line of the report.
    Analysis forged = handBuilt();
    forged.labels[0] = "a\n\n Cohen's kappa 1.0000 \xC2\xB1 0.00000";
    forged.raterSummary[0].name = "ana\n Cohen's kappa 1.0000";
    const Source hostile{"data\n.csv", "ward\r3", InputFormat::Ratings, ','};
    const std::string text = formatText(hostile, forged);
    EXPECT_NE(text.find(" File: data\\n.csv\n Group: ward\\r3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("(a\\n\\n Cohen's kappa 1.0000"), std::string::npos) << text;
    EXPECT_EQ(text.find("\n Cohen's kappa 1.0000"), std::string::npos) << "no forged line";
}

}  // namespace
}  // namespace kappa
