#pragma once
/// Operating-system services the engine uses: environment variables, path composition, the
/// short (8.3) form of a file name, and message boxes.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.hpp"

namespace platform {

/// Separator placed between a directory and a file name. Paths are written on Windows as
/// directory + "\" + name; the backslash there is that system's path separator, not part of
/// the file name, so here it is "/".
inline constexpr char kPathSeparator = '/';

/// Directory + separator + name (a separator already ending `directory` is not doubled);
/// just `name` when the directory is empty.
PLATFORM_API std::string join_path(std::string_view directory, std::string_view name);

/// The value of an environment variable; nothing when it is not set (an empty value is set).
PLATFORM_API std::optional<std::string> get_environment_variable(const std::string& name);

/// The short (8.3) form of a file name alone, as Windows builds it: a name that already fits
/// (base of at most 8 characters, at most one dot, extension of at most 3, no blanks or
/// characters outside the 8.3 set) is returned unchanged; otherwise blanks and the extra dots
/// are dropped, the characters + , ; = [ ] become "_", the base is cut to 6 characters and
/// followed by "~1", the extension is cut to 3, and the result is upper case:
///     "ProblemDefinition.inp" -> "PROBLE~1.INP",  "my.long.file.pdf" -> "MYLONG~1.PDF".
/// (The numeric tail is always 1: the result names the file for display and run ids, it is
/// never used to open the file, so collisions between similar names do not matter.)
PLATFORM_API std::string short_file_name(std::string_view name);
/// The short form of an existing path: the directory part unchanged, the last component as in
/// short_file_name. Nothing when the file does not exist (as the Windows call fails then).
PLATFORM_API std::optional<std::string> short_path_name(const std::string& path);

/// Message box styles (the flags are passed on to the sink).
inline constexpr std::uint32_t MB_OK = 0x00000000;
inline constexpr std::uint32_t MB_ICONERROR = 0x00000010;
inline constexpr std::uint32_t MB_ICONWARNING = 0x00000030;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x00000040;
inline constexpr std::uint32_t MB_TASKMODAL = 0x00002000;
inline constexpr int IDOK = 1;

/// Receives what would have been a message box. It must not block.
using MessageSink =
    std::function<void(std::string_view text, std::string_view caption, std::uint32_t flags)>;

/// Installs a sink for the whole process and returns the previous one; an empty function
/// restores the default sink, which writes "caption: text" (or the text alone) to stderr.
PLATFORM_API MessageSink set_message_sink(MessageSink sink);
/// Hands text and caption (UTF-8) to the current sink and returns IDOK at once: the engine runs
/// inside other programs and servers, where a window waiting for a click would hang the call.
PLATFORM_API int MessageBox(std::string_view text,
                            std::string_view caption = {},
                            std::uint32_t flags = MB_OK);

/// Collects message boxes while it lives (for tests); restores the previous sink afterwards.
class PLATFORM_API MessageCapture {
public:
    struct Message {
        std::string text;
        std::string caption;
        std::uint32_t flags = 0;
    };
    MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    ~MessageCapture();
    /// A copy of what was captured so far, in order.
    std::vector<Message> messages() const;

private:
    struct State {
        mutable std::mutex mutex;
        std::vector<Message> messages;
    };
    std::shared_ptr<State> state_;
    MessageSink previous_;
};

}  // namespace platform
