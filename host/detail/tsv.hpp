#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "host/databank.hpp"

namespace host::detail {

/// A tab-separated table with one header row, as the databank files are written. Every field
/// remembers its file, line and column, so that each error reads "nrtl.tsv:12: 'b_ij_K': not a
/// number: x". The table views the text it was given: keep that text alive while reading.
class TsvTable {
public:
    struct Column {
        std::size_t index = 0;
        std::string_view name;
    };

    /// Splits text into rows; empty lines are skipped, "\r\n" is accepted. Throws DatabankError
    /// for an empty file, a duplicate header name or a row with the wrong number of fields.
    TsvTable(std::string file, std::string_view text);

    const std::string& file() const noexcept { return file_; }
    std::size_t row_count() const noexcept { return rows_.size(); }
    /// Line number (1-based) of data row r.
    std::size_t line(std::size_t r) const { return rows_.at(r).line; }

    /// The column of that header name; throws DatabankError naming the file when it is missing.
    Column column(std::string_view name) const;
    bool has_column(std::string_view name) const noexcept;

    /// The raw field (may be empty).
    std::string_view text(std::size_t r, const Column& c) const;
    /// A field that must not be empty.
    std::string_view required_text(std::size_t r, const Column& c) const;
    /// A finite number; empty, malformed, NaN or infinite fields throw.
    double number(std::size_t r, const Column& c) const;
    /// A finite number, or NaN for an empty field.
    double optional_number(std::size_t r, const Column& c) const;
    /// A whole number written without a fraction.
    int integer(std::size_t r, const Column& c) const;

    /// Throws DatabankError located at row r, column c.
    [[noreturn]] void fail(std::size_t r, const Column& c, const std::string& message) const;
    /// Throws DatabankError located at row r (no column).
    [[noreturn]] void fail(std::size_t r, const std::string& message) const;

private:
    struct Row {
        std::size_t line = 0;
        std::vector<std::string_view> fields;
    };
    std::string file_;
    std::size_t header_line_ = 0;
    std::vector<std::string_view> header_;
    std::vector<Row> rows_;
};

/// Parses "1:1 2:1 14:1" (subgroup:count pairs separated by spaces) at row r, column c.
UnifacGroupCounts parse_group_counts(const TsvTable& table,
                                     std::size_t r,
                                     const TsvTable::Column& c);

}  // namespace host::detail
