#pragma once
// Reading the array arguments of the map's methods: the automation layer cannot trust the size
// or type of what a client put into a variant, so every read checks both before anything is
// allocated or copied.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/safearray.hpp"
#include "platform/variant.hpp"

namespace engine::detail {

/// Largest component count the methods accept for a size (the host's own limit): a larger
/// count describes no problem and must not turn into a huge allocation.
inline constexpr std::int64_t kMaxComponents = 1000;

/// The array a variant holds (directly or by reference) with element type `element`.
inline platform::SAFEARRAY* array_of(const platform::VARIANT& v, platform::VARTYPE element) {
    const platform::VARIANT* target = platform::variant_target(&v);
    if (!target) { return nullptr; }
    if (target->vt == (platform::VT_ARRAY | element)) { return target->parray; }
    if (target->vt == (platform::VT_BYREF | platform::VT_ARRAY | element) && target->pparray) {
        return *target->pparray;
    }
    return nullptr;
}

/// The first `count` doubles, in storage order, of a double array holding at least that many;
/// nothing for another type or a shorter array.
std::optional<std::vector<double>> read_doubles(const platform::VARIANT& v, std::int64_t count);
/// Every double of a double array (any size), in storage order.
std::optional<std::vector<double>> read_all_doubles(const platform::VARIANT& v);
/// The first `count` 32-bit integers of an integer array, widened to 64 bits.
std::optional<std::vector<std::int64_t>> read_ints(const platform::VARIANT& v, std::int64_t count);
/// Writes `values` into the storage of the double array an in/out variant already holds; false
/// when it holds no double array of at least that many elements.
bool write_doubles(platform::VARIANT* v, std::span<const double> values);

}  // namespace engine::detail
