#include "engine/core/util_funcs.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "platform/safearray.hpp"
#include "platform/system.hpp"

namespace engine::core {

using platform::SAFEARRAY;
using platform::VARIANT;
using platform::VARTYPE;

namespace {

constexpr int kMaxDims = 4;

// x * y for non-negative values, or -1 on overflow.
std::int64_t checked_mul(std::int64_t x, std::int64_t y) {
    std::int64_t r = 0;
    return __builtin_mul_overflow(x, y, &r) ? -1 : r;
}

std::int64_t checked_add(std::int64_t x, std::int64_t y) {
    std::int64_t r = 0;
    return __builtin_add_overflow(x, y, &r) ? -1 : r;
}

// Product of the first `dims` extents; -1 for a bad dimension count, a negative extent or
// overflow.
std::int64_t element_count(int dims, std::span<const std::int64_t> extents) {
    if (dims < 1 || dims > kMaxDims || extents.size() < static_cast<std::size_t>(dims)) {
        return -1;
    }
    std::int64_t n = 1;
    for (int d = 0; d < dims; ++d) {
        if (extents[d] < 0) { return -1; }
        n = checked_mul(n, extents[d]);
        if (n < 0) { return -1; }
    }
    return n;
}

// The array a variant holds with element type `elem` (directly or by reference), else null.
SAFEARRAY* array_of(const VARIANT* pv, VARTYPE elem) {
    const VARIANT* v = platform::variant_target(pv);
    if (!v) { return nullptr; }
    if (v->vt == (platform::VT_ARRAY | elem)) { return v->parray; }
    if (v->vt == (platform::VT_BYREF | platform::VT_ARRAY | elem)) {
        return v->pparray ? *v->pparray : nullptr;
    }
    return nullptr;
}

// Empties *pv and gives it the array type with no array, the state a failed creation leaves.
bool begin_result(VARIANT* pv, VARTYPE array_type) {
    if (!pv) { return false; }
    if (platform::FAILED(platform::VariantClear(pv))) {
        // A locked array or an unknown tag cannot be cleared; leave it as it is.
        return false;
    }
    pv->vt = array_type;
    pv->parray = nullptr;
    return true;
}

template <class Source, class Target>
bool convert_element(Source s, Target* t) {
    if constexpr (std::is_same_v<Source, std::int64_t> && std::is_same_v<Target, std::int32_t>) {
        if (s < std::numeric_limits<std::int32_t>::min() ||
            s > std::numeric_limits<std::int32_t>::max()) {
            return false;
        }
    }
    *t = static_cast<Target>(s);
    return true;
}

// Element-wise creation shared by the double and integer operations.
template <class Target, class Source>
int create_strided(VARIANT* pv,
                   VARTYPE elem,
                   int max_dims,
                   std::span<const Source> block,
                   int dims,
                   std::span<const std::int64_t> extents,
                   std::span<const std::int64_t> row_lengths) noexcept {
    if (!begin_result(pv, platform::VT_ARRAY | elem)) { return 0; }
    if (dims > max_dims) { return 0; }
    const std::int64_t total = element_count(dims, extents);
    if (total < 0) { return 0; }
    if (!row_lengths.empty() && row_lengths.size() < static_cast<std::size_t>(dims)) { return 0; }

    std::int64_t e[kMaxDims] = {1, 1, 1, 1};
    std::int64_t len[kMaxDims] = {1, 1, 1, 1};
    platform::SAFEARRAYBOUND bounds[kMaxDims];
    for (int d = 0; d < dims; ++d) {
        e[d] = extents[d];
        if (e[d] > std::numeric_limits<platform::ULONG>::max()) { return 0; }
        bounds[d] = {static_cast<platform::ULONG>(e[d]), 0};
        if (d > 0) {
            len[d] = row_lengths.empty() ? e[d] : row_lengths[d];
            // Shorter rows would make points overlap in the block: a caller's mistake.
            if (len[d] < e[d]) { return 0; }
        }
    }
    if (total > 0) {
        // The last position read, ((e0-1)*L1 + e1-1)*L2 + ..., must lie inside the block.
        std::int64_t last = e[0] - 1;
        for (int d = 1; d < kMaxDims && last >= 0; ++d) {
            last = checked_mul(last, len[d]);
            if (last >= 0) { last = checked_add(last, e[d] - 1); }
        }
        if (last < 0 || static_cast<std::uint64_t>(last) >= block.size()) { return 0; }
    }

    SAFEARRAY* psa = platform::SafeArrayCreate(elem, static_cast<platform::UINT>(dims), bounds);
    if (!psa) { return 0; }
    auto* out = static_cast<Target*>(psa->pvData);
    std::size_t pos = 0;  // storage position: first index fastest
    for (std::int64_t i3 = 0; i3 < e[3]; ++i3) {
        for (std::int64_t i2 = 0; i2 < e[2]; ++i2) {
            for (std::int64_t i1 = 0; i1 < e[1]; ++i1) {
                for (std::int64_t i0 = 0; i0 < e[0]; ++i0, ++pos) {
                    const auto from = ((i0 * len[1] + i1) * len[2] + i2) * len[3] + i3;
                    if (!convert_element(block[static_cast<std::size_t>(from)], &out[pos])) {
                        platform::SafeArrayDestroy(psa);
                        return 0;
                    }
                }
            }
        }
    }
    pv->parray = psa;
    return 1;
}

}  // namespace

CUtilFuncs::CUtilFuncs() {
    if (auto tmp = platform::get_environment_variable("TMP"); tmp && tmp->size() <= kMaxTmpLength) {
        tmp_ = std::move(*tmp);
    }
}

bool CUtilFuncs::IsEmpty(const VARIANT* pv) noexcept {
    const VARIANT* v = platform::variant_target(pv);
    if (!v) { return true; }
    return v->vt == platform::VT_EMPTY ||
           (v->vt == platform::VT_ERROR && v->scode == platform::DISP_E_PARAMNOTFOUND);
}

int CUtilFuncs::CreateSafeArray(VARIANT* pv,
                                std::span<const double> block,
                                int dims,
                                std::span<const std::int64_t> extents,
                                std::span<const std::int64_t> row_lengths) noexcept {
    return create_strided<double>(pv, platform::VT_R8, 4, block, dims, extents, row_lengths);
}

int CUtilFuncs::CreateIntSafeArray(VARIANT* pv,
                                   std::span<const std::int32_t> block,
                                   int dims,
                                   std::span<const std::int64_t> extents,
                                   std::span<const std::int64_t> row_lengths) noexcept {
    return create_strided<std::int32_t>(pv, platform::VT_I4, 3, block, dims, extents, row_lengths);
}

int CUtilFuncs::CreateIntSafeArray(VARIANT* pv,
                                   std::span<const std::int64_t> block,
                                   int dims,
                                   std::span<const std::int64_t> extents,
                                   std::span<const std::int64_t> row_lengths) noexcept {
    return create_strided<std::int32_t>(pv, platform::VT_I4, 3, block, dims, extents, row_lengths);
}

int CUtilFuncs::CreateSafeArrayBlock(VARIANT* pv,
                                     std::span<const double> block,
                                     int dims,
                                     std::span<const std::int64_t> extents) noexcept {
    if (!begin_result(pv, platform::VT_ARRAY | platform::VT_R8)) { return 0; }
    if (dims > 2) { return 0; }
    const std::int64_t count = element_count(dims, extents);
    if (count < 0 || static_cast<std::uint64_t>(count) > block.size()) { return 0; }
    platform::SAFEARRAYBOUND bounds[2];
    for (int d = 0; d < dims; ++d) {
        if (extents[d] > std::numeric_limits<platform::ULONG>::max()) { return 0; }
        bounds[d] = {static_cast<platform::ULONG>(extents[d]), 0};
    }
    SAFEARRAY* psa =
        platform::SafeArrayCreate(platform::VT_R8, static_cast<platform::UINT>(dims), bounds);
    if (!psa) { return 0; }
    if (count > 0) {
        std::memcpy(psa->pvData, block.data(), static_cast<std::size_t>(count) * sizeof(double));
    }
    pv->parray = psa;
    return 1;
}

int CUtilFuncs::ExtractDoubleArray(const VARIANT* pv,
                                   std::span<double> block,
                                   int dims,
                                   std::span<const std::int64_t> extents) noexcept {
    if (IsEmpty(pv)) { return 0; }
    const std::int64_t count = element_count(dims, extents);
    const SAFEARRAY* psa = array_of(pv, platform::VT_R8);
    if (count < 0 || !psa) { return 0; }
    const auto n = static_cast<std::uint64_t>(count);
    if (platform::safe_array_element_count(psa) < n || block.size() < n) { return 0; }
    if (n > 0) { std::memcpy(block.data(), psa->pvData, n * sizeof(double)); }
    return 1;
}

int CUtilFuncs::ExtractIntArray(const VARIANT* pv,
                                std::span<std::int64_t> block,
                                std::int64_t rows,
                                std::int64_t columns) noexcept {
    if (IsEmpty(pv) || rows < 0 || columns < 0) { return 0; }
    const std::int64_t count = checked_mul(rows, columns);
    const SAFEARRAY* psa = array_of(pv, platform::VT_I4);
    if (count < 0 || !psa) { return 0; }
    const auto n = static_cast<std::uint64_t>(count);
    if (platform::safe_array_element_count(psa) < n || block.size() < n) { return 0; }
    const auto* from = static_cast<const std::int32_t*>(psa->pvData);
    for (std::uint64_t k = 0; k < n; ++k) { block[k] = from[k]; }
    return 1;
}

int CUtilFuncs::FillSafeArray(VARIANT* pv,
                              std::span<const double> block,
                              int dims,
                              std::span<const std::int64_t> extents) noexcept {
    if (IsEmpty(pv)) { return 0; }
    const std::int64_t count = element_count(dims, extents);
    SAFEARRAY* psa = array_of(pv, platform::VT_R8);
    if (count < 0 || !psa) { return 0; }
    const auto n = static_cast<std::uint64_t>(count);
    if (platform::safe_array_element_count(psa) < n || block.size() < n) { return 0; }
    if (n > 0) { std::memcpy(psa->pvData, block.data(), n * sizeof(double)); }
    return 1;
}

int CUtilFuncs::GetArrayData(const VARIANT* pv,
                             std::span<double>* data,
                             std::span<std::int64_t> upper_bounds) noexcept {
    if (!data || IsEmpty(pv)) { return 0; }
    SAFEARRAY* psa = array_of(pv, platform::VT_R8);
    if (!psa || psa->cDims > 3) { return 0; }
    for (platform::UINT d = 0; d < psa->cDims && d < upper_bounds.size(); ++d) {
        platform::LONG ub = 0;
        platform::SafeArrayGetUBound(psa, d + 1, &ub);
        upper_bounds[d] = ub;
    }
    *data = std::span<double>(static_cast<double*>(psa->pvData),
                              platform::safe_array_element_count(psa));
    return 1;
}

double CUtilFuncs::GetVectorNorm(std::span<const double> a,
                                 std::span<const double> b,
                                 std::int64_t n) {
    if (n < 0 || static_cast<std::uint64_t>(n) > a.size() ||
        static_cast<std::uint64_t>(n) > b.size()) {
        throw std::invalid_argument("GetVectorNorm: vector length out of range");
    }
    double sum = 0.0;
    for (std::int64_t i = 0; i < n; ++i) {
        const double d = a[i] - b[i];
        sum += d * d;
    }
    return sum > 0.0 ? std::sqrt(sum) : 0.0;
}

std::string CUtilFuncs::trace_path(std::string_view file_name) const {
    return platform::join_path(tmp_, file_name.empty() ? kDefaultTraceFile : file_name);
}

int CUtilFuncs::TraceToFile(std::string_view text,
                            std::string_view file_name,
                            bool write) const noexcept {
    try {
        const std::string path = trace_path(file_name);
        if (!write) { return 1; }
        std::FILE* f = std::fopen(path.c_str(), "wt");
        if (!f) { f = std::fopen(path.c_str(), "a+"); }
        if (!f) { return 1; }
        const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if (std::fclose(f) != 0 || !written) {
            platform::MessageBox("Error writing file: " + path + ", in TraceToFile", "TARNCom");
        }
    } catch (...) {
        // Out of memory composing the path: tracing is best effort.
    }
    return 1;
}

}  // namespace engine::core
