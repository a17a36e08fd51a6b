// A client that knows the engine only as an automation server: it loads libTARNDistil.so with
// the platform loader, registers it, finds the root class by its ProgID through the class
// registry, and drives a whole study by member names through IDispatch. Nothing here includes
// an engine header; the numbers are checked against the independent reference files in
// data/reference (computed by another library on the same parameters).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "server/activation.hpp"
#include "server_test_support.hpp"

namespace server::testing {
namespace {

using namespace platform;

using RegisterFunction = HRESULT (*)();
using GetClassObjectFunction = HRESULT (*)(const CLSID&, const IID&, void**);

// The root class as clients have always known it.
constexpr CLSID kDistilClass = make_guid("7d25b338-5cfa-48c0-9568-34bd4a00988d");

/// The engine module, loaded by name as any client loads it.
struct Module {
    HMODULE handle = LoadLibraryA("libTARNDistil.so");
    RegisterFunction register_server =
        reinterpret_cast<RegisterFunction>(GetProcAddress(handle, "DllRegisterServer"));
    RegisterFunction unregister_server =
        reinterpret_cast<RegisterFunction>(GetProcAddress(handle, "DllUnregisterServer"));
    RegisterFunction can_unload_now =
        reinterpret_cast<RegisterFunction>(GetProcAddress(handle, "DllCanUnloadNow"));
    GetClassObjectFunction get_class_object =
        reinterpret_cast<GetClassObjectFunction>(GetProcAddress(handle, "DllGetClassObject"));
    ~Module() { FreeLibrary(handle); }
};

/// A singular point as the client reads it.
struct Point {
    std::array<double, 3> x{};
    double temperature = 0.0;
    LONG stability = 0;
};

double distance(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    double s = 0.0;
    for (int k = 0; k < 3; ++k) { s += (a[k] - b[k]) * (a[k] - b[k]); }
    return std::sqrt(s);
}

/// The singular point nearest to x.
const Point& nearest(const std::vector<Point>& points, const std::array<double, 3>& x) {
    return *std::min_element(points.begin(), points.end(), [&](const Point& a, const Point& b) {
        return distance(a.x, x) < distance(b.x, x);
    });
}

/// Pure components and azeotropes of acetone / chloroform / methanol against the reference
/// (NRTL at 101325 Pa): boiling points and compositions within 1e-6, stability codes exactly
/// (1 stable node, 2 saddle, 3 unstable node). Returns every singular point.
std::vector<Point> check_singular_points(const LateBound& map) {
    const nlohmann::json summary =
        reference("vle_acetone_chloroform_methanol_nrtl.json").at("summary").at(0);
    const nlohmann::json& ref_points = summary.at("singular_points");
    const auto code = [](const std::string& kind) -> LONG {
        return kind == "stable node" ? 1 : kind == "saddle" ? 2 : 3;
    };
    CComVariant pure, pure_t, pure_s;
    EXPECT_EQ(map.call(u"GetPureProperties", {ref(pure), ref(pure_t), ref(pure_s)}).status, S_OK);
    const Array tb = read_array(pure_t), sb = read_array(pure_s);
    EXPECT_EQ(tb.extents, (std::vector<std::int64_t>{3}));
    std::vector<Point> singular;
    for (int i = 0; i < 3 && tb.values.size() == 3; ++i) {
        EXPECT_NEAR(tb.at(i), ref_points.at(i).at("T").get<double>(), 1e-6) << "pure " << i;
        EXPECT_EQ(sb.at(i), code(ref_points.at(i).at("classification"))) << "pure " << i;
        Point p;
        p.x[static_cast<std::size_t>(i)] = 1.0;
        p.temperature = tb.at(i);
        p.stability = static_cast<LONG>(sb.at(i));
        singular.push_back(p);
    }

    LONG count = -1;
    CComVariant azeotropes, temperatures, phases, stabilities;
    EXPECT_EQ(map.call(u"GetAzeotropes", {ref(count), ref(azeotropes), ref(temperatures),
                                          ref(phases), ref(stabilities)})
                  .status,
              S_OK);
    EXPECT_EQ(count, 4);
    const Array xa = read_array(azeotropes), ta = read_array(temperatures);
    const Array pa = read_array(phases), sa = read_array(stabilities);
    if (xa.extents != std::vector<std::int64_t>{4, 3}) {
        ADD_FAILURE() << "the azeotropes come as 4 rows of 3 mole fractions";
        return singular;
    }
    std::vector<Point> found;
    for (int a = 0; a < 4; ++a) {
        Point p{{xa.at(a, 0), xa.at(a, 1), xa.at(a, 2)}, ta.at(a), static_cast<LONG>(sa.at(a))};
        EXPECT_EQ(pa.at(a), 1) << "every azeotrope of this system is homogeneous";
        found.push_back(p);
        singular.push_back(p);
    }
    const auto expect_found = [&](const std::array<double, 3>& x, double t, LONG stability) {
        const Point& p = nearest(found, x);
        EXPECT_LT(distance(p.x, x), 1e-6) << x[0] << " " << x[1] << " " << x[2];
        EXPECT_NEAR(p.temperature, t, 1e-6);
        EXPECT_EQ(p.stability, stability);
    };
    const std::array<std::string, 3> names{"acetone", "chloroform", "methanol"};
    for (const auto& b : summary.at("binary_azeotropes")) {
        const auto pair = b.at("pair").get<std::vector<std::string>>();
        std::array<double, 3> x{};
        const auto first = std::find(names.begin(), names.end(), pair[0]) - names.begin();
        const auto second = std::find(names.begin(), names.end(), pair[1]) - names.begin();
        x[static_cast<std::size_t>(first)] = b.at("x1").get<double>();
        x[static_cast<std::size_t>(second)] = 1.0 - b.at("x1").get<double>();
        const auto point = std::find_if(ref_points.begin(), ref_points.end(), [&](const auto& r) {
            return r.at("point") == pair[0] + " / " + pair[1];
        });
        expect_found(x, b.at("T").get<double>(), code(point->at("classification")));
    }
    const auto& ternary = summary.at("ternary_azeotropes").at(0);
    expect_found(ternary.at("x").get<std::array<double, 3>>(), ternary.at("T").get<double>(),
                 code(ternary.at("classification")));
    return singular;
}

/// A residue curve: mole fractions sum to one, the boiling temperature rises along it (the
/// residue-curve equations make the still's temperature increase), and it runs from an unstable
/// node to a stable node of the diagram.
void check_residue_curve(const LateBound& map, const std::vector<Point>& singular) {
    LONG direction = 0;
    CComVariant start = doubles({0.3, 0.2, 0.5}), curve;
    ASSERT_EQ(map.call(u"GetResidueCurve", {start, ref(direction), ref(curve)}).status, S_OK);
    const Array rc = read_array(curve);
    ASSERT_EQ(rc.extents.size(), 2u);
    const std::int64_t n = rc.extents[0];
    ASSERT_GE(n, 10);
    for (std::int64_t p = 0; p < n; ++p) {
        EXPECT_NEAR(rc.at(p, 0) + rc.at(p, 1) + rc.at(p, 2), 1.0, 1e-9) << "point " << p;
    }
    std::vector<double> bubble;
    for (const std::int64_t p : {std::int64_t{0}, n / 4, n / 2, 3 * n / 4, n - 1}) {
        CComVariant x = doubles({rc.at(p, 0), rc.at(p, 1), rc.at(p, 2)});
        double t = -1.0;
        ASSERT_EQ(map.call(u"GetBoilingPoint", {x, ref(t)}).status, S_OK);
        bubble.push_back(t);
    }
    EXPECT_TRUE(std::is_sorted(bubble.begin(), bubble.end()))
        << bubble.front() << " .. " << bubble.back();
    const std::array<double, 3> first{rc.at(0, 0), rc.at(0, 1), rc.at(0, 2)};
    const std::array<double, 3> last{rc.at(n - 1, 0), rc.at(n - 1, 1), rc.at(n - 1, 2)};
    EXPECT_EQ(nearest(singular, first).stability, 3);
    EXPECT_LT(distance(nearest(singular, first).x, first), 0.02);
    EXPECT_EQ(nearest(singular, last).stability, 1);
    EXPECT_LT(distance(nearest(singular, last).x, last), 0.02);
}

/// Errors come back as DISP_E_EXCEPTION with the method's own text, the class's ProgID as
/// source and the engine's status; without an EXCEPINFO the report stays as the thread's error
/// information.
void check_errors(const LateBound& distil, const LateBound& map) {
    CComVariant out;
    const Invoked empty = map.call(u"GetBoilingPoint", {CComVariant(), ref(out)});
    EXPECT_EQ(empty.status, DISP_E_EXCEPTION);
    EXPECT_EQ(hresult_bits(empty.scode), 0x80040272u);
    EXPECT_EQ(empty.source, "TARNDistil.DistillationMap.38.0");
    EXPECT_EQ(empty.description,
              "GetBoilingPoint: vComposition is empty or holds fewer than 3 mole fractions");

    CComVariant nowhere((scratch() / "no-such-problem.toml").c_str());
    const MessageCapture boxes;  // the property package's message box about the missing file
    const Invoked failed = distil.call(u"InitFromSimpdfFile", {nowhere});
    EXPECT_EQ(failed.status, DISP_E_EXCEPTION);
    EXPECT_EQ(hresult_bits(failed.scode), 0x80040278u);
    EXPECT_EQ(failed.source, "TARNDistil.Distil.38.0");
    EXPECT_EQ(failed.description, "Failed to initialise properties");

    const DISPID id = map.id(u"GetBoilingPoint");
    CComVariant none, result;
    VARIANT args[2] = {ref(out), none};
    DISPPARAMS params{args, nullptr, 2, 0};
    EXPECT_EQ(map.get()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result.out(), nullptr,
                                nullptr),
              DISP_E_EXCEPTION);
    const auto info = take_error_info();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->source, "TARNDistil.DistillationMap.38.0");
    CComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(map.get()->QueryInterface(ISupportErrorInfo::iid, support.out_void()), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(info->guid), S_OK);
}

/// Ethanol / water / benzene with UNIFAC-LLE at 298.15 K: the reference's liquid-liquid splits
/// lie on the traced envelope, and the tie line through a reference feed has the reference's two
/// liquids (within 1e-5 in mole fraction, the tolerance of the flash behind the tie line).
void check_envelope(const LateBound& distil, const LateBound& map) {
    CComVariant ewb(example_file("ethanol-water-benzene.toml").c_str());
    ASSERT_EQ(distil.call(u"InitFromSimpdfFile", {ewb}).status, S_OK);
    CComVariant etoh("ETOH"), water("WATER"), benzene("BENZENE"), unifac_ll("UNIFACLL");
    ASSERT_EQ(map.call(u"SetComponentData", {etoh, water, benzene}).status, S_OK);
    ASSERT_EQ(
        map.call(u"SetPropertyData", {unifac_ll, unifac_ll, unifac_ll, CComVariant(3)}).status,
        S_OK);
    ASSERT_EQ(map.put(u"Temperature", CComVariant(298.15)).status, S_OK);
    ASSERT_EQ(map.call(u"ComputeEnvelopeLLE").status, S_OK);
    EXPECT_EQ(map.get(u"ErrorCode").result.lVal, 0);
    CComVariant envelope;
    ASSERT_EQ(map.call(u"GetCurveLLE", {ref(envelope)}).status, S_OK);
    const Array env = read_array(envelope);
    ASSERT_EQ(env.extents.size(), 3u);
    ASSERT_EQ(env.extents[0], 1) << "only water and benzene are partly miscible";
    std::vector<std::array<double, 3>> points;
    for (std::int64_t p = 0; p < env.extents[1] && env.at(0, p, 0) >= 0.0; ++p) {
        points.push_back({env.at(0, p, 0), env.at(0, p, 1), env.at(0, p, 2)});
    }
    ASSERT_GE(points.size(), 10u);
    const auto distance_to_envelope = [&](const std::array<double, 3>& x) {
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i + 1 < points.size(); ++i) {
            // Distance to the chord between two neighbouring envelope points.
            const auto& a = points[i];
            const auto& b = points[i + 1];
            double ab2 = 0.0, t = 0.0;
            for (int k = 0; k < 3; ++k) {
                ab2 += (b[k] - a[k]) * (b[k] - a[k]);
                t += (x[k] - a[k]) * (b[k] - a[k]);
            }
            t = ab2 > 0.0 ? std::clamp(t / ab2, 0.0, 1.0) : 0.0;
            std::array<double, 3> q{};
            for (int k = 0; k < 3; ++k) { q[k] = a[k] + t * (b[k] - a[k]); }
            best = std::min(best, distance(q, x));
        }
        return best;
    };
    const nlohmann::json splits =
        reference_model("vle_ethanol_water_benzene_unifac.json", "UNIFAC-LLE").at("ll_split");
    for (const auto& split : splits) {
        for (const auto& phase : split.at("phases")) {
            // The tracer's points lie at most one step (0.1) apart; a chord that short misses
            // the curved envelope by less than 0.01.
            EXPECT_LT(distance_to_envelope(phase.at("x").get<std::array<double, 3>>()), 0.01)
                << split.at("z").dump();
        }
    }
    const auto& split = splits.at(2);  // feed (0.2, 0.4, 0.4)
    CComVariant feed = doubles({0.2, 0.4, 0.4}), x1, x2;
    ASSERT_EQ(map.call(u"GetNewTieLineLLE", {feed, ref(x1), ref(x2)}).status, S_OK);
    const Array l1 = read_array(x1), l2 = read_array(x2);
    ASSERT_EQ(l1.values.size(), 3u);
    ASSERT_EQ(l2.values.size(), 3u);
    const auto r1 = split.at("phases").at(0).at("x").get<std::array<double, 3>>();
    const auto r2 = split.at("phases").at(1).at("x").get<std::array<double, 3>>();
    const std::array<double, 3> e1{l1.at(0), l1.at(1), l1.at(2)};
    const std::array<double, 3> e2{l2.at(0), l2.at(1), l2.at(2)};
    EXPECT_TRUE((distance(e1, r1) < 1e-5 && distance(e2, r2) < 1e-5) ||
                (distance(e1, r2) < 1e-5 && distance(e2, r1) < 1e-5))
        << e1[0] << " " << e1[1] << " " << e1[2] << " / " << e2[0] << " " << e2[1] << " " << e2[2];
}

TEST(AutomationClient, RunsAStudyByNamesOnlyAndReadsErrorsThroughTheErrorInformation) {
    Module module;
    ASSERT_NE(module.handle, nullptr) << loader_last_error();
    ASSERT_TRUE(module.register_server && module.unregister_server && module.can_unload_now &&
                module.get_class_object);
    ASSERT_EQ(module.register_server(), S_OK);
    CLSID clsid{};
    {
        // By ProgID through the registry, then the class factory of the registered module.
        ASSERT_EQ(CLSIDFromProgID("TARNDistil.Distil", &clsid), S_OK);
        EXPECT_EQ(clsid, kDistilClass);
        CComPtr<IDispatch> object;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   object.out_void()),
                  S_OK);
        const LateBound distil(object.get());

        // Acetone / chloroform / methanol with NRTL (examples/acetone-chloroform-methanol.toml).
        CComVariant file(example_file("acetone-chloroform-methanol.toml").c_str());
        ASSERT_EQ(distil.call(u"InitFromSimpdfFile", {file}).status, S_OK);
        const Invoked got_map = distil.get(u"DistillationMap");
        ASSERT_EQ(got_map.status, S_OK);
        const LateBound map = LateBound::from(got_map.result);
        ASSERT_TRUE(map);
        CComVariant top("ACETONE"), left("CHCL3"), right("MEOH"), nrtl("NRTL");
        ASSERT_EQ(map.call(u"SetComponentData", {top, left, right}).status, S_OK);
        ASSERT_EQ(map.call(u"SetPropertyData", {nrtl, nrtl, nrtl, CComVariant(2)}).status, S_OK);
        ASSERT_EQ(map.put(u"Pressure", CComVariant(kAtmosphere)).status, S_OK);
        EXPECT_EQ(map.get(u"pressure").result.dblVal, kAtmosphere) << "names ignore case";

        const std::vector<Point> singular = check_singular_points(map);
        check_residue_curve(map, singular);
        check_errors(distil, map);
        check_envelope(distil, map);
    }
    // Everything released: the module can be unloaded; then it unregisters itself.
    EXPECT_EQ(module.can_unload_now(), S_OK);
    EXPECT_EQ(module.unregister_server(), S_OK);
    EXPECT_EQ(CLSIDFromProgID("TARNDistil.Distil", &clsid), CO_E_CLASSSTRING);
}

}  // namespace
}  // namespace server::testing
