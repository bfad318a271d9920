#include "format/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "format/numbers.h"

namespace kappa {

namespace {

using format::fixed;

constexpr double kFontSize = 12;
constexpr double kCharWidth = 6.6;  // a generous mean width of a character at 12 px (DejaVu Sans: 6.1)
constexpr double kMargin = 16;

// Text as XML character data or an attribute value.
std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// A coordinate or length with at most two decimals.
std::string px(double x) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", x);
    std::string s = buffer;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

double textWidth(std::string_view text) {
    const auto characters = std::count_if(text.begin(), text.end(),
                                          [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    return static_cast<double>(characters) * kCharWidth;
}

// An SVG document, element by element.
class Svg {
public:
    void rect(double x, double y, double w, double h, const std::string& attributes) {
        body_ += "<rect x=\"" + px(x) + "\" y=\"" + px(y) + "\" width=\"" + px(w) + "\" height=\"" + px(h) + "\" " +
                 attributes + "/>\n";
    }
    void line(double x1, double y1, double x2, double y2, const std::string& attributes) {
        body_ += "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) + "\" " +
                 attributes + "/>\n";
    }
    void text(double x, double y, std::string_view content, const std::string& attributes = "") {
        body_ += "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\"" + (attributes.empty() ? "" : " " + attributes) + ">" +
                 escaped(content) + "</text>\n";
    }
    void raw(const std::string& element) { body_ += element + "\n"; }

    std::string document(double width, double height, std::string_view title) const {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
               px(width) + "\" height=\"" + px(height) + "\" viewBox=\"0 0 " + px(width) + " " + px(height) +
               "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"" + px(kFontSize) + "\">\n<title>" +
               escaped(title) + "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n" + body_ +
               "</svg>\n";
    }

private:
    std::string body_;
};

// The estimate's name as the plot labels it: with its weights unless none.
std::string estimateLabel(const Estimate& e) {
    if (e.weights == Weighting::None) return e.name;
    return e.name + " (" + std::string(weightingId(e.weights)) + ")";
}

std::string sourceLabel(const Source& source) {
    std::string label = source.file == "-" ? "standard input" : source.file;
    if (source.group) label += ", group " + *source.group;
    return label;
}

// Landis and Koch's words for kappas from 0 to 1.
struct Band {
    double from, to;
    const char* words;
};
constexpr Band kBands[] = {{0.0, 0.2, "slight"},      {0.2, 0.4, "fair"},          {0.4, 0.6, "moderate"},
                           {0.6, 0.8, "substantial"}, {0.8, 1.0, "almost perfect"}};

// A colour between white and `full` (r, g, b) at t in [0, 1].
std::string shade(double t, int r, int g, int b) {
    t = std::clamp(t, 0.0, 1.0);
    const auto mix = [&](int c) { return static_cast<int>(std::lround(255 - t * (255 - c))); };
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", mix(r), mix(g), mix(b));
    return buffer;
}

// Kappas from red (-1) through white (0) to blue (1); counts from white to blue.
std::string kappaColour(double kappa) {
    if (std::isnan(kappa)) return "#d9d9d9";
    return kappa < 0 ? shade(-kappa, 178, 24, 43) : shade(kappa, 33, 102, 172);
}

}  // namespace

std::string pairsPlotPath(const std::string& plotPath) {
    std::string stem = plotPath;
    if (stem.size() > 4 && stem.ends_with(".svg")) stem.resize(stem.size() - 4);
    return stem + "-pairs.svg";
}

void Plots::add(const Source& source, const Analysis& a) {
    kappa0_ = a.kappa0;
    confidence_ = a.confidence;
    alternative_ = a.alternative;
    for (const Estimate& e : a.estimates)
        rows_.push_back({sourceLabel(source), estimateLabel(e), e.kappa, e.wald.ci.lower, e.wald.ci.upper});
    if (!a.diagnostics) return;
    const Diagnostics& d = *a.diagnostics;
    HeatMap map;
    if (d.crossTable) {
        const Matrix<std::int64_t>& counts = d.crossTable->counts;
        map.title = sourceLabel(source) + ": cross-table, rows " + d.crossTable->first + ", columns " +
                    d.crossTable->second;
        map.rows = map.columns = a.labels;
        map.counts = true;
        map.values.reset(counts.rows(), counts.cols());
        for (std::size_t k = 0; k < counts.rows(); ++k)
            for (std::size_t l = 0; l < counts.cols(); ++l) map.values[k][l] = static_cast<double>(counts[k][l]);
    } else if (!d.pairsListed || d.pairs.empty() || d.light.empty()) {
        map.title = sourceLabel(source) + ": pairwise kappas";
        map.note = "the pairs are not listed (more than " + std::to_string(kMostRatersPaired) +
                   " raters): --pairs all lists them";
    } else {
        map.title = sourceLabel(source) + ": Cohen's kappa of each pair of raters" +
                    (d.light.front().weights == Weighting::None
                         ? ""
                         : " (" + std::string(weightingId(d.light.front().weights)) + " weights)");
        std::vector<std::string> names;
        for (const PairDiagnostics& p : d.pairs) {
            if (std::find(names.begin(), names.end(), p.first) == names.end()) names.push_back(p.first);
            if (std::find(names.begin(), names.end(), p.second) == names.end()) names.push_back(p.second);
        }
        map.values.reset(names.size(), names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            map.rows.push_back(std::to_string(i + 1) + " " + names[i]);
            map.columns.push_back(std::to_string(i + 1));
            map.values[i][i] = kNaN;
        }
        for (const PairDiagnostics& p : d.pairs) {
            const auto index = [&](const std::string& name) {
                return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
            };
            const double kappa = p.estimates.empty() ? kNaN : p.estimates.front().kappa;
            map.values[index(p.first)][index(p.second)] = map.values[index(p.second)][index(p.first)] = kappa;
        }
    }
    maps_.push_back(std::move(map));
}

std::string Plots::forestPlot() const {
    Svg svg;
    bool severalSources = false;
    for (const Row& row : rows_) severalSources = severalSources || row.source != rows_.front().source;
    std::vector<std::string> labels;
    double labelWidth = 120;
    for (const Row& row : rows_) {
        labels.push_back(severalSources ? row.source + ": " + row.label : row.label);
        labelWidth = std::max(labelWidth, textWidth(labels.back()));
    }
    constexpr double kPlotWidth = 420, kValuesWidth = 170, kRowHeight = 22, kTop = 70;
    const double plotLeft = kMargin + labelWidth + 12, plotRight = plotLeft + kPlotWidth;
    const double width = plotRight + 12 + kValuesWidth + kMargin;
    const double axisY = kTop + kRowHeight * static_cast<double>(std::max<std::size_t>(rows_.size(), 1)) + 6;
    const double height = axisY + 52;

    // The axis runs from a multiple of 0.2 below every value (but not below -1) to 1.
    double lowest = std::min(0.0, kappa0_);
    for (const Row& row : rows_)
        for (const double x : {row.estimate, row.lower})
            if (std::isfinite(x)) lowest = std::min(lowest, x);
    const double from = std::max(-1.0, std::floor(lowest / 0.2 - 1e-9) * 0.2);
    const auto xOf = [&](double v) { return plotLeft + (std::clamp(v, from, 1.0) - from) / (1 - from) * kPlotWidth; };

    const std::string interval = alternative_ == Alternative::TwoSided ? "intervals" : "one-sided bounds";
    svg.text(kMargin, 24, "Agreement: estimates with " + format::shortest(confidence_) + " % " + interval,
             "font-size=\"14\" font-weight=\"bold\"");
    for (std::size_t b = 0; b < std::size(kBands); ++b) {
        const Band& band = kBands[b];
        svg.rect(xOf(band.from), kTop - 18, xOf(band.to) - xOf(band.from), axisY - kTop + 18,
                 std::string("class=\"band\" fill=\"") + (b % 2 == 0 ? "#e8eef7" : "#f4f7fb") + "\"");
        svg.text((xOf(band.from) + xOf(band.to)) / 2, kTop - (b % 2 == 0 ? 24 : 34), band.words,
                 "font-size=\"10\" text-anchor=\"middle\" fill=\"#555555\"");
    }
    for (double t = from; t <= 1 + 1e-9; t += 0.2) {
        const double x = xOf(t);
        svg.line(x, axisY, x, axisY + 4, "stroke=\"black\"");
        svg.text(x, axisY + 17, fixed(std::abs(t) < 1e-9 ? 0.0 : t, 1), "font-size=\"10\" text-anchor=\"middle\"");
    }
    svg.line(plotLeft, axisY, plotRight, axisY, "stroke=\"black\"");
    if (kappa0_ >= from) {
        svg.line(xOf(kappa0_), kTop - 18, xOf(kappa0_), axisY, "class=\"reference\" stroke=\"#444444\" stroke-dasharray=\"4 3\"");
    }
    svg.text((plotLeft + plotRight) / 2, axisY + 36,
             "estimate (dashed line: kappa0 = " + format::shortest(kappa0_) + ")", "text-anchor=\"middle\"");
    svg.text(plotRight + 12, kTop - 8, "estimate [interval]", "font-weight=\"bold\"");

    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        const double y = kTop + kRowHeight * static_cast<double>(i) + kRowHeight / 2;
        svg.raw("<g class=\"row\">");
        svg.text(kMargin, y + 4, labels[i]);
        std::string values = "n/a";
        if (std::isfinite(row.estimate)) {
            const bool lowerKnown = std::isfinite(row.lower), upperKnown = std::isfinite(row.upper);
            if (lowerKnown || upperKnown || std::isinf(row.lower)) {
                const double left = std::isinf(row.lower) || row.lower < from ? plotLeft : xOf(row.lower);
                const double right = upperKnown ? xOf(row.upper) : xOf(row.estimate);
                svg.line(left, y, right, y, "class=\"interval\" stroke=\"black\" stroke-width=\"1.5\"");
                if (left == plotLeft && !(row.lower >= from))  // the interval goes on to the left
                    svg.raw("<path d=\"M" + px(left) + " " + px(y) + " l6 -4 v8 z\" fill=\"black\"/>");
            }
            svg.rect(xOf(row.estimate) - 4, y - 4, 8, 8, "class=\"estimate\" fill=\"#1f4e8c\"");
            values = fixed(row.estimate, 2) + (std::isinf(row.lower) ? " (-inf" : " [" + fixed(row.lower, 2)) + ", " +
                     fixed(row.upper, 2) + "]";
        }
        svg.text(plotRight + 12, y + 4, values);
        svg.raw("</g>");
    }
    return svg.document(width, height, "Forest plot of the agreement estimates");
}

std::string Plots::pairsPlot() const {
    Svg svg;
    double y = kMargin, width = 320;
    for (const HeatMap& map : maps_) {
        svg.text(kMargin, y + 14, map.title, "font-size=\"14\" font-weight=\"bold\"");
        width = std::max(width, 2 * kMargin + textWidth(map.title) * 1.15);
        y += 30;
        if (!map.note.empty()) {
            svg.text(kMargin, y + 12, map.note);
            width = std::max(width, 2 * kMargin + textWidth(map.note));
            y += 30;
            continue;
        }
        const std::size_t n = map.values.rows();
        const double cell = std::clamp(560.0 / static_cast<double>(std::max<std::size_t>(n, 1)), 14.0, 48.0);
        double labelWidth = 0;
        for (const std::string& label : map.rows) labelWidth = std::max(labelWidth, textWidth(label));
        const double left = kMargin + labelWidth + 8, top = y + 18;
        double largest = 0;
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j)
                if (std::isfinite(map.values[i][j])) largest = std::max(largest, map.values[i][j]);
        for (std::size_t j = 0; j < map.columns.size(); ++j)
            svg.text(left + cell * (static_cast<double>(j) + 0.5), top - 6, map.columns[j],
                     "font-size=\"10\" text-anchor=\"middle\"");
        for (std::size_t i = 0; i < n; ++i) {
            const double rowY = top + cell * static_cast<double>(i);
            svg.text(kMargin, rowY + cell / 2 + 4, map.rows[i]);
            for (std::size_t j = 0; j < n; ++j) {
                const double v = map.values[i][j];
                if (!map.counts && i == j) {
                    svg.rect(left + cell * static_cast<double>(j), rowY, cell, cell, "fill=\"#f0f0f0\" stroke=\"white\"");
                    continue;
                }
                const std::string fill = map.counts ? shade(largest > 0 ? v / largest : 0, 33, 102, 172) : kappaColour(v);
                svg.rect(left + cell * static_cast<double>(j), rowY, cell, cell,
                         "class=\"cell\" fill=\"" + fill + "\" stroke=\"white\"");
                if (cell >= 26) {
                    const bool dark = map.counts ? largest > 0 && v / largest > 0.6 : std::abs(v) > 0.6;
                    svg.text(left + cell * (static_cast<double>(j) + 0.5), rowY + cell / 2 + 4,
                             map.counts ? format::shortest(v) : fixed(v, 2),
                             std::string("font-size=\"10\" text-anchor=\"middle\" fill=\"") +
                                 (dark ? "white" : "black") + "\"");
                }
            }
        }
        // The key: five swatches of the scale.
        const double keyX = left + cell * static_cast<double>(n) + 24;
        for (int s = 0; s < 5; ++s) {
            const double v = map.counts ? largest * s / 4 : -1 + 0.5 * s;
            const double swatchY = top + 18 * s;
            svg.rect(keyX, swatchY, 14, 14,
                     "fill=\"" + (map.counts ? shade(s / 4.0, 33, 102, 172) : kappaColour(v)) + "\" stroke=\"#999999\"");
            svg.text(keyX + 20, swatchY + 11, map.counts ? format::shortest(std::round(v)) : fixed(v, 1),
                     "font-size=\"10\"");
        }
        width = std::max(width, keyX + 60 + kMargin);
        y = std::max(top + cell * static_cast<double>(n), top + 18 * 5) + 30;
    }
    if (maps_.empty()) {
        svg.text(kMargin, y + 14, "no analysis");
        y += 30;
    }
    return svg.document(width, y, "Heat maps of the pairs of raters");
}

}  // namespace kappa
