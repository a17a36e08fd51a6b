#include "platform/variant.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/com_object.hpp"
#include "platform/safearray.hpp"

using namespace platform;

namespace {

struct IProbe : IUnknown {
    static constexpr IID iid = make_guid("3b1c2d4e-0000-4000-8000-0000000000a1");
};
class CProbe : public ComObject<CProbe, IProbe> {};

ULONG refs(IUnknown* p) {
    p->AddRef();
    return p->Release();
}

// Converts a copy of `v` and returns the status; the result in *out.
HRESULT change(const VARIANT& v, VARTYPE vt, CComVariant* out) {
    return VariantChangeType(out->out(), &v, 0, vt);
}

}  // namespace

TEST(Variant, CopyDuplicatesStringsArraysAndReferences) {
    CComVariant text(u"benzene");
    CComVariant copy = text;
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(bstr_view(copy.bstrVal), u"benzene");

    CComVariant array;
    array.vt = VT_ARRAY | VT_R8;
    array.parray = SafeArrayCreateVector(VT_R8, 0, 2);
    CComVariant array_copy;
    ASSERT_EQ(VariantCopy(&array_copy, &array), S_OK);
    ASSERT_NE(array_copy.parray, array.parray);
    LONG i = 1;
    double x = 3.5;
    SafeArrayPutElement(array.parray, &i, &x);
    SafeArrayGetElement(array_copy.parray, &i, &x);
    EXPECT_EQ(x, 0.0);  // the copy does not see later changes

    CComPtr<IUnknown> probe;
    ASSERT_EQ(create_instance<CProbe>(IID_IUnknown, probe.out_void()), S_OK);
    {
        CComVariant held;
        held.vt = VT_UNKNOWN;
        held.punkVal = probe.get();
        probe->AddRef();
        CComVariant held_copy = held;
        EXPECT_EQ(refs(probe.get()), 3u);
    }
    EXPECT_EQ(refs(probe.get()), 1u);  // clearing both released both references

    // A reference is copied as a pointer; VariantCopyInd copies the value behind it.
    double target = 2.0;
    VARIANT ref;
    ref.vt = VT_BYREF | VT_R8;
    ref.pdblVal = &target;
    CComVariant ref_copy, value;
    ASSERT_EQ(VariantCopy(&ref_copy, &ref), S_OK);
    EXPECT_EQ(ref_copy.pdblVal, &target);
    ASSERT_EQ(VariantCopyInd(&value, &ref), S_OK);
    EXPECT_EQ(value.vt, VT_R8);
    EXPECT_EQ(value.dblVal, 2.0);
}

TEST(Variant, ClearRefusesLockedArraysAndUnknownTags) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_R8;
    v.parray = SafeArrayCreateVector(VT_R8, 0, 1);
    SafeArrayLock(v.parray);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_R8);
    SafeArrayUnlock(v.parray);
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);

    v.vt = 0x0FFF;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    // A reference to itself is a cycle, not a hang.
    VARIANT self;
    self.vt = VT_BYREF | VT_VARIANT;
    self.pvarVal = &self;
    EXPECT_EQ(variant_target(&self), nullptr);
    CComVariant out;
    EXPECT_EQ(VariantChangeType(&out, &self, 0, VT_R8), E_INVALIDARG);
}

// Automation converts numbers to integers by rounding half to even ("banker's rounding").
TEST(Variant, ChangeTypeRoundsHalfToEvenAndReportsOverflow) {
    CComVariant out;
    const std::initializer_list<std::pair<double, int>> cases = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-2.6, -3}, {0.49999999999999994, 0}};
    for (const auto& [in, expected] : cases) {
        ASSERT_EQ(change(CComVariant(in), VT_I4, &out), S_OK) << in;
        EXPECT_EQ(out.lVal, expected) << in;
    }
    out = CComVariant(7);
    const CComVariant big(3e9);
    EXPECT_EQ(VariantChangeType(&out, &big, 0, VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(out.lVal, 7);  // unchanged on failure
    EXPECT_EQ(change(CComVariant(std::nan("")), VT_I4, &out), DISP_E_OVERFLOW);
    EXPECT_EQ(change(CComVariant(32767.5), VT_I2, &out), DISP_E_OVERFLOW);  // rounds to 32768
    ASSERT_EQ(change(CComVariant(-32768.0), VT_I2, &out), S_OK);
    EXPECT_EQ(out.iVal, -32768);
    EXPECT_EQ(change(CComVariant(9.3e18), VT_I8, &out), DISP_E_OVERFLOW);
    EXPECT_EQ(change(CComVariant(1e39), VT_R4, &out), DISP_E_OVERFLOW);
}

TEST(Variant, ChangeTypeReadsAndWritesText) {
    CComVariant out;
    ASSERT_EQ(change(CComVariant(u" 12.5e1 "), VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, 125.0);
    ASSERT_EQ(change(CComVariant(u"+42"), VT_I4, &out), S_OK);
    EXPECT_EQ(out.lVal, 42);
    // 2^53 + 1 is not a double: reading integers directly keeps it exact.
    ASSERT_EQ(change(CComVariant(u"9007199254740993"), VT_I8, &out), S_OK);
    EXPECT_EQ(out.llVal, 9007199254740993LL);
    EXPECT_EQ(change(CComVariant(u"abc"), VT_R8, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(change(CComVariant(u"12abc"), VT_R8, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(change(CComVariant(u""), VT_R8, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(change(CComVariant(u"nan"), VT_R8, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(change(CComVariant(u"1e999"), VT_R8, &out), DISP_E_OVERFLOW);

    // Numbers are written in the shortest form that reads back to the same value.
    ASSERT_EQ(change(CComVariant(0.1), VT_BSTR, &out), S_OK);
    EXPECT_EQ(bstr_view(out.bstrVal), u"0.1");
    const double third = 1.0 / 3.0;
    ASSERT_EQ(change(CComVariant(third), VT_BSTR, &out), S_OK);
    CComVariant back;
    ASSERT_EQ(change(out, VT_R8, &back), S_OK);
    EXPECT_EQ(back.dblVal, third);
    ASSERT_EQ(change(CComVariant(-7), VT_BSTR, &out), S_OK);
    EXPECT_EQ(bstr_view(out.bstrVal), u"-7");
    ASSERT_EQ(change(CComVariant(true), VT_BSTR, &out), S_OK);
    EXPECT_EQ(bstr_view(out.bstrVal), u"True");
}

TEST(Variant, ChangeTypeHandlesBooleansEmptyNullReferencesAndInPlace) {
    CComVariant out;
    ASSERT_EQ(change(CComVariant(true), VT_I4, &out), S_OK);
    EXPECT_EQ(out.lVal, -1);
    ASSERT_EQ(change(CComVariant(0), VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    ASSERT_EQ(change(CComVariant(u"true"), VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(change(CComVariant(), VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, 0.0);
    ASSERT_EQ(change(CComVariant(), VT_BSTR, &out), S_OK);
    EXPECT_EQ(SysStringLen(out.bstrVal), 0u);
    VARIANT null_value;
    null_value.vt = VT_NULL;
    EXPECT_EQ(change(null_value, VT_I4, &out), DISP_E_TYPEMISMATCH);
    CComVariant array;
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    EXPECT_EQ(change(array, VT_I4, &out), DISP_E_TYPEMISMATCH);

    double target = 1.25;
    VARIANT ref;
    ref.vt = VT_BYREF | VT_R8;
    ref.pdblVal = &target;
    VARIANT outer;
    outer.vt = VT_BYREF | VT_VARIANT;
    outer.pvarVal = &ref;
    ASSERT_EQ(change(outer, VT_BSTR, &out), S_OK);
    EXPECT_EQ(bstr_view(out.bstrVal), u"1.25");

    CComVariant in_place(u"17");
    ASSERT_EQ(VariantChangeType(&in_place, &in_place, 0, VT_I4), S_OK);
    EXPECT_EQ(in_place.vt, VT_I4);
    EXPECT_EQ(in_place.lVal, 17);

    CComPtr<IUnknown> probe;
    ASSERT_EQ(create_instance<CProbe>(IID_IUnknown, probe.out_void()), S_OK);
    CComVariant unk;
    unk.vt = VT_UNKNOWN;
    unk.punkVal = probe.get();
    probe->AddRef();
    EXPECT_EQ(change(unk, VT_DISPATCH, &out), DISP_E_TYPEMISMATCH);  // CProbe is not dual
}
