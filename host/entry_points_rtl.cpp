// The run-time helpers of the host (hostrtl): entry-point name mapping and field copying.
#include <cstring>
#include <string_view>

#include "host/detail/entry_impl.hpp"
#include "host/detail/fields.hpp"

namespace host::entry {

void cf_dllfcn(const char* decorated,
               char* export_name,
               std::int64_t decorated_len,
               std::int64_t export_name_len) noexcept {
    std::string_view name = detail::field_text(decorated, decorated_len);
    // The decoration of the other platform's standard calling convention: "_NAME@bytes".
    if (!name.empty() && name.front() == '_') { name.remove_prefix(1); }
    if (const auto at = name.rfind('@');
        at != std::string_view::npos && at + 1 < name.size() &&
        name.find_first_not_of("0123456789", at + 1) == std::string_view::npos) {
        name = name.substr(0, at);
    }
    if (!detail::set_field(export_name, export_name_len, name)) {
        // A cut name would look up the wrong entry point; a blank one finds none.
        detail::set_field(export_name, export_name_len, "");
    }
}

void rto_str2int(char* field, const char* text, std::int64_t field_len) noexcept {
    if (field == nullptr || field_len <= 0) { return; }
    const std::string_view s =
        text != nullptr
            ? std::string_view(text, ::strnlen(text, static_cast<std::size_t>(field_len)))
            : std::string_view();
    detail::set_field(field, field_len, s);
}

}  // namespace host::entry
