#include "inference/estimate.h"

namespace kappa {

std::string_view coefficientId(Coefficient c) {
    switch (c) {
        case Coefficient::Kappa: return "kappa";
        case Coefficient::Fleiss: return "fleiss";
        case Coefficient::Conger: return "conger";
        case Coefficient::Gwet: return "gwet";
        case Coefficient::BrennanPrediger: return "bp";
        case Coefficient::Alpha: return "alpha";
        case Coefficient::Percent: return "percent";
    }
    return "";
}

std::string_view weightingId(Weighting w) {
    switch (w) {
        case Weighting::None: return "none";
        case Weighting::Quadratic: return "quadratic";
        case Weighting::Linear: return "linear";
        case Weighting::File: return "file";
        case Weighting::Ordinal: return "ordinal";
        case Weighting::Radical: return "radical";
        case Weighting::Ratio: return "ratio";
        case Weighting::Circular: return "circular";
        case Weighting::Bipolar: return "bipolar";
        case Weighting::KrippendorffOrdinal: return "krippendorff-ordinal";
    }
    return "";
}

bool takesWeights(Coefficient c, Weighting w) {
    if (c == Coefficient::Kappa)
        return w == Weighting::None || w == Weighting::Quadratic || w == Weighting::Linear || w == Weighting::File;
    return w != Weighting::File;
}

std::string_view alternativeId(Alternative a) {
    switch (a) {
        case Alternative::TwoSided: return "two-sided";
        case Alternative::Greater: return "greater";
        case Alternative::Less: return "less";
    }
    return "";
}

std::string_view basisId(Basis b) {
    switch (b) {
        case Basis::None: return "none";
        case Basis::V: return "v";
        case Basis::W: return "w";
    }
    return "";
}

}  // namespace kappa
