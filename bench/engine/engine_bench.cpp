// Analyses through the distillation map of a root object with the engine test problem open:
// azeotropes, a residue curve, the boundary set, an LLE envelope and a whole design study.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/module.hpp"
#include "platform/automation.hpp"

namespace {

using namespace platform;
using engine::IDistil;
using engine::IDistillationMap;

constexpr double kAtmosphere = 101325.0;

/// A root object with the test problem open; "TMP" points at a scratch directory.
struct Setup {
    CComPtr<IDistil> root;
    CComPtr<IDistillationMap> map;
    Setup() {
        static const std::string dir = [] {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "engine-bench-XXXXXX").string();
            if (::mkdtemp(pattern.data())) { ::setenv("TMP", pattern.c_str(), 1); }
            return pattern;
        }();
        engine::create_engine_object(engine::core::CLSID_Distil, IDistil::iid, root.out_void());
        root->InitFromSimpdfFile(
            CComBSTR::from_utf8(std::string(DISTIL_ENGINE_PROBLEM_DIR) + "/engine_systems.toml"));
        root->get_DistillationMap(map.out());
    }
    void ternary(const char16_t* top,
                 const char16_t* left,
                 const char16_t* right,
                 const char16_t* option_set,
                 LONG phases) {
        map->SetComponentData(CComBSTR(top), CComBSTR(left), CComBSTR(right));
        const CComBSTR opset(option_set);
        map->SetPropertyData(opset, opset, opset, phases);
        map->put_Pressure(kAtmosphere);
    }
    void singular_points() {
        CComVariant a, b, c, d;
        LONG n = 0;
        map->GetPureProperties(&a, &b, &c);
        map->GetAzeotropes(&n, &a, &b, &c, &d);
    }
};

CComVariant doubles(std::vector<double> values) {
    CComVariant v;
    v.vt = VT_ARRAY | VT_R8;
    v.parray = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const LONG at = static_cast<LONG>(i);
        SafeArrayPutElement(v.parray, &at, &values[i]);
    }
    return v;
}

void TernaryAzeotropes(benchmark::State& state) {
    Setup s;
    s.ternary(u"ACETONE", u"CHCL3", u"MEOH", u"NRTL", 2);
    for (auto _ : state) { s.singular_points(); }
}
BENCHMARK(TernaryAzeotropes)->Unit(benchmark::kMillisecond);

void ResidueCurveAcrossTheTriangle(benchmark::State& state) {
    Setup s;
    s.ternary(u"ACETONE", u"CHCL3", u"MEOH", u"NRTL", 2);
    s.singular_points();
    const CComVariant start = doubles({0.3, 0.3, 0.4});
    LONG points = 0;
    for (auto _ : state) {
        CComVariant curve;
        LONG direction = 0;
        s.map->GetResidueCurve(start, &direction, &curve);
        points = static_cast<LONG>(safe_array_element_count(curve.parray) / 3);
    }
    state.counters["points"] = points;
}
BENCHMARK(ResidueCurveAcrossTheTriangle)->Unit(benchmark::kMillisecond);

void BoundarySet(benchmark::State& state) {
    Setup s;
    s.ternary(u"ACETONE", u"CHCL3", u"MEOH", u"NRTL", 2);
    s.singular_points();
    for (auto _ : state) {
        LONG curves = 0;
        CComVariant directions, store;
        s.map->GetDistillationBoundary(&curves, &directions, &store);
        state.counters["curves"] = curves;
    }
}
BENCHMARK(BoundarySet)->Unit(benchmark::kMillisecond);

void EnvelopeLLE(benchmark::State& state) {
    Setup s;
    s.ternary(u"ETOH", u"WATER", u"BENZENE", u"EWB", 3);
    s.map->put_Temperature(298.15);
    for (auto _ : state) { s.map->ComputeEnvelopeLLE(); }
}
BENCHMARK(EnvelopeLLE)->Unit(benchmark::kMillisecond);

void DesignWithOneHundredStages(benchmark::State& state) {
    Setup s;
    s.ternary(u"BENZENE", u"TOLUENE", u"PXYLENE", u"IDEAL", 2);
    const std::vector<double> xd{0.594, 0.4, 0.006}, xb{0.006, 0.4, 0.594};
    CComVariant dec;
    dec.vt = VT_ARRAY | VT_I4;
    dec.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    for (auto _ : state) {
        double R = 3.0, S = 0, phi = 0, sr = 0, ss = 0, vr = 0, vs = 0, lr = 0, ls = 0, qr = 0,
               qc = 0, l1 = 0, l2 = 0;
        CComVariant xr = doubles({0, 0, 0}), yt = doubles({0, 0, 0}), a, b, c, d, e, f, g, h, i, j,
                    k;
        LONG feasible = 0, nr = 0, ns = 0, nrf = 0, nsf = 0, nc = 0, st = 0, fs = 0, cl = 0,
             err = 0, msg = 0;
        s.map->BV_Design(3, CComBSTR(u"IDEAL"), 2, kAtmosphere, 1, 100, 1, 100.0, 1.0, doubles(xd),
                         50.0, doubles(xb), 50.0, dec, 0.5, 1, &R, &S, &phi, &xr, &yt, &feasible,
                         &sr, &ss, &nr, &a, &ns, &b, &nrf, &c, &nsf, &d, &nc, &e, &f, &g, &h, &vr,
                         &vs, &lr, &ls, &qr, &qc, &st, &fs, &l1, &l2, &cl, &i, &j, &k, &err, &msg);
        state.counters["stages"] = st;
    }
}
BENCHMARK(DesignWithOneHundredStages)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
