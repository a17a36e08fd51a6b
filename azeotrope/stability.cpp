#include "azeotrope/stability.hpp"

#include <algorithm>

namespace azeotrope {

Stability stability_from_eigenvalues(std::span<const double> real_parts) noexcept {
    if (real_parts.empty()) { return Stability::stable_node; }
    // A NaN would count as "not negative" and pass for an unstable node: refuse to classify.
    if (std::any_of(real_parts.begin(), real_parts.end(), [](double v) { return v != v; })) {
        return Stability::unclassified;
    }
    const auto negative = static_cast<std::size_t>(
        std::count_if(real_parts.begin(), real_parts.end(), [](double v) { return v < 0.0; }));
    if (negative == real_parts.size()) { return Stability::stable_node; }
    if (negative == 0) { return Stability::unstable_node; }
    return Stability::saddle;
}

std::string_view stability_name(Stability s) noexcept {
    switch (s) {
        case Stability::stable_node:
            return "stable node";
        case Stability::saddle:
            return "saddle";
        case Stability::unstable_node:
            return "unstable node";
        case Stability::unclassified:
            break;
    }
    return "unclassified";
}

std::string_view phase_name(AzeotropePhase p) noexcept {
    return p == AzeotropePhase::homogeneous ? "homogeneous" : "heterogeneous";
}

Stability stability_from_code(std::int64_t code) noexcept {
    switch (code) {
        case 1:
            return Stability::stable_node;
        case 2:
            return Stability::saddle;
        case 3:
            return Stability::unstable_node;
        default:
            return Stability::unclassified;
    }
}

}  // namespace azeotrope
