#include "platform/system.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

namespace platform {
namespace {

char upper_ascii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_short_name_char(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) { return true; }
    return std::string_view("!#$%&'()-@^_`{}~").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

// Upper case; blanks (and, in the base, dots) dropped; anything outside the 8.3 set becomes
// "_", one per character (a multi-byte UTF-8 character counts once).
std::string clean_part(std::string_view part) {
    std::string out;
    for (std::size_t i = 0; i < part.size(); ++i) {
        const auto c = static_cast<unsigned char>(part[i]);
        if (c == ' ' || c == '.') { continue; }
        if (c >= 0x80) {
            if ((c & 0xC0) != 0x80) { out.push_back('_'); }  // lead byte only
            continue;
        }
        out.push_back(is_short_name_char(c) ? upper_ascii(static_cast<char>(c)) : '_');
    }
    return out;
}

bool fits_short_form(std::string_view name) {
    const auto dot = name.find('.');
    if (dot != name.rfind('.')) { return false; }  // more than one dot
    const std::string_view base = name.substr(0, dot);
    const std::string_view ext =
        dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) { return false; }
    for (char c : name) {
        if (c != '.' && !is_short_name_char(static_cast<unsigned char>(c))) { return false; }
    }
    return true;
}

std::mutex g_sink_mutex;
MessageSink g_sink;  // empty: the default sink

void default_sink(std::string_view text, std::string_view caption, std::uint32_t /*flags*/) {
    std::string line;
    if (!caption.empty()) {
        line.append(caption);
        line.append(": ");
    }
    line.append(text);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

std::string join_path(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (!path.empty() && path.back() != kPathSeparator) { path.push_back(kPathSeparator); }
    path.append(name);
    return path;
}

std::optional<std::string> get_environment_variable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) { return std::nullopt; }
    return std::string(value);
}

std::string short_file_name(std::string_view name) {
    if (fits_short_form(name)) { return std::string(name); }
    // Leading dots ("..." or ".profile") do not start an extension.
    const auto first = name.find_first_not_of('.');
    if (first == std::string_view::npos) { return std::string(name); }
    name.remove_prefix(first);
    const auto dot = name.rfind('.');
    std::string base = clean_part(name.substr(0, dot));
    std::string ext =
        dot == std::string_view::npos ? std::string() : clean_part(name.substr(dot + 1));
    if (base.size() > 6) { base.resize(6); }
    if (ext.size() > 3) { ext.resize(3); }
    std::string out = base + "~1";
    if (!ext.empty()) { out += "." + ext; }
    return out;
}

std::optional<std::string> short_path_name(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec) || ec) { return std::nullopt; }
    const auto slash = path.find_last_of(kPathSeparator);
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    if (file.empty()) { return path; }
    return dir + short_file_name(file);
}

MessageSink set_message_sink(MessageSink sink) {
    std::lock_guard lock(g_sink_mutex);
    return std::exchange(g_sink, std::move(sink));
}

int MessageBox(std::string_view text, std::string_view caption, std::uint32_t flags) {
    MessageSink sink;
    {
        std::lock_guard lock(g_sink_mutex);
        sink = g_sink;
    }
    try {
        if (sink) {
            sink(text, caption, flags);
        } else {
            default_sink(text, caption, flags);
        }
    } catch (...) {
        // A failing sink must not turn a report into a second failure.
    }
    return IDOK;
}

MessageCapture::MessageCapture() : state_(std::make_shared<State>()) {
    // The sink holds the state by shared pointer, so a copy of the sink taken by a concurrent
    // MessageBox stays valid even after this capture has gone.
    previous_ = set_message_sink(
        [state = state_](std::string_view text, std::string_view caption, std::uint32_t flags) {
            std::lock_guard lock(state->mutex);
            state->messages.push_back({std::string(text), std::string(caption), flags});
        });
}

MessageCapture::~MessageCapture() { set_message_sink(std::move(previous_)); }

std::vector<MessageCapture::Message> MessageCapture::messages() const {
    std::lock_guard lock(state_->mutex);
    return state_->messages;
}

}  // namespace platform
