// Late binding of the four dual interfaces: the member tables against the published member order
// and dispatch identifiers, the automation statuses of bad calls, argument conversion and
// references, and late-bound calls against the same calls made through the interface table
// (one route must give exactly the other's numbers).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "engine/azeotrope_search.hpp"
#include "engine/core/error_report.hpp"
#include "engine/distillation_map.hpp"
#include "engine/module.hpp"
#include "server_test_support.hpp"

namespace server::testing {
namespace {

using namespace platform;
using engine::IAzeotropeSearch;
using engine::IDistil;
using engine::IDistillationMap;
using engine::IPropertyPackage;

/// A root object with an example problem open, and its three objects.
struct Opened {
    CComPtr<IDistil> root;
    CComPtr<IDistillationMap> map;
    CComPtr<IAzeotropeSearch> search;
    CComPtr<IPropertyPackage> package;
};

Opened open(std::string_view example) {
    Opened o;
    EXPECT_EQ(
        engine::create_engine_object(engine::core::CLSID_Distil, IDistil::iid, o.root.out_void()),
        S_OK);
    EXPECT_EQ(o.root->InitFromSimpdfFile(CComBSTR::from_utf8(example_file(example))), S_OK);
    o.root->get_DistillationMap(o.map.out());
    o.root->get_AzeotropeSearch(o.search.out());
    o.root->get_PropertyPackage(o.package.out());
    return o;
}

/// The member names of a table in order, one per member (a get and a put count once), with
/// their dispatch ids.
std::vector<std::pair<DISPID, std::u16string>> members(const IID& iid) {
    std::vector<std::pair<DISPID, std::u16string>> out;
    for (const auto& m : engine::dispatch_members(iid)) {
        if (out.empty() || out.back().first != m.id) { out.emplace_back(m.id, m.name); }
    }
    return out;
}

TEST(MemberTables, ListEveryMemberInInterfaceOrderWithItsDispatchId) {
    // The published member order and dispatch identifiers of the type library.
    const std::vector<std::pair<DISPID, std::u16string>> distil{
        {2, u"AzeotropeSearch"}, {3, u"DistillationMap"},    {4, u"PropertyPackage"},
        {5, u"CloseSimpdfFile"}, {6, u"InitFromSimpdfFile"}, {8, u"SetLogFile"},
        {9, u"OperatingSystem"}};
    const std::vector<std::pair<DISPID, std::u16string>> search{
        {1, u"ComputeAzeotropes"}, {2, u"Pressure"},         {3, u"GetAzeotropes"},
        {4, u"GetPureProperties"}, {5, u"SetComponentData"}, {6, u"SetIdxVector"},
        {7, u"SetPropertyData"},   {8, u"NoAzeotropes"},     {9, u"CompositionMatrix"},
        {10, u"StabilityIndex"},   {11, u"BPTemperatures"}};
    const std::vector<std::pair<DISPID, std::u16string>> map{{1, u"CurveCalcOption"},
                                                             {2, u"ErrorCode"},
                                                             {3, u"MessageCode"},
                                                             {4, u"Pressure"},
                                                             {5, u"StepSizeCurve"},
                                                             {6, u"StepSizeEnv"},
                                                             {7, u"Temperature"},
                                                             {8, u"ComputeEnvelopeLLE"},
                                                             {9, u"ComputeEnvelopeVLLE"},
                                                             {10, u"ComputeMaterialBalance"},
                                                             {11, u"GetAzeotropes"},
                                                             {12, u"GetBoilingPoint"},
                                                             {13, u"GetCurveLLE"},
                                                             {14, u"GetCurveVLLE"},
                                                             {15, u"GetDistillationBoundary"},
                                                             {16, u"GetDistillationCurve"},
                                                             {17, u"GetIsovolatilityCurve"},
                                                             {18, u"GetNewTieLineLLE"},
                                                             {19, u"GetNewTieLineVLLE"},
                                                             {20, u"GetPureProperties"},
                                                             {21, u"GetResidueCurve"},
                                                             {22, u"GetTieLinesLLE"},
                                                             {23, u"GetTieLinesVLLE"},
                                                             {24, u"SetCalculationOption"},
                                                             {25, u"SetComponentData"},
                                                             {26, u"SetPropertyData"},
                                                             {27, u"ComputeFeed"},
                                                             {28, u"CreateProductStreams"},
                                                             {29, u"BV_Design"}};
    const std::vector<std::pair<DISPID, std::u16string>> package{
        {1, u"IsValid"},          {2, u"CloseSimpdfFile"},   {3, u"InitFromSimpdfFile"},
        {4, u"GetComponentList"}, {5, u"GetPropMethodList"}, {6, u"FlashMaxIter"},
        {7, u"FlashTol"},         {8, u"GetComponentId"},    {9, u"Calc_Equillibrium"}};
    EXPECT_EQ(members(IDistil::iid), distil);
    EXPECT_EQ(members(IAzeotropeSearch::iid), search);
    EXPECT_EQ(members(IDistillationMap::iid), map);
    EXPECT_EQ(members(IPropertyPackage::iid), package);

    // Live objects resolve every name, in any case, to the same ids.
    const Opened o = open("acetone-chloroform-methanol.toml");
    const std::array<std::pair<IDispatch*, const std::vector<std::pair<DISPID, std::u16string>>*>,
                     4>
        objects{{{o.root.get(), &distil},
                 {o.search.get(), &search},
                 {o.map.get(), &map},
                 {o.package.get(), &package}}};
    for (const auto& [object, names] : objects) {
        for (const auto& [id, name] : *names) {
            std::u16string upper = name;
            for (char16_t& c : upper) {
                if (c >= u'a' && c <= u'z') { c = static_cast<char16_t>(c - u'a' + u'A'); }
            }
            EXPECT_EQ(LateBound(object).id(upper), id) << to_utf8(name);
        }
    }

    // Parameters: directions and types come from the members themselves.
    const auto& rows = engine::dispatch_members(IDistillationMap::iid);
    const auto design = std::find_if(rows.begin(), rows.end(),
                                     [](const auto& m) { return m.name == u"BV_Design"; });
    ASSERT_NE(design, rows.end());
    ASSERT_EQ(design->parameters.size(), 53u);
    EXPECT_EQ(design->parameters[0].vt, VT_I4);                   // nComp
    EXPECT_EQ(design->parameters[1].vt, VT_BSTR);                 // bsOpset
    EXPECT_EQ(design->parameters[9].vt, VT_VARIANT);              // vx_Dist
    EXPECT_EQ(design->parameters[16].vt, VT_BYREF | VT_R8);       // dbReflux
    EXPECT_EQ(design->parameters[52].vt, VT_BYREF | VT_I4);       // iMsg
    EXPECT_EQ(design->parameters[19].vt, VT_BYREF | VT_VARIANT);  // vx_Reflux

    // Parameter names resolve to their positions.
    std::u16string member = u"SetPropertyData", phase = u"NPHASE", opset = u"szOpset",
                   nothing = u"bogus";
    LPOLESTR names[] = {member.data(), phase.data(), opset.data(), nothing.data()};
    DISPID ids[4] = {};
    EXPECT_EQ(o.map->GetIDsOfNames(IID_NULL, names, 4, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 26);
    EXPECT_EQ(ids[1], 3);
    EXPECT_EQ(ids[2], 0);
    EXPECT_EQ(ids[3], DISPID_UNKNOWN);
}

TEST(Invoke, RefusesBadCallsWithTheAutomationStatusesAndChangesNothing) {
    const Opened o = open("acetone-chloroform-methanol.toml");
    const LateBound map(o.map.get());
    ASSERT_EQ(map.put(u"Pressure", CComVariant(kAtmosphere)).status, S_OK);

    // Unknown names and ids; a kind the member does not have.
    EXPECT_EQ(map.id(u"GetResidueCurves"), DISPID_UNKNOWN);
    CComVariant result;
    DISPPARAMS none{};
    EXPECT_EQ(
        o.map->Invoke(999, IID_NULL, 0, DISPATCH_METHOD, &none, result.out(), nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(map.put(u"ErrorCode", CComVariant(1)).status, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(map.invoke(u"Pressure", DISPATCH_METHOD, {}).status, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(map.invoke(u"GetBoilingPoint", DISPATCH_PROPERTYGET, {}).status,
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(o.map->Invoke(map.id(u"Pressure"), IID_IDispatch, 0, DISPATCH_PROPERTYGET, &none,
                            result.out(), nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);

    // Wrong argument counts.
    EXPECT_EQ(map.call(u"SetCalculationOption", {CComVariant(1)}).status, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(map.call(u"SetCalculationOption", {CComVariant(1), CComVariant(2.0), CComVariant(3)})
                  .status,
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(map.invoke(u"Pressure", DISPATCH_PROPERTYGET, {CComVariant(1.0)}).status,
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(map.invoke(u"Pressure", DISPATCH_PROPERTYPUT, {CComVariant(1.0), CComVariant(2.0)},
                         {DISPID_PROPERTYPUT})
                  .status,
              DISP_E_BADPARAMCOUNT);

    // Wrong types, with the refused argument's index in rgvarg (last argument = 0).
    const Invoked text = map.call(u"SetCalculationOption", {CComVariant("one"), CComVariant(2.0)});
    EXPECT_EQ(text.status, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(text.arg_error, 1u);
    const Invoked big = map.call(u"SetCalculationOption", {CComVariant(1e20), CComVariant(2.0)});
    EXPECT_EQ(big.status, DISP_E_OVERFLOW);
    EXPECT_EQ(big.arg_error, 1u);
    EXPECT_EQ(map.put(u"Pressure", CComVariant("high")).status, DISP_E_TYPEMISMATCH);
    CComVariant x = doubles({0.3, 0.3, 0.4});
    const Invoked by_value = map.call(u"GetBoilingPoint", {x, CComVariant(0.0)});
    EXPECT_EQ(by_value.status, DISP_E_TYPEMISMATCH) << "an output cannot be passed by value";
    EXPECT_EQ(by_value.arg_error, 0u);
    LONG wrong = 0;
    EXPECT_EQ(map.call(u"GetBoilingPoint", {x, ref(wrong)}).status, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(map.call(u"SetCalculationOption", {missing(), CComVariant(2.0)}).status,
              DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(map.invoke(u"SetCalculationOption", DISPATCH_METHOD,
                         {CComVariant(1), CComVariant(2.0)}, {7})
                  .status,
              DISP_E_PARAMNOTFOUND);
    // None of them reached the member.
    EXPECT_EQ(map.get(u"Pressure").result.dblVal, kAtmosphere);
}

TEST(Invoke, ConvertsArgumentsNamedOrNotAndWritesOutputsThroughReferences) {
    const Opened o = open("acetone-chloroform-methanol.toml");
    const LateBound map(o.map.get());
    const auto* object = static_cast<const engine::CDistillationMap*>(o.map.get());

    // Coercion of in values, as automation clients expect it.
    ASSERT_EQ(map.put(u"Pressure", CComVariant(50000)).status, S_OK);
    EXPECT_EQ(map.get(u"Pressure").result.dblVal, 50000.0);
    ASSERT_EQ(map.put(u"Pressure", CComVariant("101325")).status, S_OK);
    EXPECT_EQ(map.get(u"Pressure").result.dblVal, kAtmosphere);
    // A property read the way scripting clients do it, with both flags.
    EXPECT_EQ(
        map.invoke(u"StepSizeCurve", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}).result.dblVal,
        0.3);

    // Named arguments in any order, after the positional ones.
    CComVariant opset("NRTLLONGNAME"), model("NRTL");
    ASSERT_EQ(map.invoke(u"SetPropertyData", DISPATCH_METHOD, {opset, CComVariant(3), model, model},
                         {3, 2, 1})
                  .status,
              S_OK);
    EXPECT_EQ(object->option_set(), "NRTLLONGN") << "an option-set name keeps 9 characters";
    EXPECT_EQ(object->phase_count(), 3);

    // Outputs: a reference to a double, to a variant, or left out.
    CComVariant top("ACETONE"), left("CHCL3"), right("MEOH"), nrtl("NRTL");
    ASSERT_EQ(map.call(u"SetComponentData", {top, left, right}).status, S_OK);
    ASSERT_EQ(map.call(u"SetPropertyData", {nrtl, nrtl, nrtl, CComVariant(2)}).status, S_OK);
    CComVariant x = doubles({0.2, 0.3, 0.5});
    DOUBLE direct = 0.0;
    ASSERT_EQ(o.map->GetBoilingPoint(x, &direct), S_OK);
    double through_double = 0.0;
    ASSERT_EQ(map.call(u"GetBoilingPoint", {x, ref(through_double)}).status, S_OK);
    CComVariant through_variant("replaced");
    ASSERT_EQ(map.call(u"GetBoilingPoint", {x, ref(through_variant)}).status, S_OK);
    EXPECT_EQ(through_double, direct);
    ASSERT_EQ(through_variant.vt, VT_R8);
    EXPECT_EQ(through_variant.dblVal, direct);
    EXPECT_EQ(map.call(u"GetBoilingPoint", {x, missing()}).status, S_OK);
    // The composition may itself come by reference.
    double via_reference = 0.0;
    ASSERT_EQ(map.call(u"GetBoilingPoint", {ref(x), ref(via_reference)}).status, S_OK);
    EXPECT_EQ(via_reference, direct);

    // The sub-objects come back as the very objects the root holds.
    const LateBound root(o.root.get());
    const Invoked got = root.get(u"AzeotropeSearch");
    ASSERT_EQ(got.result.vt, VT_DISPATCH);
    CComPtr<IAzeotropeSearch> search;
    ASSERT_EQ(got.result.pdispVal->QueryInterface(IAzeotropeSearch::iid, search.out_void()), S_OK);
    EXPECT_EQ(search.get(), o.search.get());
    EXPECT_EQ(root.get(u"OperatingSystem").result.lVal, 0);
}

TEST(Invoke, AFailingMemberGivesDispExceptionWithItsOwnReport) {
    CComPtr<IAzeotropeSearch> search;
    ASSERT_EQ(engine::create_engine_object(engine::core::CLSID_AzeotropeSearch,
                                           IAzeotropeSearch::iid, search.out_void()),
              S_OK);
    const LateBound late(search.get());
    CComVariant a, b, c;
    ASSERT_EQ(late.call(u"SetIdxVector", {CComVariant(1), ints({4})}).status, S_OK);
    // No error information left over from an earlier failure may pass for this call's: the
    // member below fails with a bare status.
    engine::core::report_error(engine::core::CLSID_Distil, "stale", IDistil::iid, E_FAIL);
    const Invoked bare =
        late.call(u"SetIdxVector", {CComVariant(static_cast<LONG>(-1)), ints({1})});
    EXPECT_EQ(bare.status, DISP_E_EXCEPTION);
    EXPECT_EQ(bare.scode, E_INVALIDARG);
    EXPECT_EQ(bare.source, "TARNDistil.AzeotropeSearch.38.0");
    EXPECT_EQ(bare.description, "SetIdxVector failed with status 0x80070057");

    // The index vector may not be shorter than its count: refused before the member runs.
    const Invoked short_vector = late.call(u"SetIdxVector", {CComVariant(3), ints({1, 2})});
    EXPECT_EQ(short_vector.status, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(short_vector.arg_error, 0u);
    EXPECT_EQ(static_cast<engine::CAzeotropeSearch*>(search.get())->component_count(), 1);

    // A member's own report: its text, its status, its class as source. A map without any root
    // object has no azeotrope search to ask.
    ASSERT_EQ(engine::global_azeotrope_search(), nullptr);
    CComPtr<IDistillationMap> map;
    ASSERT_EQ(engine::create_engine_object(engine::core::CLSID_DistillationMap,
                                           IDistillationMap::iid, map.out_void()),
              S_OK);
    const Invoked report =
        LateBound(map.get()).call(u"GetPureProperties", {ref(a), ref(b), ref(c)});
    EXPECT_EQ(report.status, DISP_E_EXCEPTION);
    EXPECT_EQ(hresult_bits(report.scode), 0x80040279u);
    EXPECT_EQ(report.source, "TARNDistil.DistillationMap.38.0");
    EXPECT_EQ(report.description, "Azeotrope Search object not initialised");
}

TEST(Invoke, CarriesTheSearchesPlainMemoryInArrays) {
    const Opened o = open("acetone-chloroform-methanol.toml");
    const LateBound search(o.search.get());
    EXPECT_EQ(search.get(u"CompositionMatrix").result.vt, VT_EMPTY) << "nothing computed yet";
    ASSERT_EQ(search.call(u"SetIdxVector", {CComVariant(3), doubles({1, 2, 3})}).status, S_OK);
    CComVariant nrtl("NRTL");
    ASSERT_EQ(search.call(u"SetPropertyData", {nrtl, nrtl, nrtl, CComVariant(2)}).status, S_OK);
    ASSERT_EQ(search.put(u"Pressure", CComVariant(kAtmosphere)).status, S_OK);
    CComVariant a, b, c;
    ASSERT_EQ(search.call(u"GetPureProperties", {ref(a), ref(b), ref(c)}).status, S_OK);
    ASSERT_EQ(search.call(u"ComputeAzeotropes").status, S_OK);
    const LONG azeotropes = search.get(u"NoAzeotropes").result.lVal;
    ASSERT_EQ(azeotropes, 4);

    DOUBLE* points = nullptr;
    LONGLONG* codes = nullptr;
    DOUBLE* temperatures = nullptr;
    o.search->get_CompositionMatrix(&points);
    o.search->get_StabilityIndex(&codes);
    o.search->get_BPTemperatures(&temperatures);
    const Array matrix = read_array(search.get(u"CompositionMatrix").result);
    const Array stability = read_array(search.get(u"StabilityIndex").result);
    const Array boiling = read_array(search.get(u"BPTemperatures").result);
    ASSERT_EQ(matrix.extents, (std::vector<std::int64_t>{7, 3}));
    ASSERT_EQ(stability.extents, (std::vector<std::int64_t>{7}));
    ASSERT_EQ(boiling.extents, (std::vector<std::int64_t>{7}));
    for (int p = 0; p < 7; ++p) {
        for (int k = 0; k < 3; ++k) { EXPECT_EQ(matrix.at(p, k), points[p * 3 + k]); }
        EXPECT_EQ(stability.at(p), static_cast<double>(codes[p]));
        EXPECT_EQ(boiling.at(p), temperatures[p]);
    }
}

TEST(Invoke, CallsThePropertyPackageWithArraysForItsPlainMemory) {
    const Opened o = open("acetone-chloroform-methanol.toml");
    const LateBound package(o.package.get());
    EXPECT_EQ(package.get(u"IsValid").result.lVal, 1);
    ASSERT_EQ(package.put(u"FlashTol", CComVariant(1e-9)).status, S_OK);
    EXPECT_EQ(package.get(u"FlashTol").result.dblVal, 1e-9);
    // The index comes back as the result (the interface returns it as the status value).
    EXPECT_EQ(package.call(u"GetComponentId", {CComVariant("MEOH")}).result.lVal, 3);
    EXPECT_EQ(package.call(u"GetComponentId", {CComVariant("NOSUCH")}).result.lVal, 0);

    // A bubble point of acetone / methanol through both routes.
    std::array<LONGLONG, 2> idx{1, 3};
    std::array<double, 2> z{0.4, 0.6};
    double t = 0.0, p = kAtmosphere, vf = 0.0, beta = 0.0;
    std::array<double, 2> y{}, x{}, x1{}, x2{};
    LONG err = -1;
    ASSERT_EQ(o.package->Calc_Equillibrium(CComBSTR(u"PV"), 2, CComBSTR(u"NRTL"), 2, idx.data(),
                                           z.data(), &t, &p, &vf, y.data(), x.data(), &beta,
                                           x1.data(), x2.data(), &err),
              S_FALSE);
    ASSERT_EQ(err, 0);
    double lt = 0.0, lp = kAtmosphere, lvf = 0.0, lbeta = 0.0;
    LONG lerr = -1;
    CComVariant ly, lx, lx1, lx2;
    CComVariant type("pv"), opset("NRTL"), indices = ints({1, 3}), feed = doubles({0.4, 0.6});
    const Invoked flash =
        package.call(u"Calc_Equillibrium",
                     {type, CComVariant(2), opset, CComVariant(2), indices, feed, ref(lt), ref(lp),
                      ref(lvf), ref(ly), ref(lx), ref(lbeta), ref(lx1), ref(lx2), ref(lerr)});
    ASSERT_EQ(flash.status, S_OK);
    EXPECT_EQ(lerr, 0);
    EXPECT_EQ(lt, t);
    EXPECT_EQ(lp, p);
    EXPECT_EQ(lbeta, beta);
    EXPECT_EQ(read_array(ly).values, std::vector<double>(y.begin(), y.end()));
    EXPECT_EQ(read_array(lx).values, std::vector<double>(x.begin(), x.end()));

    // A feed shorter than nComp is refused before the member runs; an unknown flash type is the
    // member's own refusal (errflg -1) and hands back no compositions.
    CComVariant short_feed = doubles({1.0});
    const Invoked refused =
        package.call(u"Calc_Equillibrium", {type, CComVariant(2), opset, CComVariant(2), indices,
                                            short_feed, ref(lt), ref(lp), ref(lvf), ref(ly),
                                            ref(lx), ref(lbeta), ref(lx1), ref(lx2), ref(lerr)});
    EXPECT_EQ(refused.status, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(refused.arg_error, 9u);
    CComVariant unknown("XY"), untouched("untouched");
    ASSERT_EQ(
        package
            .call(u"Calc_Equillibrium", {unknown, CComVariant(2), opset, CComVariant(2), indices,
                                         feed, ref(lt), ref(lp), ref(lvf), ref(untouched),
                                         missing(), ref(lbeta), missing(), missing(), ref(lerr)})
            .status,
        S_OK);
    EXPECT_EQ(lerr, -1);
    EXPECT_EQ(untouched.vt, VT_BSTR);
}

/// The arguments of one material balance, as both routes pass them.
struct BalanceCall {
    CComVariant xdist = doubles({0, 0, 0}), xbot = doubles({0, 0, 0});
    CComVariant recov_dist = doubles({0.99, 0.5, 0.0}), recov_bot = doubles({0.0, 0.0, 0.99});
    CComVariant dist_stream, bot_stream, tieline, ydec;
    DOUBLE D = 0, B = 0, phi = 0, TD = 0, TB = 0;
    LONG err = -1, msg = -1, converged = -1;
};

TEST(Invoke, CallsTheMaterialBalanceWithAllItsArgumentsAsTheInterfaceDoes) {
    // 28 arguments of every kind: values, strings, in arrays, in/out arrays written back,
    // output arrays, doubles and integers. Benzene / toluene / p-xylene, recoveries 0.99 and 0.5
    // of benzene and toluene to the distillate, 0.99 of p-xylene to the bottoms.
    const Opened o = open("aromatics.toml");
    const LateBound map(o.map.get());
    CComVariant top("BENZENE"), left("TOLUENE"), right("PXYLENE"), unifac("UNIFAC");
    ASSERT_EQ(map.call(u"SetComponentData", {top, left, right}).status, S_OK);
    ASSERT_EQ(map.call(u"SetPropertyData", {unifac, unifac, unifac, CComVariant(2)}).status, S_OK);
    ASSERT_EQ(map.put(u"Pressure", CComVariant(kAtmosphere)).status, S_OK);
    const CComVariant feed = doubles({0.3, 0.4, 0.3}), weights = doubles({78.11, 92.14, 106.17});
    CComVariant spec;
    {
        // lComp x 4 flags, column by column: recovery specifications.
        SAFEARRAYBOUND bounds[2] = {{3, 0}, {4, 0}};
        spec.parray = SafeArrayCreate(VT_I4, 2, bounds);
        spec.vt = VT_ARRAY | VT_I4;
        void* data = nullptr;
        SafeArrayAccessData(spec.parray, &data);
        const std::array<LONG, 12> flags{0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1};
        std::copy(flags.begin(), flags.end(), static_cast<LONG*>(data));
        SafeArrayUnaccessData(spec.parray);
    }
    BalanceCall d;
    ASSERT_EQ(o.map->ComputeMaterialBalance(3, CComBSTR(u"UNIFAC"), 2, kAtmosphere, 0, 1, feed,
                                            100.0, spec, 0, weights, CComVariant(), &d.xdist,
                                            &d.xbot, &d.recov_dist, &d.recov_bot, &d.dist_stream,
                                            &d.bot_stream, &d.D, &d.B, &d.tieline, &d.ydec, &d.phi,
                                            &d.TD, &d.TB, &d.err, &d.msg, &d.converged),
              S_OK);
    ASSERT_EQ(d.err, 0);
    BalanceCall l;
    const Invoked late = map.call(u"ComputeMaterialBalance", {CComVariant(3),
                                                              unifac,
                                                              CComVariant(2),
                                                              CComVariant(kAtmosphere),
                                                              CComVariant(0),
                                                              CComVariant(1),
                                                              feed,
                                                              CComVariant(100.0),
                                                              spec,
                                                              CComVariant(0),
                                                              weights,
                                                              missing(),
                                                              ref(l.xdist),
                                                              ref(l.xbot),
                                                              ref(l.recov_dist),
                                                              ref(l.recov_bot),
                                                              ref(l.dist_stream),
                                                              ref(l.bot_stream),
                                                              ref(l.D),
                                                              ref(l.B),
                                                              ref(l.tieline),
                                                              ref(l.ydec),
                                                              ref(l.phi),
                                                              ref(l.TD),
                                                              ref(l.TB),
                                                              ref(l.err),
                                                              ref(l.msg),
                                                              ref(l.converged)});
    ASSERT_EQ(late.status, S_OK);
    EXPECT_EQ(l.err, d.err);
    EXPECT_EQ(l.msg, d.msg);
    EXPECT_EQ(l.converged, d.converged);
    EXPECT_EQ(l.D, d.D);
    EXPECT_EQ(l.B, d.B);
    EXPECT_EQ(l.TD, d.TD);
    EXPECT_EQ(l.TB, d.TB);
    EXPECT_NEAR(l.D + l.B, 100.0, 1e-9);
    for (const auto& [a, b] :
         {std::pair{&l.xdist, &d.xdist}, std::pair{&l.xbot, &d.xbot},
          std::pair{&l.dist_stream, &d.dist_stream}, std::pair{&l.tieline, &d.tieline}}) {
        EXPECT_EQ(read_array(*a).values, read_array(*b).values);
        EXPECT_FALSE(read_array(*a).values.empty());
    }
}

}  // namespace
}  // namespace server::testing
