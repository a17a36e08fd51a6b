#pragma once
/// Interface and class identities: 128-bit GUIDs written "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/export.hpp"

namespace platform {

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) noexcept { return a == b; }
constexpr bool IsEqualIID(REFIID a, REFIID b) noexcept { return a == b; }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) noexcept { return a == b; }

namespace detail {
constexpr int hex_digit(char c) noexcept {
    if (c >= '0' && c <= '9') { return c - '0'; }
    if (c >= 'a' && c <= 'f') { return c - 'a' + 10; }
    if (c >= 'A' && c <= 'F') { return c - 'A' + 10; }
    return -1;
}
}  // namespace detail

/// Parses "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", with or without surrounding braces, hex digits
/// in either case. Anything else (other lengths, misplaced dashes, one brace) gives nothing.
constexpr std::optional<GUID> parse_guid(std::string_view text) noexcept {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') { return std::nullopt; }
        text = text.substr(1, 36);
    }
    if (text.size() != 36) { return std::nullopt; }
    std::uint8_t bytes[16] = {};
    std::size_t pos = 0;
    for (int b = 0; b < 16; ++b) {
        if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
            if (text[pos] != '-') { return std::nullopt; }
            ++pos;
        }
        const int hi = detail::hex_digit(text[pos]);
        const int lo = detail::hex_digit(text[pos + 1]);
        if (hi < 0 || lo < 0) { return std::nullopt; }
        bytes[b] = static_cast<std::uint8_t>(hi * 16 + lo);
        pos += 2;
    }
    GUID g;
    g.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
              (std::uint32_t{bytes[2]} << 8) | bytes[3];
    g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) { g.Data4[i] = bytes[8 + i]; }
    return g;
}

/// A GUID constant from its text, checked at compile time, so identities are written exactly as
/// they are published instead of being transcribed into fields by hand.
consteval GUID make_guid(std::string_view text) {
    const auto g = parse_guid(text);
    if (!g) { throw "malformed GUID literal"; }  // not a constant expression: compile error
    return *g;
}

/// Lower-case text form; with braces when asked ("{...}", as registry keys write it).
PLATFORM_API std::string to_string(const GUID& g, bool braces = false);

inline constexpr IID IID_NULL{};
inline constexpr IID IID_IUnknown = make_guid("00000000-0000-0000-C000-000000000046");
inline constexpr IID IID_IClassFactory = make_guid("00000001-0000-0000-C000-000000000046");
inline constexpr IID IID_IDispatch = make_guid("00020400-0000-0000-C000-000000000046");
inline constexpr IID IID_ITypeInfo = make_guid("00020401-0000-0000-C000-000000000046");
inline constexpr IID IID_IErrorInfo = make_guid("1CF2B120-547D-101B-8E65-08002B2BD119");
inline constexpr IID IID_ICreateErrorInfo = make_guid("22F03340-547D-101B-8E65-08002B2BD119");
inline constexpr IID IID_ISupportErrorInfo = make_guid("DF0B3D60-548F-101B-8E65-08002B2BD119");
inline constexpr IID IID_IConnectionPointContainer =
    make_guid("B196B284-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IConnectionPoint = make_guid("B196B286-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IEnumConnectionPoints = make_guid("B196B285-BAB4-101A-B69C-00AA00341D07");

}  // namespace platform
