#include "cli/commands.hpp"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "cli/quantity.hpp"
#include "platform/units.hpp"

namespace cli {
namespace {

/// How a flash kind of the command line maps onto a flash text of the property package.
struct FlashCall {
    std::string text;          ///< "PV", "TLF", "TVF", "TP" or "PH"
    std::string description;   ///< for the heading
    double temperature = 0.0;  ///< [K] specification or 0 (no start value)
    double pressure = 0.0;     ///< [Pa]
    double third = 0.0;        ///< vapour fraction or enthalpy [J/kmol]
};

FlashCall flash_call(const FlashOptions& o) {
    const auto need = [&](const std::optional<std::string>& v, const char* option) {
        if (!v) { throw InputError(fmt::format("--kind {} needs {}", o.kind, option)); }
        return *v;
    };
    const auto refuse = [&](const std::optional<std::string>& v, const char* option) {
        if (v) { throw InputError(fmt::format("--kind {} takes no {}", o.kind, option)); }
    };
    FlashCall c;
    if (o.kind == "bubble" || o.kind == "dew") {
        const double fraction = o.kind == "bubble" ? 0.0 : 1.0;
        const char* name = fraction == 0.0 ? "Bubble" : "Dew";
        refuse(o.enthalpy, "--enthalpy");
        if (o.pressure && o.temperature) {
            throw InputError(
                fmt::format("--kind {}: give --pressure (for the temperature) or --temperature "
                            "(for the pressure), not both",
                            o.kind));
        }
        if (o.temperature) {
            c.text = fraction == 0.0 ? "TLF" : "TVF";
            c.temperature = parse_temperature(*o.temperature);
            c.description = fmt::format("{} pressure at {:.4f} K", name, c.temperature);
        } else {
            c.text = "PV";
            c.pressure = parse_pressure(need(o.pressure, "--pressure or --temperature"));
            c.third = fraction;
            c.description = fmt::format("{} temperature at {:.2f} Pa", name, c.pressure);
        }
    } else if (o.kind == "tp") {
        refuse(o.enthalpy, "--enthalpy");
        c.text = "TP";
        c.temperature = parse_temperature(need(o.temperature, "--temperature"));
        c.pressure = parse_pressure(need(o.pressure, "--pressure"));
        c.description =
            fmt::format("Isothermal flash at {:.4f} K and {:.2f} Pa", c.temperature, c.pressure);
    } else if (o.kind == "ph") {
        refuse(o.temperature, "--temperature");
        c.text = "PH";
        c.pressure = parse_pressure(need(o.pressure, "--pressure"));
        c.third = parse_enthalpy(need(o.enthalpy, "--enthalpy"));
        c.description =
            fmt::format("Isenthalpic flash at {:.2f} Pa and {:.6g} J/kmol", c.pressure, c.third);
    } else {
        throw InputError(fmt::format("--kind '{}': use bubble, dew, tp or ph", o.kind));
    }
    return c;
}

/// The composition: exactly one of --x (liquid), --y (vapour), --z (feed).
std::vector<double> composition(const FlashOptions& o, std::size_t n) {
    const int given = int(o.x.has_value()) + int(o.y.has_value()) + int(o.z.has_value());
    if (given != 1) {
        throw InputError("give the composition once: --x (liquid), --y (vapour) or --z (feed)");
    }
    const std::vector<double> values = parse_mole_fractions(o.x ? *o.x : o.y ? *o.y : *o.z);
    if (values.size() != n) {
        throw InputError(
            fmt::format("composition: {} mole fractions for {} components", values.size(), n));
    }
    return values;
}

std::string host_code_meaning(long code) {
    if (code > 0) { return "the flash did not converge"; }
    if (code == -1) { return "the flash was refused"; }
    return "the host refused the input";
}

}  // namespace

int run_components(const ProblemSource& source, bool json, std::ostream& out) {
    const Session session(source);
    const std::vector<Component>& components = session.components();
    const std::vector<std::string> option_sets = session.option_sets();
    if (json) {
        nlohmann::ordered_json doc;
        doc["source"] = session.description();
        doc["components"] = nlohmann::ordered_json::array();
        for (const Component& c : components) {
            doc["components"].push_back({{"index", c.index},
                                         {"id", c.id},
                                         {"name", c.name},
                                         {"molar_mass_kg_per_kmol", c.molar_mass}});
        }
        doc["option_sets"] = option_sets;
        out << doc.dump(2) << '\n';
        return 0;
    }
    fmt::print(out, "Components of {} ({}):\n", session.description(), components.size());
    fmt::print(out, "{:>5}  {:<8}  {:<12}  {:>12}\n", "index", "id", "name", "molar mass");
    for (const Component& c : components) {
        fmt::print(out, "{:>5}  {:<8}  {:<12}  {:>12.5f} kg/kmol\n", c.index, c.id, c.name,
                   c.molar_mass);
    }
    fmt::print(out, "Option sets: {}\n", fmt::join(option_sets, ", "));
    return 0;
}

int run_flash(const ProblemSource& source, const FlashOptions& options, std::ostream& out) {
    const FlashCall call = flash_call(options);
    if (options.phases != 2 && options.phases != 3) {
        throw InputError(fmt::format("--phases {}: use 2 or 3", options.phases));
    }
    const Session session(source);
    const std::vector<Component> components = session.selected();
    const std::size_t n = components.size();
    std::vector<double> feed = composition(options, n);

    std::vector<platform::LONGLONG> indices;
    for (const Component& c : components) { indices.push_back(c.index); }
    std::vector<double> x(n), y(n), x1(n), x2(n);
    double temperature = call.temperature, pressure = call.pressure, third = call.third;
    double beta = 0.0;
    platform::LONG error = -1;
    const std::string option_set =
        options.option_set.empty() ? session.built_option_set() : options.option_set;
    if (!options.option_set.empty()) {
        // The host matches option-set names ignoring case; so does this check.
        const auto upper = [](std::string s) {
            for (char& ch : s) {
                if (ch >= 'a' && ch <= 'z') { ch = static_cast<char>(ch - 'a' + 'A'); }
            }
            return s;
        };
        const auto known = session.option_sets();
        if (std::none_of(known.begin(), known.end(), [&](const std::string& k) {
                return upper(k) == upper(options.option_set);
            })) {
            throw InputError(fmt::format("option set '{}' is not in {} (it has: {})",
                                         options.option_set, session.description(),
                                         fmt::join(known, ", ")));
        }
    }
    const platform::CComBSTR type = platform::CComBSTR::from_utf8(call.text);
    const platform::CComBSTR opset = platform::CComBSTR::from_utf8(option_set);
    session.package()->Calc_Equillibrium(
        type, options.phases, opset, static_cast<platform::LONG>(n), indices.data(), feed.data(),
        &temperature, &pressure, &third, y.data(), x.data(), &beta, x1.data(), x2.data(), &error);
    const double vapour_fraction = third;

    if (options.json) {
        nlohmann::ordered_json doc;
        doc["kind"] = options.kind;
        doc["T_K"] = temperature;
        doc["P_Pa"] = pressure;
        doc["vapour_fraction"] = vapour_fraction;
        doc["x"] = x;
        doc["y"] = y;
        doc["x1"] = x1;
        doc["x2"] = x2;
        doc["beta"] = beta;
        doc["error_code"] = error;
        nlohmann::ordered_json ids = nlohmann::ordered_json::array();
        for (const Component& c : components) { ids.push_back(c.id); }
        doc["components"] = ids;
        out << doc.dump() << '\n';
    } else {
        fmt::print(out, "{} ({}, {})\n", call.description, session.description(),
                   option_set.empty() ? "global option set" : "option set " + option_set);
        if (error != 0) {
            fmt::print(out, "Flash failed: error code {} ({})\n", error, host_code_meaning(error));
        } else {
            fmt::print(out, "Temperature      {:.4f} K ({:.4f} C)\n", temperature,
                       temperature - units::kZeroCelsius);
            fmt::print(out, "Pressure         {:.2f} Pa ({:.5f} bar)\n", pressure,
                       pressure / units::kBar);
            fmt::print(out, "Vapour fraction  {:.6f}\n", vapour_fraction);
            const bool two_liquids = beta < 1.0;
            if (two_liquids) { fmt::print(out, "Liquid split     {:.6f} (first liquid)\n", beta); }
            fmt::print(out, "{:<8}  {:>10}  {:>10}", "id", "x", "y");
            if (two_liquids) { fmt::print(out, "  {:>10}  {:>10}", "x1", "x2"); }
            fmt::print(out, "\n");
            for (std::size_t i = 0; i < n; ++i) {
                fmt::print(out, "{:<8}  {:>10.6f}  {:>10.6f}", components[i].id, x[i], y[i]);
                if (two_liquids) { fmt::print(out, "  {:>10.6f}  {:>10.6f}", x1[i], x2[i]); }
                fmt::print(out, "\n");
            }
            fmt::print(out, "(mole fractions)\n");
        }
    }
    return error == 0 ? 0 : kFlashFailedStatus;
}

}  // namespace cli
