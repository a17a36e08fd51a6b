#include "engine/core/messages.hpp"

#include "engine/core/string_table.hpp"

namespace engine::core {

std::optional<std::uint32_t> message_string_id(std::int64_t code) noexcept {
    switch (code) {
#define X(name, message_code, text_id) \
    case message_code:                 \
        return text_id;
        NUMERIC_MESSAGES(X)
#undef X
        default:
            return std::nullopt;
    }
}

std::string_view message_text(std::int64_t code) noexcept {
    const auto id = message_string_id(code);
    return id ? load_string(*id).value_or(std::string_view()) : std::string_view();
}

std::optional<std::uint32_t> status_string_id(platform::HRESULT status) noexcept {
    const auto bits = platform::hresult_bits(status);
    if ((bits & 0xFFFFFF00u) != 0x80040200u) { return std::nullopt; }
    const std::uint32_t id = bits - 0x80040200u;
    if (id < 114 || !load_string(id)) { return std::nullopt; }
    return id;
}

}  // namespace engine::core
