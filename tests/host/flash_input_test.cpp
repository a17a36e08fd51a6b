// Bad input to the flashes: every fatal case gives its documented negative code, with the
// result vectors still sized and zeroed; iteration limits give positive codes; no success ever
// carries a number that is not finite.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host/flash.hpp"
#include "host/ideal_solution.hpp"
#include "host/mixture.hpp"
#include "host/model_factory.hpp"

namespace {

using host::FlashCode;
using host::FlashKind;
using host::FlashOptions;
using host::FlashResult;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::int64_t code(FlashCode c) { return static_cast<std::int64_t>(c); }

class FlashInput : public ::testing::Test {
protected:
    FlashInput()
        : mixture_(host::make_mixture(host::Databank::embedded(),
                                      std::vector<std::string>{"ACETONE", "CHCL3", "MEOH"},
                                      host::PropertyMethod::nrtl)),
          flash_(mixture_) {}

    void expect_fatal(FlashKind kind,
                      double s1,
                      double s2,
                      std::vector<double> z,
                      FlashCode want,
                      const FlashOptions& o = {}) {
        const FlashResult r = flash_.run(kind, s1, s2, z, o);
        EXPECT_EQ(r.error_code, code(want))
            << "kind " << static_cast<int>(kind) << " specs " << s1 << ", " << s2;
        EXPECT_FALSE(r.converged());
        EXPECT_EQ(r.phases, host::PhaseState::none);
        ASSERT_EQ(r.x.size(), 3u);
        ASSERT_EQ(r.y.size(), 3u);
        ASSERT_EQ(r.x1.size(), 3u);
        ASSERT_EQ(r.x2.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(r.x[i], 0.0);
            EXPECT_EQ(r.y[i], 0.0);
        }
        EXPECT_LT(r.error_code, 0);
    }

    host::Mixture mixture_;
    host::Flash flash_;
    const std::vector<double> z_{0.3, 0.3, 0.4};
};

TEST_F(FlashInput, UnknownKindWrongSizesAndNonFiniteValuesAreFatal) {
    for (std::int64_t k : {0, 6, -3, 1000}) {
        expect_fatal(static_cast<FlashKind>(k), 101325.0, 0.0, z_, FlashCode::unknown_kind);
    }
    expect_fatal(FlashKind::pv, 101325.0, 0.0, {0.5, 0.5}, FlashCode::bad_size);
    expect_fatal(FlashKind::pv, 101325.0, 0.0, {0.2, 0.2, 0.2, 0.4}, FlashCode::bad_size);
    expect_fatal(FlashKind::pv, 101325.0, 0.0, {}, FlashCode::bad_size);
    expect_fatal(FlashKind::pv, 101325.0, 0.0, {kNaN, 0.5, 0.5}, FlashCode::not_finite);
    expect_fatal(FlashKind::tp, 330.0, 101325.0, {0.5, kInf, 0.5}, FlashCode::not_finite);
    expect_fatal(FlashKind::pv, kNaN, 0.0, z_, FlashCode::not_finite);
    expect_fatal(FlashKind::pv, 101325.0, kNaN, z_, FlashCode::not_finite);
    expect_fatal(FlashKind::ph, 101325.0, -kInf, z_, FlashCode::not_finite);
    expect_fatal(FlashKind::tp, kInf, 101325.0, z_, FlashCode::not_finite);
}

TEST_F(FlashInput, CompositionPressureVapourFractionAndTemperatureOutOfRangeAreFatal) {
    expect_fatal(FlashKind::pv, 101325.0, 0.0, {0.5, -1e-12, 0.5}, FlashCode::bad_composition);
    expect_fatal(FlashKind::pv, 101325.0, 0.0, {0.0, 0.0, 0.0}, FlashCode::bad_composition);
    expect_fatal(FlashKind::tp, 330.0, 101325.0, {-0.0, 0.0, 0.0}, FlashCode::bad_composition);

    expect_fatal(FlashKind::pv, 0.0, 0.0, z_, FlashCode::bad_pressure);
    expect_fatal(FlashKind::pv, -101325.0, 1.0, z_, FlashCode::bad_pressure);
    expect_fatal(FlashKind::ph, 0.0, -1e7, z_, FlashCode::bad_pressure);
    expect_fatal(FlashKind::tp, 330.0, 0.0, z_, FlashCode::bad_pressure);
    expect_fatal(FlashKind::tp, 330.0, -5.0, z_, FlashCode::bad_pressure);

    expect_fatal(FlashKind::pv, 101325.0, -0.01, z_, FlashCode::bad_vapour_fraction);
    expect_fatal(FlashKind::pv, 101325.0, 1.0 + 1e-12, z_, FlashCode::bad_vapour_fraction);
    expect_fatal(FlashKind::tv, 330.0, 2.0, z_, FlashCode::bad_vapour_fraction);

    const double t_min = mixture_.temperature_min(), t_max = mixture_.temperature_max();
    expect_fatal(FlashKind::tp, t_min - 1e-6, 101325.0, z_, FlashCode::temperature_out_of_range);
    expect_fatal(FlashKind::tp, t_max + 1.0, 101325.0, z_, FlashCode::temperature_out_of_range);
    expect_fatal(FlashKind::tv, 0.0, 0.0, z_, FlashCode::temperature_out_of_range);
    expect_fatal(FlashKind::th, -300.0, 0.0, z_, FlashCode::temperature_out_of_range);
    // The host's "missing value" marker as a temperature.
    expect_fatal(FlashKind::tp, 1e38, 101325.0, z_, FlashCode::temperature_out_of_range);
}

TEST_F(FlashInput, EnthalpiesNoStateCanHaveAreFatal) {
    // Below the liquid enthalpy at the bottom of the range (PH), and outside
    // [H_L(T, z), H_V(T, z)] at fixed T (TH: neither enthalpy depends on pressure).
    const double T = 330.0;
    const double hl = mixture_.liquid_enthalpy(T, z_), hv = mixture_.vapour_enthalpy(T, z_);
    expect_fatal(FlashKind::ph, 101325.0, hl - 1e9, z_, FlashCode::no_solution_in_range);
    expect_fatal(FlashKind::ph, 101325.0, hv + 1e10, z_, FlashCode::no_solution_in_range);
    expect_fatal(FlashKind::th, T, hl - 1e6, z_, FlashCode::no_solution_in_range);
    expect_fatal(FlashKind::th, T, hv + 1e6, z_, FlashCode::no_solution_in_range);
}

TEST_F(FlashInput, SettingsOutsideTheirRangeAreFatal) {
    for (std::int64_t pc : {0, 1, 4, -2}) {
        FlashOptions o;
        o.phase_count = pc;
        expect_fatal(FlashKind::pv, 101325.0, 0.0, z_, FlashCode::bad_phase_count, o);
    }
    for (double tol : {0.0, -1e-8, kNaN, 1.0}) {
        FlashOptions o;
        o.tolerance = tol;
        expect_fatal(FlashKind::pv, 101325.0, 0.0, z_, FlashCode::bad_settings, o);
    }
    FlashOptions o;
    o.max_iterations = 0;
    expect_fatal(FlashKind::pv, 101325.0, 0.0, z_, FlashCode::bad_settings, o);
}

TEST_F(FlashInput, PhaseCountThreeAgreesWithTwoWhereTheLiquidDoesNotSplit) {
    FlashOptions three;
    three.phase_count = 3;
    const FlashResult r2 = flash_.bubble_temperature(101325.0, z_);
    const FlashResult r3 = flash_.bubble_temperature(101325.0, z_, three);
    ASSERT_EQ(r3.error_code, 0);
    EXPECT_EQ(r3.temperature, r2.temperature);
    EXPECT_EQ(r3.x1, r3.x);
    EXPECT_EQ(r3.x2, r3.x);
    EXPECT_EQ(r3.beta, 1.0);
}

TEST_F(FlashInput, IterationLimitGivesAPositiveCodeAndLeavesNoStaleAnswer) {
    FlashOptions o;
    o.max_iterations = 1;
    o.temperature_guess = mixture_.temperature_max() - 1.0;  // far from the answer
    // A result reused from a successful call must not keep its numbers.
    FlashResult bubble = flash_.bubble_temperature(101325.0, z_);
    ASSERT_EQ(bubble.error_code, 0);
    flash_.run(FlashKind::pv, 101325.0, 0.0, z_, o, bubble);
    EXPECT_EQ(bubble.error_code, code(FlashCode::temperature_not_converged));
    EXPECT_EQ(bubble.temperature, 0.0);
    EXPECT_EQ(bubble.pressure, 101325.0);
    EXPECT_EQ(bubble.phases, host::PhaseState::none);
    for (double v : bubble.y) { EXPECT_EQ(v, 0.0); }
    const FlashResult dew = flash_.dew_temperature(101325.0, z_, o);
    EXPECT_GT(dew.error_code, 0);
    const FlashResult ph =
        flash_.run(FlashKind::ph, 101325.0, mixture_.liquid_enthalpy(335.0, z_) + 1e7, z_, o);
    EXPECT_GT(ph.error_code, 0);
}

TEST_F(FlashInput, NoSuccessCarriesANonFiniteNumber) {
    // A sweep over kinds, compositions on the edges and corners, and specifications.
    const std::vector<std::vector<double>> feeds{
        {1, 0, 0},      {0, 1, 0},         {0, 0, 1},         {0.5, 0.5, 0},
        {0, 1e-300, 1}, {1e-12, 0.5, 0.5}, {0.34, 0.22, 0.44}};
    int successes = 0;
    for (const auto& z : feeds) {
        for (FlashKind kind : {FlashKind::pv, FlashKind::tv, FlashKind::tp}) {
            for (double s2 : {0.0, 0.5, 1.0}) {
                const double s1 = kind == FlashKind::pv ? 101325.0 : 330.0;
                const double spec2 = kind == FlashKind::tp ? 101325.0 * (0.5 + s2) : s2;
                const FlashResult r = flash_.run(kind, s1, spec2, z);
                if (!r.converged()) {
                    ADD_FAILURE() << "kind " << static_cast<int>(kind) << " failed with "
                                  << r.error_code;
                    continue;
                }
                ++successes;
                EXPECT_TRUE(std::isfinite(r.temperature) && std::isfinite(r.pressure) &&
                            std::isfinite(r.vapour_fraction));
                double sx = 0.0, sy = 0.0;
                for (std::size_t i = 0; i < 3; ++i) {
                    EXPECT_TRUE(std::isfinite(r.x[i]) && std::isfinite(r.y[i]));
                    EXPECT_GE(r.x[i], 0.0);
                    EXPECT_GE(r.y[i], 0.0);
                    if (z[i] == 0.0) {
                        EXPECT_EQ(r.x[i], 0.0);
                        EXPECT_EQ(r.y[i], 0.0);
                    }
                    sx += r.x[i];
                    sy += r.y[i];
                }
                EXPECT_NEAR(sx, 1.0, 1e-13);
                EXPECT_NEAR(sy, 1.0, 1e-13);
            }
        }
    }
    EXPECT_EQ(successes, 63);
}

TEST(FlashInputLimits, MoreThanOneHundredComponentsAreRefusedAndCodesHaveTexts) {
    const host::PureComponent* water = host::Databank::embedded().find("WATER");
    ASSERT_NE(water, nullptr);
    const auto mixture_of = [&](std::size_t n) {
        return host::Mixture(std::vector<host::PureComponent>(n, *water),
                             std::make_shared<host::IdealSolution>(n));
    };
    const host::Mixture big = mixture_of(101);
    const FlashResult r =
        host::flash(big, FlashKind::pv, 101325.0, 0.0, std::vector<double>(101, 1.0));
    EXPECT_EQ(r.error_code, code(FlashCode::bad_size));
    // One hundred copies of water boil where water does.
    const host::Mixture hundred = mixture_of(100);
    const FlashResult ok =
        host::flash(hundred, FlashKind::pv, 101325.0, 0.0, std::vector<double>(100, 1.0));
    ASSERT_EQ(ok.error_code, 0);
    const FlashResult pure =
        host::flash(mixture_of(1), FlashKind::pv, 101325.0, 0.0, std::vector<double>{1.0});
    ASSERT_EQ(pure.error_code, 0);
    EXPECT_NEAR(ok.temperature, pure.temperature, 1e-9);

    std::set<std::string_view> texts;
    for (std::int64_t c = -12; c <= 5; ++c) {
        const std::string_view t = host::flash_code_text(c);
        EXPECT_NE(t, "unknown flash code") << c;
        texts.insert(t);
    }
    EXPECT_EQ(texts.size(), 18u);
    EXPECT_EQ(host::flash_code_text(6), "unknown flash code");
}

}  // namespace
