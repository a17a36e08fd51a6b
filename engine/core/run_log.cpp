#include "engine/core/run_log.hpp"

#include <cstdio>
#include <string_view>

#include "platform/system.hpp"

namespace engine::core {

std::optional<std::string> run_log_path() {
    const auto temp = platform::get_environment_variable("TEMP");
    // An empty value would put the log at the file-system root; treat it like an unset one.
    if (!temp || temp->empty()) { return std::nullopt; }
    return platform::join_path(*temp, kRunLogFileName);
}

bool append_to_run_log(std::int64_t message_code) noexcept {
    const std::string_view text = message_text(message_code);
    if (text.empty()) { return false; }
    try {
        const auto path = run_log_path();
        if (!path) { return false; }
        std::FILE* f = std::fopen(path->c_str(), "a");
        if (!f) { return false; }
        const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size() &&
                             std::fputc('\n', f) != EOF;
        return std::fclose(f) == 0 && written;
    } catch (...) { return false; }
}

}  // namespace engine::core

std::int64_t WRITE_RUN_LOG(const std::int64_t* message_code,
                           const char* /*routine*/,
                           const char* /*text*/,
                           std::int64_t /*routine_length*/,
                           std::int64_t /*text_length*/) noexcept {
    if (message_code) { engine::core::append_to_run_log(*message_code); }
    return 1;
}
