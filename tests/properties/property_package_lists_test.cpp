// The property package's lists, ids, settings and object identity, against the real host.
#include <gtest/gtest.h>

#include "platform/automation.hpp"
#include "properties/property_package.hpp"
#include "tests/properties/test_support.hpp"

namespace properties::testing {
namespace {

TEST(PropertyPackageLists, ListComponentsWithNamesAndMolarMassesAndTheOptionSets) {
    auto package = new_package();
    ASSERT_EQ(init(package.get(), example("ethanol-water-benzene.toml")), platform::S_OK);
    const ComponentList list = component_list(package.get());
    ASSERT_EQ(list.status, platform::S_OK);
    EXPECT_EQ(list.ids, (std::vector<std::string>{"ETOH", "WATER", "BENZENE"}));
    EXPECT_EQ(list.names, (std::vector<std::string>{"ethanol", "water", "benzene"}));
    // Molar masses from IUPAC standard atomic weights [kg/kmol]: C2H6O 46.068, H2O 18.015,
    // C6H6 78.112; the databank carries them to 0.001.
    ASSERT_EQ(list.molar_masses.size(), 3u);
    EXPECT_NEAR(list.molar_masses[0], 46.068, 2e-3);
    EXPECT_NEAR(list.molar_masses[1], 18.015, 2e-3);
    EXPECT_NEAR(list.molar_masses[2], 78.112, 2e-3);

    platform::HRESULT status = platform::E_FAIL;
    EXPECT_EQ(method_list(package.get(), &status),
              (std::vector<std::string>{"NRTL", "NRTLEWB", "UNIFAC", "UNIFACLL", "IDEAL"}));
    EXPECT_EQ(status, platform::S_OK);

    // The lists replace whatever the caller's variants held.
    platform::CComVariant ids(1.5), names(u"old"), masses(std::int32_t{7});
    ASSERT_EQ(package->GetComponentList(&ids, &names, &masses), platform::S_OK);
    EXPECT_EQ(ids.vt, platform::VT_ARRAY | platform::VT_BSTR);
    EXPECT_EQ(masses.vt, platform::VT_ARRAY | platform::VT_R8);
    platform::LONG lower = -1;
    platform::SafeArrayGetLBound(ids.parray, 1, &lower);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(package->GetComponentList(nullptr, &names, &masses), platform::E_POINTER);

    // Closing and opening another problem replaces both lists.
    package->CloseSimpdfFile(nullptr);
    ASSERT_EQ(init(package.get(), example("water-butanol.toml")), platform::S_OK);
    EXPECT_EQ(component_list(package.get()).ids, (std::vector<std::string>{"WATER", "NBUOH"}));
    EXPECT_EQ(method_list(package.get(), &status),
              (std::vector<std::string>{"NRTL", "UNIQUAC", "WILSON", "UNIFACLL"}));
}

TEST(PropertyPackageLists, KeepTwoHundredComponentsAndTwentyMethods) {
    auto package = new_package();
    ASSERT_EQ(init(package.get(), many_water_components("twohundred.toml", 200)), platform::S_OK);
    const ComponentList list = component_list(package.get());
    ASSERT_EQ(list.ids.size(), 200u);
    EXPECT_EQ(list.ids.front(), "W001");
    EXPECT_EQ(list.ids.back(), "W200");
    EXPECT_EQ(list.names.back(), "water 200");
    package->CloseSimpdfFile(nullptr);

    // 22 option sets: the list holds the first 20 and drops the rest.
    ASSERT_EQ(init(package.get(), many_option_sets("opsets.toml", 22)), platform::S_OK);
    platform::HRESULT status = platform::E_FAIL;
    const std::vector<std::string> methods = method_list(package.get(), &status);
    ASSERT_EQ(methods.size(), 20u);
    EXPECT_EQ(methods.front(), "OS01");
    EXPECT_EQ(methods.back(), "OS20");
    EXPECT_EQ(host_int("NOPSET"), 22);
    package->CloseSimpdfFile(nullptr);
}

TEST(PropertyPackageLists, ComponentIdsGiveHostIndicesIgnoringCaseAndBlanks) {
    auto package = new_package();
    ASSERT_EQ(init(package.get(), example("ethanol-water-benzene.toml")), platform::S_OK);
    using platform::CComBSTR;
    EXPECT_EQ(package->GetComponentId(CComBSTR(u"ETOH")), 1);
    EXPECT_EQ(package->GetComponentId(CComBSTR(u"water")), 2);
    EXPECT_EQ(package->GetComponentId(CComBSTR(u" BENZENE  ")), 3);
    EXPECT_EQ(package->GetComponentId(CComBSTR(u"TOLUENE")), 0) << "not in this problem";
    EXPECT_EQ(package->GetComponentId(CComBSTR(u"")), 0);
    EXPECT_EQ(package->GetComponentId(nullptr), 0);
    package->CloseSimpdfFile(nullptr);

    // Ids have at most eight characters: "EBENZENES" is no id, though its first eight name one.
    ASSERT_EQ(init(package.get(), example("aromatics.toml")), platform::S_OK);
    EXPECT_EQ(package->GetComponentId(CComBSTR(u"EBENZENE")), 4);
    EXPECT_EQ(package->GetComponentId(CComBSTR(u"EBENZENES")), 0);
    package->CloseSimpdfFile(nullptr);
}

TEST(PropertyPackageLists, FlashSettingsStartAtTheirDefaultsAndStoreWhatIsPut) {
    auto package = new_package();
    platform::LONG iterations = 0;
    double tolerance = 0.0;
    ASSERT_EQ(package->get_FlashMaxIter(&iterations), platform::S_OK);
    ASSERT_EQ(package->get_FlashTol(&tolerance), platform::S_OK);
    EXPECT_EQ(iterations, 99999999);
    EXPECT_EQ(tolerance, 1e-7);
    package->put_FlashMaxIter(-3);
    package->put_FlashTol(0.25);
    package->get_FlashMaxIter(&iterations);
    package->get_FlashTol(&tolerance);
    EXPECT_EQ(iterations, -3) << "puts store without checks; the host judges the values";
    EXPECT_EQ(tolerance, 0.25);
    EXPECT_EQ(package->get_FlashTol(nullptr), platform::E_POINTER);
}

TEST(PropertyPackageObject, AnswersItsInterfacesAndCountsTowardsTheModule) {
    const long before = platform::module_object_count();
    {
        auto package = new_package();
        EXPECT_EQ(platform::module_object_count(), before + 1);
        platform::CComPtr<platform::IUnknown> unknown;
        platform::CComPtr<platform::IDispatch> dispatch;
        platform::CComPtr<platform::ISupportErrorInfo> support;
        platform::CComPtr<platform::IClassFactory> factory;
        EXPECT_EQ(package->QueryInterface(platform::IID_IUnknown, unknown.out_void()),
                  platform::S_OK);
        EXPECT_EQ(package->QueryInterface(platform::IID_IDispatch, dispatch.out_void()),
                  platform::S_OK);
        EXPECT_EQ(package->QueryInterface(platform::IID_ISupportErrorInfo, support.out_void()),
                  platform::S_OK);
        EXPECT_EQ(package->QueryInterface(platform::IID_IClassFactory, factory.out_void()),
                  platform::E_NOINTERFACE);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(IPropertyPackage::iid), platform::S_OK);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(platform::IID_IDispatch), platform::S_FALSE);
        EXPECT_EQ(IPropertyPackage::iid,
                  platform::make_guid("7f8d1638-7163-4f28-9190-76e8863ced5b"));
        EXPECT_EQ(CPropertyPackage::clsid,
                  platform::make_guid("76cfb638-45f0-4084-8ad4-6dfd83130c1d"));

        // Late binding finds the members by name, in any case.
        std::u16string name = u"calc_equillibrium";
        platform::LPOLESTR names[] = {name.data()};
        platform::DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(platform::IID_NULL, names, 1, 0, &id), platform::S_OK);
        EXPECT_EQ(id, 9);
        std::u16string unknown_name = u"Calc_Equilibrium";  // the one-l spelling is not a member
        names[0] = unknown_name.data();
        EXPECT_EQ(dispatch->GetIDsOfNames(platform::IID_NULL, names, 1, 0, &id),
                  platform::DISP_E_UNKNOWNNAME);
        EXPECT_EQ(id, platform::DISPID_UNKNOWN);
    }
    EXPECT_EQ(platform::module_object_count(), before);
}

}  // namespace
}  // namespace properties::testing
