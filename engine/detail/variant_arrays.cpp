#include "engine/detail/variant_arrays.hpp"

#include <algorithm>

namespace engine::detail {

using namespace platform;

namespace {

/// The elements of a locked array, copied out as T.
template <class T, class Element>
std::optional<std::vector<T>> copy_out(SAFEARRAY* psa, std::size_t count) {
    if (!psa || safe_array_element_count(psa) < count) { return std::nullopt; }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &data))) { return std::nullopt; }
    const auto* elements = static_cast<const Element*>(data);
    std::vector<T> out(elements, elements + count);
    SafeArrayUnaccessData(psa);
    return out;
}

}  // namespace

std::optional<std::vector<double>> read_doubles(const VARIANT& v, std::int64_t count) {
    if (count < 0) { return std::nullopt; }
    return copy_out<double, double>(array_of(v, VT_R8), static_cast<std::size_t>(count));
}

std::optional<std::vector<double>> read_all_doubles(const VARIANT& v) {
    SAFEARRAY* psa = array_of(v, VT_R8);
    if (!psa) { return std::nullopt; }
    return copy_out<double, double>(psa, safe_array_element_count(psa));
}

std::optional<std::vector<std::int64_t>> read_ints(const VARIANT& v, std::int64_t count) {
    if (count < 0) { return std::nullopt; }
    return copy_out<std::int64_t, LONG>(array_of(v, VT_I4), static_cast<std::size_t>(count));
}

bool write_doubles(VARIANT* v, std::span<const double> values) {
    if (!v) { return false; }
    SAFEARRAY* psa = array_of(*v, VT_R8);
    if (!psa || safe_array_element_count(psa) < values.size()) { return false; }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &data))) { return false; }
    std::copy(values.begin(), values.end(), static_cast<double*>(data));
    SafeArrayUnaccessData(psa);
    return true;
}

}  // namespace engine::detail
