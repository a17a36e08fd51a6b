// The plain exported functions against the same results through the engine's objects (a root
// object's map driven as a client drives it), with guard values in the caller's arrays: nothing
// may be written beyond what the results fill. Each call must also release every object it made.
#include "engine/flat_entry_points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "engine/distillation_map.hpp"
#include "engine/module.hpp"
#include "server_test_support.hpp"

extern "C" int flat_caller_checks(void);
extern "C" const char* flat_caller_first_failure(void);

namespace server::testing {
namespace {

using namespace platform;
using engine::IDistil;
using engine::IDistillationMap;

constexpr double kGuard = 4242.0;
constexpr std::int64_t kIntGuard = 4242;
// The host starts each flash from the one before, so the same envelope or tie line computed a
// second time agrees with the first to the flash tolerance, not to the last bit.
constexpr double kSame = 1e-8;

/// Opens an example problem in the host through a root object that is released again: the flat
/// functions find the host initialised and open nothing themselves.
void open_in_host(std::string_view example) {
    CComPtr<IDistil> root;
    ASSERT_EQ(
        engine::create_engine_object(engine::core::CLSID_Distil, IDistil::iid, root.out_void()),
        S_OK);
    ASSERT_EQ(root->InitFromSimpdfFile(CComBSTR::from_utf8(example_file(example))), S_OK);
}

/// A map of a root object, set up as the flat functions set theirs up.
struct ObjectRoute {
    CComPtr<IDistil> root;
    CComPtr<IDistillationMap> map;
    ObjectRoute(std::array<const char*, 3> names, const char* opset, LONG phases) {
        EXPECT_EQ(
            engine::create_engine_object(engine::core::CLSID_Distil, IDistil::iid, root.out_void()),
            S_OK);
        root->get_DistillationMap(map.out());
        const CComBSTR o = CComBSTR::from_utf8(opset);
        map->put_Pressure(kAtmosphere);
        EXPECT_EQ(
            map->SetComponentData(CComBSTR::from_utf8(names[0]), CComBSTR::from_utf8(names[1]),
                                  CComBSTR::from_utf8(names[2])),
            S_OK);
        map->SetPropertyData(o, o, o, phases);
    }
};

TEST(CalAzeotropes, GivesTheMapsAzeotropesAndWritesNothingForAMixtureWithout) {
    open_in_host("acetone-chloroform-methanol.toml");
    const long objects_before = module_object_count();
    const std::array<const char*, 3> names{"ACETONE", "CHCL3", "MEOH"};
    const double pressure = kAtmosphere;
    const std::int32_t phases = 2;
    std::int32_t count = -1;
    std::vector<double> top(12, kGuard), left(12, kGuard), right(12, kGuard), t(12, kGuard);
    std::vector<std::int64_t> phase(12, kIntGuard), stability(12, kIntGuard);
    CalAzeotropes(names.data(), "NRTL", &pressure, &phases, &count, top.data(), left.data(),
                  right.data(), t.data(), phase.data(), stability.data());
    EXPECT_EQ(module_object_count(), objects_before) << "the call released its objects";
    EXPECT_EQ(engine::global_property_package(), nullptr);
    ASSERT_EQ(count, 4);

    LONG n = 0;
    {
        ObjectRoute objects(names, "NRTL", 2);
        CComVariant a, b, c, x, temperatures, phases_v, stabilities;
        ASSERT_EQ(objects.map->GetPureProperties(&a, &b, &c), S_OK);
        ASSERT_EQ(objects.map->GetAzeotropes(&n, &x, &temperatures, &phases_v, &stabilities), S_OK);
        ASSERT_EQ(n, count);
        const Array xa = read_array(x), ta = read_array(temperatures);
        const Array pa = read_array(phases_v), sa = read_array(stabilities);
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(top[i], xa.at(i, 0), kSame);
            EXPECT_NEAR(left[i], xa.at(i, 1), kSame);
            EXPECT_NEAR(right[i], xa.at(i, 2), kSame);
            EXPECT_NEAR(t[i], ta.at(i), kSame);
            EXPECT_EQ(phase[i], pa.at(i));
            EXPECT_EQ(stability[i], sa.at(i));
        }
    }
    for (int i = n; i < 12; ++i) {
        EXPECT_EQ(top[i], kGuard);
        EXPECT_EQ(left[i], kGuard);
        EXPECT_EQ(right[i], kGuard);
        EXPECT_EQ(t[i], kGuard);
        EXPECT_EQ(phase[i], kIntGuard);
        EXPECT_EQ(stability[i], kIntGuard);
    }

    // The same from plain C, with missing arguments first.
    EXPECT_EQ(flat_caller_checks(), 0) << flat_caller_first_failure();

    // Benzene / toluene / p-xylene, an ideal solution: no azeotrope, nothing written.
    open_in_host("aromatics.toml");
    const std::array<const char*, 3> aromatics{"BENZENE", "TOLUENE", "PXYLENE"};
    std::fill(top.begin(), top.end(), kGuard);
    count = -1;
    CalAzeotropes(aromatics.data(), "IDEAL", &pressure, &phases, &count, top.data(), left.data(),
                  right.data(), t.data(), phase.data(), stability.data());
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(std::all_of(top.begin(), top.end(), [](double v) { return v == kGuard; }));
    EXPECT_TRUE(std::all_of(t.begin() + n, t.end(), [](double v) { return v == kGuard; }));
    EXPECT_EQ(module_object_count(), objects_before);
}

/// The envelope store of a map that traced through the objects.
struct Envelope {
    std::int64_t curves = 0;
    std::vector<std::int64_t> counts;
    std::vector<double> points;  // every curve's points, one after the other
    std::int64_t ties = 0;
    std::vector<double> tie_lines;
};

Envelope through_objects(bool vlle, const char* opset) {
    ObjectRoute objects({"ETOH", "WATER", "BENZENE"}, opset, 3);
    objects.map->put_Temperature(298.15);
    EXPECT_EQ(vlle ? objects.map->ComputeEnvelopeVLLE() : objects.map->ComputeEnvelopeLLE(), S_OK);
    const auto store = static_cast<engine::CDistillationMap*>(objects.map.get())->envelope(vlle);
    Envelope e;
    e.curves = store.curve_count;
    for (std::int64_t c = 0; c < e.curves; ++c) {
        e.counts.push_back(store.point_counts[static_cast<std::size_t>(c)]);
        const auto from = store.points.begin() + 3 * c * store.points_per_curve;
        e.points.insert(e.points.end(), from, from + 3 * e.counts.back());
    }
    e.ties = store.tie_line_count;
    e.tie_lines.assign(store.tie_lines.begin(), store.tie_lines.begin() + 6 * e.ties);
    // The map's own packing agrees with the store read here.
    CComVariant curve;
    DOUBLE plait = 0.0;
    EXPECT_EQ(vlle ? objects.map->GetCurveVLLE(&curve, &plait) : objects.map->GetCurveLLE(&curve),
              S_OK);
    const Array a = read_array(curve);
    EXPECT_EQ(a.extents.at(0), e.curves);
    for (std::int64_t p = 0; e.curves > 0 && p < e.counts[0]; ++p) {
        EXPECT_EQ(a.at(0, p, 0), e.points[static_cast<std::size_t>(3 * p)]);
    }
    return e;
}

/// The flat functions' outputs, every array filled with guards.
struct FlatEnvelope {
    std::int32_t curves = -1, ties = -7;
    std::vector<std::int64_t> counts = std::vector<std::int64_t>(3, kIntGuard);
    std::vector<double> top = std::vector<double>(600, kGuard), left = top, right = top;
    std::vector<double> tie_lines = std::vector<double>(600, kGuard);
};

void expect_same(const FlatEnvelope& flat, const Envelope& objects) {
    ASSERT_EQ(flat.curves, objects.curves);
    std::size_t k = 0;
    for (std::int64_t c = 0; c < objects.curves; ++c) {
        EXPECT_EQ(flat.counts[static_cast<std::size_t>(c)],
                  objects.counts[static_cast<std::size_t>(c)]);
        for (std::int64_t p = 0; p < objects.counts[static_cast<std::size_t>(c)]; ++p, ++k) {
            EXPECT_NEAR(flat.top[k], objects.points[3 * k], kSame);
            EXPECT_NEAR(flat.left[k], objects.points[3 * k + 1], kSame);
            EXPECT_NEAR(flat.right[k], objects.points[3 * k + 2], kSame);
        }
    }
    for (std::size_t c = static_cast<std::size_t>(objects.curves); c < 3; ++c) {
        EXPECT_EQ(flat.counts[c], kIntGuard);
    }
    EXPECT_TRUE(std::all_of(flat.top.begin() + static_cast<std::ptrdiff_t>(k), flat.top.end(),
                            [](double v) { return v == kGuard; }));
    if (objects.ties >= 2) {
        ASSERT_EQ(flat.ties, objects.ties);
        for (std::size_t i = 0; i < objects.tie_lines.size(); ++i) {
            EXPECT_NEAR(flat.tie_lines[i], objects.tie_lines[i], kSame) << i;
        }
        EXPECT_TRUE(std::all_of(flat.tie_lines.begin() + 6 * objects.ties, flat.tie_lines.end(),
                                [](double v) { return v == kGuard; }));
    } else {
        EXPECT_EQ(flat.ties, -7) << "fewer than two tie lines leave the count untouched";
        EXPECT_TRUE(std::all_of(flat.tie_lines.begin(), flat.tie_lines.end(),
                                [](double v) { return v == kGuard; }));
    }
}

TEST(CalCurveLLE, GivesTheMapsEnvelopesAndLeavesTheTieLinesOfAMiscibleMixtureAlone) {
    open_in_host("ethanol-water-benzene.toml");
    const long objects_before = module_object_count();
    const std::array<const char*, 3> names{"ETOH", "WATER", "BENZENE"};
    const double pressure = kAtmosphere, temperature = 298.15;
    FlatEnvelope flat;
    EXPECT_EQ(CalCurveLLE(names.data(), "UNIFACLL", &pressure, &temperature, nullptr, &flat.curves,
                          flat.counts.data(), flat.top.data(), flat.left.data(), flat.right.data(),
                          &flat.ties, flat.tie_lines.data()),
              1);
    EXPECT_EQ(module_object_count(), objects_before);
    const Envelope objects = through_objects(false, "UNIFACLL");
    ASSERT_EQ(objects.curves, 1) << "water and benzene split";
    ASSERT_GE(objects.ties, 2);
    expect_same(flat, objects);

    // Acetone / chloroform / methanol mix in every proportion.
    open_in_host("acetone-chloroform-methanol.toml");
    const std::array<const char*, 3> miscible{"ACETONE", "CHCL3", "MEOH"};
    FlatEnvelope none;
    EXPECT_EQ(CalCurveLLE(miscible.data(), "NRTL", &pressure, &temperature, nullptr, &none.curves,
                          none.counts.data(), none.top.data(), none.left.data(), none.right.data(),
                          &none.ties, none.tie_lines.data()),
              1);
    EXPECT_EQ(none.curves, 0);
    expect_same(none, Envelope{});
}

TEST(CalCurveVLLE, GivesTheMapsVapourLiquidLiquidEnvelopes) {
    open_in_host("ethanol-water-benzene.toml");
    const std::array<const char*, 3> names{"ETOH", "WATER", "BENZENE"};
    const double pressure = kAtmosphere;
    FlatEnvelope flat;
    EXPECT_EQ(CalCurveVLLE(names.data(), "UNIFAC", &pressure, nullptr, &flat.curves,
                           flat.counts.data(), flat.top.data(), flat.left.data(), flat.right.data(),
                           &flat.ties, flat.tie_lines.data()),
              1);
    const Envelope objects = through_objects(true, "UNIFAC");
    ASSERT_GE(objects.curves, 1);
    expect_same(flat, objects);
}

TEST(CalTieLine, AppendsTheTieLinesOfTheSuccessfulPointsOnly) {
    open_in_host("ethanol-water-benzene.toml");
    const long objects_before = module_object_count();
    const std::array<const char*, 3> names{"ETOH", "WATER", "BENZENE"};
    const double pressure = kAtmosphere, temperature = 298.15;
    // A feed that splits, and one rich in ethanol that does not.
    const std::array<double, 2> z_top{0.2, 0.8}, z_left{0.4, 0.1}, z_right{0.4, 0.1};
    const std::int32_t points = 2, phases = 3;
    std::array<std::vector<double>, 9> out;
    const auto reset = [&] {
        for (auto& v : out) { v.assign(3, kGuard); }
    };
    const auto call = [&](std::int32_t mode) {
        reset();
        CalTieLine(names.data(), "UNIFACLL", &pressure, &temperature, &mode, &phases, &points,
                   z_top.data(), z_left.data(), z_right.data(), out[0].data(), out[1].data(),
                   out[2].data(), out[3].data(), out[4].data(), out[5].data(), out[6].data(),
                   out[7].data(), out[8].data());
    };

    // Mode 3: liquid-liquid tie lines at the given temperature, equal to the map's.
    call(3);
    EXPECT_EQ(module_object_count(), objects_before);
    {
        ObjectRoute objects(names, "UNIFACLL", 3);
        objects.map->put_Temperature(temperature);
        CComVariant a, b, c;
        objects.map->GetPureProperties(&a, &b, &c);
        for (std::size_t i = 0; i < 2; ++i) {
            CComVariant x1, x2;
            ASSERT_EQ(
                objects.map->GetNewTieLineLLE(doubles({z_top[i], z_left[i], z_right[i]}), &x1, &x2),
                S_OK);
            const Array l1 = read_array(x1), l2 = read_array(x2);
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_NEAR(out[k][i], l1.at(static_cast<std::int64_t>(k)), kSame) << i;
                EXPECT_NEAR(out[3 + k][i], l2.at(static_cast<std::int64_t>(k)), kSame) << i;
            }
        }
    }
    EXPECT_LT(out[1][0], 0.9) << "the first feed splits";
    EXPECT_EQ(out[0][1], -999.0) << "the second does not: the markers are copied";
    EXPECT_TRUE(std::all_of(out[6].begin(), out[6].end(), [](double v) { return v == kGuard; }))
        << "no vapour outside mode 1";

    // Mode 2 does not set the temperature: the map stays at 0 K, where no tie line is found,
    // and nothing is written.
    call(2);
    for (const auto& v : out) {
        EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](double x) { return x == kGuard; }));
    }

    // Mode 1: the three-phase tie line at the bubble point, with its vapour.
    call(1);
    {
        ObjectRoute objects(names, "UNIFACLL", 3);
        CComVariant x1, x2, y;
        ASSERT_EQ(objects.map->GetNewTieLineVLLE(doubles({0.2, 0.4, 0.4}), &x1, &x2, &y), S_OK);
        const Array vapour = read_array(y);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(out[6 + k][0], vapour.at(static_cast<std::int64_t>(k)), kSame);
        }
    }
    EXPECT_EQ(module_object_count(), objects_before);
}

}  // namespace
}  // namespace server::testing
