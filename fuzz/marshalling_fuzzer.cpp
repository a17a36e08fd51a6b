// Feeds random array descriptors, element types, variant wrappings, sizes and index vectors to
// the safe-array functions and the array marshalling of CUtilFuncs. Besides the sanitizers'
// checks (no read or write out of bounds, no leak, no undefined behaviour), it checks the
// contracts: an accepted extraction copies exactly the array's leading storage, an accepted
// creation holds the block's values at the documented positions, a refusal leaves the block
// untouched.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/core/fixed_field.hpp"
#include "engine/core/util_funcs.hpp"
#include "platform/bstr.hpp"
#include "platform/guid.hpp"
#include "platform/safearray.hpp"
#include "platform/variant.hpp"

using namespace platform;
using engine::core::CUtilFuncs;

namespace {

void check(bool condition) {
    if (!condition) { __builtin_trap(); }
}

constexpr double kSentinel = -12345.0;

// Element counts are small, or so large that creation must refuse them; never in between, so
// that a run stays within the fuzzer's memory limit.
ULONG extent(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0:
            return 0xFFFFFFFFu;
        case 1:
            return 0x80000000u;
        default:
            return in.ConsumeIntegralInRange<ULONG>(0, 12);
    }
}

VARTYPE element_type(FuzzedDataProvider& in) {
    constexpr VARTYPE kTypes[] = {VT_R8, VT_I4, VT_BSTR, VT_VARIANT, VT_BOOL, VT_I8, VT_EMPTY};
    return kTypes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kTypes) - 1)];
}

void put_random_elements(FuzzedDataProvider& in, SAFEARRAY* psa) {
    const int n = in.ConsumeIntegralInRange(0, 8);
    for (int k = 0; k < n; ++k) {
        LONG idx[4];
        for (LONG& i : idx) {
            i = in.ConsumeBool() ? in.ConsumeIntegral<LONG>()
                                 : in.ConsumeIntegralInRange<LONG>(-2, 12);
        }
        switch (psa->vt) {
            case VT_R8: {
                const double x = in.ConsumeFloatingPoint<double>();
                SafeArrayPutElement(psa, idx, &x);
                break;
            }
            case VT_I4: {
                const auto x = in.ConsumeIntegral<std::int32_t>();
                SafeArrayPutElement(psa, idx, &x);
                break;
            }
            case VT_BSTR: {
                CComBSTR s = CComBSTR::from_utf8(in.ConsumeRandomLengthString(16));
                SafeArrayPutElement(psa, idx, s.get());
                break;
            }
            default: {
                CComVariant v(in.ConsumeFloatingPoint<double>());
                if (in.ConsumeBool()) { v = CComVariant(in.ConsumeRandomLengthString(8).c_str()); }
                SafeArrayPutElement(psa, idx, &v);
                break;
            }
        }
        double out[4];  // room for any element type, VARIANT included
        VARIANT tmp;
        if (psa->vt == VT_VARIANT) {
            if (SafeArrayGetElement(psa, idx, &tmp) == S_OK) { VariantClear(&tmp); }
        } else if (psa->vt == VT_BSTR) {
            BSTR s = nullptr;
            if (SafeArrayGetElement(psa, idx, &s) == S_OK) { SysFreeString(s); }
        } else {
            SafeArrayGetElement(psa, idx, out);
        }
    }
}

std::vector<std::int64_t> random_extents(FuzzedDataProvider& in, std::size_t count) {
    std::vector<std::int64_t> e(count);
    for (auto& x : e) {
        x = in.ConsumeBool() ? in.ConsumeIntegral<std::int64_t>()
                             : in.ConsumeIntegralInRange<std::int64_t>(-1, 10);
    }
    return e;
}

std::int64_t product(const std::vector<std::int64_t>& e, int dims) {
    std::int64_t n = 1;
    for (int d = 0; d < dims; ++d) { n *= e[static_cast<std::size_t>(d)]; }
    return n;
}

void exercise_extraction(FuzzedDataProvider& in, CUtilFuncs& u, VARIANT* holder) {
    const int dims = in.ConsumeIntegralInRange(-1, 6);
    const auto extents = random_extents(in, in.ConsumeIntegralInRange<std::size_t>(0, 6));
    std::vector<double> block(in.ConsumeIntegralInRange<std::size_t>(0, 300), kSentinel);
    // The array of doubles the argument stands for, by whatever wrapping.
    const SAFEARRAY* psa = nullptr;
    if (const VARIANT* v = variant_target(holder)) {
        if (v->vt == (VT_ARRAY | VT_R8)) { psa = v->parray; }
        if (v->vt == (VT_BYREF | VT_ARRAY | VT_R8)) { psa = *v->pparray; }
    }
    if (u.ExtractDoubleArray(holder, block, dims, extents) == 1) {
        check(psa != nullptr);
        const auto n = static_cast<std::size_t>(product(extents, dims));
        check(n <= block.size() && n <= safe_array_element_count(psa));
        check(n == 0 || std::memcmp(block.data(), psa->pvData, n * sizeof(double)) == 0);
    } else {
        for (double x : block) { check(std::memcmp(&x, &kSentinel, sizeof x) == 0); }
    }
    std::vector<std::int64_t> ints(in.ConsumeIntegralInRange<std::size_t>(0, 300), -7);
    const auto rows = in.ConsumeIntegralInRange<std::int64_t>(-2, 20);
    const auto cols = in.ConsumeBool() ? in.ConsumeIntegral<std::int64_t>()
                                       : in.ConsumeIntegralInRange<std::int64_t>(-2, 20);
    if (u.ExtractIntArray(holder, ints, rows, cols) != 1) {
        for (auto x : ints) { check(x == -7); }
    }
    if (u.FillSafeArray(holder, block, dims, extents) == 1) {
        const auto n = static_cast<std::size_t>(product(extents, dims));
        check(psa && n <= block.size() && n <= safe_array_element_count(psa));
    }
    std::span<double> data;
    std::array<std::int64_t, 4> ub{};
    if (u.GetArrayData(holder, &data,
                       std::span(ub).first(in.ConsumeIntegralInRange<std::size_t>(0, 4))) == 1) {
        check(psa && psa->cDims <= 3);
        double sum = 0.0;
        for (double x : data) { sum += x; }  // every element reachable, none beyond
        (void)sum;
    }
}

void exercise_creation(FuzzedDataProvider& in, CUtilFuncs& u) {
    const int dims = in.ConsumeIntegralInRange(-1, 6);
    const auto extents = random_extents(in, in.ConsumeIntegralInRange<std::size_t>(0, 6));
    const auto rows = in.ConsumeBool()
                          ? std::vector<std::int64_t>()
                          : random_extents(in, in.ConsumeIntegralInRange<std::size_t>(0, 6));
    std::vector<double> block(in.ConsumeIntegralInRange<std::size_t>(0, 400));
    for (std::size_t k = 0; k < block.size(); ++k) { block[k] = static_cast<double>(k); }
    CComVariant v;
    if (in.ConsumeBool()) { v = CComVariant(u"left over"); }  // the old content is released
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0:
            if (u.CreateSafeArray(&v, block, dims, extents, rows) == 1) {
                check(v.vt == (VT_ARRAY | VT_R8) && v.parray &&
                      SafeArrayGetDim(v.parray) == static_cast<UINT>(dims));
                check(safe_array_element_count(v.parray) ==
                      static_cast<std::size_t>(product(extents, dims)));
                // Element (0, ..., 0) comes from block position 0; the last one from the
                // last position the layout reads.
                if (safe_array_element_count(v.parray) > 0) {
                    const auto* data = static_cast<const double*>(v.parray->pvData);
                    check(data[0] == 0.0);
                    std::int64_t last = extents[0] - 1;
                    for (int d = 1; d < 4; ++d) {
                        const std::int64_t e = d < dims ? extents[static_cast<std::size_t>(d)] : 1;
                        const std::int64_t len =
                            d < dims && !rows.empty() ? rows[static_cast<std::size_t>(d)] : e;
                        last = last * len + (e - 1);
                    }
                    check(data[safe_array_element_count(v.parray) - 1] ==
                          static_cast<double>(last));
                }
            } else {
                check(v.vt == (VT_ARRAY | VT_R8) && v.parray == nullptr);
            }
            break;
        case 1: {
            std::vector<std::int64_t> ints(block.size());
            for (std::size_t k = 0; k < ints.size(); ++k) {
                ints[k] = in.ConsumeBool() ? static_cast<std::int64_t>(k)
                                           : in.ConsumeIntegral<std::int64_t>();
            }
            if (u.CreateIntSafeArray(&v, ints, dims, extents, rows) == 1) {
                check(v.parray && SafeArrayGetDim(v.parray) <= 3);
            }
            break;
        }
        default:
            if (u.CreateSafeArrayBlock(&v, block, dims, extents) == 1) {
                const auto n = safe_array_element_count(v.parray);
                check(n <= block.size());
                check(n == 0 ||
                      std::memcmp(v.parray->pvData, block.data(), n * sizeof(double)) == 0);
            }
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider in(bytes, size);
    CUtilFuncs u;

    // A random descriptor; creation either refuses it or gives a consistent array.
    const VARTYPE vt = element_type(in);
    const UINT dims = in.ConsumeIntegralInRange<UINT>(0, 6);
    SAFEARRAYBOUND bounds[6];
    for (auto& b : bounds) {
        b.cElements = extent(in);
        b.lLbound =
            in.ConsumeBool() ? in.ConsumeIntegral<LONG>() : in.ConsumeIntegralInRange<LONG>(-3, 3);
    }
    SAFEARRAY* psa = SafeArrayCreate(vt, dims, bounds);
    if (psa) {
        check(SafeArrayGetDim(psa) == dims && dims >= 1 && dims <= 4);
        for (UINT d = 1; d <= dims; ++d) {
            LONG lb = 0, ub = 0;
            check(SafeArrayGetLBound(psa, d, &lb) == S_OK &&
                  SafeArrayGetUBound(psa, d, &ub) == S_OK);
            check(std::int64_t{ub} - lb + 1 == bounds[d - 1].cElements);
        }
        put_random_elements(in, psa);
    }

    // Wrap it the ways a client may pass an argument.
    CComVariant holder;
    SAFEARRAY* by_ref = psa;
    VARIANT array_ref, variant_ref;
    VARIANT* arg = &holder;
    switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0:
            holder.vt = VT_ARRAY | (psa ? psa->vt : VT_R8);
            holder.parray = psa;  // owned by the holder from here
            psa = nullptr;
            break;
        case 1:
            array_ref.vt = VT_BYREF | VT_ARRAY | (by_ref ? by_ref->vt : VT_R8);
            array_ref.pparray = &by_ref;
            arg = &array_ref;
            break;
        case 2:
            holder.vt = VT_ARRAY | (psa ? psa->vt : VT_R8);
            holder.parray = psa;
            psa = nullptr;
            variant_ref.vt = VT_BYREF | VT_VARIANT;
            variant_ref.pvarVal = &holder;
            arg = &variant_ref;
            break;
        case 3:
            holder = CComVariant(in.ConsumeFloatingPoint<double>());  // a scalar
            break;
        case 4:
            holder.vt = VT_ERROR;
            holder.scode = DISP_E_PARAMNOTFOUND;  // a missing optional argument
            break;
        default:
            break;  // VT_EMPTY
    }
    exercise_extraction(in, u, arg);

    // Copies and conversions of whatever the argument holds must not leak or crash.
    CComVariant copy, converted;
    VariantCopy(&copy, arg);
    VariantCopyInd(&copy, arg);
    VariantChangeType(&converted, arg, 0, element_type(in));
    if (psa) { check(SafeArrayDestroy(psa) == S_OK); }

    exercise_creation(in, u);

    // Text handling of the same layer.
    const std::string text = in.ConsumeRandomLengthString(64);
    const std::u16string wide = to_utf16(text);
    check(to_utf16(to_utf8(wide)) == wide);  // the UTF-16 we produce is always well formed
    parse_guid(text);
    const std::string field = in.ConsumeRemainingBytesAsString();
    check(
        engine::core::trimmed_field(field.data(), static_cast<std::int64_t>(field.size())).size() <=
        field.size());
    return 0;
}
