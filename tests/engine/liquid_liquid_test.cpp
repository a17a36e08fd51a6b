// Liquid-liquid and vapour-liquid-liquid envelopes and tie lines through the distillation map,
// against the tracers called directly, with the layouts the map returns, and new tie lines
// through a composition against the stored ones (every feed on a tie line splits into the same
// two liquids, so the tie line through a stored tie line's midpoint is that tie line).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

#include "engine_test_support.hpp"
#include "lle/envelope_routines.hpp"

namespace engine::testing {
namespace {

using namespace platform;

// Ethanol / water / benzene of the test problem (host indices 4, 5, 6) with the EWB-1 set.
constexpr std::array<std::int64_t, 3> kEthanolWaterBenzene{4, 5, 6};
constexpr double kRoomTemperature = 298.15;  // [K]
// The host starts each flash from the one before, so a second trace of the same envelope agrees
// with the first to the flash tolerance, not to the last bit.
constexpr double kSame = 1e-8;

Engine ethanol_water_benzene() {
    Engine e = open_engine();
    EXPECT_EQ(e.status, S_OK);
    set_ternary(e.map.get(), "ETOH", "WATER", "BENZENE", "EWB", 3);
    e.map->put_Temperature(kRoomTemperature);
    return e;
}

/// The envelope stores of a direct call.
struct Stores {
    std::int64_t curves = 0, ties = 100, message = 0, error = 0;
    std::array<std::int64_t, 3> counts{};
    std::vector<double> points = std::vector<double>(1800, -1.0);
    std::vector<double> tie_lines = std::vector<double>(600, -1.0);
    std::vector<double> vapour = std::vector<double>(300, -1.0);
    double plait = 0.0;
};

double distance(std::span<const double> a, std::span<const double> b) {
    double s = 0.0;
    for (std::size_t i = 0; i < 3; ++i) { s += (a[i] - b[i]) * (a[i] - b[i]); }
    return std::sqrt(s);
}

/// True when {a1, a2} and {b1, b2} are the same two points within `tol` (either order).
bool same_ends(std::span<const double> a1,
               std::span<const double> a2,
               std::span<const double> b1,
               std::span<const double> b2,
               double tol) {
    return (distance(a1, b1) < tol && distance(a2, b2) < tol) ||
           (distance(a1, b2) < tol && distance(a2, b1) < tol);
}

TEST(MapEnvelopeLLE, EqualsTheTracerAndItsTieLinesAreThoseThroughTheirMidpoints) {
    Engine e = ethanol_water_benzene();
    ASSERT_EQ(e.map->ComputeEnvelopeLLE(), S_OK);
    Stores direct;
    const std::int64_t n = 3;
    const double pressure = kAtmosphere, temperature = kRoomTemperature, step = 0.1;
    const char opset[10] = {'E', 'W', 'B'};
    LLE_Envelope(&n, &pressure, &temperature, &step, kEthanolWaterBenzene.data(), opset,
                 &direct.curves, direct.counts.data(), direct.points.data(), &direct.ties,
                 direct.tie_lines.data(), &direct.message, &direct.error, 10);
    LONG error = -1, message = -1;
    e.map->get_ErrorCode(&error);
    e.map->get_MessageCode(&message);
    EXPECT_EQ(error, direct.error);
    EXPECT_EQ(message, direct.message);
    // Water and benzene are partly miscible, the other two edges are not: one envelope.
    ASSERT_EQ(direct.curves, 1);

    CComVariant curve;
    ASSERT_EQ(e.map->GetCurveLLE(&curve), S_OK);
    const Array a = read_array(curve);
    ASSERT_EQ(a.extents, (std::vector<std::int64_t>{1, direct.counts[0], 3}));
    for (std::int64_t p = 0; p < direct.counts[0]; ++p) {
        for (int k = 0; k < 3; ++k) { EXPECT_NEAR(a.at(0, p, k), direct.points[p * 3 + k], kSame); }
    }

    CComVariant ties;
    ASSERT_EQ(e.map->GetTieLinesLLE(&ties), S_OK);
    const Array t = read_array(ties);
    ASSERT_EQ(t.extents, (std::vector<std::int64_t>{2 * direct.ties, 3}));
    ASSERT_GE(direct.ties, 3);
    for (std::int64_t row = 0; row < 2 * direct.ties; ++row) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(t.at(row, k), direct.tie_lines[row * 3 + k], kSame);
        }
    }
    // A few tie lines again, one flash each through the map.
    for (std::int64_t k : {std::int64_t{0}, direct.ties / 2, direct.ties - 1}) {
        const std::array<double, 3> end1{t.at(2 * k, 0), t.at(2 * k, 1), t.at(2 * k, 2)};
        const std::array<double, 3> end2{t.at(2 * k + 1, 0), t.at(2 * k + 1, 1),
                                         t.at(2 * k + 1, 2)};
        CComVariant x1, x2;
        ASSERT_EQ(e.map->GetNewTieLineLLE(doubles({(end1[0] + end2[0]) / 2, (end1[1] + end2[1]) / 2,
                                                   (end1[2] + end2[2]) / 2}),
                                          &x1, &x2),
                  S_OK);
        const Array n1 = read_array(x1), n2 = read_array(x2);
        ASSERT_EQ(n1.extents, (std::vector<std::int64_t>{3}));
        EXPECT_TRUE(same_ends(n1.values, n2.values, end1, end2, 1e-5)) << "tie line " << k;
    }
    // A feed rich in ethanol is one liquid: the no-split markers.
    CComVariant x1, x2;
    ASSERT_EQ(e.map->GetNewTieLineLLE(doubles({0.8, 0.1, 0.1}), &x1, &x2), S_OK);
    EXPECT_EQ(read_array(x1).values, (std::vector<double>{-999.0, -999.0, -999.0}));
    EXPECT_EQ(read_array(x2).values, (std::vector<double>{-999.0, -999.0, -999.0}));
}

TEST(MapEnvelopeVLLE, EqualsTheTracerWithItsVapoursAndPlaitTemperature) {
    Engine e = ethanol_water_benzene();
    ASSERT_EQ(e.map->ComputeEnvelopeVLLE(), S_OK);
    Stores direct;
    const std::int64_t n = 3;
    const double pressure = kAtmosphere, step = 0.1;
    const char opset[10] = {'E', 'W', 'B'};
    VLLE_Envelope(&n, &pressure, &step, kEthanolWaterBenzene.data(), opset, &direct.curves,
                  direct.counts.data(), direct.points.data(), &direct.ties, direct.tie_lines.data(),
                  direct.vapour.data(), &direct.plait, &direct.message, &direct.error, 10);
    ASSERT_EQ(direct.curves, 1);
    CComVariant curve;
    DOUBLE plait = -1.0;
    ASSERT_EQ(e.map->GetCurveVLLE(&curve, &plait), S_OK);
    EXPECT_NEAR(plait, direct.plait, 1e-6);
    EXPECT_EQ(read_array(curve).extents, (std::vector<std::int64_t>{1, direct.counts[0], 3}));

    CComVariant ties, vapours;
    ASSERT_EQ(e.map->GetTieLinesVLLE(&ties, &vapours), S_OK);
    const Array t = read_array(ties), y = read_array(vapours);
    ASSERT_EQ(t.extents, (std::vector<std::int64_t>{2 * direct.ties, 3}));
    ASSERT_EQ(y.extents, (std::vector<std::int64_t>{direct.ties, 3}));
    for (std::int64_t k = 0; k < direct.ties; ++k) {
        for (int c = 0; c < 3; ++c) { EXPECT_NEAR(y.at(k, c), direct.vapour[k * 3 + c], kSame); }
    }
    // At fixed pressure a ternary with three phases has one degree of freedom: every feed on a
    // three-phase tie line boils at the same point, with the same liquids and vapour.
    const std::int64_t k = direct.ties / 2;
    CComVariant x1, x2, vy;
    ASSERT_EQ(e.map->GetNewTieLineVLLE(doubles({(t.at(2 * k, 0) + t.at(2 * k + 1, 0)) / 2,
                                                (t.at(2 * k, 1) + t.at(2 * k + 1, 1)) / 2,
                                                (t.at(2 * k, 2) + t.at(2 * k + 1, 2)) / 2}),
                                       &x1, &x2, &vy),
              S_OK);
    const std::array<double, 3> end1{t.at(2 * k, 0), t.at(2 * k, 1), t.at(2 * k, 2)};
    const std::array<double, 3> end2{t.at(2 * k + 1, 0), t.at(2 * k + 1, 1), t.at(2 * k + 1, 2)};
    EXPECT_TRUE(same_ends(read_array(x1).values, read_array(x2).values, end1, end2, 1e-5));
    const std::array<double, 3> stored_vapour{y.at(k, 0), y.at(k, 1), y.at(k, 2)};
    EXPECT_LT(distance(read_array(vy).values, stored_vapour), 1e-5);

    // A later trace that finds no plait point does not report the earlier one's.
    ASSERT_GT(plait, 0.0);
    set_ternary(e.map.get(), "BENZENE", "TOLUENE", "PXYLENE", "IDEAL", 3);
    ASSERT_EQ(e.map->ComputeEnvelopeVLLE(), S_OK);
    CComVariant none;
    ASSERT_EQ(e.map->GetCurveVLLE(&none, &plait), S_OK);
    EXPECT_EQ(plait, 0.0);
    EXPECT_EQ(read_array(none).extents, (std::vector<std::int64_t>{0, 0, 3}));
}

TEST(MapEnvelopeLLE, AMiscibleMixtureGivesNoEnvelopeAndNoTieLine) {
    Engine e = open_engine();
    ASSERT_EQ(e.status, S_OK);
    set_ternary(e.map.get(), "BENZENE", "TOLUENE", "PXYLENE", "IDEAL", 3);
    e.map->put_Temperature(kRoomTemperature);
    ASSERT_EQ(e.map->ComputeEnvelopeLLE(), S_OK);
    CComVariant curve, ties;
    ASSERT_EQ(e.map->GetCurveLLE(&curve), S_OK);
    ASSERT_EQ(e.map->GetTieLinesLLE(&ties), S_OK);
    EXPECT_EQ(read_array(curve).extents, (std::vector<std::int64_t>{0, 0, 3}));
    EXPECT_EQ(read_array(ties).extents, (std::vector<std::int64_t>{0, 3}));
}

}  // namespace
}  // namespace engine::testing
