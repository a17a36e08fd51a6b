#pragma once
/// Fixed-size scalar types of the automation interfaces, under their familiar names so that
/// interface declarations read like their type-library descriptions.
#include <cstdint>

namespace platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;  ///< nonzero = true
using FLOAT = float;
using DOUBLE = double;
using LCID = std::uint32_t;
using DISPID = std::int32_t;
using MEMBERID = DISPID;

/// Automation text is UTF-16.
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

/// Boolean of variants and automation properties: all bits set for true.
using VARIANT_BOOL = std::int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

static_assert(sizeof(OLECHAR) == 2, "automation strings are UTF-16");

}  // namespace platform
