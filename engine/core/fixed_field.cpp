#include "engine/core/fixed_field.hpp"

#include <algorithm>
#include <cstring>

namespace engine::core {

std::string_view trimmed_field(const char* data, std::int64_t length) noexcept {
    if (!data || length <= 0) { return {}; }
    const auto n = static_cast<std::size_t>(length);
    const void* zero = std::memchr(data, '\0', n);
    std::string_view text(
        data, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - data) : n);
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string padded_field(std::string_view text, std::size_t length) {
    std::string field(length, ' ');
    std::copy_n(text.begin(), std::min(length, text.size()), field.begin());
    return field;
}

void store_field(std::string_view text, char* data, std::int64_t length) noexcept {
    if (!data || length <= 0) { return; }
    const auto n = static_cast<std::size_t>(length);
    const std::size_t copied = std::min(n, text.size());
    if (copied > 0) { std::memcpy(data, text.data(), copied); }
    std::memset(data + copied, ' ', n - copied);
}

}  // namespace engine::core
