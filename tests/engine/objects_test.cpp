// Behaviour of the automation objects themselves: the root object and the process-wide
// pointers, tracing, the settings of a fresh map, the statuses and texts of failures that can be
// provoked, and the creation of classes by identity.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/azeotrope_search.hpp"
#include "engine/distil.hpp"
#include "engine/distillation_map.hpp"
#include "engine/module.hpp"
#include "engine_test_support.hpp"

namespace engine::testing {
namespace {

using namespace platform;

CComPtr<IDistil> new_root() {
    CComPtr<IDistil> root;
    EXPECT_EQ(create_engine_object(core::CLSID_Distil, IDistil::iid, root.out_void()), S_OK);
    return root;
}

CComPtr<IDistillationMap> new_map() {
    CComPtr<IDistillationMap> map;
    EXPECT_EQ(
        create_engine_object(core::CLSID_DistillationMap, IDistillationMap::iid, map.out_void()),
        S_OK);
    return map;
}

TEST(RootObject, TwoRootObjectsPublishTheLaterOnesObjectsAndEitherDestructionClearsThem) {
    scratch();
    const long objects_before = module_object_count();
    CComPtr<IDistil> first = new_root();
    CComPtr<IPropertyPackage> first_package;
    CComPtr<IAzeotropeSearch> first_search;
    first->get_PropertyPackage(first_package.out());
    first->get_AzeotropeSearch(first_search.out());
    EXPECT_EQ(global_property_package(), first_package.get());
    EXPECT_EQ(global_azeotrope_search(), first_search.get());

    CComPtr<IDistil> second = new_root();
    CComPtr<IPropertyPackage> second_package;
    CComPtr<IAzeotropeSearch> second_search;
    second->get_PropertyPackage(second_package.out());
    second->get_AzeotropeSearch(second_search.out());
    EXPECT_NE(second_package.get(), first_package.get());
    EXPECT_EQ(global_property_package(), second_package.get());
    EXPECT_EQ(global_azeotrope_search(), second_search.get());

    // Destroying the first root object clears both globals although the second is alive.
    first.Release();
    EXPECT_EQ(global_property_package(), nullptr);
    EXPECT_EQ(global_azeotrope_search(), nullptr);
    // Its objects live on while the client holds them.
    LONG valid = -1;
    EXPECT_EQ(first_package->get_IsValid(&valid), S_OK);
    EXPECT_EQ(valid, 0);

    second.Release();
    first_package.Release();
    first_search.Release();
    second_package.Release();
    second_search.Release();
    EXPECT_EQ(module_object_count(), objects_before) << "every engine object was destroyed";
}

TEST(RootObject, OpensAndClosesTheProblemThroughItsPropertyPackage) {
    Engine e = open_engine();
    ASSERT_EQ(e.status, S_OK);
    auto* distil = static_cast<CDistil*>(e.root.get());
    EXPECT_EQ(narrow(distil->current_file()), problem_file());
    LONG valid = 0;
    e.package->get_IsValid(&valid);
    EXPECT_EQ(valid, 1);

    // A file that does not exist: the package fails, the root object reports its own text.
    take_error();
    {
        MessageCapture boxes;  // the package's own message box says why
        EXPECT_EQ(e.root->InitFromSimpdfFile(CComBSTR(u"/no/such/problem.toml")),
                  E_TARN_PROPERTY_PACKAGE);
        ASSERT_EQ(boxes.messages().size(), 1u);
        EXPECT_EQ(boxes.messages()[0].text,
                  "Unable to read PDF Filename and/or Runid from /no/such/problem.toml");
    }
    const ErrorRecord error = take_error();
    EXPECT_EQ(error.description, "Failed to initialise properties");
    EXPECT_EQ(error.source, "TARNDistil.Distil.38.0");
    EXPECT_EQ(narrow(distil->current_file()), "/no/such/problem.toml") << "keeps the new name";

    // Closing a package that opened a file keeps it; the current file becomes empty.
    EXPECT_EQ(e.root->CloseSimpdfFile(), S_OK);
    EXPECT_EQ(narrow(distil->current_file()), "");
    CComPtr<IPropertyPackage> still;
    e.root->get_PropertyPackage(still.out());
    EXPECT_NE(still.get(), nullptr);
}

TEST(RootObject, DropsAPackageThatNeverOpenedAFileWhenClosing) {
    scratch();
    CComPtr<IDistil> root = new_root();
    EXPECT_EQ(root->CloseSimpdfFile(), S_OK);
    CComPtr<IPropertyPackage> package;
    EXPECT_EQ(root->get_PropertyPackage(package.out()), S_OK);
    EXPECT_EQ(package.get(), nullptr);
    // Without a package: closing does nothing, opening fails with its text.
    EXPECT_EQ(root->CloseSimpdfFile(), S_OK);
    take_error();
    EXPECT_EQ(root->InitFromSimpdfFile(CComBSTR::from_utf8(problem_file())),
              E_TARN_PROPERTY_PACKAGE);
    EXPECT_EQ(take_error().description, "Property Package not initialised");
    LONG os = -1;
    EXPECT_EQ(root->get_OperatingSystem(&os), S_OK);
    EXPECT_EQ(os, 0) << "no Windows version record here: the unknown platform's value";
}

TEST(RootObject, TracePointsComposeTheirPathsOnlyWhileTracingIsOnAndNeverWrite) {
    scratch();
    std::vector<std::pair<std::string, std::string>> lines;
    set_trace_listener(
        [&](std::string_view text, std::string_view path) { lines.emplace_back(text, path); });
    CComPtr<IDistil> root = new_root();
    CComPtr<IPropertyPackage> package;
    if (!tracing_on()) {
        root->get_PropertyPackage(package.out());
        EXPECT_TRUE(lines.empty()) << "no trace before SetLogFile";
    }
    const CComBSTR name(u"engine-trace.log");
    EXPECT_EQ(root->SetLogFile(name), S_OK);
    EXPECT_TRUE(tracing_on());
    EXPECT_EQ(trace_file_name(), "engine-trace.log");
    lines.clear();

    root->get_PropertyPackage(package.out());
    CComPtr<IDistillationMap> map;
    root->get_DistillationMap(map.out());
    CComPtr<IAzeotropeSearch> search;
    root->get_AzeotropeSearch(search.out());
    LONG os = -1;
    root->get_OperatingSystem(&os);

    const unsigned long id = static_cast<unsigned long>(::gettid());
    const std::string path = (scratch() / "engine-trace.log").string();
    ASSERT_EQ(lines.size(), 3u) << "OperatingSystem traces nothing when it answers 0";
    EXPECT_EQ(
        lines[0].first,
        fmt::format("Distil::get_PropertyPackage Called ** ThreadId = {} (0x{:X})\n", id, id));
    EXPECT_EQ(
        lines[1].first,
        fmt::format("Distil::get_DistillationMap Called ** ThreadId = {} (0x{:X})\n", id, id));
    EXPECT_EQ(lines[2].first, "Distil: IAzeotropeSearch requested\n");
    for (const auto& [text, p] : lines) { EXPECT_EQ(p, path); }
    EXPECT_FALSE(std::filesystem::exists(path)) << "trace points keep writing switched off";

    // The same string object again keeps the stored name; another one replaces it.
    EXPECT_EQ(root->SetLogFile(name), S_OK);
    EXPECT_EQ(root->SetLogFile(CComBSTR(u"other.log")), S_OK);
    EXPECT_EQ(trace_file_name(), "other.log");
    set_trace_listener({});
}

TEST(DistillationMap, AFreshMapReportsItsDefaultsAndPutsStoreWithoutChecks) {
    CComPtr<IDistillationMap> map = new_map();
    LONG option = 0, error = -1, message = -1;
    DOUBLE step_curve = 0, step_env = 0, pressure = -1, temperature = -1;
    map->get_CurveCalcOption(&option);
    map->get_ErrorCode(&error);
    map->get_MessageCode(&message);
    map->get_StepSizeCurve(&step_curve);
    map->get_StepSizeEnv(&step_env);
    map->get_Pressure(&pressure);
    map->get_Temperature(&temperature);
    EXPECT_EQ(option, 2);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(message, 0);
    EXPECT_EQ(step_curve, 0.3);
    EXPECT_EQ(step_env, 0.1);
    EXPECT_EQ(pressure, 0.0);
    EXPECT_EQ(temperature, 0.0);

    EXPECT_EQ(map->put_StepSizeCurve(-4.0), S_OK);
    EXPECT_EQ(map->put_CurveCalcOption(17), S_OK);
    map->get_StepSizeCurve(&step_curve);
    map->get_CurveCalcOption(&option);
    EXPECT_EQ(step_curve, -4.0);
    EXPECT_EQ(option, 17);

    // Stored results of a fresh map: 100 tie lines of -1.0 each, no envelope.
    CComVariant ties, curve;
    EXPECT_EQ(map->GetTieLinesLLE(&ties), S_OK);
    const Array t = read_array(ties);
    ASSERT_EQ(t.extents, (std::vector<std::int64_t>{200, 3}));
    EXPECT_TRUE(std::all_of(t.values.begin(), t.values.end(), [](double x) { return x == -1.0; }));
    EXPECT_EQ(map->GetCurveLLE(&curve), S_OK);
    EXPECT_EQ(read_array(curve).extents, (std::vector<std::int64_t>{0, 0, 3}));
    CComVariant vties, vapour;
    EXPECT_EQ(map->GetTieLinesVLLE(&vties, &vapour), S_OK);
    const Array y = read_array(vapour);
    ASSERT_EQ(y.extents, (std::vector<std::int64_t>{100, 3}));
    EXPECT_TRUE(std::all_of(y.values.begin(), y.values.end(), [](double x) { return x == -1.0; }))
        << "the vapour store is initialised too";
}

TEST(DistillationMap, KeepsTheFirstNineCharactersOfTheOptionSet) {
    CComPtr<IDistillationMap> map = new_map();
    EXPECT_EQ(map->SetPropertyData(CComBSTR(u"ABCDEFGHIJKL"), nullptr, nullptr, 3), S_OK);
    const auto* object = static_cast<const CDistillationMap*>(map.get());
    EXPECT_EQ(object->option_set(), "ABCDEFGHI");
    EXPECT_EQ(object->phase_count(), 3);
    // A character of several bytes is never split at the cut.
    EXPECT_EQ(map->SetPropertyData(CComBSTR(u"ABCDEFGH\u00e9"), nullptr, nullptr, 2), S_OK);
    EXPECT_EQ(object->option_set(), "ABCDEFGH");
    EXPECT_EQ(map->SetPropertyData(nullptr, nullptr, nullptr, 2), S_OK);
    EXPECT_EQ(object->option_set(), "");
}

TEST(DistillationMap, ReportsEveryFailureThatCanBeProvokedWithItsTextAndStatus) {
    scratch();
    ASSERT_EQ(global_property_package(), nullptr) << "no root object alive";
    CComPtr<IDistillationMap> map = new_map();
    const CComVariant point = doubles({0.2, 0.3, 0.5});
    DOUBLE t = -1.0;
    const auto expect_error = [](HRESULT hr, HRESULT status, std::string_view text) {
        EXPECT_EQ(hresult_bits(hr), hresult_bits(status)) << text;
        const ErrorRecord e = take_error();
        EXPECT_EQ(e.description, text);
        EXPECT_EQ(e.source, "TARNDistil.DistillationMap.38.0");
        EXPECT_EQ(e.guid, IDistillationMap::iid);
    };
    expect_error(map->GetBoilingPoint(point, &t), E_TARN_PROPERTY_PACKAGE,
                 "Property Package not Initialised");
    CComVariant x1, x2, y;
    expect_error(map->GetNewTieLineLLE(point, &x1, &x2), E_TARN_PROPERTY_PACKAGE,
                 "Property Package not Initialised");
    CComVariant a, b, c, d;
    expect_error(map->GetPureProperties(&a, &b, &c), E_TARN_AZEOTROPE_SEARCH,
                 "Azeotrope Search object not initialised");
    LONG count = -1;
    expect_error(map->GetAzeotropes(&count, &a, &b, &c, &d), E_TARN_AZEOTROPE_ROUTINE,
                 "Global AzeotropeSearch not instantiated");

    Engine e = open_engine();
    ASSERT_EQ(e.status, S_OK);
    set_ternary(e.map.get(), "ACETONE", "CHCL3", "MEOH", "NRTL", 2);
    const CComVariant nothing;
    expect_error(e.map->GetBoilingPoint(nothing, &t), E_TARN_UNINITIALISED_VARIANT,
                 "GetBoilingPoint: vComposition is empty or holds fewer than 3 mole fractions");
    expect_error(e.map->GetNewTieLineVLLE(nothing, &x1, &x2, &y), E_TARN_UNINITIALISED_VARIANT,
                 "vComposition is empty");
    expect_error(e.map->GetNewTieLineLLE(doubles({0.5, 0.5}), &x1, &x2), E_TARN_VARIANT_ACCESS,
                 "Error Extracting Composition from VARIANT");

    // A flash that fails: no pressure. dbBoilingPoint is not written.
    e.map->put_Pressure(0.0);
    t = -7.0;
    const HRESULT hr = e.map->GetBoilingPoint(point, &t);
    EXPECT_EQ(hresult_bits(hr), hresult_bits(E_TARN_CALC_EQUILIBRIUM));
    const ErrorRecord flash_error = take_error();
    EXPECT_TRUE(flash_error.description.starts_with("Calc_Equilibrium returned error "))
        << flash_error.description;
    EXPECT_TRUE(flash_error.description.ends_with(" in GetBoilingPoint"));
    EXPECT_EQ(t, -7.0);

    // A start point that is short, or no array of numbers at all: nothing is traced.
    e.map->put_Pressure(kAtmosphere);
    LONG direction = 99;
    CComVariant curve;
    e.map->GetResidueCurve(doubles({0.2, 0.3, 0.5}), &direction, &curve);
    LONG error_before = -5;
    e.map->get_ErrorCode(&error_before);
    clear_run_log();
    direction = 99;
    expect_error(e.map->GetResidueCurve(doubles({0.2, 0.8}), &direction, &curve),
                 E_TARN_UNINITIALISED_VARIANT,
                 "GetResidueCurve: vInitPoint must hold 3 mole fractions (top, left, right)");
    expect_error(e.map->GetDistillationCurve(CComVariant("0.2,0.3,0.5"), &direction, &curve),
                 E_TARN_UNINITIALISED_VARIANT,
                 "GetDistillationCurve: vInitPoint must hold 3 mole fractions (top, left, right)");
    EXPECT_EQ(direction, 99);
    LONG error_after = -6;
    e.map->get_ErrorCode(&error_after);
    EXPECT_EQ(error_after, error_before);
    EXPECT_TRUE(run_log_lines().empty());

    // Empty arrays of the design methods, each with its own text.
    CComVariant out1, out2, out3;
    DOUBLE f = 0, q = 0, tf = 0;
    LONG nb = 0, err = 0, msg = 0;
    expect_error(e.map->ComputeFeed(3, 3, nullptr, 2, kAtmosphere, nothing, point, 1, 3, point,
                                    &out1, &f, &q, &tf, &nb, &out2, &err, &msg),
                 E_TARN_UNINITIALISED_VARIANT, "Feed Stream is empty!");
    expect_error(e.map->ComputeFeed(3, 3, nullptr, 2, kAtmosphere, point, point, 1, 3, nothing,
                                    &out1, &f, &q, &tf, &nb, &out2, &err, &msg),
                 E_TARN_UNINITIALISED_VARIANT, "Molar Weights array is empty!");
    CComVariant dist = doubles({0.9, 0.05, 0.05});
    CComVariant empty_bot;
    DOUBLE dd = 0, bb = 0, phi = 0, td = 0, tb = 0;
    LONG conv = 0;
    CComVariant rd = doubles({0, 0, 0}), rb = doubles({0, 0, 0});
    expect_error(
        e.map->ComputeMaterialBalance(3, nullptr, 2, kAtmosphere, 0, 1, point, 100.0,
                                      ints({1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}, 3), 0, point,
                                      nothing, &dist, &empty_bot, &rd, &rb, &out1, &out2, &dd, &bb,
                                      &out3, &a, &phi, &td, &tb, &err, &msg, &conv),
        E_TARN_UNINITIALISED_VARIANT, "Bottoms composition array is empty!");
    expect_error(e.map->CreateProductStreams(3, 3, nullptr, 2, kAtmosphere, point, 0, nothing, 0,
                                             point, 1.0, point, 1.0, point, &out1, &out2),
                 E_TARN_UNINITIALISED_VARIANT, "Mapping Array is Empty");
}

TEST(DistillationMap, FindsComponentIndicesThroughARootObjectOfItsOwnWhenNoneIsAlive) {
    {
        Engine e = open_engine();  // the host keeps the problem open after the root is gone
        ASSERT_EQ(e.status, S_OK);
    }
    ASSERT_EQ(global_property_package(), nullptr);
    CComPtr<IDistillationMap> map = new_map();
    EXPECT_EQ(map->SetComponentData(CComBSTR(u"MEOH"), CComBSTR(u"NOSUCH"), CComBSTR(u"ACETONE")),
              S_OK);
    const auto* object = static_cast<const CDistillationMap*>(map.get());
    // Host indices in the order of the problem file; 0 for an id the host does not know.
    EXPECT_EQ(object->component_indices(), (std::array<std::int64_t, 3>{3, 0, 1}));
    EXPECT_EQ(global_property_package(), nullptr) << "the root made for the call is gone again";
}

TEST(Module, ResolvesProgIdsAndCreatesItsFourClasses) {
    EXPECT_EQ(resolve_prog_id("TARNDistil.Distil.26.0"), core::CLSID_Distil);
    EXPECT_EQ(resolve_prog_id("TARNDistil.Distil"), core::CLSID_Distil);
    EXPECT_EQ(resolve_prog_id("TARNDistil.DistillationMap.38.0"), core::CLSID_DistillationMap);
    EXPECT_EQ(resolve_prog_id("TARNDistil.Nothing.26.0"), std::nullopt);
    EXPECT_EQ(resolve_prog_id("TARNDistil.Distil.x.0"), std::nullopt);
    for (const core::ClassIdentity& c : core::kEngineClasses) {
        CComPtr<IUnknown> object;
        EXPECT_EQ(create_engine_object(c.clsid, IUnknown::iid, object.out_void()), S_OK)
            << c.prog_id;
        CComPtr<ISupportErrorInfo> info;
        EXPECT_EQ(object->QueryInterface(ISupportErrorInfo::iid, info.out_void()), S_OK);
    }
    CComPtr<IUnknown> none;
    EXPECT_EQ(create_engine_object(IID_IUnknown, IUnknown::iid, none.out_void()),
              CLASS_E_CLASSNOTAVAILABLE);
    // Names resolve to the dispatch ids, ignoring case.
    CComPtr<IDistillationMap> map = new_map();
    OLECHAR name[] = u"getresiduecurve";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(map->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, kDispIdGetResidueCurve);
}

TEST(AzeotropeSearch, RefusesNamesThatAreNotAOneDimensionalStringArray) {
    Engine e = open_engine();
    ASSERT_EQ(e.status, S_OK);
    EXPECT_EQ(e.search->SetComponentData(doubles({1, 2, 3})), E_FAIL);
    EXPECT_EQ(e.search->SetComponentData(matrix(1, 1, {1.0})), E_FAIL);
    EXPECT_EQ(e.search->SetComponentData(strings({"ACETONE", "CHCL3", "NOSUCH"})), S_OK);
    const auto* search = static_cast<const CAzeotropeSearch*>(e.search.get());
    EXPECT_EQ(search->component_count(), 3);
    EXPECT_EQ(std::vector<std::int64_t>(search->component_indices().begin(),
                                        search->component_indices().end()),
              (std::vector<std::int64_t>{1, 2, 0}));
    EXPECT_EQ(e.search->SetIdxVector(-1, nullptr), E_INVALIDARG);
    EXPECT_EQ(search->component_count(), 3) << "a refused call leaves the problem as it was";

    // Nothing searched yet: no azeotropes, and the variants are left alone.
    CComPtr<IAzeotropeSearch> fresh;
    ASSERT_EQ(
        create_engine_object(core::CLSID_AzeotropeSearch, IAzeotropeSearch::iid, fresh.out_void()),
        S_OK);
    LONG count = -1;
    CComVariant a(1.5), b, c, d;
    EXPECT_EQ(fresh->GetAzeotropes(&count, &a, &b, &c, &d), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(a.vt, VT_R8);
    // No components: GetPureProperties does nothing.
    EXPECT_EQ(fresh->GetPureProperties(&a, &b, &c), S_OK);
    EXPECT_EQ(a.vt, VT_R8);
    DOUBLE* matrix_pointer = reinterpret_cast<DOUBLE*>(1);
    EXPECT_EQ(fresh->get_CompositionMatrix(&matrix_pointer), S_OK);
    EXPECT_EQ(matrix_pointer, nullptr) << "no buffers before they are sized";
}

}  // namespace
}  // namespace engine::testing
