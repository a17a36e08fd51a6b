#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/core/fixed_field.hpp"
#include "engine/core/shared_string.hpp"
#include "engine/core/string_table.hpp"

using namespace engine::core;

TEST(StringTable, HoldsEntries100To127WithoutEntry123) {
    for (std::uint32_t id = 100; id <= 127; ++id) {
        EXPECT_EQ(load_string(id).has_value(), id != 123) << id;
    }
    EXPECT_FALSE(load_string(99));
    EXPECT_FALSE(load_string(128));
    EXPECT_EQ(load_string(kModuleNameStringId), "TARNDistil");
    EXPECT_EQ(load_string(102), "Flash calculations did not convege.");  // sic
    EXPECT_EQ(load_string(122), "Unhandled Exception.");
    EXPECT_EQ(string_or_unknown(123), "Unknown Error");
}

TEST(FixedFields, TrimsWithinTheGivenLengthOnly) {
    // Exactly 15 bytes on the heap: a read past the field is caught by the address sanitizer.
    auto field = std::make_unique<char[]>(15);
    std::memcpy(field.get(), "RCM_FUN        ", 15);
    EXPECT_EQ(trimmed_field(field.get(), 15), "RCM_FUN");
    std::memcpy(field.get(), "  NRTL IDEAL   ", 15);
    EXPECT_EQ(trimmed_field(field.get(), 15), "  NRTL IDEAL");  // leading blanks belong
    std::memcpy(field.get(), "ABC\0zzzzzzzzzzz", 15);
    EXPECT_EQ(trimmed_field(field.get(), 15), "ABC");
    std::memset(field.get(), ' ', 15);
    EXPECT_EQ(trimmed_field(field.get(), 15), "");
    std::memcpy(field.get(), "WATERWATERWATER", 15);
    EXPECT_EQ(trimmed_field(field.get(), 15), "WATERWATERWATER");
    EXPECT_EQ(trimmed_field(field.get(), 5), "WATER");
    EXPECT_EQ(trimmed_field(nullptr, 15), "");
    EXPECT_EQ(trimmed_field(field.get(), -1), "");
}

TEST(FixedFields, PadsAndCuts) {
    EXPECT_EQ(padded_field("RCM_FUN", 15), "RCM_FUN        ");
    EXPECT_EQ(padded_field("Dist_Boundary_long", 8), "Dist_Bou");
    auto field = std::make_unique<char[]>(8);
    store_field("H2O", field.get(), 8);
    EXPECT_EQ(std::string(field.get(), 8), "H2O     ");
    store_field("ETHANOL-WATER", field.get(), 8);
    EXPECT_EQ(std::string(field.get(), 8), "ETHANOL-");
    store_field("", field.get(), 8);
    EXPECT_EQ(std::string(field.get(), 8), "        ");
    store_field("x", nullptr, 8);  // no effect
}

TEST(SharedStrings, CopiesShareOneTextWithBothForms) {
    const char16_t name[] = u"C:\\trace\\Distil\u00E9.log";
    SharedString a(name);
    ASSERT_TRUE(a.has_value());
    EXPECT_NE(a.wide(), name);  // a copy of the caller's text
    EXPECT_EQ(platform::bstr_view(a.wide()), name);
    SharedString b = a;
    EXPECT_EQ(a.use_count(), 2);
    EXPECT_EQ(b.wide(), a.wide());  // one stored copy, so pointer comparison identifies it
    EXPECT_EQ(b.narrow(), "C:\\trace\\Distil\xC3\xA9.log");
    EXPECT_EQ(&a.narrow(), &b.narrow());  // made once, shared
    a.reset();
    EXPECT_EQ(b.use_count(), 1);
    EXPECT_EQ(a.narrow(), "");
    EXPECT_EQ(a.wide(), nullptr);
    SharedString empty(static_cast<const platform::OLECHAR*>(nullptr));
    EXPECT_TRUE(empty.has_value());
    EXPECT_EQ(empty.narrow(), "");
}
