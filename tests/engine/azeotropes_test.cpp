// Pure components and azeotropes through the distillation map and the azeotrope search object,
// against the numerical routines called directly with the same arguments, and the boiling point
// of a composition against independent routes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "azeotrope/azeo_search.hpp"
#include "azeotrope/pure_property.hpp"
#include "engine/azeotrope_search.hpp"
#include "engine_test_support.hpp"

namespace engine::testing {
namespace {

using namespace platform;

// Host indices of the test problem (tests/engine/problems/engine_systems.toml).
constexpr std::array<std::int64_t, 3> kAcetoneChloroformMethanol{1, 2, 3};

/// Azeo_Search called directly for three components, with buffers of its own.
struct DirectSearch {
    std::int64_t count = 100, error = -1;
    std::vector<double> compositions = std::vector<double>(300),
                        temperatures = std::vector<double>(100);
    std::vector<std::int64_t> components = std::vector<std::int64_t>(100),
                              phases = std::vector<std::int64_t>(100),
                              stability = std::vector<std::int64_t>(100);
    std::vector<double> singular = std::vector<double>(3 * 103),
                        singular_temperatures = std::vector<double>(103);
    std::vector<std::int64_t> singular_stability = std::vector<std::int64_t>(103);

    DirectSearch(std::array<std::int64_t, 3> idx,
                 const char* option_set,
                 std::int64_t phase_count) {
        const std::int64_t n = 3;
        const double pressure = kAtmosphere;
        char field[10] = {};
        std::copy(option_set, option_set + std::strlen(option_set), field);
        Azeo_Search(&n, &pressure, &phase_count, field, idx.data(), &count, compositions.data(),
                    temperatures.data(), components.data(), phases.data(), stability.data(),
                    singular.data(), singular_temperatures.data(), singular_stability.data(),
                    &error, 10);
    }
};

TEST(MapAzeotropes, AcetoneChloroformMethanolEqualTheSearchRoutineCalledDirectly) {
    Engine e = open_engine();
    ASSERT_EQ(e.status, S_OK);
    set_ternary(e.map.get(), "ACETONE", "CHCL3", "MEOH", "NRTL", 2);
    CComVariant pure, pure_t, pure_s;
    ASSERT_EQ(e.map->GetPureProperties(&pure, &pure_t, &pure_s), S_OK);
    const Array identity = read_array(pure);
    ASSERT_EQ(identity.extents, (std::vector<std::int64_t>{3, 3}));
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) { EXPECT_EQ(identity.at(i, j), i == j ? 1.0 : 0.0); }
    }
    // PURE_PROPERTY called directly: the same temperatures and codes.
    const std::int64_t n = 3, phases = 2;
    const double pressure = kAtmosphere;
    std::vector<double> t(3), k(9);
    std::vector<std::int64_t> codes(3);
    std::int64_t error = 0;
    PURE_PROPERTY(&n, &pressure, kAcetoneChloroformMethanol.data(), "NRTL", &phases, t.data(),
                  codes.data(), k.data(), &error, 4);
    const Array temperatures = read_array(pure_t), stability = read_array(pure_s);
    ASSERT_EQ(temperatures.extents, (std::vector<std::int64_t>{3}));
    ASSERT_EQ(stability.element, VT_I4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(temperatures.at(i), t[i]);
        EXPECT_EQ(stability.at(i), static_cast<double>(codes[i]));
    }

    LONG count = 0;
    CComVariant x, temps, phase, stab;
    ASSERT_EQ(e.map->GetAzeotropes(&count, &x, &temps, &phase, &stab), S_OK);
    const DirectSearch direct(kAcetoneChloroformMethanol, "NRTL", 2);
    ASSERT_EQ(count, direct.count);
    // Three binary azeotropes and the ternary saddle.
    EXPECT_EQ(count, 4);
    const Array xa = read_array(x), ta = read_array(temps), pa = read_array(phase),
                sa = read_array(stab);
    ASSERT_EQ(xa.extents, (std::vector<std::int64_t>{count, 3}));  // rows azeotropes
    int ternary_saddles = 0;
    for (LONG a = 0; a < count; ++a) {
        for (int c = 0; c < 3; ++c) { EXPECT_EQ(xa.at(a, c), direct.compositions[a * 3 + c]); }
        EXPECT_EQ(ta.at(a), direct.temperatures[a]);
        EXPECT_EQ(pa.at(a), static_cast<double>(direct.phases[a]));
        EXPECT_EQ(sa.at(a), static_cast<double>(direct.stability[a]));
        if (direct.components[a] == 3 && direct.stability[a] == 2) { ++ternary_saddles; }
    }
    EXPECT_EQ(ternary_saddles, 1);

    // The singular points the curve methods read: the pure components, then the azeotropes.
    LONG singular_count = 0;
    DOUBLE* points = nullptr;
    LONGLONG* codes_out = nullptr;
    DOUBLE* bp = nullptr;
    e.search->get_NoAzeotropes(&singular_count);
    e.search->get_CompositionMatrix(&points);
    e.search->get_StabilityIndex(&codes_out);
    e.search->get_BPTemperatures(&bp);
    ASSERT_EQ(singular_count, count);
    for (int p = 0; p < 3 + count; ++p) {
        for (int c = 0; c < 3; ++c) {
            const double expected = p < 3 ? (p == c ? 1.0 : 0.0) : xa.at(p - 3, c);
            EXPECT_EQ(points[p * 3 + c], expected) << "point " << p;
        }
        EXPECT_EQ(codes_out[p], direct.singular_stability[p]);
        EXPECT_EQ(bp[p], direct.singular_temperatures[p]);
    }
    const auto* search = static_cast<const CAzeotropeSearch*>(e.search.get());
    EXPECT_EQ(search->error_indicator(), direct.error);
}

TEST(MapBoilingPoint, OfAPureComponentAndOfAnAzeotropeEqualTheirBoilingTemperatures) {
    Engine e = open_engine();
    ASSERT_EQ(e.status, S_OK);
    set_ternary(e.map.get(), "ACETONE", "CHCL3", "MEOH", "NRTL", 2);
    CComVariant pure, pure_t, pure_s;
    ASSERT_EQ(e.map->GetPureProperties(&pure, &pure_t, &pure_s), S_OK);
    const Array t = read_array(pure_t);
    DOUBLE acetone = 0.0;
    ASSERT_EQ(e.map->GetBoilingPoint(doubles({1.0, 0.0, 0.0}), &acetone), S_OK);
    // A three-component bubble point at x = (1, 0, 0) and the one-component flash of
    // PURE_PROPERTY are two routes to the same number.
    EXPECT_NEAR(acetone, t.at(0), 1e-4);
    // Published normal boiling point of acetone, 56.05 C (CRC Handbook, 97th ed., 3-4); the
    // databank's vapour-pressure equation reproduces it within 0.1 K.
    EXPECT_NEAR(acetone, 329.20, 0.3);

    // The bubble temperature of each azeotrope is the temperature the search gave it.
    LONG count = 0;
    CComVariant x, temps, phase, stab;
    ASSERT_EQ(e.map->GetAzeotropes(&count, &x, &temps, &phase, &stab), S_OK);
    const Array xa = read_array(x), ta = read_array(temps);
    for (LONG a = 0; a < count; ++a) {
        DOUBLE bubble = 0.0;
        ASSERT_EQ(e.map->GetBoilingPoint(doubles({xa.at(a, 0), xa.at(a, 1), xa.at(a, 2)}), &bubble),
                  S_OK);
        EXPECT_NEAR(bubble, ta.at(a), 1e-3) << "azeotrope " << a;
    }
}

TEST(AzeotropeSearchObject, SizesItsBuffersOnDemandWhenSearchedBeforeThePureProperties) {
    Engine e = open_engine();
    ASSERT_EQ(e.status, S_OK);
    std::array<LONGLONG, 3> idx{1, 2, 3};
    ASSERT_EQ(e.search->SetIdxVector(3, idx.data()), S_OK);
    ASSERT_EQ(e.search->SetPropertyData(CComBSTR(u"NRTL"), nullptr, nullptr, 2), S_OK);
    ASSERT_EQ(e.search->put_Pressure(kAtmosphere), S_OK);
    ASSERT_EQ(e.search->ComputeAzeotropes(), S_OK);
    LONG count = 0;
    CComVariant x, temps, phase, stab;
    ASSERT_EQ(e.search->GetAzeotropes(&count, &x, &temps, &phase, &stab), S_OK);
    const DirectSearch direct(kAcetoneChloroformMethanol, "NRTL", 2);
    ASSERT_EQ(count, direct.count);
    const Array ta = read_array(temps);
    for (LONG a = 0; a < count; ++a) { EXPECT_EQ(ta.at(a), direct.temperatures[a]); }
    // A null option set is stored as an empty name (the host's global set, NRTL here).
    EXPECT_EQ(e.search->SetPropertyData(nullptr, nullptr, nullptr, 2), S_OK);
    ASSERT_EQ(e.search->ComputeAzeotropes(), S_OK);
    LONG again = 0;
    e.search->get_NoAzeotropes(&again);
    EXPECT_EQ(again, count);
}

}  // namespace
}  // namespace engine::testing
