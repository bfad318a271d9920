// JSON Lines: one object per analysis. Doubles are written in the shortest
// form that reads back as the same double (nlohmann-json's own conversion,
// which does not depend on the locale); values that cannot be computed are
// null, and the notes say why.
#include <cmath>
#include <nlohmann/json.hpp>

#include "format/format.h"

namespace kappa {

namespace {

using Json = nlohmann::ordered_json;

Json number(double x) { return std::isfinite(x) ? Json(x) : Json(nullptr); }

// [lower, upper], or null when the interval does not exist.
Json interval(const Interval& ci) {
    if (std::isnan(ci.lower) && std::isnan(ci.upper)) return nullptr;
    return Json::array({number(ci.lower), number(ci.upper)});
}

// The pieces [lower, upper] of a restricted interval (null lower limit:
// unbounded below); null when it cannot be computed.
Json intervalSet(const std::optional<IntervalSet>& set) {
    if (!set) return nullptr;
    Json pieces = Json::array();
    for (const Interval& ci : *set) pieces.push_back(interval(ci));
    return pieces;
}

// A statistic, null where there is no test.
Json statistic(double x, bool test) { return test ? number(x) : Json(nullptr); }

Json wald(const WaldTest& test) {
    Json j;
    j["distribution"] = test.distribution == Distribution::StudentT ? "t" : "normal";
    j["df"] = number(test.df);
    j["statistic"] = statistic(test.statistic, !test.zeroVariance);
    j["p_value"] = number(test.pValue);
    j["ci"] = interval(test.ci);
    return j;
}

Json restricted(const RestrictedTest& test) {
    const bool statistic = !test.negativeVariance && !test.zeroVariance;
    Json j;
    j["basis"] = basisId(test.basis);
    j["statistic"] = statistic ? number(test.statistic) : Json(nullptr);
    j["p_value"] = statistic ? number(test.pValue) : Json(nullptr);
    j["ci"] = test.ciSet && test.ciSet->size() == 1 ? interval(test.ciSet->front()) : Json(nullptr);
    j["independence"] = {{"statistic", kappa::statistic(test.independence, !test.independenceZeroVariance)},
                         {"p_value", number(test.independencePValue)}};
    j["ci_set"] = intervalSet(test.ciSet);
    return j;
}

Json estimate(const Estimate& e) {
    Json j;
    j["coefficient"] = coefficientId(e.coefficient);
    j["weights"] = weightingId(e.weights);
    j["name"] = e.name;
    j["subjects"] = e.subjects;
    j["kappa"] = number(e.kappa);
    j["se"] = number(e.se);
    j["observed"] = number(e.observed);
    j["chance"] = number(e.chance);
    j["wald"] = wald(e.wald);
    j["restricted"] = Json::array();
    for (const RestrictedTest& test : e.restricted) j["restricted"].push_back(restricted(test));
    j["notes"] = e.notes;
    j["report"] = e.report;
    return j;
}

Json matrix(const Matrix<std::int64_t>& m) {
    Json rows = Json::array();
    for (std::size_t i = 0; i < m.rows(); ++i) rows.push_back(Json(std::vector<std::int64_t>(m[i].begin(), m[i].end())));
    return rows;
}

Json spread(const LightKappa& light) {
    const Spread& s = light.kappas;
    return {{"weights", weightingId(light.weights)}, {"kappa", number(s.mean)}, {"pairs", light.pairs},
            {"pairs_with_kappa", s.count}, {"min", number(s.min)}, {"lower_quartile", number(s.lowerQuartile)},
            {"median", number(s.median)}, {"upper_quartile", number(s.upperQuartile)}, {"max", number(s.max)},
            {"notes", light.notes}};
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Json diagnostics(const Diagnostics& d, const Analysis& a) {
    Json j = Json::object();
    if (d.pairsListed) {
        j["pairs"] = Json::array();
        for (const PairDiagnostics& p : d.pairs) {
            Json estimates = Json::array();
            for (const Estimate& e : p.estimates) estimates.push_back(estimate(e));
            j["pairs"].push_back({{"raters", {p.first, p.second}}, {"subjects", p.subjects},
                                  {"estimates", std::move(estimates)}, {"notes", p.notes}});
        }
    }
    j["light"] = Json::array();
    for (const LightKappa& light : d.light) j["light"].push_back(spread(light));
    if (!d.raters.empty()) {
        j["rater_agreement"] = Json::array();
        for (const RaterDiagnostics& r : d.raters) {
            Json leftOut = Json::array();
            for (const Estimate& e : r.leftOut)
                leftOut.push_back({{"coefficient", coefficientId(e.coefficient)}, {"weights", weightingId(e.weights)},
                                   {"kappa", number(e.kappa)},
                                   {"notes", std::isfinite(e.kappa) ? std::vector<std::string>{} : e.notes}});
            j["rater_agreement"].push_back(
                {{"name", r.name}, {"agreement", number(r.agreement)}, {"left_out", std::move(leftOut)}, {"notes", r.notes}});
        }
    }
    j["category_agreement"] = Json::array();
    for (const CategoryDiagnostics& c : d.categories) {
        const SpecificAgreement& s = c.specific;
        j["category_agreement"].push_back({{"label", c.label},
                                           {"kappa", number(c.kappa.kappa)},
                                           {"se", number(c.kappa.se)},
                                           {"wald", wald(c.kappa.wald)},
                                           {"specific_agreement",
                                            {{"value", number(s.value)}, {"se", number(s.se)}, {"ci", interval(s.ci)}}},
                                           {"notes", joined(c.kappa.notes, s.notes)}});
    }
    if (d.crossTable) {
        const Matrix<std::int64_t>& n = d.crossTable->counts;
        std::vector<std::int64_t> rows(n.rows(), 0), columns(n.cols(), 0);
        for (std::size_t k = 0; k < n.rows(); ++k)
            for (std::size_t l = 0; l < n.cols(); ++l) {
                rows[k] += n[k][l];
                columns[l] += n[k][l];
            }
        j["cross_table"] = {{"raters", {d.crossTable->first, d.crossTable->second}}, {"labels", a.labels}, {"counts", matrix(n)}, {"row_totals", rows}, {"column_totals", columns}};
        const MarginalHomogeneity& test = d.crossTable->marginalHomogeneity;
        j["marginal_homogeneity"] = {{"test", test.test}, {"statistic", number(test.statistic)}, {"df", number(test.df)},
                                     {"p_value", number(test.pValue)}, {"notes", test.notes}};
        if (const auto& indices = d.crossTable->indices)
            j["indices"] = {{"prevalence", number(indices->prevalence)}, {"bias", number(indices->bias)},
                            {"pabak", number(indices->pabak)}, {"notes", indices->notes}};
    }
    if (d.coincidence) {
        Json counts = Json::array();
        for (std::size_t k = 0; k < d.coincidence->rows(); ++k) {
            Json row = Json::array();
            for (const double x : (*d.coincidence)[k]) row.push_back(number(x));
            counts.push_back(std::move(row));
        }
        j["coincidence"] = {{"labels", a.labels}, {"counts", std::move(counts)}};
    }
    j["notes"] = d.notes;
    return j;
}

}  // namespace

std::string intervalSetText(const std::optional<IntervalSet>& set) { return intervalSet(set).dump(); }

std::string formatJson(const Source& source, const Analysis& a) {
    Json j;
    j["file"] = source.file;
    if (source.group) j["group"] = *source.group;
    j["input"] = inputFormatId(source.input);
    if (source.delimiter) j["delimiter"] = std::string(1, *source.delimiter);
    j["subjects"] = a.subjects;
    j["dropped_subjects"] = a.dropped;
    j["raters"] = a.raters > 0 ? Json(a.raters) : Json(nullptr);  // none named in counts of ratings per subject
    j["categories"] = a.categories;
    j["category_labels"] = a.labels;
    j["confidence"] = number(a.confidence);
    j["kappa0"] = number(a.kappa0);
    j["alternative"] = alternativeId(a.alternative);
    j["z"] = number(a.z);
    j["raw_agreement"] = number(a.rawAgreement);
    j["raw_agreement_subjects"] = a.rawAgreementSubjects;
    if (a.raterSummary.empty()) {
        j["rater_summary"] = nullptr;
    } else {
        j["rater_summary"] = Json::array();
        for (const RaterSummary& r : a.raterSummary) {
            Json counts = Json::object();
            for (std::size_t k = 0; k < r.counts.size() && k < a.labels.size(); ++k) counts[a.labels[k]] = r.counts[k];
            j["rater_summary"].push_back({{"name", r.name}, {"ratings", r.ratings}, {"counts", std::move(counts)}});
        }
    }
    if (a.raters > 0)
        j["ratings_per_rater"] = {{"min", a.fewestRatings}, {"median", number(a.medianRatings)}, {"max", a.mostRatings}};
    else
        j["ratings_per_rater"] = nullptr;
    j["ratings_per_subject"] = {
        {"min", a.fewestPerSubject}, {"median", number(a.medianPerSubject)}, {"max", a.mostPerSubject}};
    j["estimates"] = Json::array();
    for (const Estimate& e : a.estimates) j["estimates"].push_back(estimate(e));
    j["notes"] = a.notes;
    if (a.diagnostics) j["diagnostics"] = diagnostics(*a.diagnostics, a);
    // File names and labels are bytes from the user: invalid UTF-8 is replaced
    // rather than refused.
    return j.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
}

}  // namespace kappa
