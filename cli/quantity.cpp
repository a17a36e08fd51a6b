#include "cli/quantity.hpp"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <utility>

#include "platform/units.hpp"

namespace cli {
namespace {

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) { return {}; }
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) { return false; }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) { return false; }
    }
    return true;
}

/// The leading number of `text` and the rest (the unit, trimmed).
std::pair<double, std::string_view> number_and_unit(std::string_view text, std::string_view what) {
    text = trim(text);
    double value = 0.0;
    const char* end = text.data() + text.size();
    // from_chars refuses a leading "+"; accept it, it is how people write numbers.
    const char* begin = (!text.empty() && text.front() == '+') ? text.data() + 1 : text.data();
    const auto [stop, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || text.empty()) {
        throw InputError(fmt::format("{} '{}': not a number", what, text));
    }
    if (!std::isfinite(value)) { throw InputError(fmt::format("{} '{}': not finite", what, text)); }
    return {value, trim(std::string_view(stop, static_cast<std::size_t>(end - stop)))};
}

struct Unit {
    std::string_view name;
    double factor;  // value in the unit times factor = value in the engine's unit
};

double convert(std::string_view text, std::string_view what, std::initializer_list<Unit> units) {
    const auto [value, unit] = number_and_unit(text, what);
    if (unit.empty()) { return value * units.begin()->factor; }
    std::string known;
    for (const Unit& u : units) {
        if (same_ignoring_case(unit, u.name)) { return value * u.factor; }
        known += known.empty() ? std::string(u.name) : ", " + std::string(u.name);
    }
    throw InputError(
        fmt::format("{} '{}': unknown unit '{}' (use {})", what, trim(text), unit, known));
}

}  // namespace

double parse_pressure(std::string_view text) {
    const double p = convert(text, "pressure",
                             {{"Pa", 1.0},
                              {"kPa", units::kKilopascal},
                              {"MPa", 1e6},
                              {"bar", units::kBar},
                              {"atm", units::kStandardAtmosphere},
                              {"mmHg", units::kMillimetreOfMercury}});
    if (!(p > 0.0)) {
        throw InputError(fmt::format("pressure '{}': must be positive", trim(text)));
    }
    return p;
}

double parse_temperature(std::string_view text) {
    const auto [value, unit] = number_and_unit(text, "temperature");
    double t = value;
    if (unit.empty() || same_ignoring_case(unit, "K")) {
        t = value;
    } else if (same_ignoring_case(unit, "C") || same_ignoring_case(unit, "degC") ||
               unit == "\u00b0C") {
        t = value + units::kZeroCelsius;
    } else {
        throw InputError(
            fmt::format("temperature '{}': unknown unit '{}' (use K or C)", trim(text), unit));
    }
    if (!(t > 0.0)) {
        throw InputError(fmt::format("temperature '{}': must be above 0 K", trim(text)));
    }
    return t;
}

double parse_enthalpy(std::string_view text) {
    return convert(text, "enthalpy",
                   {{"J/kmol", 1.0},
                    {"kJ/kmol", 1e3},
                    {"J/mol", units::kJoulePerMol},
                    {"kJ/mol", 1e3 * units::kJoulePerMol}});
}

std::vector<std::string> split_list(std::string_view text, std::string_view what) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        const std::string_view item =
            trim(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
        if (item.empty()) { throw InputError(fmt::format("{} '{}': empty entry", what, text)); }
        items.emplace_back(item);
        if (comma == std::string_view::npos) { break; }
        start = comma + 1;
    }
    return items;
}

std::vector<double> parse_mole_fractions(std::string_view text) {
    std::vector<double> values;
    double sum = 0.0;
    for (const std::string& item : split_list(text, "composition")) {
        const auto [value, unit] = number_and_unit(item, "mole fraction");
        if (!unit.empty()) {
            throw InputError(fmt::format("mole fraction '{}': a plain number is expected", item));
        }
        if (value < 0.0) { throw InputError(fmt::format("mole fraction '{}': negative", item)); }
        values.push_back(value);
        sum += value;
    }
    if (!(sum > 0.0)) { throw InputError(fmt::format("composition '{}': all zero", text)); }
    return values;
}

}  // namespace cli
