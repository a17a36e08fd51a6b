// Opening and closing problem-definition files through the property package, against the real
// host libraries: the statuses, message boxes and error information of every failure path.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/core/error_report.hpp"
#include "platform/automation.hpp"
#include "properties/prop_call.hpp"
#include "properties/property_package.hpp"
#include "tests/properties/test_support.hpp"

namespace properties::testing {
namespace {

using platform::MessageCapture;

constexpr std::string_view kSource = "TARNDistil.PropertyPackage.38.0";

/// The error information the last failing call left, checked field by field.
void expect_error_info(std::string_view description) {
    const auto info = platform::take_error_info();
    ASSERT_TRUE(info.has_value()) << "no error information for: " << description;
    EXPECT_EQ(info->description, description);
    EXPECT_EQ(info->source, kSource);
    EXPECT_EQ(info->guid, IPropertyPackage::iid);
}

/// Restores "TMP" at the end of a test that moves it.
class TmpOverride {
public:
    explicit TmpOverride(const std::string& value) { ::setenv("TMP", value.c_str(), 1); }
    ~TmpOverride() { ::setenv("TMP", scratch().c_str(), 1); }
};

TEST(PropertyPackageOpen, OpensTheBundledExampleAndKeepsItUntilClosed) {
    auto package = new_package();
    MessageCapture boxes;
    platform::LONG valid = -1;
    ASSERT_EQ(package->get_IsValid(&valid), platform::S_OK);
    EXPECT_EQ(valid, 0);

    ASSERT_EQ(init(package.get(), example("ethanol-water-benzene.toml")), platform::S_OK);
    package->get_IsValid(&valid);
    EXPECT_EQ(valid, 1);
    EXPECT_EQ(host_int("PDFOPEN"), 1);
    EXPECT_EQ(host_text("TITLE"), "Ethanol / water / benzene");

    // A second file while one is open is not opened: the first stays.
    EXPECT_EQ(init(package.get(), example("aromatics.toml")), platform::S_OK);
    const ComponentList list = component_list(package.get());
    ASSERT_EQ(list.status, platform::S_OK);
    EXPECT_EQ(list.ids, (std::vector<std::string>{"ETOH", "WATER", "BENZENE"}));

    ASSERT_EQ(package->CloseSimpdfFile(nullptr), platform::S_OK);
    EXPECT_EQ(host_int("PDFOPEN"), 0);
    package->get_IsValid(&valid);
    EXPECT_EQ(valid, 1) << "IsValid tells that a file was opened once; closing keeps it";
    EXPECT_EQ(component_list(package.get()).status,
              platform::E_TARN_PROPERTY_PACKAGE_NOT_INITIALIZED);
    expect_error_info("PropertyPackage not initialized");

    // After closing, the next file is opened.
    ASSERT_EQ(init(package.get(), example("aromatics.toml")), platform::S_OK);
    EXPECT_EQ(component_list(package.get()).ids.front(), "BENZENE");
    EXPECT_TRUE(boxes.messages().empty());
}

TEST(PropertyPackageOpen, TakesTheRunIdFromTheShortFormOfTheFileName) {
    // An 8.3 short name keeps the first six characters of the base, "~1" and three of the
    // extension, upper case: "a-long-problem-name.toml" -> "A-LONG~1.TOM", run id "A-LONG~1".
    const std::string text =
        "[[component]]\nid = \"WATER\"\n[[option_set]]\nname = \"IDEAL\"\n"
        "method = \"IDEAL\"\n";
    const std::string long_name = write_file("a-long-problem-name.toml", text);
    auto package = new_package();
    ASSERT_EQ(init(package.get(), long_name), platform::S_OK);
    EXPECT_EQ(host_text("RUNID"), "A-LONG~1");
    EXPECT_EQ(host_text("PDFFILE"), long_name) << "the file itself is passed in its long form";
    EXPECT_TRUE(std::filesystem::exists(scratch() / "A-LONG~1.his"));
    EXPECT_TRUE(std::filesystem::exists(scratch() / "A-LONG~1.rep"));
    package->CloseSimpdfFile(nullptr);

    // A name that already fits the short form is its own short form.
    const std::string short_name = write_file("water.tom", text);
    ASSERT_EQ(init(package.get(), short_name), platform::S_OK);
    EXPECT_EQ(host_text("RUNID"), "water");
    package->CloseSimpdfFile(nullptr);
}

TEST(PropertyPackageOpen, AMissingFileGivesNoRunIdAndFails) {
    auto package = new_package();
    MessageCapture boxes;
    const std::string missing = (scratch() / "no-such-problem.toml").string();
    EXPECT_EQ(init(package.get(), missing), platform::E_TARN_UNHANDLED_EXCEPTION);
    expect_error_info("Error in PP::Initialize");
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].text, "Unable to read PDF Filename and/or Runid from " + missing);
    EXPECT_EQ(boxes.messages()[0].caption, "");
    EXPECT_EQ(boxes.messages()[0].flags, platform::MB_TASKMODAL);
    platform::LONG valid = -1;
    package->get_IsValid(&valid);
    EXPECT_EQ(valid, 0);
    EXPECT_EQ(component_list(package.get()).status,
              platform::E_TARN_PROPERTY_PACKAGE_NOT_INITIALIZED);
}

TEST(PropertyPackageOpen, AFileWithAnErrorIsRefusedAndThePreviousProblemStays) {
    ASSERT_EQ(host_open(example("water-butanol.toml")), 0);
    const std::string bad = write_file(
        "misspelt.toml",
        "[[component]]\nid = \"WATER\"\n[[option_set]]\nname = \"X\"\nmethod = \"NRLT\"\n");
    auto package = new_package();
    MessageCapture boxes;
    EXPECT_EQ(init(package.get(), bad), platform::E_TARN_UNHANDLED_EXCEPTION);
    expect_error_info("Error in PP::Initialize");
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].text, "Terminal errors in Propcore initialization");
    EXPECT_NE(host_text("ERRMSG").find("'method'"), std::string::npos) << host_text("ERRMSG");
    EXPECT_EQ(host_text("COMPID", 2), "NBUOH") << "the problem open before is still open";
}

TEST(PropertyPackageOpen, MapsTheHostStatusesToTheirMessages) {
    const std::string text =
        "[[component]]\nid = \"WATER\"\n[[option_set]]\nname = \"IDEAL\"\n"
        "method = \"IDEAL\"\n";
    {
        // -2: the history file cannot be opened in a work directory that does not exist.
        TmpOverride tmp((scratch() / "no-such-directory").string());
        const std::string file = write_file("hist.toml", text);
        auto package = new_package();
        MessageCapture boxes;
        EXPECT_EQ(init(package.get(), file), platform::E_TARN_UNHANDLED_EXCEPTION);
        expect_error_info("Error in PP::Initialize");
        ASSERT_EQ(boxes.messages().size(), 1u);
        EXPECT_EQ(boxes.messages()[0].text, "Failed to open history file");
        EXPECT_EQ(boxes.messages()[0].flags, platform::MB_TASKMODAL);
    }
    {
        // -3: the report "<run id>.rep" cannot be written where a directory has that name.
        const std::string file = write_file("report.toml", text);  // run id "REPORT~1"
        std::filesystem::create_directory(scratch() / "REPORT~1.rep");
        auto package = new_package();
        MessageCapture boxes;
        EXPECT_EQ(init(package.get(), file), platform::E_TARN_UNHANDLED_EXCEPTION);
        ASSERT_EQ(boxes.messages().size(), 1u);
        EXPECT_EQ(boxes.messages()[0].text, "Failed to open report file");
    }
    {
        // A work directory longer than its 255-character field would reach the host cut.
        TmpOverride tmp("/" + std::string(300, 'd'));
        const std::string file = write_file("toolong.toml", text);
        auto package = new_package();
        MessageCapture boxes;
        EXPECT_EQ(init(package.get(), file), platform::E_TARN_UNHANDLED_EXCEPTION);
        ASSERT_EQ(boxes.messages().size(), 1u);
        EXPECT_EQ(boxes.messages()[0].text, "Failed to open history file");
    }
}

TEST(PropertyPackageOpen, AnEmptyNameTrustsTheHostToHaveOpenedItsProblem) {
    ASSERT_EQ(host_open(example("acetone-chloroform-methanol.toml")), 0);
    auto package = new_package();
    EXPECT_EQ(component_list(package.get()).status,
              platform::E_TARN_PROPERTY_PACKAGE_NOT_INITIALIZED);
    // A method list read before the package is ready must not stick once it is.
    platform::HRESULT status = platform::E_FAIL;
    (void)method_list(package.get(), &status);

    ASSERT_EQ(init(package.get(), ""), platform::S_OK);
    platform::LONG valid = -1;
    package->get_IsValid(&valid);
    EXPECT_EQ(valid, 0) << "no file was opened by the package";
    const ComponentList list = component_list(package.get());
    ASSERT_EQ(list.status, platform::S_OK);
    EXPECT_EQ(list.ids, (std::vector<std::string>{"ACETONE", "CHCL3", "MEOH"}));
    EXPECT_EQ(method_list(package.get(), &status).size(),
              static_cast<std::size_t>(host_int("NOPSET")));
}

TEST(PropertyPackageOpen, ALibraryThatCannotBeLoadedIsReported) {
    auto package = new_package({"NoSuchHostLibrary.dll", "NoSuchHostLibrary"});
    MessageCapture boxes;
    EXPECT_EQ(init(package.get(), example("water-butanol.toml")),
              platform::E_TARN_PROPERTY_PACKAGE);
    expect_error_info("Error initializing CPropServe!");
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].text, "Failed to Load PropServe.dll");
    EXPECT_EQ(boxes.messages()[0].caption, "Error");
}

TEST(PropertyPackageOpen, ALibraryWithoutTheEntryPointsOpensNothingAndFlashesNothing) {
    // The host's name-mapping library loads, but has none of the fourteen entry points.
    auto package = new_package({"hostrtl.dll", "NoSuchHostLibrary"});
    MessageCapture boxes;
    EXPECT_EQ(init(package.get(), example("water-butanol.toml")),
              platform::E_TARN_UNHANDLED_EXCEPTION);
    expect_error_info("Error in PP::Initialize");
    EXPECT_TRUE(boxes.messages().empty());

    platform::HRESULT status = platform::E_FAIL;
    EXPECT_TRUE(method_list(package.get(), &status).empty());
    EXPECT_EQ(status, platform::S_OK);
    EXPECT_EQ(package->GetComponentId(platform::CComBSTR(u"WATER")), 0);

    Equilibrium e;
    e.components = {1, 2};
    e.feed = {0.5, 0.5};
    calc(package.get(), e);
    EXPECT_EQ(e.status, platform::S_OK);
    EXPECT_EQ(e.errflg, -1) << "no flash ran, so no success may be reported";
    EXPECT_EQ(e.x[0], Equilibrium::kUntouched);
    EXPECT_EQ(e.temperature, 0.0);
}

TEST(PropCall, BorrowsTheHostInputLibraryWhenItIsLoadedAndLoadsTheCallLibraryOtherwise) {
    // This process links the host's input library, as a host running the engine has it loaded.
    const CPropCall borrowing;
    EXPECT_EQ(borrowing.borrowed(), 1);
    EXPECT_EQ(borrowing.ready(), 1);
    EXPECT_EQ(borrowing.module(), platform::GetModuleHandleA("zeTARNInp"));

    CPropCall loading("propserve.dll", "");
    EXPECT_EQ(loading.module(), nullptr);
    EXPECT_EQ(loading.ready(), 0);
    ASSERT_TRUE(loading.Load());
    EXPECT_EQ(loading.borrowed(), 0);
    EXPECT_EQ(loading.ready(), 1);
    EXPECT_EQ(loading.module(), platform::GetModuleHandleA("PropServe.dll"));
    EXPECT_NE(loading.entry_points().CALL_PHASEEQ, nullptr);
    EXPECT_EQ(CPropCall::export_name("_CALL_PHASEEQ@116"), "CALL_PHASEEQ");

    // A package over the loaded (not borrowed) library works the same.
    auto package = new_package({"propserve.dll", ""});
    ASSERT_EQ(init(package.get(), example("water-butanol.toml")), platform::S_OK);
    EXPECT_EQ(component_list(package.get()).ids, (std::vector<std::string>{"WATER", "NBUOH"}));
    package->CloseSimpdfFile(nullptr);
}

}  // namespace
}  // namespace properties::testing
