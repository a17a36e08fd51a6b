#include "platform/bstr.hpp"

#include <gtest/gtest.h>

#include <cstring>

using namespace platform;

TEST(Bstr, KeepsByteLengthPrefixTerminatorAndEmbeddedZeros) {
    const char16_t text[] = u"ab\0cd";
    BSTR s = SysAllocStringLen(text, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 10u);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 10u);  // the prefix counts bytes, not characters
    EXPECT_EQ(s[5], u'\0');  // terminated, so it reads as a C wide string too
    EXPECT_EQ(bstr_view(s), std::u16string_view(text, 5));
    SysFreeString(s);

    BSTR zeros = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(bstr_view(zeros), std::u16string_view(u"\0\0\0", 3));
    SysFreeString(zeros);

    BSTR odd = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(odd), 3u);
    EXPECT_EQ(SysStringLen(odd), 1u);
    SysFreeString(odd);
}

TEST(Bstr, NullStringCountsAsEmpty) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(narrow(nullptr), "");
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);  // no effect
    CComBSTR empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.Copy(), nullptr);
}

TEST(Bstr, ReallocReplacesTheString) {
    BSTR s = SysAllocString(u"old");
    ASSERT_EQ(SysReAllocStringLen(&s, u"longer text", 6), 1);
    EXPECT_EQ(bstr_view(s), u"longer");
    SysFreeString(s);
    EXPECT_EQ(SysReAllocStringLen(nullptr, u"x", 1), 0);
}

// Expected code units from the UTF-8 and UTF-16 encoding forms (Unicode 15, section 3.9).
TEST(Bstr, ConvertsBetweenUtf8AndUtf16BothWays) {
    const std::string utf8 =
        "Ethanol\xE2\x80\x93Wasser 25 \xC2\xB0"
        "C \xF0\x9F\x98\x80";
    const std::u16string utf16 = to_utf16(utf8);
    const std::u16string expected = u"Ethanol\u2013Wasser 25 \u00B0C \xD83D\xDE00";
    EXPECT_EQ(utf16, expected);
    EXPECT_EQ(to_utf8(utf16), utf8);

    CComBSTR s = CComBSTR::from_utf8(utf8);
    EXPECT_EQ(s.view(), expected);
    EXPECT_EQ(s.utf8(), utf8);
    BSTR raw = SysAllocStringUtf8(utf8);
    EXPECT_EQ(narrow(raw), utf8);
    SysFreeString(raw);
}

TEST(Bstr, ReplacesInvalidSequencesInsteadOfFailing) {
    EXPECT_EQ(to_utf16("a\xFF"
                       "b"),
              u"a\uFFFDb");
    EXPECT_EQ(to_utf16("\xC0\xAF"), u"\uFFFD\uFFFD");    // overlong "/"
    EXPECT_EQ(to_utf16("\xED\xA0\x80"), u"\uFFFD");      // encoded surrogate
    EXPECT_EQ(to_utf16("\xF4\x90\x80\x80"), u"\uFFFD");  // above U+10FFFF
    EXPECT_EQ(to_utf16("x\xE2\x82"), u"x\uFFFD");        // cut short at the end
    EXPECT_EQ(to_utf16("\xE2\x82x"), u"\uFFFDx");        // cut short by an ASCII byte
    EXPECT_EQ(to_utf8(u"\xD800x"), "\xEF\xBF\xBDx");     // unpaired high surrogate
    EXPECT_EQ(to_utf8(u"x\xDC00"), "x\xEF\xBF\xBD");     // unpaired low surrogate
}

TEST(Bstr, OwnerCopiesMovesAndHandsOut) {
    CComBSTR a(u"PropServe");
    CComBSTR b = a;
    EXPECT_NE(a.get(), b.get());  // a real copy
    EXPECT_EQ(a, b);
    CComBSTR c = std::move(a);
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(c.view(), u"PropServe");

    BSTR out = c.Copy();
    EXPECT_EQ(bstr_view(out), u"PropServe");
    SysFreeString(out);

    CComBSTR slot(u"old");
    *slot.out() = SysAllocString(u"new");  // out() frees the old string first
    EXPECT_EQ(slot.view(), u"new");
    BSTR detached = slot.Detach();
    EXPECT_EQ(slot.get(), nullptr);
    slot.Attach(detached);
    EXPECT_EQ(slot.get(), detached);
    slot = slot;  // self-assignment keeps the text
    EXPECT_EQ(slot.view(), u"new");
}
