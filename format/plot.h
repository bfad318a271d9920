// The plots of a run, as standalone SVG written by hand: a forest plot of
// every estimate (a row per file, group, coefficient and weighting: the
// estimate, its interval, a line at kappa0 and the verbal bands of Landis
// and Koch shaded from 0 to 1), and with the diagnostics a heat map of each
// analysis's pairwise kappas, or of two raters' cross-table. Like the other
// formatters they compute nothing.
#pragma once

#include <string>
#include <vector>

#include "format/format.h"
#include "inference/analysis.h"
#include "tables/matrix.h"

namespace kappa {

class Plots {
public:
    void add(const Source& source, const Analysis& analysis);
    std::string forestPlot() const;
    std::string pairsPlot() const;  // a panel per analysis with diagnostics

private:
    struct Row {
        std::string source;  // file and group
        std::string label;   // coefficient and weights
        double estimate = 0, lower = 0, upper = 0;
    };
    struct HeatMap {
        std::string title;
        std::vector<std::string> rows, columns;  // the labels
        Matrix<double> values;                   // NaN: no value
        bool counts = false;                     // a cross-table of counts, else kappas in [-1, 1]
        std::string note;                        // instead of the map
    };
    std::vector<Row> rows_;
    std::vector<HeatMap> maps_;
    double kappa0_ = 0, confidence_ = 95;
    Alternative alternative_ = Alternative::TwoSided;
};

// Where --plot FILE.svg puts the heat maps: FILE-pairs.svg.
std::string pairsPlotPath(const std::string& plotPath);

}  // namespace kappa
