#include "estimators/catalog.h"

namespace kappa {

std::string coefficientIds(bool CoefficientEntry::*property, bool value) {
    std::string ids;
    for (const CoefficientEntry& entry : kCoefficientCatalog)
        if (entry.*property == value) (ids += ids.empty() ? "" : ",") += entry.id;
    return ids;
}

std::string displayName(Coefficient c, Weighting w, std::int32_t raters) {
    const CoefficientEntry& entry = catalogEntry(c);
    const bool weighted = w != Weighting::None;
    if (raters == 2 && !entry.twoRaterName.empty())
        return std::string(weighted ? entry.twoRaterWeightedName : entry.twoRaterName);
    return std::string(weighted ? entry.weightedName : entry.name);
}

}  // namespace kappa
