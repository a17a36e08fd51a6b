#include "engine/core/error_report.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "engine/core/class_ids.hpp"
#include "engine/core/messages.hpp"
#include "engine/core/prog_ids.hpp"
#include "engine/core/util_funcs.hpp"
#include "platform/error_info.hpp"

using namespace engine::core;
using namespace platform;
using engine::core::CUtilFuncs;

TEST(ErrorReport, LeavesTheMethodsTextSourceAndInterfaceForTheClient) {
    const HRESULT hr = report_error(CLSID_Distil, "Error instantiating PropertyPackage Object",
                                    IID_IDistil, E_TARN_INSTANTIATION);
    EXPECT_EQ(hresult_bits(hr), 0x8004027Cu);
    const auto info = take_error_info();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->description, "Error instantiating PropertyPackage Object");
    EXPECT_EQ(info->source, "TARNDistil.Distil.38.0");  // the class's registered ProgID
    EXPECT_EQ(info->guid, IID_IDistil);
    EXPECT_EQ(info->help_file, "");
    EXPECT_EQ(info->help_context, 0u);
}

TEST(ErrorReport, TakesTextsFromTheStringTable) {
    HRESULT hr =
        report_error(CLSID_PropertyPackage, 120u, IID_IPropertyPackage, E_TARN_PROPERTY_PACKAGE);
    EXPECT_EQ(hresult_bits(hr), 0x80040278u);
    auto info = take_error_info();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->description, "Property Package not initialised");
    EXPECT_EQ(info->source, "TARNDistil.PropertyPackage.38.0");

    // Status 0 with an identifier becomes 0x80040000 + identifier; 123 is not in the table.
    hr = report_error(CLSID_DistillationMap, 114u, IID_IDistillationMap, 0);
    EXPECT_EQ(hresult_bits(hr), 0x80040072u);
    EXPECT_EQ(take_error_info()->description,
              "Uninitialised Variant parameter passed to procedure");
    report_error(CLSID_DistillationMap, 123u, IID_IDistillationMap, E_FAIL);
    EXPECT_EQ(take_error_info()->description, "Unknown Error");
    // Status 0 with a text becomes DISP_E_EXCEPTION.
    hr = report_error(CLSID_AzeotropeSearch, "x", IID_IAzeotropeSearch, 0);
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
}

TEST(ErrorReport, SourceFollowsTheProgIdTable) {
    const CLSID unknown_class = make_guid("00000000-1111-2222-3333-444444444444");
    report_error(unknown_class, u"text \u00B0C", IID_IDistil, E_FAIL);
    auto info = take_error_info();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->source, "");  // not registered: no source
    EXPECT_EQ(info->description,
              "text \xC2\xB0"
              "C");

    register_prog_id(unknown_class, "TARNDistil.Test.1", "TARNDistil.Test");
    EXPECT_EQ(clsid_from_prog_id("TARNDistil.Test"), unknown_class);
    EXPECT_EQ(clsid_from_prog_id("TARNDistil.Test.1"), unknown_class);
    report_error(unknown_class, "y", IID_IDistil, E_FAIL);
    EXPECT_EQ(take_error_info()->source, "TARNDistil.Test.1");
    unregister_prog_id(unknown_class);
    EXPECT_EQ(prog_id_from_clsid(unknown_class), std::nullopt);

    EXPECT_EQ(clsid_from_prog_id("TARNDistil.Distil"), CLSID_Distil);
    EXPECT_EQ(clsid_from_prog_id("TARNDistil.Distil.26.0"), std::nullopt);  // another version
}

TEST(ErrorReport, ErrorInformationStaysWithTheReportingThread) {
    std::thread([] { report_error(CLSID_Distil, "other thread", IID_IDistil, E_FAIL); }).join();
    EXPECT_FALSE(take_error_info());
}

TEST(ErrorReport, EngineStatusesNameTheirStringTableEntries) {
    EXPECT_EQ(status_string_id(E_TARN_UNINITIALISED_VARIANT), 114u);
    EXPECT_EQ(status_string_id(E_TARN_WRITING_FILE), 127u);
    EXPECT_EQ(status_string_id(E_FAIL), std::nullopt);
    EXPECT_EQ(status_string_id(engine_status(123)), std::nullopt);  // no entry 123
    EXPECT_EQ(status_string_id(engine_status(105)), std::nullopt);  // a message, not a status
}

namespace {
// The shape every automation method follows on an empty input variant.
HRESULT get_boiling_point(const VARIANT* vComposition) {
    CUtilFuncs utility;
    if (CUtilFuncs::IsEmpty(vComposition)) {
        return report_error(CLSID_DistillationMap, "GetBoilingPoint: vComposition is empty",
                            IID_IDistillationMap, E_TARN_UNINITIALISED_VARIANT);
    }
    return S_OK;
}
}  // namespace

TEST(ErrorReport, MethodFailingOnAnEmptyInputReturns0x80040272WithItsOwnText) {
    CComVariant empty;
    EXPECT_EQ(hresult_bits(get_boiling_point(&empty)), 0x80040272u);
    const auto info = take_error_info();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->description, "GetBoilingPoint: vComposition is empty");
    EXPECT_EQ(info->source, "TARNDistil.DistillationMap.38.0");
    EXPECT_EQ(info->guid, IID_IDistillationMap);
    CComVariant scalar(0.3);
    EXPECT_EQ(get_boiling_point(&scalar), S_OK);  // a scalar is not "empty"
    EXPECT_FALSE(take_error_info());
}
