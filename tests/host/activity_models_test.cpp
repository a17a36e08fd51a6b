// Activity models: thermodynamic identities for every model from one case list, the worked values
// of the activity-model notes (computed there with an independent implementation), published
// limits, and the contract (sizes, temperatures, parameter checks, no allocation per evaluation).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/databank.hpp"
#include "host/ideal_solution.hpp"
#include "host/model_factory.hpp"
#include "host/nrtl.hpp"
#include "host/unifac.hpp"
#include "host/uniquac.hpp"
#include "host/wilson.hpp"

// Counting replacement of the global allocation functions: allocations are counted only while a
// test switches counting on, on its own thread, so the rest of the test binary is unaffected.
namespace {
thread_local bool g_count_allocations = false;
std::atomic<long> g_allocations{0};

void* counted_allocation(std::size_t size) {
    if (g_count_allocations) { ++g_allocations; }
    if (void* p = std::malloc(size == 0 ? 1 : size)) { return p; }
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return counted_allocation(size); }
void* operator new[](std::size_t size) { return counted_allocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using host::InteractionMatrix;
using Matrix = std::vector<std::vector<double>>;

InteractionMatrix matrix(const Matrix& a, const Matrix& b) {
    InteractionMatrix m(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (std::size_t j = 0; j < a.size(); ++j) {
            m.a[i * m.n + j] = a[i][j];
            m.b[i * m.n + j] = b[i][j];
        }
    }
    return m;
}

std::vector<double> flat(const Matrix& m) {
    std::vector<double> v;
    for (const auto& row : m) { v.insert(v.end(), row.begin(), row.end()); }
    return v;
}

// Parameter sets of the activity-model notes, section 7 (made-up, asymmetric values chosen so
// that transposed indices show).
std::shared_ptr<host::ActivityModel> wilson_binary() {
    return std::make_shared<host::Wilson>(
        host::WilsonParameters{matrix({{0, 0.5}, {-0.3, 0}}, {{0, -300}, {-150, 0}})});
}
std::shared_ptr<host::ActivityModel> wilson_ternary() {
    return std::make_shared<host::Wilson>(
        host::WilsonParameters{matrix({{0, 0.5, -0.2}, {-0.3, 0, 0.1}, {0.4, -0.6, 0}},
                                      {{0, -300, 50}, {-150, 0, -80}, {20, 100, 0}})});
}
std::shared_ptr<host::ActivityModel> nrtl_binary() {
    host::NrtlParameters p;
    p.tau = matrix({{0, -0.8}, {3.5, 0}}, {{0, 250}, {-400, 0}});
    p.alpha = {0, 0.3, 0.3, 0};
    return std::make_shared<host::Nrtl>(p);
}
std::shared_ptr<host::ActivityModel> nrtl_ternary() {
    host::NrtlParameters p;
    p.tau = matrix({{0, 0.5, -1.0}, {1.2, 0, 0.8}, {2.0, -0.4, 0}},
                   {{0, 100, 300}, {-200, 0, 50}, {150, 400, 0}});
    p.alpha = flat({{0, 0.3, 0.2}, {0.3, 0, 0.47}, {0.2, 0.47, 0}});
    return std::make_shared<host::Nrtl>(p);
}
/// The ternary with the extensions some data banks use (made up): e ln T and f T in tau and a
/// temperature-dependent alpha, so that their derivatives are exercised too.
std::shared_ptr<host::ActivityModel> nrtl_extended() {
    host::NrtlParameters p;
    p.tau = matrix({{0, 0.5, -1.0}, {1.2, 0, 0.8}, {2.0, -0.4, 0}},
                   {{0, 100, 300}, {-200, 0, 50}, {150, 400, 0}});
    p.tau.e = flat({{0, 0.02, -0.01}, {0.03, 0, 0.0}, {-0.02, 0.01, 0}});
    p.tau.f = flat({{0, 1e-4, 0}, {-2e-4, 0, 3e-4}, {0, 1e-4, 0}});
    p.alpha = flat({{0, 0.3, 0.2}, {0.3, 0, 0.47}, {0.2, 0.47, 0}});
    p.alpha_slope = flat({{0, 1e-3, -5e-4}, {1e-3, 0, 2e-4}, {-5e-4, 2e-4, 0}});
    return std::make_shared<host::Nrtl>(p);
}
std::shared_ptr<host::ActivityModel> uniquac_binary() {
    host::UniquacParameters p;
    p.r = {2.1055, 0.92};
    p.q = {1.972, 1.40};
    p.ln_tau = matrix({{0, 0.2}, {-0.5, 0}}, {{0, -150}, {80, 0}});
    return std::make_shared<host::Uniquac>(p);
}
std::shared_ptr<host::ActivityModel> uniquac_ternary(bool modified_area = false) {
    host::UniquacParameters p;
    p.r = {2.5735, 0.92, 1.4311};
    p.q = {2.336, 1.40, 1.432};
    if (modified_area) {
        p.q_residual = {0.92, 1.00, 1.432};  // q' of the kind used for alcohols and water
    }
    p.ln_tau = matrix({{0, 0.3, -0.2}, {0.1, 0, 0.25}, {-0.6, 0.05, 0}},
                      {{0, -120, 60}, {-80, 0, -30}, {40, -90, 0}});
    return std::make_shared<host::Uniquac>(p);
}
std::shared_ptr<host::ActivityModel> from_databank(std::vector<std::string> ids,
                                                   host::PropertyMethod method) {
    const auto& bank = host::Databank::embedded();
    return std::const_pointer_cast<host::ActivityModel>(
        host::make_activity_model(bank, host::find_components(bank, ids), method));
}

struct ModelCase {
    std::string label;
    std::function<std::shared_ptr<host::ActivityModel>()> make;
    double T;
    std::vector<double> x;
};

std::ostream& operator<<(std::ostream& os, const ModelCase& c) { return os << c.label; }

using host::PropertyMethod;
const std::vector<ModelCase>& model_cases() {
    static const std::vector<ModelCase> cases = {
        {"IdealTernary",
         [] { return std::make_shared<host::IdealSolution>(3); },
         350,
         {0.2, 0.3, 0.5}},
        {"WilsonBinary", wilson_binary, 350, {0.3, 0.7}},
        {"WilsonTernary", wilson_ternary, 350, {0.2, 0.3, 0.5}},
        {"WilsonTernaryEdge", wilson_ternary, 320, {0.0, 0.4, 0.6}},
        {"NrtlBinary", nrtl_binary, 350, {0.3, 0.7}},
        {"NrtlTernary", nrtl_ternary, 350, {0.2, 0.3, 0.5}},
        {"NrtlTernaryEdge", nrtl_ternary, 340, {0.4, 0.6, 0.0}},
        {"NrtlExtendedForms", nrtl_extended, 335, {0.25, 0.45, 0.3}},
        {"UniquacBinary", uniquac_binary, 350, {0.3, 0.7}},
        {"UniquacTernary", [] { return uniquac_ternary(); }, 350, {0.2, 0.3, 0.5}},
        {"UniquacTernaryEdge", [] { return uniquac_ternary(); }, 360, {0.0, 0.3, 0.7}},
        {"UniquacModifiedArea", [] { return uniquac_ternary(true); }, 350, {0.2, 0.3, 0.5}},
        {"NrtlDatabankAcetoneChloroformMethanol",
         [] {
             return from_databank({"ACETONE", "CHCL3", "MEOH"}, PropertyMethod::nrtl);
         },
         330,
         {0.35, 0.2, 0.45}},
        {"UniquacDatabankEthanolWaterBenzene",
         [] {
             return from_databank({"ETOH", "WATER", "BENZENE"}, PropertyMethod::uniquac);
         },
         340,
         {0.3, 0.3, 0.4}},
        {"UnifacEthanolWater",
         [] {
             return from_databank({"ETOH", "WATER"}, PropertyMethod::unifac);
         },
         350,
         {0.3, 0.7}},
        {"UnifacSixComponents",
         [] {
             return from_databank({"WATER", "MEOH", "ETOH", "ACETONE", "ETAC", "NBUOH"},
                                  PropertyMethod::unifac);
         },
         340,
         {0.3, 0.1, 0.2, 0.15, 0.15, 0.1}},
        {"UnifacSixComponentsEdge",
         [] {
             return from_databank({"WATER", "MEOH", "ETOH", "ACETONE", "ETAC", "NBUOH"},
                                  PropertyMethod::unifac);
         },
         360,
         {0.5, 0.0, 0.2, 0.0, 0.2, 0.1}},
        {"UnifacLleEthanolWaterBenzene",
         [] {
             return from_databank({"ETOH", "WATER", "BENZENE"}, PropertyMethod::unifac_lle);
         },
         298.15,
         {0.2, 0.5, 0.3}},
        {"UnifacLleWaterButanol",
         [] {
             return from_databank({"WATER", "NBUOH"}, PropertyMethod::unifac_lle);
         },
         310,
         {0.6, 0.4}},
    };
    return cases;
}

class ActivityModelIdentities : public ::testing::TestWithParam<ModelCase> {
protected:
    void SetUp() override { model_ = GetParam().make(); }
    std::shared_ptr<host::ActivityModel> model_;
};

/// n G^E/RT at mole amounts n (any total).
double n_excess_gibbs(const host::ActivityModel& m, double T, std::vector<double> n) {
    double total = 0.0;
    for (double v : n) { total += v; }
    for (double& v : n) { v /= total; }
    return total * m.excess_gibbs_over_rt(T, n);
}

TEST_P(ActivityModelIdentities, LnGammaIsPartialDerivativeOfExcessGibbs) {
    const ModelCase& c = GetParam();
    std::vector<double> ln_gamma(c.x.size());
    model_->ln_gamma(c.T, c.x, ln_gamma);
    constexpr double h = 1e-5;
    for (std::size_t i = 0; i < c.x.size(); ++i) {
        auto shifted = [&](double s) {
            std::vector<double> n = c.x;
            n[i] += s;
            return n_excess_gibbs(*model_, c.T, n);
        };
        // Central differences inside, a second-order one-sided formula at x_i = 0.
        const double derivative =
            c.x[i] > h ? (shifted(h) - shifted(-h)) / (2 * h)
                       : (-3 * shifted(0) + 4 * shifted(h) - shifted(2 * h)) / (2 * h);
        EXPECT_NEAR(ln_gamma[i], derivative, 2e-8) << c.label << ", component " << i;
    }
}

TEST_P(ActivityModelIdentities, CompositionDerivativesObeyGibbsDuhemSymmetryAndDifferences) {
    const ModelCase& c = GetParam();
    const std::size_t n = c.x.size();
    std::vector<double> analytic(n * n), numeric(n * n);
    model_->d_ln_gamma_dn(c.T, c.x, analytic);
    // The base class's finite-difference version is an independent route to the same matrix.
    model_->host::ActivityModel::d_ln_gamma_dn(c.T, c.x, numeric);
    for (std::size_t j = 0; j < n; ++j) {
        double gibbs_duhem = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            gibbs_duhem += c.x[i] * analytic[i * n + j];
            EXPECT_NEAR(analytic[i * n + j], analytic[j * n + i], 1e-12)
                << c.label << " symmetry (" << i << ", " << j << ")";
            EXPECT_NEAR(analytic[i * n + j], numeric[i * n + j],
                        1e-6 * std::max(1.0, std::abs(numeric[i * n + j])))
                << c.label << " (" << i << ", " << j << ")";
        }
        EXPECT_NEAR(gibbs_duhem, 0.0, 1e-12) << c.label << ", column " << j;
    }
}

TEST_P(ActivityModelIdentities, TemperatureDerivativeMatchesCentralDifferences) {
    const ModelCase& c = GetParam();
    const std::size_t n = c.x.size();
    std::vector<double> analytic(n), plus(n), minus(n);
    model_->d_ln_gamma_dT(c.T, c.x, analytic);
    constexpr double h = 1e-2;  // K
    model_->ln_gamma(c.T + h, c.x, plus);
    model_->ln_gamma(c.T - h, c.x, minus);
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_NEAR(analytic[i], (plus[i] - minus[i]) / (2 * h), 1e-10)
            << c.label << ", component " << i;
    }
}

TEST_P(ActivityModelIdentities, ExcessEnthalpyIsConsistentWithExcessGibbsEnergy) {
    // Gibbs-Helmholtz: H^E/(R T^2) = -d(G^E/RT)/dT = -sum_i x_i d ln(gamma_i)/dT.
    const ModelCase& c = GetParam();
    std::vector<double> d(c.x.size());
    model_->d_ln_gamma_dT(c.T, c.x, d);
    double from_gamma = 0.0;
    for (std::size_t i = 0; i < c.x.size(); ++i) { from_gamma += c.x[i] * d[i]; }
    constexpr double h = 1e-2;
    const double from_gibbs =
        (model_->excess_gibbs_over_rt(c.T + h, c.x) - model_->excess_gibbs_over_rt(c.T - h, c.x)) /
        (2 * h);
    EXPECT_NEAR(from_gamma, from_gibbs, 1e-11) << c.label;
}

TEST_P(ActivityModelIdentities, GammaIsOneForEveryPureComponent) {
    const ModelCase& c = GetParam();
    const std::size_t n = c.x.size();
    std::vector<double> ln_gamma(n), d(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<double> pure(n, 0.0);
        pure[i] = 1.0;
        model_->ln_gamma(c.T, pure, ln_gamma);
        model_->d_ln_gamma_dT(c.T, pure, d);
        EXPECT_NEAR(ln_gamma[i], 0.0, 1e-13) << c.label << ", pure " << i;
        EXPECT_NEAR(d[i], 0.0, 1e-15) << c.label << ", pure " << i;
        EXPECT_NEAR(model_->excess_gibbs_over_rt(c.T, pure), 0.0, 1e-13) << c.label;
        for (double v : ln_gamma) {
            EXPECT_TRUE(std::isfinite(v)) << c.label << ": infinite dilution must be finite";
        }
    }
}

TEST_P(ActivityModelIdentities, WrongSizesAndTemperaturesAreRefused) {
    const ModelCase& c = GetParam();
    const std::size_t n = c.x.size();
    std::vector<double> out(n), short_x(n - 1), matrix_out(n * n);
    EXPECT_THROW(model_->ln_gamma(c.T, short_x, out), std::invalid_argument);
    EXPECT_THROW(model_->ln_gamma(c.T, c.x, std::span<double>(out).first(n - 1)),
                 std::invalid_argument);
    EXPECT_THROW(model_->d_ln_gamma_dT(c.T, short_x, out), std::invalid_argument);
    EXPECT_THROW(model_->excess_gibbs_over_rt(c.T, short_x), std::invalid_argument);
    EXPECT_THROW(model_->d_ln_gamma_dn(c.T, c.x, out), std::invalid_argument);
    for (const double T : {0.0, -10.0, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()}) {
        EXPECT_THROW(model_->ln_gamma(T, c.x, out), std::invalid_argument) << T;
        EXPECT_THROW(model_->d_ln_gamma_dT(T, c.x, out), std::invalid_argument) << T;
        EXPECT_THROW(model_->excess_gibbs_over_rt(T, c.x), std::invalid_argument) << T;
        EXPECT_THROW(model_->d_ln_gamma_dn(T, c.x, matrix_out), std::invalid_argument) << T;
    }
}

INSTANTIATE_TEST_SUITE_P(AllModels,
                         ActivityModelIdentities,
                         ::testing::ValuesIn(model_cases()),
                         [](const auto& test) { return test.param.label; });

// Worked values of the activity-model notes (section 7), computed there with an independent
// implementation and checked three ways; given to 10 significant digits.
struct WorkedValue {
    std::string label;
    std::function<std::shared_ptr<host::ActivityModel>()> make;
    double T;
    std::vector<double> x;
    std::vector<double> ln_gamma;
    std::vector<double> d_ln_gamma_dT;  // empty when not given
    double ge_over_rt;                  // NaN when not given
};

TEST(ActivityModelWorkedValues, MatchTheIndependentImplementation) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<WorkedValue> values = {
        {"Wilson binary",
         wilson_binary,
         350,
         {0.3, 0.7},
         {0.4562658087, 0.0742855167},
         {-1.3475640145e-03, -2.8320609686e-04},
         0.1888796043},
        {"Wilson ternary",
         wilson_ternary,
         350,
         {0.2, 0.3, 0.5},
         {-0.0375168349, 0.3086876346, -0.0471093168},
         {},
         nan},
        {"NRTL binary",
         nrtl_binary,
         350,
         {0.3, 0.7},
         {0.6321982545, 0.2433188826},
         {-7.0038204544e-04, 1.6818548988e-04},
         0.3599826942},
        {"NRTL ternary",
         nrtl_ternary,
         350,
         {0.2, 0.3, 0.5},
         {0.7902892945, 0.4523780955, 0.3455187218},
         {-7.9896894615e-04, -2.9433016506e-04, -8.8670852358e-04},
         0.4665306485},
        {"UNIQUAC binary",
         uniquac_binary,
         350,
         {0.3, 0.7},
         {0.6143221070, 0.1923377444},
         {-4.7568777018e-04, -4.4362116941e-05},
         0.3189330532},
        {"UNIQUAC ternary",
         [] { return uniquac_ternary(); },
         350,
         {0.2, 0.3, 0.5},
         {0.3713596126, 0.2700481752, 0.1150762621},
         {5.8131667783e-05, -1.0707600285e-03, 1.3312341495e-04},
         0.2128245061},
        {"UNIFAC ethanol/water",
         [] {
             return from_databank({"ETOH", "WATER"}, PropertyMethod::unifac);
         },
         350,
         {0.3, 0.7},
         {0.5096071565, 0.2011284365},
         {3.2570934697e-04, -1.8519148261e-04},
         0.2936720525},
    };
    for (const auto& v : values) {
        const auto model = v.make();
        const std::size_t n = v.x.size();
        std::vector<double> ln_gamma(n), d(n);
        model->ln_gamma(v.T, v.x, ln_gamma);
        model->d_ln_gamma_dT(v.T, v.x, d);
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_NEAR(ln_gamma[i], v.ln_gamma[i], 1e-9) << v.label << ", component " << i;
            if (!v.d_ln_gamma_dT.empty()) {
                EXPECT_NEAR(d[i], v.d_ln_gamma_dT[i], 1e-13) << v.label << ", component " << i;
            }
        }
        if (!std::isnan(v.ge_over_rt)) {
            EXPECT_NEAR(model->excess_gibbs_over_rt(v.T, v.x), v.ge_over_rt, 1e-9) << v.label;
        }
    }
}

/// The UNIFAC table with every interaction parameter set to zero: the residual term vanishes
/// and ln gamma is the combinatorial term alone.
host::UnifacTable without_interactions(const host::UnifacTable& table) {
    host::UnifacTable copy = table;
    for (auto& [pair, a] : copy.interactions) { a = 0.0; }
    return copy;
}

TEST(ActivityModelWorkedValues, UnifacReproducesTheAcetonePentaneTextbookExample) {
    // Smith, Van Ness & Abbott's worked example (acetone(1)/n-pentane(2), 307 K, x1 = 0.047):
    // gamma1 = 4.992, gamma2 = 1.005; the notes give the split into combinatorial and residual
    // parts to 8 digits.
    const auto& table = host::Databank::embedded().unifac(host::UnifacVersion::original);
    const std::vector<host::UnifacGroupCounts> groups = {{{1, 1}, {18, 1}}, {{1, 2}, {2, 3}}};
    ASSERT_EQ(table.find_subgroup(18)->name, "CH3CO");
    const std::vector<double> x = {0.047, 0.953};
    std::vector<double> ln_gamma(2), combinatorial(2);
    host::Unifac(table, groups).ln_gamma(307.0, x, ln_gamma);
    host::Unifac(without_interactions(table), groups).ln_gamma(307.0, x, combinatorial);
    EXPECT_NEAR(std::exp(ln_gamma[0]), 4.99203, 5e-6);
    EXPECT_NEAR(std::exp(ln_gamma[1]), 1.00526, 5e-6);
    EXPECT_NEAR(combinatorial[0], -0.05271726, 1e-8);
    EXPECT_NEAR(combinatorial[1], -0.00010177, 1e-8);
    EXPECT_NEAR(ln_gamma[0] - combinatorial[0], 1.66056077, 1e-8);
    EXPECT_NEAR(ln_gamma[1] - combinatorial[1], 0.00534819, 1e-8);
}

TEST(ActivityModelWorkedValues, UniquacCombinatorialPartMatches) {
    // With zero interaction parameters (tau = 1) the residual term vanishes; notes, section 7.3.
    host::UniquacParameters p;
    p.r = {2.1055, 0.92};
    p.q = {1.972, 1.40};
    p.ln_tau = InteractionMatrix(2);
    std::vector<double> ln_gamma(2);
    host::Uniquac(p).ln_gamma(350, std::vector<double>{0.3, 0.7}, ln_gamma);
    EXPECT_NEAR(ln_gamma[0], 0.25738876, 1e-8);
    EXPECT_NEAR(ln_gamma[1], 0.09766712, 1e-8);
}

TEST(ActivityModelLimits, InfiniteDilutionMatchesTheClosedForms) {
    // Binary limits (notes, sections 1 and 2): Wilson ln gamma1_inf = 1 - ln L12 - L21;
    // NRTL ln gamma1_inf = tau21 + tau12 exp(-alpha tau12).
    const double T = 350;
    std::vector<double> ln_gamma(2);
    const std::vector<double> dilute = {0.0, 1.0};
    wilson_binary()->ln_gamma(T, dilute, ln_gamma);
    const double L12 = std::exp(0.5 - 300 / T), L21 = std::exp(-0.3 - 150 / T);
    EXPECT_NEAR(ln_gamma[0], 1 - std::log(L12) - L21, 1e-14);
    nrtl_binary()->ln_gamma(T, dilute, ln_gamma);
    const double tau12 = -0.8 + 250 / T, tau21 = 3.5 - 400 / T;
    EXPECT_NEAR(ln_gamma[0], tau21 + tau12 * std::exp(-0.3 * tau12), 1e-14);
}

TEST(ActivityModelLimits, ABinaryIsUnchangedByAThirdComponentAtZero) {
    // A ternary whose first two components carry the binary's parameters must give the binary's
    // ln gamma and G^E on the 1-2 edge, whatever the third component's parameters are.
    const double T = 345;
    const std::vector<double> x2 = {0.35, 0.65}, x3 = {0.35, 0.65, 0.0};
    const auto compare = [&](const host::ActivityModel& binary, const host::ActivityModel& ternary,
                             const char* label) {
        std::vector<double> b(2), t(3), db(2), dt(3);
        binary.ln_gamma(T, x2, b);
        ternary.ln_gamma(T, x3, t);
        binary.d_ln_gamma_dT(T, x2, db);
        ternary.d_ln_gamma_dT(T, x3, dt);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_NEAR(b[i], t[i], 1e-14) << label << " " << i;
            EXPECT_NEAR(db[i], dt[i], 1e-16) << label << " " << i;
        }
        EXPECT_NEAR(binary.excess_gibbs_over_rt(T, x2), ternary.excess_gibbs_over_rt(T, x3), 1e-14)
            << label;
    };
    const auto embed = [](const InteractionMatrix& m2) {
        InteractionMatrix m3 = matrix({{0, 0, 0.7}, {0, 0, -0.4}, {0.2, 1.1, 0}},
                                      {{0, 0, -90}, {0, 0, 210}, {35, -160, 0}});
        m3.set_pair(0, 1, m2.a[1], m2.b[1], m2.a[2], m2.b[2]);
        return m3;
    };
    {
        const host::Wilson binary(
            host::WilsonParameters{matrix({{0, 0.5}, {-0.3, 0}}, {{0, -300}, {-150, 0}})});
        const host::Wilson ternary(host::WilsonParameters{embed(binary.parameters().ln_lambda)});
        compare(binary, ternary, "Wilson");
    }
    {
        host::NrtlParameters p2;
        p2.tau = matrix({{0, -0.8}, {3.5, 0}}, {{0, 250}, {-400, 0}});
        p2.alpha = {0, 0.3, 0.3, 0};
        host::NrtlParameters p3;
        p3.tau = embed(p2.tau);
        p3.alpha = flat({{0, 0.3, 0.45}, {0.3, 0, 0.2}, {0.45, 0.2, 0}});
        compare(host::Nrtl(p2), host::Nrtl(p3), "NRTL");
    }
    {
        host::UniquacParameters p2;
        p2.r = {2.1055, 0.92};
        p2.q = {1.972, 1.40};
        p2.ln_tau = matrix({{0, 0.2}, {-0.5, 0}}, {{0, -150}, {80, 0}});
        host::UniquacParameters p3 = p2;
        p3.r.push_back(3.19);
        p3.q.push_back(2.4);
        p3.ln_tau = embed(p2.ln_tau);
        compare(host::Uniquac(p2), host::Uniquac(p3), "UNIQUAC");
    }
}

TEST(ActivityModelContract, OnlyModelsThatCanSplitSayTheyCan) {
    EXPECT_FALSE(host::IdealSolution(2).can_split_liquid());
    EXPECT_FALSE(wilson_binary()->can_split_liquid());
    EXPECT_TRUE(nrtl_binary()->can_split_liquid());
    EXPECT_TRUE(uniquac_binary()->can_split_liquid());
    EXPECT_TRUE(from_databank({"WATER", "NBUOH"}, PropertyMethod::unifac_lle)->can_split_liquid());
}

TEST(ActivityModelContract, BadParametersAreRefusedAtConstruction) {
    const auto nrtl = [](auto edit) {
        host::NrtlParameters p;
        p.tau = matrix({{0, -0.8}, {3.5, 0}}, {{0, 250}, {-400, 0}});
        p.alpha = {0, 0.3, 0.3, 0};
        edit(p);
        return host::Nrtl(p);
    };
    EXPECT_NO_THROW(nrtl([](host::NrtlParameters&) {}));
    EXPECT_THROW(nrtl([](host::NrtlParameters& p) { p.alpha[1] = 0.2; }), std::invalid_argument);
    EXPECT_THROW(nrtl([](host::NrtlParameters& p) { p.alpha[1] = p.alpha[2] = -0.1; }),
                 std::invalid_argument);
    EXPECT_THROW(nrtl([](host::NrtlParameters& p) { p.alpha.pop_back(); }), std::invalid_argument);
    EXPECT_THROW(nrtl([](host::NrtlParameters& p) { p.tau.b[0] = 5; }), std::invalid_argument);
    EXPECT_THROW(nrtl([](host::NrtlParameters& p) { p.tau.a[1] = std::nan(""); }),
                 std::invalid_argument);
    EXPECT_THROW(nrtl([](host::NrtlParameters& p) { p.tau.f.resize(3); }), std::invalid_argument);
    EXPECT_THROW(nrtl([](host::NrtlParameters& p) {
                     p.alpha_slope = {0, 1e-3, 0, 0};
                 }),
                 std::invalid_argument);

    host::UniquacParameters u;
    u.r = {2.1, 0.92};
    u.q = {1.97, 0.0};
    u.ln_tau = InteractionMatrix(2);
    EXPECT_THROW(host::Uniquac{u}, std::invalid_argument);
    u.q = {1.97};
    EXPECT_THROW(host::Uniquac{u}, std::invalid_argument);

    EXPECT_THROW(host::Wilson(host::WilsonParameters{InteractionMatrix(0)}), std::invalid_argument);
    InteractionMatrix bad(2);
    bad.b[1] = std::numeric_limits<double>::infinity();
    EXPECT_THROW(host::Wilson(host::WilsonParameters{bad}), std::invalid_argument);
}

TEST(ActivityModelContract, UnifacRefusesComponentsItCannotDescribe) {
    const auto& table = host::Databank::embedded().unifac(host::UnifacVersion::original);
    const std::vector<std::string> names = {"A", "B"};
    EXPECT_THROW(host::Unifac(table, std::vector<host::UnifacGroupCounts>{{{1, 1}}, {}}, names),
                 std::invalid_argument);
    EXPECT_THROW(host::Unifac(table, std::vector<host::UnifacGroupCounts>{{{1, 1}}, {{999, 1}}}),
                 std::invalid_argument);
    EXPECT_THROW(host::Unifac(table, std::vector<host::UnifacGroupCounts>{{{1, 1}}, {{16, 0}}}),
                 std::invalid_argument);
    // Acetic acid (COOH) with nitromethane (CNO2): no published a_mn (unifac/README.md, gaps).
    try {
        from_databank({"ACOH", "NITROME"}, PropertyMethod::unifac);
        ADD_FAILURE() << "a missing main-group pair must be refused";
    } catch (const std::invalid_argument& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("COOH"), std::string::npos) << what;
        EXPECT_NE(what.find("CNO2"), std::string::npos) << what;
        EXPECT_NE(what.find("ACOH"), std::string::npos) << what;
        EXPECT_NE(what.find("NITROME"), std::string::npos) << what;
    }
}

TEST(ActivityModelContract, EvaluationsDoNotAllocateForOneHundredComponents) {
    constexpr std::size_t n = 100;
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> tau(-1.0, 2.0), size(1.0, 4.0);
    InteractionMatrix m(n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            if (i != j) {
                m.a[i * n + j] = tau(random);
                m.b[i * n + j] = 100 * tau(random);
            }
        }
    }
    host::NrtlParameters np{m, std::vector<double>(n * n, 0.3), {}};
    host::UniquacParameters up;
    for (std::size_t i = 0; i < n; ++i) {
        up.r.push_back(size(random));
        up.q.push_back(size(random));
    }
    up.ln_tau = m;
    for (auto& v : up.ln_tau.b) { v *= 0.5; }
    // UNIFAC over 100 components built from twelve databank molecules with complete tables.
    const auto& bank = host::Databank::embedded();
    const std::vector<std::string> pool = {"WATER",   "MEOH",    "ETOH",    "NPROH",
                                           "NBUOH",   "ACETONE", "MEK",     "ETAC",
                                           "BENZENE", "TOLUENE", "NHEXANE", "CYHEX"};
    std::vector<host::UnifacGroupCounts> groups;
    for (std::size_t i = 0; i < n; ++i) {
        groups.push_back(bank.find(pool[i % pool.size()])->unifac_groups);
    }
    const std::vector<std::shared_ptr<host::ActivityModel>> models = {
        std::make_shared<host::Nrtl>(np), std::make_shared<host::Wilson>(host::WilsonParameters{m}),
        std::make_shared<host::Uniquac>(up),
        std::make_shared<host::Unifac>(bank.unifac(host::UnifacVersion::original), groups)};

    std::vector<double> x(n, 1.0 / n), out(n), jacobian(n * n);
    for (const auto& model : models) {
        model->ln_gamma(340, x, out);  // the first evaluation on a thread may set up storage
        model->d_ln_gamma_dT(340, x, out);
        model->d_ln_gamma_dn(340, x, jacobian);
        g_allocations = 0;
        g_count_allocations = true;
        for (int k = 0; k < 3; ++k) {
            model->ln_gamma(340 + k, x, out);
            model->d_ln_gamma_dT(340 + k, x, out);
            (void)model->excess_gibbs_over_rt(340 + k, x);
            model->d_ln_gamma_dn(340 + k, x, jacobian);
        }
        g_count_allocations = false;
        EXPECT_EQ(g_allocations.load(), 0)
            << "model with " << model->component_count() << " components";
        for (double v : out) { ASSERT_TRUE(std::isfinite(v)); }
    }
}

TEST(ActivityModelContract, ConcurrentEvaluationsOfOneModelAgreeWithSerialOnes) {
    // One model shared between threads: each evaluation's working storage is its thread's own.
    const auto model = from_databank({"WATER", "MEOH", "ETOH", "ACETONE", "ETAC", "NBUOH"},
                                     PropertyMethod::unifac);
    const std::vector<double> x = {0.3, 0.1, 0.2, 0.15, 0.15, 0.1};
    std::vector<double> expected(6);
    model->ln_gamma(340, x, expected);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<double> out(6), other(6);
            for (int k = 0; k < 2000; ++k) {
                model->d_ln_gamma_dT(300 + t, x, other);  // a different evaluation in between
                model->ln_gamma(340, x, out);
                mismatches += out == expected ? 0 : 1;
            }
        });
    }
    for (auto& thread : threads) { thread.join(); }
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
