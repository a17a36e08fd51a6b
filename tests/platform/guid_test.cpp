#include "platform/guid.hpp"

#include <gtest/gtest.h>

using namespace platform;

// IID_IDispatch as published in the automation headers: {00020400-0000-0000-C000-000000000046}.
TEST(Guid, ParsesBothTextFormsIntoThePublishedFields) {
    const auto plain = parse_guid("00020400-0000-0000-c000-000000000046");
    const auto braced = parse_guid("{00020400-0000-0000-C000-000000000046}");
    ASSERT_TRUE(plain && braced);
    EXPECT_EQ(*plain, *braced);
    EXPECT_EQ(plain->Data1, 0x00020400u);
    EXPECT_EQ(plain->Data2, 0u);
    EXPECT_EQ(plain->Data3, 0u);
    EXPECT_EQ(plain->Data4[0], 0xC0);
    EXPECT_EQ(plain->Data4[7], 0x46);
    EXPECT_TRUE(IsEqualIID(*plain, IID_IDispatch));
    static_assert(IID_IUnknown.Data4[0] == 0xC0 && IID_IUnknown.Data1 == 0);
}

TEST(Guid, PrintsWhatItParses) {
    const std::string text = "7d25b338-5cfa-48c0-9568-34bd4a00988d";
    const auto g = parse_guid(text);
    ASSERT_TRUE(g);
    EXPECT_EQ(to_string(*g), text);
    EXPECT_EQ(to_string(*g, true), "{" + text + "}");
    EXPECT_EQ(parse_guid(to_string(IID_IErrorInfo, true)), IID_IErrorInfo);
    EXPECT_FALSE(IsEqualGUID(*g, IID_IUnknown));
}

TEST(Guid, RejectsMalformedText) {
    for (const char* bad :
         {"", "7d25b338-5cfa-48c0-9568-34bd4a00988", "7d25b3385cfa-48c0-9568-34bd4a00988d0",
          "{7d25b338-5cfa-48c0-9568-34bd4a00988d", "7d25b338-5cfa-48c0-9568-34bd4a00988d}",
          "7d25b338-5cfa-48c0-9568-34bd4a00988g", "(7d25b338-5cfa-48c0-9568-34bd4a00988d)",
          "7d25b338-5cfa-48c0-9568-34bd4a00988d "}) {
        EXPECT_FALSE(parse_guid(bad)) << bad;
    }
}
