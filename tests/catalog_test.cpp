// Every entry of the catalogs from the command line's parsing through the
// analysis to the JSON it writes: the id parses to the entry, --help lists
// it, the analysis estimates it and the output names it by the same id and
// display name. A coefficient, weighting or format added to a catalog is
// tested here without a line more.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/options.h"
#include "estimators/catalog.h"
#include "format/format.h"

namespace kappa {
namespace {

const std::string kExamples = KAPPA_EXAMPLES_DIR;

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runCommandLine(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(Catalog, EveryCoefficientWithEveryWeighting) {
    const std::string help = parseArguments(std::vector<std::string>{"--help"}).text;
    for (const CoefficientEntry& c : kCoefficientCatalog) {
        EXPECT_NE(help.find(c.id), std::string::npos) << c.id;
        for (const WeightingEntry& w : kWeightingCatalog) {
            SCOPED_TRACE(std::string(c.id) + " with " + std::string(w.id) + " weights");
            EXPECT_NE(help.find(w.id), std::string::npos);
            // Two raters, three ordered categories; the weights of a file are its last column.
            const std::string file =
                kExamples + (w.weighting == Weighting::File ? "/Weighted_Kappa_data.txt"
                                                            : "/Weighted_Kappa_data_linear_quadratic.txt");
            const std::vector<std::string> args = {"-C", std::string(c.id), "-w", std::string(w.id), "-f", "json", file};
            const Outcome r = run(args);
            if (!c.weightings.contains(w.weighting)) {
                EXPECT_EQ(r.status, kExitUsage);
                EXPECT_NE(r.err.find("'" + std::string(c.id) + "'"), std::string::npos) << r.err;
                EXPECT_NE(r.err.find("'" + std::string(w.id) + "'"), std::string::npos) << r.err;
                continue;
            }
            ASSERT_EQ(r.status, kExitAnalysed) << r.err;
            const nlohmann::json estimate = nlohmann::json::parse(r.out)["estimates"].at(0);
            EXPECT_EQ(estimate["coefficient"], c.id);
            EXPECT_EQ(estimate["weights"], w.id);
            EXPECT_EQ(estimate["name"], displayName(c.coefficient, w.weighting, 2));
            EXPECT_TRUE(estimate["kappa"].is_number()) << estimate.dump();
        }
    }
}

TEST(Catalog, AllIsEveryCoefficientInOrder) {
    const Outcome r = run({"-C", "all", "-f", "json", kExamples + "/Kappa_data.txt"});
    ASSERT_EQ(r.status, kExitAnalysed) << r.err;
    const nlohmann::json estimates = nlohmann::json::parse(r.out)["estimates"];
    ASSERT_EQ(estimates.size(), kCoefficientCatalog.size());
    for (std::size_t i = 0; i < kCoefficientCatalog.size(); ++i)
        EXPECT_EQ(estimates[i]["coefficient"], kCoefficientCatalog[i].id);
}

TEST(Catalog, EveryOutputFormat) {
    const std::string help = parseArguments(std::vector<std::string>{"--help"}).text;
    for (const OutputFormatEntry& f : kOutputFormatCatalog) {
        SCOPED_TRACE(std::string(f.id));
        EXPECT_NE(help.find(f.id), std::string::npos);
        const ParsedArguments parsed =
            parseArguments(std::vector<std::string>{"-f", std::string(f.id), kExamples + "/Kappa_data.txt"});
        ASSERT_EQ(parsed.action, ParsedArguments::Action::Run) << parsed.text;
        EXPECT_EQ(parsed.commandLine.format, f.format);
        const Outcome r = run({"-f", std::string(f.id), kExamples + "/Kappa_data.txt"});
        EXPECT_EQ(r.status, kExitAnalysed) << r.err;
        EXPECT_NE(r.out.find("0.7"), std::string::npos) << r.out;  // Cohen's kappa, 0.7000
    }
}

}  // namespace
}  // namespace kappa
