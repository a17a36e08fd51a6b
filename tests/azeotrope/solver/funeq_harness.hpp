#pragma once
// Drives the by-reference routine FUNEQ1 the way its callers do: arrays sized as documented in
// funeq.hpp, IFLAG = 0, evaluate F while IFLAG < 0.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "azeotrope/solver/funeq.hpp"

namespace azeotrope::solver::testing {

struct FuneqHarness {
    std::int64_t n;
    std::int64_t ldb;
    std::int64_t iflag = 0;
    std::vector<double> x, f, fcur, diagx, diagf, jac, work1, work2;
    std::array<std::int64_t, kFuneqIparSize> ipar{};
    std::array<double, kFuneqRparSize> rpar{};
    std::vector<std::vector<double>> requested;  // every X at which F was asked for
    std::vector<std::int64_t> requests;          // the IFLAG of each request

    FuneqHarness(std::int64_t n_, std::int64_t ldb_)
        : n(n_),
          ldb(ldb_),
          x(size(n_)),
          f(size(n_)),
          fcur(size(n_)),
          diagx(size(n_), 1.0),
          diagf(size(n_), 1.0),
          jac(size(ldb_) * size(n_)),
          work1(size(ldb_) * size(n_)),
          work2(funeq_work2_size(size(ldb_))) {}

    static std::size_t size(std::int64_t v) { return v > 0 ? static_cast<std::size_t>(v) : 1; }

    /// The settings the azeotrope solver hands over for every subset.
    void azeotrope_settings() {
        ipar = {};
        const std::int64_t ip[10] = {1, 2, 2, 3, 0, 70, 10, 1, 0, 2};
        for (int k = 0; k < 10; ++k) { ipar[static_cast<std::size_t>(k)] = ip[k]; }
        const double rp[7] = {0.001, 1e-8, 1e-6, 0.2, 0.1, 0.05, 0.05};
        for (int k = 0; k < 7; ++k) { rpar[static_cast<std::size_t>(k)] = rp[k]; }
    }

    /// Settings close to MINPACK's hybrd defaults: internal scaling, factor 100, acceptance
    /// 1e-4, difference steps sqrt(eps), the tightest tolerances, generous limits, silent.
    void minpack_like_settings() {
        ipar = {};
        const std::int64_t ip[10] = {2, 2, 2, 0, 0, 999, 999, 0, 0, 2};
        for (int k = 0; k < 10; ++k) { ipar[static_cast<std::size_t>(k)] = ip[k]; }
        const double eps = 2.220446049250313e-16;
        const double rp[7] = {
            eps, eps, 0.0, 100.0, 1e-4, 1.4901161193847656e-08, 1.4901161193847656e-08};
        for (int k = 0; k < 7; ++k) { rpar[static_cast<std::size_t>(k)] = rp[k]; }
    }

    std::int64_t& ip(int k) { return ipar[static_cast<std::size_t>(k - 1)]; }
    double& rp(int k) { return rpar[static_cast<std::size_t>(k - 1)]; }

    void call() {
        FUNEQ1(&iflag, &n, x.data(), f.data(), fcur.data(), diagx.data(), diagf.data(), jac.data(),
               &ldb, work1.data(), work2.data(), ipar.data(), rpar.data());
    }

    /// Runs a solve from the current x; `residuals(x, f)` may change x in place.
    template <class Residuals>
    std::int64_t run(Residuals&& residuals) {
        iflag = 0;
        call();
        while (iflag < 0) {
            requests.push_back(iflag);
            requested.emplace_back(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(size(n)));
            std::span<double> xs(x.data(), size(n));
            std::span<double> fs(f.data(), size(n));
            residuals(xs, fs);
            call();
        }
        return iflag;
    }
};

}  // namespace azeotrope::solver::testing
