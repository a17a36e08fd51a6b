// hostrtl: entry-point name mapping and field copying.
#include "host/detail/entry_impl.hpp"
#include "host/entry_points.h"

extern "C" {

void cf_DllFcn(const char* decorated,
               char* export_name,
               int64_t decorated_len,
               int64_t export_name_len) noexcept {
    host::entry::cf_dllfcn(decorated, export_name, decorated_len, export_name_len);
}

void rto_str2int_c(char* field, const char* text, int64_t field_len) noexcept {
    host::entry::rto_str2int(field, text, field_len);
}

}  // extern "C"
