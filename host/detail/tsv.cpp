#include "host/detail/tsv.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace host::detail {
namespace {

std::vector<std::string_view> split_tabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) { s.remove_prefix(1); }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) { s.remove_suffix(1); }
    return s;
}

}  // namespace

TsvTable::TsvTable(std::string file, std::string_view text) : file_(std::move(file)) {
    std::size_t line_number = 0;
    std::size_t pos = 0;
    bool have_header = false;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) { end = text.size(); }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') { line.remove_suffix(1); }
        if (trim(line).empty()) { continue; }
        if (!have_header) {
            header_ = split_tabs(line);
            header_line_ = line_number;
            for (std::size_t i = 0; i < header_.size(); ++i) {
                if (header_[i].empty()) {
                    throw DatabankError(
                        file_, line_number, "",
                        "empty column name in the header (column " + std::to_string(i + 1) + ")");
                }
                for (std::size_t j = 0; j < i; ++j) {
                    if (header_[j] == header_[i]) {
                        throw DatabankError(file_, line_number, std::string(header_[i]),
                                            "column named twice in the header");
                    }
                }
            }
            have_header = true;
            continue;
        }
        Row row{line_number, split_tabs(line)};
        if (row.fields.size() != header_.size()) {
            throw DatabankError(file_, line_number, "",
                                "expected " + std::to_string(header_.size()) + " fields, found " +
                                    std::to_string(row.fields.size()));
        }
        rows_.push_back(std::move(row));
    }
    if (!have_header) { throw DatabankError(file_, 0, "", "empty file, expected a header row"); }
}

TsvTable::Column TsvTable::column(std::string_view name) const {
    for (std::size_t i = 0; i < header_.size(); ++i) {
        if (header_[i] == name) { return Column{i, header_[i]}; }
    }
    throw DatabankError(file_, header_line_, std::string(name), "missing column");
}

bool TsvTable::has_column(std::string_view name) const noexcept {
    for (const auto& h : header_) {
        if (h == name) { return true; }
    }
    return false;
}

std::string_view TsvTable::text(std::size_t r, const Column& c) const {
    return rows_.at(r).fields.at(c.index);
}

std::string_view TsvTable::required_text(std::size_t r, const Column& c) const {
    const std::string_view field = trim(text(r, c));
    if (field.empty()) { fail(r, c, "missing value"); }
    return field;
}

double TsvTable::number(std::size_t r, const Column& c) const {
    const std::string_view field = trim(text(r, c));
    if (field.empty()) { fail(r, c, "missing value"); }
    double value = 0.0;
    const char* first = field.data();
    const char* last = field.data() + field.size();
    if (*first == '+') {
        ++first;  // from_chars takes no explicit plus sign; data files may carry one
    }
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) { fail(r, c, "not a number: " + std::string(field)); }
    if (!std::isfinite(value)) { fail(r, c, "not a finite number: " + std::string(field)); }
    return value;
}

double TsvTable::optional_number(std::size_t r, const Column& c) const {
    if (trim(text(r, c)).empty()) { return std::numeric_limits<double>::quiet_NaN(); }
    return number(r, c);
}

int TsvTable::integer(std::size_t r, const Column& c) const {
    const std::string_view field = trim(text(r, c));
    if (field.empty()) { fail(r, c, "missing value"); }
    int value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size()) {
        fail(r, c, "not a whole number: " + std::string(field));
    }
    return value;
}

void TsvTable::fail(std::size_t r, const Column& c, const std::string& message) const {
    throw DatabankError(file_, rows_.at(r).line, std::string(c.name), message);
}

void TsvTable::fail(std::size_t r, const std::string& message) const {
    throw DatabankError(file_, rows_.at(r).line, "", message);
}

UnifacGroupCounts parse_group_counts(const TsvTable& table,
                                     std::size_t r,
                                     const TsvTable::Column& c) {
    UnifacGroupCounts counts;
    std::string_view rest = table.text(r, c);
    while (true) {
        rest = trim(rest);
        while (!rest.empty() && rest.front() == ' ') { rest.remove_prefix(1); }
        if (rest.empty()) { break; }
        const std::size_t space = rest.find(' ');
        const std::string_view item = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space);
        const std::size_t colon = item.find(':');
        int subgroup = 0;
        int count = 0;
        const bool ok =
            colon != std::string_view::npos &&
            std::from_chars(item.data(), item.data() + colon, subgroup).ptr ==
                item.data() + colon &&
            std::from_chars(item.data() + colon + 1, item.data() + item.size(), count).ptr ==
                item.data() + item.size() &&
            colon > 0 && colon + 1 < item.size();
        if (!ok || subgroup <= 0 || count <= 0) {
            table.fail(r, c,
                       "expected subgroup:count with positive whole numbers, found '" +
                           std::string(item) + "'");
        }
        for (const auto& [known, n] : counts) {
            if (known == subgroup) {
                table.fail(r, c, "subgroup " + std::to_string(subgroup) + " listed twice");
            }
        }
        counts.emplace_back(subgroup, count);
    }
    return counts;
}

}  // namespace host::detail
