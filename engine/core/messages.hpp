#pragma once
/// Message codes of the numerical routines and the status codes of the automation layer, both
/// tied to the string table.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/hresult.hpp"

namespace engine::core {

// Numerical message codes: name, message code, string-table id (code - 400).
#define NUMERIC_MESSAGES(X)                     \
    X(max_points_reached, 501, 101)             \
    X(flash_not_converged, 502, 102)            \
    X(integration_fatal_forward, 503, 103)      \
    X(integration_fatal_backward, 504, 104)     \
    X(allocation_error, 505, 105)               \
    X(deallocation_error, 506, 106)             \
    X(fatal_flash_error, 507, 107)              \
    X(eigen_error, 508, 108)                    \
    X(azeotrope_search_error, 509, 109)         \
    X(classification_error, 510, 110)           \
    X(topological_constraint_not_met, 511, 111) \
    X(boundary_error, 512, 112)                 \
    X(mixture_is_vapour, 513, 113)

/// A numerical routine's message code; 0 means no message.
enum class Message : std::int64_t {
    none = 0,
#define X(name, code, text_id) name = code,
    NUMERIC_MESSAGES(X)
#undef X
};

/// The string-table id of a message code; nothing for 0 and codes outside 501-513.
std::optional<std::uint32_t> message_string_id(std::int64_t code) noexcept;
/// The text of a message code ("" for 0 and unknown codes).
std::string_view message_text(std::int64_t code) noexcept;
inline std::string_view message_text(Message m) noexcept {
    return message_text(static_cast<std::int64_t>(m));
}

/// The string-table id behind one of the engine's statuses 0x80040200 + id (E_TARN_* in
/// platform/hresult.hpp); nothing for other statuses.
std::optional<std::uint32_t> status_string_id(platform::HRESULT status) noexcept;

}  // namespace engine::core
