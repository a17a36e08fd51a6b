#include "platform/guid.hpp"

#include <cstdio>

namespace platform {

std::string to_string(const GUID& g, bool braces) {
    // Braces are written into the buffer around the digits rather than concatenated, which GCC 12
    // at -O3 misreads as an overlapping copy (-Wrestrict).
    char buf[40] = "{";
    const int length = std::snprintf(
        buf + 1, sizeof buf - 2, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
        static_cast<unsigned>(g.Data1), unsigned{g.Data2}, unsigned{g.Data3}, unsigned{g.Data4[0]},
        unsigned{g.Data4[1]}, unsigned{g.Data4[2]}, unsigned{g.Data4[3]}, unsigned{g.Data4[4]},
        unsigned{g.Data4[5]}, unsigned{g.Data4[6]}, unsigned{g.Data4[7]});
    if (!braces) { return std::string(buf + 1, static_cast<std::size_t>(length)); }
    buf[length + 1] = '}';
    return std::string(buf, static_cast<std::size_t>(length) + 2);
}

}  // namespace platform
