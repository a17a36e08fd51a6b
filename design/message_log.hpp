#pragma once
/// The informational lines of the design, balance and feed routines: 80-character blank-padded
/// lines that go to the equilibrium service's message channel and are also kept with the result
/// of the call that wrote them, so that callers can show users why a calculation failed.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace design {

/// Width of every message line [characters].
inline constexpr std::size_t kMessageLineWidth = 80;

/// Lines written by one call, each exactly kMessageLineWidth characters.
using MessageLines = std::vector<std::string>;

/// Collects the lines of one call and forwards each to properties::write_message_line.
class MessageLog {
public:
    /// Writes `text` cut or blank-padded to kMessageLineWidth characters.
    void line(std::string_view text);
    const MessageLines& lines() const noexcept { return lines_; }
    MessageLines take() noexcept { return std::move(lines_); }

private:
    MessageLines lines_;
};

/// `text` as one message line: cut or blank-padded to kMessageLineWidth characters.
std::string message_line(std::string_view text);

}  // namespace design
