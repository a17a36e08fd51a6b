#pragma once
/// The run log: the numerical routines append the text of their message code to "CorvRun.log"
/// in the directory named by "TEMP". Only codes 501-513 write; the entry is skipped when "TEMP"
/// is not set (or empty) or the file cannot be opened. The text is written alone, one per line.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/core/export.hpp"
#include "engine/core/messages.hpp"

namespace engine::core {

inline constexpr const char* kRunLogFileName = "CorvRun.log";

/// The run log's path, or nothing when "TEMP" is not set or empty.
std::optional<std::string> run_log_path();
/// Appends the text of `message_code`; true when a line was written.
bool append_to_run_log(std::int64_t message_code) noexcept;
inline bool append_to_run_log(Message m) noexcept {
    return append_to_run_log(static_cast<std::int64_t>(m));
}

}  // namespace engine::core

/// The run-log routine in the by-reference form of the numerical routines: the message code,
/// two 15-character fields (the calling routine's name, for instance "RCM_FUN", and a second
/// text; both only for the caller's records) and, after the explicit arguments, their lengths
/// by value. Only the code is used. Always returns 1.
extern "C" ENGINE_CORE_EXPORT std::int64_t WRITE_RUN_LOG(const std::int64_t* message_code,
                                                         const char* routine,
                                                         const char* text,
                                                         std::int64_t routine_length,
                                                         std::int64_t text_length) noexcept;
