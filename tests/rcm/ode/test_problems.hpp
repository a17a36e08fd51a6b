#pragma once
// Standard test problems for the integrator, in the plain callback form, and access to the
// reference runs of the classic Fortran LSODA (data/reference/lsoda_reference.json).

#include <cmath>
#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "rcm/ode/lsoda.hpp"

namespace rcm::ode::testing {

/// Robertson (1966) chemical kinetics, stiff after a short transient.
inline int robertson(double, std::span<const double> y, std::span<double> d) {
    d[0] = -0.04 * y[0] + 1e4 * y[1] * y[2];
    d[2] = 3e7 * y[1] * y[1];
    d[1] = -d[0] - d[2];
    return 0;
}

inline int robertson_jacobian(double,
                              std::span<const double> y,
                              std::int64_t,
                              std::int64_t,
                              std::span<double> pd,
                              std::int64_t nrowpd) {
    const auto at = [&](int i, int j) -> double& {
        return pd[static_cast<std::size_t>(i + j * nrowpd)];
    };
    at(0, 0) = -0.04;
    at(1, 0) = 0.04;
    at(0, 1) = 1e4 * y[2];
    at(1, 1) = -1e4 * y[2] - 6e7 * y[1];
    at(2, 1) = 6e7 * y[1];
    at(0, 2) = 1e4 * y[1];
    at(1, 2) = -1e4 * y[1];
    return 0;
}

/// Van der Pol's oscillator y1'' = mu (1 - y1^2) y1' - y1 as a first-order system.
struct VanDerPol {
    double mu = 1.0;
    RightHandSide rhs() const {
        const double m = mu;
        return [m](double, std::span<const double> y, std::span<double> d) {
            d[0] = y[1];
            d[1] = m * (1.0 - y[0] * y[0]) * y[1] - y[0];
            return 0;
        };
    }
    JacobianFunction jacobian() const {
        const double m = mu;
        return [m](double, std::span<const double> y, std::int64_t, std::int64_t,
                   std::span<double> pd, std::int64_t nrowpd) {
            pd[0] = 0.0;
            pd[1] = -2.0 * m * y[0] * y[1] - 1.0;
            pd[static_cast<std::size_t>(nrowpd)] = 1.0;
            pd[static_cast<std::size_t>(nrowpd) + 1] = m * (1.0 - y[0] * y[0]);
            return 0;
        };
    }
};

/// Residue-curve equations dx/dxi = x - y(x) for three components of constant relative
/// volatility (4, 2, 1), in x1, x2 with x3 = 1 - x1 - x2.
inline int constant_volatility_residue(double, std::span<const double> x, std::span<double> d) {
    const double a[3] = {4.0, 2.0, 1.0};
    const double s = a[0] * x[0] + a[1] * x[1] + a[2] * (1.0 - x[0] - x[1]);
    d[0] = x[0] - a[0] * x[0] / s;
    d[1] = x[1] - a[1] * x[1] / s;
    return 0;
}

inline int constant_volatility_residue_jacobian(double,
                                                std::span<const double> x,
                                                std::int64_t,
                                                std::int64_t,
                                                std::span<double> pd,
                                                std::int64_t nrowpd) {
    const double a[3] = {4.0, 2.0, 1.0};
    const double s = a[0] * x[0] + a[1] * x[1] + a[2] * (1.0 - x[0] - x[1]);
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 2; ++k) {
            // y_i = a_i x_i / s, ds/dx_k = a_k - a_3.
            const double dy = ((i == k ? a[i] * s : 0.0) - a[i] * x[i] * (a[k] - a[2])) / (s * s);
            pd[static_cast<std::size_t>(i + k * nrowpd)] = (i == k ? 1.0 : 0.0) - dy;
        }
    }
    return 0;
}

/// y' = lambda(t) (y - cos t) - sin t, exact solution cos t from y(0) = 1. With
/// lambda = -1 - 1e5 exp(-(t - 5)^2) it is stiff only around t = 5.
inline int cosine_tracking(double t, std::span<const double> y, std::span<double> d) {
    const double lambda = -1.0 - 1e5 * std::exp(-(t - 5.0) * (t - 5.0));
    d[0] = lambda * (y[0] - std::cos(t)) - std::sin(t);
    return 0;
}

/// One problem of the reference file.
struct ReferenceRun {
    nlohmann::json problem;
    const nlohmann::json& lsoda() const { return problem.at("ode_lsoda"); }
    const nlohmann::json& tight() const { return problem.at("tight_reference"); }
    std::vector<double> y0() const { return problem.at("y0").get<std::vector<double>>(); }
    std::vector<double> t_out() const { return problem.at("t_out").get<std::vector<double>>(); }
};

inline ReferenceRun reference_run(const std::string& name) {
    std::ifstream in(std::string(DISTIL_REFERENCE_DIR) + "/lsoda_reference.json");
    const nlohmann::json all = nlohmann::json::parse(in);
    for (const nlohmann::json& p : all.at("problems")) {
        if (p.at("name") == name) { return ReferenceRun{p}; }
    }
    throw std::runtime_error("no reference problem " + name);
}

}  // namespace rcm::ode::testing
