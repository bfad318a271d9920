#include "inference/estimate.h"

namespace kappa {

std::string_view basisId(Basis b) {
    switch (b) {
        case Basis::None: return "none";
        case Basis::V: return "v";
        case Basis::W: return "w";
    }
    return "";
}

}  // namespace kappa
