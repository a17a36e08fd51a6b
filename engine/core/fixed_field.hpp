#pragma once
/// Character arguments of routines exported by name: fixed-length fields, blank-padded and not
/// necessarily terminated, whose byte lengths travel as extra arguments.
#include <cstdint>
#include <string>
#include <string_view>

namespace engine::core {

/// The text of a field of `length` bytes: up to the first zero byte (C callers often leave one),
/// with trailing blanks removed. Leading blanks are kept: they belong to the text. Empty for a
/// null pointer or a length of 0 or less; never reads beyond `length` bytes.
std::string_view trimmed_field(const char* data, std::int64_t length) noexcept;
/// `text` in a field of `length` bytes: cut or padded with blanks.
std::string padded_field(std::string_view text, std::size_t length);
/// Writes `text` into the field at `data` (cut or blank-padded to `length` bytes).
void store_field(std::string_view text, char* data, std::int64_t length) noexcept;

}  // namespace engine::core
