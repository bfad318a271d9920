// Studies of many raters against other programs: what Debian's statsmodels
// and nltk compute on the files of tests/data/crowd/, printed by
// bench/crowd_reference.py (which also wrote the files).
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "inference/analysis.h"
#include "input/input.h"

namespace kappa {
namespace {

struct Reference {
    const char* file;
    const char* options;  // as typed on the command line
    Coefficient coefficient;
    Weighting weights;
    double value;  // what the other program printed
    const char* source;
};

const Reference kReferences[] = {
    // statsmodels' test table, 14 raters a subject (its published 0.2099).
    {"fleiss14.csv", "-i counts -C fleiss,bp", Coefficient::Fleiss, Weighting::None, 0.20993070442195522,
     "statsmodels fleiss_kappa"},
    {"fleiss14.csv", "-i counts -C fleiss,bp", Coefficient::BrennanPrediger, Weighting::None, 0.2225274725274725,
     "statsmodels fleiss_kappa, method randolph"},
    {"fleiss1971.csv", "-i counts --header", Coefficient::Fleiss, Weighting::None, 0.43024452006014074,
     "statsmodels fleiss_kappa of aggregate_raters"},
    // 300 items, each labelled by 2 to 5 of 60 annotators, rows shuffled.
    {"crowd_long.csv", "-i long -C alpha -w none,quadratic", Coefficient::Alpha, Weighting::None,
     0.4726207937418957, "nltk AnnotationTask.alpha"},
    {"crowd_long.csv", "-i long -C alpha -w none,quadratic", Coefficient::Alpha, Weighting::Quadratic,
     0.5192055692055693, "nltk AnnotationTask.alpha, interval_distance"},
    // 30 raters, every one of them every case.
    {"panel30.csv", "-i ratings -C fleiss,alpha,bp", Coefficient::Fleiss, Weighting::None, 0.34063276416028354,
     "nltk AnnotationTask.pi"},
    {"panel30.csv", "-i ratings -C fleiss,alpha,bp", Coefficient::Fleiss, Weighting::None, 0.3406327641602836,
     "statsmodels fleiss_kappa"},
    {"panel30.csv", "-i ratings -C fleiss,alpha,bp", Coefficient::Alpha, Weighting::None, 0.3411822368568166,
     "nltk AnnotationTask.alpha"},
    {"panel30.csv", "-i ratings -C fleiss,alpha,bp", Coefficient::BrennanPrediger, Weighting::None,
     0.3454310344827588, "nltk AnnotationTask.S"},
};

CommandLine commandLineOf(const std::string& typed, const std::string& file) {
    std::vector<std::string> args;
    std::istringstream words(typed);
    for (std::string word; words >> word;) args.push_back(word);
    args.push_back(file);
    const ParsedArguments parsed = parseArguments(args);
    EXPECT_EQ(parsed.action, ParsedArguments::Action::Run) << typed << ": " << parsed.text;
    return parsed.commandLine;
}

TEST(References, ManyRatersAgainstStatsmodelsAndNltk) {
    for (const Reference& r : kReferences) {
        SCOPED_TRACE(std::string(r.file) + ", " + r.source);
        const CommandLine cl = commandLineOf(r.options, std::string(KAPPA_TEST_DATA) + "/crowd/" + r.file);
        const InputRead read = readInput(cl.files.front(), cl.input);
        ASSERT_FALSE(read.error) << read.error->message;
        ASSERT_EQ(read.groups.size(), 1u);
        const Analysis a = analyse(read.groups[0].study, cl.prepare.request);
        bool found = false;
        for (const Estimate& e : a.estimates) {
            if (e.coefficient != r.coefficient || e.weights != r.weights) continue;
            found = true;
            EXPECT_NEAR(e.kappa, r.value, 1e-12 * std::abs(r.value));
        }
        EXPECT_TRUE(found);
    }
}

}  // namespace
}  // namespace kappa
