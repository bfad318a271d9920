#include "console/parameter_entry.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "tables/study.h"

namespace kappa {

std::optional<Answer> readAnswer(Console& con) {
    std::string line;
    if (!con.readLine(line)) return std::nullopt;
    Answer answer;
    answer.hasNumber = std::sscanf(line.c_str(), "%lf", &answer.x) == 1;
    return answer;
}

bool isWhole(const Answer& answer) {
    return answer.hasNumber && answer.x - std::floor(answer.x) == 0;
}

namespace {

constexpr char percent = 37;

// Asks a whole-number question until the answer is whole and `complain`, given
// its integer part, prints nothing against it. Each attempt is followed by a
// discard of typed-ahead input. A line without a number or with a
// not-a-number, and a fraction whose integer part draws no complaint, are
// asked again without a message.
template <typename Complaint>
std::optional<double> askWholeNumber(Console& con, std::string_view prompt, Complaint complain) {
    for (;;) {
        con.write(prompt);
        const auto answer = readAnswer(con);
        if (!answer) return std::nullopt;
        const double value = std::floor(answer->x);
        const bool complained = answer->hasNumber && complain(value);
        con.discardPending();
        if (isWhole(*answer) && !complained) return value;
    }
}

// Asks a real-number question whose empty answer means `fallback`, until
// `complain` prints nothing against the value (a not-a-number is asked again).
template <typename Complaint>
std::optional<double> askReal(Console& con, std::string_view prompt, double fallback, Complaint complain) {
    for (;;) {
        con.write(prompt);
        const auto answer = readAnswer(con);
        if (!answer) return std::nullopt;
        const double value = answer->hasNumber ? answer->x : fallback;
        const bool complained = complain(value);
        con.discardPending();
        if (!complained && !std::isnan(value)) return value;
    }
}

}  // namespace

std::optional<Answers> askParameters(Console& con) {
    Answers s;
    const auto raters = askWholeNumber(con, "\n\n Number of raters = ", [&](double r) {
        if (r <= 1) return con.print("\n Must be R>1"), true;
        if (r > kMaxRaters) return con.print("\n Must be R<=20"), true;
        return false;
    });
    if (!raters) return std::nullopt;
    s.R = static_cast<std::int32_t>(*raters);

    const auto categories = askWholeNumber(con, "\n Number of categories = ", [&](double k) {
        if (k <= 1) return con.print("\n Must be K>1"), true;
        if (std::pow(k, s.R) > kMaxPatterns) return con.print("\n Must be K^R<=1048576"), true;
        return false;
    });
    if (!categories) return std::nullopt;
    s.K = static_cast<std::int32_t>(*categories);

    const auto subjects = askWholeNumber(con, "\n Number of subjects = ", [&](double n) {
        if (n <= 2) return con.print("\n Must be N>2"), true;
        return false;
    });
    if (!subjects) return std::nullopt;
    s.N = *subjects;

    const auto confidence = askReal(
        con, printfText("\n Confidence for the two-tailed CI in %c (if nothing is indicated, %c = 95) = ", percent, percent),
        95.0,
        [&](double cf) {
            if (cf <= 50) return con.print("\n Must be %c > 50", percent), true;
            if (cf >= 100) return con.print("\n Must be %c < 100", percent), true;
            return false;
        });
    if (!confidence) return std::nullopt;
    s.Cf = *confidence;

    const auto tested = askReal(con, "\n Kappa value for the test (if nothing is indicated, kappa = 0) = ", 0.0,
                                [&](double kappa0) {
                                    if (kappa0 > 1) return con.print("\n Must be kappa <= 1"), true;
                                    return false;
                                });
    if (!tested) return std::nullopt;
    s.kappa0 = *tested;
    return s;
}

}  // namespace kappa
