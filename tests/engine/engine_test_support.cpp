#include "engine_test_support.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "engine/module.hpp"

namespace engine::testing {

using namespace platform;

const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "engine-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) { throw std::runtime_error("no scratch directory"); }
        ::setenv("TMP", pattern.c_str(), 1);
        ::setenv("TEMP", pattern.c_str(), 1);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratch(), ec);
        });
        return std::filesystem::path(pattern);
    }();
    return dir;
}

std::string problem_file() {
    return std::string(DISTIL_ENGINE_PROBLEM_DIR) + "/engine_systems.toml";
}

std::string example_file(std::string_view name) {
    return std::string(DISTIL_EXAMPLES_DIR) + "/" + std::string(name);
}

Engine open_engine(const std::string& file) {
    scratch();
    Engine e;
    if (FAILED(create_engine_object(core::CLSID_Distil, IDistil::iid, e.root.out_void()))) {
        ADD_FAILURE() << "cannot create the root object";
        return e;
    }
    const CComBSTR name = CComBSTR::from_utf8(file);
    e.status = e.root->InitFromSimpdfFile(name);
    e.root->get_DistillationMap(e.map.out());
    e.root->get_AzeotropeSearch(e.search.out());
    e.root->get_PropertyPackage(e.package.out());
    return e;
}

void set_ternary(IDistillationMap* map,
                 std::string_view top,
                 std::string_view left,
                 std::string_view right,
                 std::string_view option_set,
                 LONG phases,
                 double pressure) {
    ASSERT_EQ(map->SetComponentData(CComBSTR::from_utf8(top), CComBSTR::from_utf8(left),
                                    CComBSTR::from_utf8(right)),
              S_OK);
    const CComBSTR opset = CComBSTR::from_utf8(option_set);
    ASSERT_EQ(map->SetPropertyData(opset, opset, opset, phases), S_OK);
    ASSERT_EQ(map->put_Pressure(pressure), S_OK);
}

CComVariant doubles(std::initializer_list<double> values) {
    return doubles(std::vector<double>(values));
}

CComVariant doubles(const std::vector<double>& values) {
    CComVariant v;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const LONG index = static_cast<LONG>(i);
        SafeArrayPutElement(psa, &index, &values[i]);
    }
    v.vt = VT_ARRAY | VT_R8;
    v.parray = psa;
    return v;
}

CComVariant matrix(std::int64_t rows, std::int64_t columns, std::vector<double> by_rows) {
    CComVariant v;
    SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rows), 0}, {static_cast<ULONG>(columns), 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_R8, 2, bounds);
    for (std::int64_t i = 0; i < rows; ++i) {
        for (std::int64_t j = 0; j < columns; ++j) {
            const LONG index[2] = {static_cast<LONG>(i), static_cast<LONG>(j)};
            SafeArrayPutElement(psa, index, &by_rows[static_cast<std::size_t>(i * columns + j)]);
        }
    }
    v.vt = VT_ARRAY | VT_R8;
    v.parray = psa;
    return v;
}

CComVariant ints(const std::vector<std::int32_t>& values, std::int64_t rows) {
    CComVariant v;
    SAFEARRAY* psa = nullptr;
    if (rows < 0) {
        psa = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(values.size()));
    } else {
        SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rows), 0},
                                    {static_cast<ULONG>(values.size() / rows), 0}};
        psa = SafeArrayCreate(VT_I4, 2, bounds);
    }
    void* data = nullptr;
    SafeArrayAccessData(psa, &data);
    std::copy(values.begin(), values.end(), static_cast<std::int32_t*>(data));
    SafeArrayUnaccessData(psa);
    v.vt = VT_ARRAY | VT_I4;
    v.parray = psa;
    return v;
}

CComVariant strings(const std::vector<std::string>& values) {
    CComVariant v;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const LONG index = static_cast<LONG>(i);
        const CComBSTR text = CComBSTR::from_utf8(values[i]);
        SafeArrayPutElement(psa, &index, text.get());
    }
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = psa;
    return v;
}

Array read_array(const VARIANT& v) {
    Array a;
    if (v.vt != (VT_ARRAY | VT_R8) && v.vt != (VT_ARRAY | VT_I4)) { return a; }
    a.element = static_cast<VARTYPE>(v.vt & VT_TYPEMASK);
    for (UINT d = 1; d <= SafeArrayGetDim(v.parray); ++d) {
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(v.parray, d, &lower);
        SafeArrayGetUBound(v.parray, d, &upper);
        EXPECT_EQ(lower, 0) << "every array the engine creates has lower bounds 0";
        a.extents.push_back(upper - lower + 1);
    }
    const std::size_t n = safe_array_element_count(v.parray);
    void* data = nullptr;
    SafeArrayAccessData(v.parray, &data);
    for (std::size_t i = 0; i < n; ++i) {
        a.values.push_back(a.element == VT_R8 ? static_cast<const double*>(data)[i]
                                              : static_cast<const std::int32_t*>(data)[i]);
    }
    SafeArrayUnaccessData(v.parray);
    return a;
}

ErrorRecord take_error() { return take_error_info().value_or(ErrorRecord{}); }

std::vector<std::string> run_log_lines() {
    std::ifstream in(scratch() / "CorvRun.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) { lines.push_back(line); }
    return lines;
}

void clear_run_log() {
    std::error_code ec;
    std::filesystem::remove(scratch() / "CorvRun.log", ec);
}

}  // namespace engine::testing
