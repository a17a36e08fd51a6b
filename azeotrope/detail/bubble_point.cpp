#include "azeotrope/detail/bubble_point.hpp"

#include <algorithm>
#include <cmath>

namespace azeotrope::detail {

const properties::FlashResult& BubblePoint::operator()(std::span<const double> x) {
    properties::FlashRequest request;
    request.flash_type = "PV";
    request.phase_count = phase_count_;
    request.option_set = option_set_;
    request.components = components_;
    request.composition = x;
    request.temperature = start_temperature_;
    request.pressure = pressure_;
    request.vapour_fraction = 0.0;
    ++*counter_;
    result_ = properties::calc_flash(request);
    if (result_.error_code == 0 && std::isfinite(result_.temperature) &&
        result_.temperature > 0.0) {
        start_temperature_ = result_.temperature;
    }
    return result_;
}

bool usable(const properties::FlashResult& r, std::size_t n) noexcept {
    const auto finite = [n](const std::vector<double>& v) {
        return v.size() == n &&
               std::all_of(v.begin(), v.end(), [](double a) { return std::isfinite(a); });
    };
    return r.error_code == 0 && std::isfinite(r.temperature) && finite(r.x) && finite(r.y);
}

}  // namespace azeotrope::detail
