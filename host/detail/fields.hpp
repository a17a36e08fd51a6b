#pragma once
/// Fixed-width character fields of the host entry points: blank-padded, not terminated, with
/// their byte lengths passed separately.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace host::detail {

/// The text of an input field: up to its length or its first zero byte, without leading and
/// trailing blanks. A null pointer or a length below 1 is an empty text.
inline std::string_view field_text(const char* field, std::int64_t length) noexcept {
    if (field == nullptr || length <= 0) { return {}; }
    const auto n = static_cast<std::size_t>(length);
    const void* zero = std::memchr(field, '\0', n);
    std::string_view s(field, zero != nullptr
                                  ? static_cast<std::size_t>(static_cast<const char*>(zero) - field)
                                  : n);
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) { return {}; }
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

/// Writes text into an output field, blank-padded and cut to its length. Returns false when
/// the text did not fit (or the field is null or has no room for a non-empty text).
inline bool set_field(char* field, std::int64_t length, std::string_view text) noexcept {
    if (field == nullptr || length <= 0) { return text.empty(); }
    const auto n = static_cast<std::size_t>(length);
    const std::size_t copied = std::min(n, text.size());
    if (copied > 0) { std::memcpy(field, text.data(), copied); }
    std::memset(field + copied, ' ', n - copied);
    return copied == text.size();
}

/// Upper-case copy (ASCII), for names matched ignoring case.
inline std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) {
        if (c >= 'a' && c <= 'z') { c = static_cast<char>(c - 'a' + 'A'); }
    }
    return u;
}

}  // namespace host::detail
