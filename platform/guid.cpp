#include "platform/guid.hpp"

#include <cstdio>

namespace platform {

std::string to_string(const GUID& g, bool braces) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned>(g.Data1), unsigned{g.Data2}, unsigned{g.Data3},
                  unsigned{g.Data4[0]}, unsigned{g.Data4[1]}, unsigned{g.Data4[2]},
                  unsigned{g.Data4[3]}, unsigned{g.Data4[4]}, unsigned{g.Data4[5]},
                  unsigned{g.Data4[6]}, unsigned{g.Data4[7]});
    return braces ? "{" + std::string(buf) + "}" : std::string(buf);
}

}  // namespace platform
