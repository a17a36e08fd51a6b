#pragma once
/// Newton's method on the residue-curve field x - y(x) from a point near an azeotrope.
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "azeotrope/detail/bubble_point.hpp"

namespace azeotrope::detail {

struct Refinement {
    bool converged = false;  ///< max |x_i - y_i| <= the target
    std::vector<double> x;   ///< the best point found (the start when nothing better came)
    double residual = std::numeric_limits<double>::infinity();  ///< max |x_i - y_i| at x
    properties::FlashResult flash;  ///< the bubble point at x (error code set if none)
};

/// Refines the azeotrope near x0 (sum 1, every entry positive) with the flashes of `bubble`, which
/// must describe the same components. Newton steps in x_1 .. x_{N-1} (the last component takes the
/// difference), forward-difference Jacobians with step 1e-6, steps limited to 0.05 and to half of
/// any mole fraction, and halving when the residual does not fall. Stops at `target` or after
/// `max_iterations`.
Refinement refine_azeotrope(BubblePoint& bubble,
                            std::span<const double> x0,
                            double target,
                            int max_iterations = 10);

}  // namespace azeotrope::detail
