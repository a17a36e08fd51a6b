#pragma once
// The option-set name as the objects keep it: at most 9 bytes of its narrow form in a 10-byte
// field, zero-terminated, handed to the numerical routines as a 10-character field.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/bstr.hpp"

namespace engine::detail {

inline constexpr std::size_t kOptionSetFieldSize = 10;
inline constexpr std::int64_t kOptionSetFieldLength = 10;
using OptionSetField = std::array<char, kOptionSetFieldSize>;

/// The first 9 bytes of the narrow (UTF-8) form of `name` (null counts as empty), cut back to a
/// whole character so that no half character reaches the property system. Throws
/// std::bad_alloc when out of memory.
inline OptionSetField option_set_field(const platform::OLECHAR* name) {
    const std::string text = platform::narrow(name);
    std::size_t length = std::min(text.size(), kOptionSetFieldSize - 1);
    // A UTF-8 continuation byte (10xxxxxx) at the cut means a character would be split.
    while (length > 0 && length < text.size() &&
           (static_cast<unsigned char>(text[length]) & 0xC0u) == 0x80u) {
        --length;
    }
    OptionSetField field{};
    text.copy(field.data(), length);
    return field;
}

/// The text of a field (up to its terminating zero).
inline std::string_view field_text(const OptionSetField& field) noexcept {
    std::size_t n = 0;
    while (n < field.size() && field[n] != '\0') { ++n; }
    return std::string_view(field.data(), n);
}

}  // namespace engine::detail
