// The plots of --plot as a reader sees them: well-formed XML (xmllint),
// rendered by a real SVG renderer (rsvg-convert, Debian's librsvg2-bin) to a
// PNG of the size the SVG declares, with a mark for every row.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "temporary_folder.h"

namespace kappa {
namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// The width and height of a PNG, from its header.
[[maybe_unused]] std::pair<unsigned, unsigned> pngSize(const std::string& png) {
    const auto word = [&](std::size_t at) {
        unsigned value = 0;
        for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(png.at(at + i));
        return value;
    };
    return {word(16), word(20)};
}

// Checks that the SVG at `path` is well-formed and renders to a PNG of its
// declared size; returns its text. A Windows build has neither tool: its
// plots are checked by the native builds' runs, which write the same bytes.
std::string checkedSvg(const std::string& path) {
    const std::string svg = contents(path);
#ifndef _WIN32
    EXPECT_EQ(std::system(("xmllint --noout " + path).c_str()), 0) << svg;
    EXPECT_EQ(std::system(("rsvg-convert " + path + " -o " + path + ".png").c_str()), 0);
    std::smatch size;
    EXPECT_TRUE(std::regex_search(svg, size, std::regex("<svg [^>]*width=\"([0-9.]+)\" height=\"([0-9.]+)\"")));
    const auto [width, height] = pngSize(contents(path + ".png"));
    EXPECT_EQ(width, static_cast<unsigned>(std::ceil(std::stod(size[1]))));
    EXPECT_EQ(height, static_cast<unsigned>(std::ceil(std::stod(size[2]))));
#endif
    return svg;
}

class Plot : public InTemporaryFolder {
protected:
    void run(std::vector<std::string> args) {
        std::ostringstream out, err;
        EXPECT_EQ(runCommandLine(args, out, err), kExitAnalysed) << err.str();
    }
};

TEST_F(Plot, ForestPlotAndHeatMapOfThreeRaters) {
    run({"--input", "ratings", "--id", "patient", "--categories", "none,mild,moderate,severe", "--coefficients",
         "fleiss,gwet", "--weights", "none,quadratic", "--diagnostics", "--plot", "agreement.svg",
         std::string(KAPPA_EXAMPLES_DIR) + "/ratings.csv"});
    const std::string forest = checkedSvg("agreement.svg");
    EXPECT_EQ(occurrences(forest, "<g class=\"row\""), 4u);
    EXPECT_EQ(occurrences(forest, "class=\"estimate\""), 4u);
    EXPECT_EQ(occurrences(forest, "class=\"band\""), 5u);
    EXPECT_NE(forest.find(">Gwet's AC2 (quadratic)</text>"), std::string::npos) << forest;
    EXPECT_NE(forest.find("height=\"216\""), std::string::npos) << "70 above, 22 a row, 58 below";
    const std::string pairs = checkedSvg("agreement-pairs.svg");
    EXPECT_EQ(occurrences(pairs, "class=\"cell\""), 6u) << "every pair, both ways";
}

TEST_F(Plot, TwoFilesOneSidedAndTheirCrossTables) {
    const std::string examples = KAPPA_EXAMPLES_DIR;
    run({"--coefficients", "kappa,fleiss", "--weights", "none,quadratic", "--alternative", "less", "--diagnostics",
         "--plot", "run", "--output", "results.txt", examples + "/Kappa_data.txt",
         examples + "/Weighted_Kappa_data_linear_quadratic.txt"});
    const std::string forest = checkedSvg("run");
    EXPECT_EQ(occurrences(forest, "class=\"estimate\""), 8u);
    EXPECT_EQ(occurrences(forest, "examples/Kappa_data.txt: Cohen's kappa</text>"), 1u) << "rows name their file";
    EXPECT_EQ(occurrences(forest, "<path d="), 8u) << "intervals unbounded below";
    const std::string pairs = checkedSvg("run-pairs.svg");
    EXPECT_EQ(occurrences(pairs, "class=\"cell\""), 4u + 9u);
}

}  // namespace
}  // namespace kappa
