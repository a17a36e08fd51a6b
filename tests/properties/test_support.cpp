#include "tests/properties/test_support.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "host/entry_points.h"

namespace properties::testing {
namespace {

// Points "TMP" at the scratch directory before any test opens a problem, and removes the
// directory when the run ends.
class ScratchEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ::setenv("TMP", scratch().c_str(), 1); }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(scratch(), ec);
    }
};
[[maybe_unused]] const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ScratchEnvironment);  // owned by gtest

}  // namespace

const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "properties_tests-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) { throw std::runtime_error("no scratch directory"); }
        return std::filesystem::path(pattern);
    }();
    return dir;
}

std::string example(std::string_view name) {
    return std::string(DISTIL_EXAMPLES_DIR) + "/" + std::string(name);
}

std::string write_file(std::string_view name, std::string_view text) {
    const auto path = scratch() / std::string(name);
    std::ofstream out(path);
    out << text;
    return path.string();
}

std::string many_water_components(std::string_view file_name, int count) {
    // Constants of water from data/databank/components.tsv (row WATER).
    std::ostringstream s;
    for (int i = 1; i <= count; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "W%03d", i);
        s << "[[component]]\nid = \"" << id << "\"\n[component.constants]\n"
          << "name = \"water " << i << "\"\nmw_g_per_mol = 18.01528\ntc_K = 647.1\n"
          << "pc_Pa = 22064000\nomega = 0.3452\ntb_K = 373.124\nvp_A = 73.649\n"
          << "vp_B = -7258.2\nvp_E = -7.3037\nvp_F = 4.1653e-06\nvp_G = 2\n"
          << "vp_Tmin_K = 273.16\nvp_Tmax_K = 647.096\ncpig_A = 36.54003\n"
          << "cpig_B = -0.034802404\ncpig_C = 0.0001168117\ncpig_D = -1.3003096e-07\n"
          << "cpig_E = 5.254448e-11\nhvap_A_J_per_mol = 52053\nhvap_B = 0.3199\n"
          << "hvap_C = -0.212\nhvap_D = 0.25795\nhvap_Tc_K = 647.096\n\n";
    }
    s << "[[option_set]]\nname = \"IDEAL\"\nmethod = \"IDEAL\"\n";
    return write_file(file_name, s.str());
}

std::string many_option_sets(std::string_view file_name, int count) {
    std::ostringstream s;
    s << "[[component]]\nid = \"ETOH\"\n\n[[component]]\nid = \"WATER\"\n\n";
    for (int i = 1; i <= count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "OS%02d", i);
        s << "[[option_set]]\nname = \"" << name << "\"\nmethod = \"IDEAL\"\n\n";
    }
    return write_file(file_name, s.str());
}

const nlohmann::json& reference(std::string_view file) {
    static std::map<std::string, nlohmann::json, std::less<>> cache;
    if (auto it = cache.find(file); it != cache.end()) { return it->second; }
    const std::string path = std::string(DISTIL_REFERENCE_DIR) + "/" + std::string(file);
    std::ifstream in(path);
    if (!in) { throw std::runtime_error("cannot read " + path); }
    return cache.emplace(std::string(file), nlohmann::json::parse(in)).first->second;
}

const nlohmann::json& reference_model(std::string_view file, std::string_view label) {
    for (const nlohmann::json& m : reference(file).at("models")) {
        if (m.at("label").get<std::string>() == label) { return m; }
    }
    throw std::runtime_error("no model " + std::string(label) + " in " + std::string(file));
}

const nlohmann::json& entry_with(const nlohmann::json& list, std::string_view key, double value) {
    for (const nlohmann::json& e : list) {
        const nlohmann::json& v = e.at(std::string(key));
        const double first = v.is_array() ? v.at(0).get<double>() : v.get<double>();
        if (std::abs(first - value) < 1e-12) { return e; }
    }
    throw std::runtime_error("no reference entry with " + std::string(key));
}

std::int64_t host_open(const std::string& file) {
    const std::string run = "hostopen";
    const std::string dir = scratch().string();
    std::int64_t status = -99;
    CALLSETJMP(run.data(), file.data(), dir.data(), &status, static_cast<std::int64_t>(run.size()),
               static_cast<std::int64_t>(file.size()), static_cast<std::int64_t>(dir.size()));
    return status;
}

std::string host_text(std::string_view name, std::int64_t index) {
    std::string value(512, ' ');
    std::int64_t length = 0, error = 0;
    const std::string field(name);
    GET_CHAR_PARAM(field.data(), &index, value.data(), &length, &error,
                   static_cast<std::int64_t>(field.size()),
                   static_cast<std::int64_t>(value.size()));
    const auto last = value.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : value.substr(0, last + 1);
}

std::int64_t host_int(std::string_view name, std::int64_t index) {
    std::int64_t value = -999, error = 0;
    const std::string field(name);
    GET_INT_PARAM(field.data(), &index, &value, &error, static_cast<std::int64_t>(field.size()));
    return error == 0 ? value : -999;
}

std::int64_t host_set_int(std::string_view name, std::int64_t value) {
    std::int64_t error = 0;
    const std::int64_t index = 0;
    const std::string field(name);
    SET_INT_PARAM(field.data(), &index, &value, &error, static_cast<std::int64_t>(field.size()));
    return error;
}

platform::CComPtr<IPropertyPackage> new_package(const PropertyLibraryNames& names) {
    platform::CComPtr<IPropertyPackage> package;
    EXPECT_EQ(create_property_package(IPropertyPackage::iid, package.out_void(), names),
              platform::S_OK);
    return package;
}

platform::HRESULT init(IPropertyPackage* package, std::string_view file) {
    const platform::CComBSTR name = platform::CComBSTR::from_utf8(file);
    return package->InitFromSimpdfFile(name);
}

namespace {

std::vector<std::string> strings_of(const platform::VARIANT& v) {
    std::vector<std::string> out;
    if (v.vt != (platform::VT_ARRAY | platform::VT_BSTR)) { return out; }
    const std::size_t n = platform::safe_array_element_count(v.parray);
    for (std::size_t i = 0; i < n; ++i) {
        platform::BSTR text = nullptr;
        const platform::LONG index = static_cast<platform::LONG>(i);
        platform::SafeArrayGetElement(v.parray, &index, &text);
        out.push_back(platform::narrow(text));
        platform::SysFreeString(text);
    }
    return out;
}

}  // namespace

ComponentList component_list(IPropertyPackage* package) {
    ComponentList list;
    platform::CComVariant ids, names, masses;
    list.status = package->GetComponentList(&ids, &names, &masses);
    list.ids = strings_of(ids);
    list.names = strings_of(names);
    if (masses.vt == (platform::VT_ARRAY | platform::VT_R8)) {
        const std::size_t n = platform::safe_array_element_count(masses.parray);
        for (std::size_t i = 0; i < n; ++i) {
            double value = 0.0;
            const platform::LONG index = static_cast<platform::LONG>(i);
            platform::SafeArrayGetElement(masses.parray, &index, &value);
            list.molar_masses.push_back(value);
        }
    }
    return list;
}

std::vector<std::string> method_list(IPropertyPackage* package, platform::HRESULT* status) {
    platform::CComVariant methods;
    *status = package->GetPropMethodList(&methods);
    return strings_of(methods);
}

void calc(IPropertyPackage* package, Equilibrium& e) {
    const std::size_t n = e.feed.size();
    for (auto* v : {&e.x, &e.y, &e.x1, &e.x2}) { v->assign(n, Equilibrium::kUntouched); }
    const platform::CComBSTR type = platform::CComBSTR::from_utf8(e.flash_type);
    const platform::CComBSTR opset = platform::CComBSTR::from_utf8(e.option_set);
    e.status = package->Calc_Equillibrium(type, e.phases, opset, static_cast<platform::LONG>(n),
                                          e.components.data(), e.feed.data(), &e.temperature,
                                          &e.pressure, &e.vapour_fraction, e.y.data(), e.x.data(),
                                          &e.beta, e.x1.data(), e.x2.data(), &e.errflg);
}

}  // namespace properties::testing
