#pragma once
/// Conversions between the arrays of the automation interfaces (safe arrays in variants) and
/// the engine's contiguous blocks, plus the trace file.
///
/// Safe arrays keep the first index fastest in storage. Blocks keep the last index fastest: for
/// a matrix, element (point p, component c) of a block with row length L is at p*L + c. The
/// element-wise operations (CreateSafeArray, CreateIntSafeArray) translate between the two; the
/// block copies (CreateSafeArrayBlock, ExtractDoubleArray, ExtractIntArray, FillSafeArray) and
/// GetArrayData work in storage order.
///
/// Every operation returns 1 on success and 0 on failure. An array whose element type differs
/// from the one asked for, or that holds fewer elements than asked for, is refused (0) and the
/// block is left untouched: nothing is read or written beyond either side.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/variant.hpp"

namespace engine::core {

class CUtilFuncs {
public:
    /// Default trace file name, in the "TMP" directory.
    static constexpr std::string_view kDefaultTraceFile = "CDDebug.log";
    /// Longest "TMP" value taken [bytes]; a longer one is ignored (a cut directory would point
    /// somewhere else entirely).
    static constexpr std::size_t kMaxTmpLength = 259;

    /// Reads "TMP".
    CUtilFuncs();

    /// The "TMP" directory ("" when unset or too long).
    const std::string& tmp_directory() const noexcept { return tmp_; }

    /// True for an argument that is absent (null, or the "missing optional argument" marker
    /// VT_ERROR / DISP_E_PARAMNOTFOUND) or VT_EMPTY, also behind VT_BYREF | VT_VARIANT.
    /// A scalar is not empty (the extraction then refuses it).
    static bool IsEmpty(const platform::VARIANT* pv) noexcept;

    /// Sets *pv (cleared first, so it must be initialised) to a new VT_ARRAY | VT_R8 of
    /// `dims` (1-4) dimensions with the given extents and lower bounds 0; element
    /// (i0, i1, i2, i3) comes from block position ((i0*L1 + i1)*L2 + i2)*L3 + i3, where
    /// Lk = row_lengths[k] for k = 1..dims-1 (row_lengths[0] is not used; an empty row_lengths
    /// means the block is dense, Lk = extent k). Fails for other dimension counts, negative
    /// extents, a row length below its extent or a block too short for the positions read;
    /// then *pv keeps the array type with no array.
    int CreateSafeArray(platform::VARIANT* pv,
                        std::span<const double> block,
                        int dims,
                        std::span<const std::int64_t> extents,
                        std::span<const std::int64_t> row_lengths = {}) noexcept;
    /// The same for VT_ARRAY | VT_I4 with 1 to 3 dimensions.
    int CreateIntSafeArray(platform::VARIANT* pv,
                           std::span<const std::int32_t> block,
                           int dims,
                           std::span<const std::int64_t> extents,
                           std::span<const std::int64_t> row_lengths = {}) noexcept;
    /// The same from the engine's 64-bit integers; fails when a value does not fit in 32 bits.
    int CreateIntSafeArray(platform::VARIANT* pv,
                           std::span<const std::int64_t> block,
                           int dims,
                           std::span<const std::int64_t> extents,
                           std::span<const std::int64_t> row_lengths = {}) noexcept;
    /// VT_ARRAY | VT_R8 of 1 or 2 dimensions whose storage is the first extent0 (x extent1)
    /// values of the block, copied as they lie.
    int CreateSafeArrayBlock(platform::VARIANT* pv,
                             std::span<const double> block,
                             int dims,
                             std::span<const std::int64_t> extents) noexcept;
    /// Copies the product of the extents (dims 1-4), in storage order, from a VT_R8 array
    /// (also by reference) into the block. 0 for an empty variant.
    int ExtractDoubleArray(const platform::VARIANT* pv,
                           std::span<double> block,
                           int dims,
                           std::span<const std::int64_t> extents) noexcept;
    /// Copies rows x columns 32-bit integers of a VT_I4 array into the block, widened.
    int ExtractIntArray(const platform::VARIANT* pv,
                        std::span<std::int64_t> block,
                        std::int64_t rows,
                        std::int64_t columns) noexcept;
    /// Copies the product of the extents from the block into the storage of the VT_R8 array
    /// that *pv already holds (an in/out argument).
    int FillSafeArray(platform::VARIANT* pv,
                      std::span<const double> block,
                      int dims,
                      std::span<const std::int64_t> extents) noexcept;
    /// Direct access to the elements of a VT_R8 array of 1 to 3 dimensions (no copy; valid while
    /// the variant holds the array). `upper_bounds` receives the upper bound of each dimension
    /// (as many as it has room for). 0 for an empty variant, another type, more dimensions.
    int GetArrayData(const platform::VARIANT* pv,
                     std::span<double>* data,
                     std::span<std::int64_t> upper_bounds = {}) noexcept;
    /// Euclidean distance of the first n entries of a and b; 0 when the sum of squared
    /// differences is not positive (also NaN). Throws std::invalid_argument when n is negative
    /// or beyond either vector.
    static double GetVectorNorm(std::span<const double> a,
                                std::span<const double> b,
                                std::int64_t n);

    /// The trace path for a file name ("" means the default): the "TMP" directory, the path
    /// separator and the name; the name alone when "TMP" is empty.
    std::string trace_path(std::string_view file_name = {}) const;
    /// Composes the trace path and, only when `write` is set, writes `text` to that file,
    /// replacing its content (opened "wt", else "a+"; skipped when neither opens). A failed
    /// write shows a message box "Error writing file: <path>, in TraceToFile" ("TARNCom").
    /// Always returns 1.
    int TraceToFile(std::string_view text,
                    std::string_view file_name = {},
                    bool write = false) const noexcept;

private:
    std::string tmp_;
};

}  // namespace engine::core
