#include "rcm/ode/detail/messages.hpp"

#include <cstdio>
#include <ostream>

namespace rcm::ode::detail {

void write_message(std::ostream* out,
                   std::initializer_list<std::string_view> lines,
                   std::initializer_list<std::int64_t> integers,
                   std::initializer_list<double> reals) {
    if (out == nullptr) { return; }
    for (std::string_view line : lines) { *out << ' ' << line << '\n'; }
    char buffer[160];
    if (integers.size() > 0) {
        const auto* i = integers.begin();
        if (integers.size() == 1) {
            std::snprintf(buffer, sizeof buffer, "      In above message,  I1 = %lld\n",
                          static_cast<long long>(i[0]));
        } else {
            std::snprintf(buffer, sizeof buffer, "      In above message,  I1 = %lld   I2 = %lld\n",
                          static_cast<long long>(i[0]), static_cast<long long>(i[1]));
        }
        *out << buffer;
    }
    if (reals.size() > 0) {
        const auto* r = reals.begin();
        if (reals.size() == 1) {
            std::snprintf(buffer, sizeof buffer, "      In above message,  R1 = %21.13E\n", r[0]);
        } else {
            std::snprintf(buffer, sizeof buffer,
                          "      In above message,  R1 = %21.13E   R2 = %21.13E\n", r[0], r[1]);
        }
        *out << buffer;
    }
    out->flush();
}

}  // namespace rcm::ode::detail
