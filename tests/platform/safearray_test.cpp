#include "platform/safearray.hpp"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <memory>

using namespace platform;

namespace {
struct ArrayDeleter {
    void operator()(SAFEARRAY* p) const { SafeArrayDestroy(p); }
};
using ArrayPtr = std::unique_ptr<SAFEARRAY, ArrayDeleter>;
}  // namespace

TEST(SafeArray, ReportsDimensionsBoundsAndElementType) {
    const SAFEARRAYBOUND bounds[3] = {{4, -2}, {3, 1}, {2, 0}};
    ArrayPtr a(SafeArrayCreate(VT_R8, 3, bounds));
    ASSERT_TRUE(a);
    EXPECT_EQ(SafeArrayGetDim(a.get()), 3u);
    EXPECT_EQ(SafeArrayGetElemsize(a.get()), sizeof(double));
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(a.get(), &vt), S_OK);
    EXPECT_EQ(vt, VT_R8);
    LONG lb = 0, ub = 0;
    EXPECT_EQ(SafeArrayGetLBound(a.get(), 1, &lb), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(a.get(), 1, &ub), S_OK);
    EXPECT_EQ(lb, -2);
    EXPECT_EQ(ub, 1);
    SafeArrayGetLBound(a.get(), 2, &lb);
    SafeArrayGetUBound(a.get(), 2, &ub);
    EXPECT_EQ(lb, 1);
    EXPECT_EQ(ub, 3);
    EXPECT_EQ(SafeArrayGetLBound(a.get(), 0, &lb), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(a.get(), 4, &ub), DISP_E_BADINDEX);
    EXPECT_EQ(safe_array_element_count(a.get()), 24u);
}

// Storage keeps the first index fastest: element (i, j) of an array with n rows is at j*n + i.
TEST(SafeArray, StoresTheFirstIndexFastestInEveryDimensionCount) {
    const std::array<ULONG, 4> extents = {3, 2, 2, 2};
    for (UINT dims = 1; dims <= 4; ++dims) {
        SAFEARRAYBOUND bounds[4];
        for (UINT d = 0; d < dims; ++d) { bounds[d] = {extents[d], 1}; }  // lower bound 1
        ArrayPtr a(SafeArrayCreate(VT_I4, dims, bounds));
        ASSERT_TRUE(a) << dims;
        std::array<LONG, 4> i{};
        const auto code = [&] { return i[0] + 10 * i[1] + 100 * i[2] + 1000 * i[3]; };
        for (i[3] = 0; i[3] < (dims > 3 ? 2 : 1); ++i[3]) {
            for (i[2] = 0; i[2] < (dims > 2 ? 2 : 1); ++i[2]) {
                for (i[1] = 0; i[1] < (dims > 1 ? 2 : 1); ++i[1]) {
                    for (i[0] = 0; i[0] < 3; ++i[0]) {
                        const LONG value = code();
                        std::array<LONG, 4> idx{i[0] + 1, i[1] + 1, i[2] + 1, i[3] + 1};
                        ASSERT_EQ(SafeArrayPutElement(a.get(), idx.data(), &value), S_OK);
                    }
                }
            }
        }
        void* raw = nullptr;
        ASSERT_EQ(SafeArrayAccessData(a.get(), &raw), S_OK);
        const auto* data = static_cast<const LONG*>(raw);
        // Hand-listed storage of the 3 x 2 x 2 x 2 case: 0,1,2,10,11,12,100,101,...
        const LONG expected[24] = {0,    1,    2,    10,   11,   12,   100,  101,
                                   102,  110,  111,  112,  1000, 1001, 1002, 1010,
                                   1011, 1012, 1100, 1101, 1102, 1110, 1111, 1112};
        const std::size_t n = safe_array_element_count(a.get());
        for (std::size_t k = 0; k < n; ++k) { EXPECT_EQ(data[k], expected[k]) << dims << ":" << k; }
        EXPECT_EQ(SafeArrayUnaccessData(a.get()), S_OK);

        std::array<LONG, 4> idx{3, dims > 1 ? 2 : 1, 1, 1};
        LONG got = -1;
        ASSERT_EQ(SafeArrayGetElement(a.get(), idx.data(), &got), S_OK);
        EXPECT_EQ(got, dims > 1 ? 12 : 2);
    }
}

TEST(SafeArray, RejectsBadDescriptorsAndIndices) {
    const SAFEARRAYBOUND five[5] = {{1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_R8, 5, five), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_R8, 0, five), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_BOOL, 1, five), nullptr);  // not an element type here
    EXPECT_EQ(SafeArrayCreate(VT_R8, 1, nullptr), nullptr);
    const SAFEARRAYBOUND high{2, std::numeric_limits<LONG>::max()};  // upper bound overflows
    EXPECT_EQ(SafeArrayCreate(VT_R8, 1, &high), nullptr);
    const SAFEARRAYBOUND low{0, std::numeric_limits<LONG>::min()};  // upper bound lLbound - 1
    EXPECT_EQ(SafeArrayCreate(VT_R8, 1, &low), nullptr);
    const SAFEARRAYBOUND huge[2] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_R8, 2, huge), nullptr);

    ArrayPtr a(SafeArrayCreateVector(VT_R8, 5, 3));  // indices 5..7
    double x = 1.0;
    LONG idx = 4;
    EXPECT_EQ(SafeArrayPutElement(a.get(), &idx, &x), DISP_E_BADINDEX);
    idx = 8;
    EXPECT_EQ(SafeArrayGetElement(a.get(), &idx, &x), DISP_E_BADINDEX);
    idx = 7;
    EXPECT_EQ(SafeArrayPutElement(a.get(), &idx, &x), S_OK);
    EXPECT_EQ(SafeArrayGetElement(nullptr, &idx, &x), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, AllowsExtentZero) {
    const SAFEARRAYBOUND bounds[2] = {{0, 0}, {3, 0}};
    ArrayPtr a(SafeArrayCreate(VT_R8, 2, bounds));
    ASSERT_TRUE(a);
    LONG ub = 0;
    SafeArrayGetUBound(a.get(), 1, &ub);
    EXPECT_EQ(ub, -1);
    EXPECT_EQ(safe_array_element_count(a.get()), 0u);
    const LONG idx[2] = {0, 0};
    double x = 0;
    EXPECT_EQ(SafeArrayGetElement(a.get(), idx, &x), DISP_E_BADINDEX);
    SAFEARRAY* copy = nullptr;
    EXPECT_EQ(SafeArrayCopy(a.get(), &copy), S_OK);
    EXPECT_EQ(SafeArrayGetDim(copy), 2u);
    SafeArrayDestroy(copy);
}

TEST(SafeArray, OwnsCopiesOfStringsAndVariants) {
    ArrayPtr names(SafeArrayCreateVector(VT_BSTR, 0, 2));
    LONG i = 1;
    {
        CComBSTR water(u"WATER");
        ASSERT_EQ(SafeArrayPutElement(names.get(), &i, water.get()), S_OK);
    }  // the array keeps its own copy
    BSTR got = nullptr;
    ASSERT_EQ(SafeArrayGetElement(names.get(), &i, &got), S_OK);
    EXPECT_EQ(bstr_view(got), u"WATER");
    SysFreeString(got);
    i = 0;
    ASSERT_EQ(SafeArrayGetElement(names.get(), &i, &got), S_OK);
    EXPECT_EQ(got, nullptr);  // never set

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(names.get(), &copy), S_OK);
    i = 1;
    CComBSTR other(u"ETHANOL");
    SafeArrayPutElement(names.get(), &i, other.get());
    ASSERT_EQ(SafeArrayGetElement(copy, &i, &got), S_OK);
    EXPECT_EQ(bstr_view(got), u"WATER");  // the copy is deep
    SysFreeString(got);
    SafeArrayDestroy(copy);

    ArrayPtr values(SafeArrayCreateVector(VT_VARIANT, 0, 2));
    CComVariant text(u"1.5");
    ASSERT_EQ(SafeArrayPutElement(values.get(), &i, &text), S_OK);
    VARIANT out;  // uninitialised on purpose: an [out] argument
    out.vt = 0xFFFF;
    ASSERT_EQ(SafeArrayGetElement(values.get(), &i, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_EQ(bstr_view(out.bstrVal), u"1.5");
    EXPECT_NE(out.bstrVal, text.bstrVal);
    VariantClear(&out);
}

TEST(SafeArray, LockingProtectsFromDestruction) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_R8, 0, 4);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
    EXPECT_EQ(data, a->pvData);
    EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(a), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(a), E_UNEXPECTED);  // not locked any more
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}
