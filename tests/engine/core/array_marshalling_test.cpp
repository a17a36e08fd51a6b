#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "engine/core/util_funcs.hpp"
#include "platform/safearray.hpp"

using namespace platform;
using engine::core::CUtilFuncs;
using Extents = std::array<std::int64_t, 4>;

namespace {

constexpr double kPadding = -99.0;  // written into unused block slots; must never show up

// The value stored for element (i0, i1, i2, i3): its indices as digits.
double code(const Extents& i) { return 1000.0 * i[0] + 100.0 * i[1] + 10.0 * i[2] + i[3]; }

double element(const VARIANT& v, const Extents& i) {
    const LONG idx[4] = {static_cast<LONG>(i[0]), static_cast<LONG>(i[1]), static_cast<LONG>(i[2]),
                         static_cast<LONG>(i[3])};
    double x = std::nan("");
    EXPECT_EQ(SafeArrayGetElement(v.parray, idx, &x), S_OK);
    return x;
}

}  // namespace

// A block of row lengths larger than the extents (as when a routine allocates more points than
// it fills) is packed element by element; index vectors read each element back where the block
// layout ((i0*L1 + i1)*L2 + i2)*L3 + i3 put it, and the padding never reaches the array.
TEST(ArrayMarshalling, CreatesArraysOfOneToFourDimensionsFromPaddedBlocks) {
    CUtilFuncs u;
    const Extents extents = {3, 2, 2, 2};
    const Extents rows = {0, 4, 3, 5};  // row lengths of dimensions 1..3 (entry 0 unused)
    for (int dims = 1; dims <= 4; ++dims) {
        Extents e{1, 1, 1, 1}, len{1, 1, 1, 1};
        for (int d = 0; d < dims; ++d) {
            e[d] = extents[d];
            if (d > 0) { len[d] = rows[d]; }
        }
        std::vector<double> block(static_cast<std::size_t>(e[0] * len[1] * len[2] * len[3]),
                                  kPadding);
        Extents i;
        for (i[0] = 0; i[0] < e[0]; ++i[0]) {
            for (i[1] = 0; i[1] < e[1]; ++i[1]) {
                for (i[2] = 0; i[2] < e[2]; ++i[2]) {
                    for (i[3] = 0; i[3] < e[3]; ++i[3]) {
                        block[((i[0] * len[1] + i[1]) * len[2] + i[2]) * len[3] + i[3]] = code(i);
                    }
                }
            }
        }
        CComVariant v;
        ASSERT_EQ(u.CreateSafeArray(&v, block, dims, extents, rows), 1) << dims;
        ASSERT_EQ(v.vt, VT_ARRAY | VT_R8);
        ASSERT_EQ(SafeArrayGetDim(v.parray), static_cast<UINT>(dims));
        for (int d = 1; d <= dims; ++d) {
            LONG lb = -1, ub = -1;
            SafeArrayGetLBound(v.parray, d, &lb);
            SafeArrayGetUBound(v.parray, d, &ub);
            EXPECT_EQ(lb, 0);
            EXPECT_EQ(ub, e[d - 1] - 1);
        }
        for (i[0] = 0; i[0] < e[0]; ++i[0]) {
            for (i[1] = 0; i[1] < e[1]; ++i[1]) {
                for (i[2] = 0; i[2] < e[2]; ++i[2]) {
                    for (i[3] = 0; i[3] < e[3]; ++i[3]) {
                        EXPECT_EQ(element(v, i), code(i)) << dims;
                    }
                }
            }
        }
        // Round trip through the storage-order copies: extract, re-create as a block, compare.
        const auto n = static_cast<std::size_t>(e[0] * e[1] * e[2] * e[3]);
        std::vector<double> storage(n);
        ASSERT_EQ(u.ExtractDoubleArray(&v, storage, dims, extents), 1);
        EXPECT_EQ(std::count(storage.begin(), storage.end(), kPadding), 0);
        if (dims <= 2) {
            CComVariant w;
            ASSERT_EQ(u.CreateSafeArrayBlock(&w, storage, dims, extents), 1);
            for (i = {0, 0, 0, 0}; i[1] < e[1]; ++i[1]) {
                for (i[0] = 0; i[0] < e[0]; ++i[0]) { EXPECT_EQ(element(w, i), code(i)); }
            }
        }
    }
}

// The azeotrope array (azeotrope, component) is read in place as: for azeotrope i of n the
// top, left and right mole fractions are stored entries i, n + i and 2n + i.
TEST(ArrayMarshalling, PointByComponentMatricesKeepTheDocumentedStorageOrder) {
    CUtilFuncs u;
    const std::int64_t n = 2, capacity_row = 5;  // 3 components in rows of 5
    const std::vector<double> block = {0.1, 0.2, 0.7, kPadding, kPadding,
                                       0.3, 0.3, 0.4, kPadding, kPadding};
    CComVariant v;
    ASSERT_EQ(u.CreateSafeArray(&v, block, 2, std::array<std::int64_t, 2>{n, 3},
                                std::array<std::int64_t, 2>{0, capacity_row}),
              1);
    std::span<double> data;
    std::array<std::int64_t, 3> ub{-7, -7, -7};
    ASSERT_EQ(u.GetArrayData(&v, &data, ub), 1);
    ASSERT_EQ(data.size(), 6u);
    EXPECT_EQ(ub[0], 1);
    EXPECT_EQ(ub[1], 2);
    EXPECT_EQ(ub[2], -7);  // only as many bounds as dimensions
    for (std::int64_t i = 0; i < n; ++i) {
        for (std::int64_t c = 0; c < 3; ++c) {
            EXPECT_EQ(data[c * n + i], block[i * capacity_row + c]);
        }
    }
}

TEST(ArrayMarshalling, PointCountZeroGivesExtentZero) {
    CUtilFuncs u;
    CComVariant v;
    const std::vector<double> none;
    ASSERT_EQ(u.CreateSafeArray(&v, none, 2, std::array<std::int64_t, 2>{0, 3}), 1);
    LONG ub1 = 0, ub2 = 0;
    SafeArrayGetUBound(v.parray, 1, &ub1);
    SafeArrayGetUBound(v.parray, 2, &ub2);
    EXPECT_EQ(ub1, -1);
    EXPECT_EQ(ub2, 2);
    std::vector<double> out;
    EXPECT_EQ(u.ExtractDoubleArray(&v, out, 2, std::array<std::int64_t, 2>{0, 3}), 1);
}

TEST(ArrayMarshalling, CreationFailsForFiveDimensionsAndBadSizes) {
    CUtilFuncs u;
    const std::vector<double> block(64, 1.0);
    const std::array<std::int64_t, 5> five = {2, 2, 2, 2, 2};
    CComVariant v(3.0);
    EXPECT_EQ(u.CreateSafeArray(&v, block, 5, five), 0);
    // The variant keeps the array type and no array.
    EXPECT_EQ(v.vt, VT_ARRAY | VT_R8);
    EXPECT_EQ(v.parray, nullptr);
    EXPECT_EQ(u.CreateSafeArray(&v, block, 0, five), 0);
    EXPECT_EQ(u.CreateSafeArray(&v, block, 3, std::array<std::int64_t, 2>{2, 2}), 0);  // too few
    EXPECT_EQ(u.CreateSafeArray(&v, block, 1, std::array<std::int64_t, 1>{-1}), 0);
    EXPECT_EQ(u.CreateSafeArray(&v, block, 1, std::array<std::int64_t, 1>{65}), 0);  // block short
    EXPECT_EQ(u.CreateSafeArray(&v, block, 2, std::array<std::int64_t, 2>{4, 4},
                                std::array<std::int64_t, 2>{0, 3}),
              0);  // row length below the extent
    // Rows of 21: the last value read, 3*21 + 3 = 66, lies beyond the 64 given.
    EXPECT_EQ(u.CreateSafeArray(&v, block, 2, std::array<std::int64_t, 2>{4, 4},
                                std::array<std::int64_t, 2>{0, 21}),
              0);
    EXPECT_EQ(u.CreateSafeArray(&v, block, 2, std::array<std::int64_t, 2>{4, 4},
                                std::array<std::int64_t, 2>{0, 20}),
              1);  // 3*20 + 3 = 63: the last value given
    EXPECT_EQ(u.CreateSafeArray(nullptr, block, 1, std::array<std::int64_t, 1>{1}), 0);
    EXPECT_EQ(u.CreateSafeArrayBlock(&v, block, 3, std::array<std::int64_t, 3>{1, 1, 1}), 0);
    EXPECT_EQ(u.CreateSafeArrayBlock(&v, block, 2, std::array<std::int64_t, 2>{8, 9}), 0);
}

TEST(ArrayMarshalling, IntegerArraysWidenAndNarrowSafely) {
    CUtilFuncs u;
    const std::vector<std::int32_t> codes = {1, -1, 3, std::numeric_limits<std::int32_t>::min()};
    CComVariant v;
    ASSERT_EQ(u.CreateIntSafeArray(&v, codes, 2, std::array<std::int64_t, 2>{2, 2}), 1);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    std::vector<std::int64_t> wide(4);
    ASSERT_EQ(u.ExtractIntArray(&v, wide, 2, 2), 1);
    // Block (r, c) = codes[2r + c] lands at storage c*2 + r.
    EXPECT_EQ(wide,
              (std::vector<std::int64_t>{1, 3, -1, std::numeric_limits<std::int32_t>::min()}));

    const std::vector<std::int64_t> engine_codes = {1, 2, -1};
    ASSERT_EQ(u.CreateIntSafeArray(&v, engine_codes, 1, std::array<std::int64_t, 1>{3}), 1);
    const std::vector<std::int64_t> too_big = {1, std::int64_t{1} << 31};
    EXPECT_EQ(u.CreateIntSafeArray(&v, too_big, 1, std::array<std::int64_t, 1>{2}), 0);
    EXPECT_EQ(v.parray, nullptr);
    const std::vector<std::int32_t> one(1);
    EXPECT_EQ(u.CreateIntSafeArray(&v, one, 4, std::array<std::int64_t, 4>{1, 1, 1, 1}), 0);
}

TEST(ArrayMarshalling, EmptyVariantsAreEmptyAndScalarsAreRefused) {
    CUtilFuncs u;
    std::vector<double> block(3, kPadding);
    const std::array<std::int64_t, 1> three = {3};
    CComVariant empty;
    EXPECT_TRUE(CUtilFuncs::IsEmpty(&empty));
    EXPECT_TRUE(CUtilFuncs::IsEmpty(nullptr));
    VARIANT missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;  // an omitted optional argument
    EXPECT_TRUE(CUtilFuncs::IsEmpty(&missing));
    EXPECT_EQ(u.ExtractDoubleArray(&empty, block, 1, three), 0);

    CComVariant scalar(0.5);
    EXPECT_FALSE(CUtilFuncs::IsEmpty(&scalar));  // a scalar is not detected as empty...
    EXPECT_EQ(u.ExtractDoubleArray(&scalar, block, 1, three), 0);  // ...but is not read either
    std::span<double> data;
    EXPECT_EQ(u.GetArrayData(&scalar, &data), 0);
    EXPECT_EQ(u.GetArrayData(&empty, &data), 0);
    std::vector<std::int64_t> ints(3);
    EXPECT_EQ(u.ExtractIntArray(&empty, ints, 1, 3), 0);
    EXPECT_EQ(u.FillSafeArray(&empty, block, 1, three), 0);
    EXPECT_EQ(block, std::vector<double>(3, kPadding));  // untouched
}

TEST(ArrayMarshalling, WrongTypesAndShortArraysAreRefusedWithoutReadingBeyond) {
    CUtilFuncs u;
    CComVariant doubles;
    const std::vector<double> two = {1.0, 2.0};
    ASSERT_EQ(u.CreateSafeArray(&doubles, two, 1, std::array<std::int64_t, 1>{2}), 1);
    std::vector<double> block(3, kPadding);
    EXPECT_EQ(u.ExtractDoubleArray(&doubles, block, 1, std::array<std::int64_t, 1>{3}), 0);
    EXPECT_EQ(u.ExtractDoubleArray(&doubles, block, 2, std::array<std::int64_t, 2>{2, 2}), 0);
    EXPECT_EQ(block, std::vector<double>(3, kPadding));
    std::vector<double> small(1);
    EXPECT_EQ(u.ExtractDoubleArray(&doubles, small, 1, std::array<std::int64_t, 1>{2}), 0);
    EXPECT_EQ(u.FillSafeArray(&doubles, block, 1, std::array<std::int64_t, 1>{3}), 0);
    std::vector<std::int64_t> ints(2);
    EXPECT_EQ(u.ExtractIntArray(&doubles, ints, 1, 2), 0);  // doubles are not integers

    CComVariant ints_array;
    const std::vector<std::int32_t> codes = {1, 2};
    ASSERT_EQ(u.CreateIntSafeArray(&ints_array, codes, 1, std::array<std::int64_t, 1>{2}), 1);
    EXPECT_EQ(u.ExtractDoubleArray(&ints_array, block, 1, std::array<std::int64_t, 1>{2}), 0);
    std::span<double> data;
    EXPECT_EQ(u.GetArrayData(&ints_array, &data), 0);
    EXPECT_EQ(u.ExtractIntArray(&ints_array, ints, 3, 1), 0);
    EXPECT_EQ(u.ExtractIntArray(&ints_array, ints, -1, -2), 0);

    CComVariant four_d;
    const std::vector<double> one = {1.0};
    ASSERT_EQ(u.CreateSafeArray(&four_d, one, 4, std::array<std::int64_t, 4>{1, 1, 1, 1}), 1);
    EXPECT_EQ(u.GetArrayData(&four_d, &data), 0);  // direct access takes at most 3 dimensions
}

TEST(ArrayMarshalling, InOutArraysAreFilledInPlaceAlsoByReference) {
    CUtilFuncs u;
    CComVariant v;
    const std::vector<double> zeros(6, 0.0);
    ASSERT_EQ(u.CreateSafeArray(&v, zeros, 2, std::array<std::int64_t, 2>{3, 2}), 1);
    SAFEARRAY* before = v.parray;
    // What a late-bound client passes for an in/out array: a reference to a variant.
    VARIANT ref;
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &v;
    const std::vector<double> values = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(u.FillSafeArray(&ref, values, 2, std::array<std::int64_t, 2>{3, 2}), 1);
    EXPECT_EQ(v.parray, before);  // same array, new content
    EXPECT_EQ(element(v, {2, 0, 0, 0}), 3.0);
    EXPECT_EQ(element(v, {0, 1, 0, 0}), 4.0);  // storage order: (0, 1) is the fourth value

    SAFEARRAY* psa = v.parray;
    VARIANT array_ref;
    array_ref.vt = VT_BYREF | VT_ARRAY | VT_R8;
    array_ref.pparray = &psa;
    std::vector<double> out(6);
    ASSERT_EQ(u.ExtractDoubleArray(&array_ref, out, 1, std::array<std::int64_t, 1>{6}), 1);
    EXPECT_EQ(out, values);
}

// Reference: the 3-4-5 right triangle.
TEST(ArrayMarshalling, VectorNormIsTheEuclideanDistance) {
    const std::vector<double> a = {1.0, 1.0, 7.0}, b = {4.0, 5.0, 7.0};
    EXPECT_DOUBLE_EQ(CUtilFuncs::GetVectorNorm(a, b, 3), 5.0);
    EXPECT_EQ(CUtilFuncs::GetVectorNorm(a, a, 3), 0.0);
    EXPECT_EQ(CUtilFuncs::GetVectorNorm(a, b, 0), 0.0);
    const std::vector<double> nan = {std::nan(""), 0.0, 0.0};
    EXPECT_EQ(CUtilFuncs::GetVectorNorm(nan, b, 3), 0.0);  // a sum that is not positive
    EXPECT_THROW(CUtilFuncs::GetVectorNorm(a, b, 4), std::invalid_argument);
    EXPECT_THROW(CUtilFuncs::GetVectorNorm(a, b, -1), std::invalid_argument);
}
