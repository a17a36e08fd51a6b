// The equilibrium service: the plain face calc_flash, the by-reference CALC_FLASH that
// numerical code calls by name, the enthalpies and the message lines, against the real host.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "properties/equilibrium.hpp"
#include "properties/equilibrium_exports.hpp"
#include "tests/properties/test_support.hpp"

namespace properties::testing {
namespace {

constexpr std::string_view kEthanolWater = "vle_ethanol_water.json";
// The service flashes with the problem file's tolerance (1e-10 in the example), which converges
// temperatures to about 1e-8 K; the reference is converged further still.
constexpr double kTemperatureTolerance = 1e-6;  // [K]
constexpr double kCompositionTolerance = 1e-7;
constexpr double kUntouched = -12345.0;

double reference_bubble_t(std::string_view model, double x1) {
    return entry_with(reference_model(kEthanolWater, model).at("bubble_T"), "x", x1)
        .at("T")
        .get<double>();
}

/// A by-reference call as numerical code makes it: a 10-character flash-type field with a zero
/// byte after the text, an 8-character blank-padded option-set field.
struct ByReference {
    char type[10];
    char option_set[8];
    std::int64_t phases = 2, n = 2, error = 999;
    std::array<std::int64_t, 2> components{1, 2};
    std::array<double, 2> z{0.5, 0.5};
    double temperature = 0.0, pressure = kAtmosphere, vapour_fraction = 0.0, beta = kUntouched;
    std::array<double, 2> y{kUntouched, kUntouched}, x{kUntouched, kUntouched},
        x1{kUntouched, kUntouched}, x2{kUntouched, kUntouched};

    ByReference(std::string_view flash_type, std::string_view opset) {
        std::memset(type, ' ', sizeof type);
        std::memcpy(type, flash_type.data(), std::min(flash_type.size(), sizeof type));
        if (flash_type.size() < sizeof type) { type[flash_type.size()] = '\0'; }
        std::memset(option_set, ' ', sizeof option_set);
        std::memcpy(option_set, opset.data(), std::min(opset.size(), sizeof option_set));
    }
    void call() {
        CALC_FLASH(type, &phases, option_set, &n, components.data(), z.data(), &temperature,
                   &pressure, &vapour_fraction, y.data(), x.data(), &beta, x1.data(), x2.data(),
                   &error, sizeof type, sizeof option_set);
    }
};

class EquilibriumService : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host_open(example("ethanol-water-benzene.toml")), 0); }
};

TEST_F(EquilibriumService, CalcFlashMatchesTheReferenceWithTheNamedOrGlobalOptionSet) {
    const std::vector<std::int64_t> idx{1, 2};
    const std::vector<double> x{0.5, 0.5};
    FlashRequest request;
    request.components = idx;
    request.composition = x;
    request.pressure = kAtmosphere;

    const FlashResult nrtl = calc_flash(request);  // blank name: the global NRTL set
    ASSERT_TRUE(nrtl.converged());
    EXPECT_NEAR(nrtl.temperature, reference_bubble_t("NRTL", 0.5), kTemperatureTolerance);
    const auto& ref = entry_with(reference_model(kEthanolWater, "NRTL").at("bubble_T"), "x", 0.5);
    ASSERT_EQ(nrtl.y.size(), 2u);
    EXPECT_NEAR(nrtl.y[0], ref.at("y")[0].get<double>(), kCompositionTolerance);
    EXPECT_EQ(nrtl.x, x);
    EXPECT_EQ(nrtl.x1, x);
    EXPECT_EQ(nrtl.x2, x);
    EXPECT_EQ(nrtl.beta, 1.0);

    for (const char* name : {"UNIFAC", "Unifac", "UNIFAC  "}) {
        request.option_set = name;
        const FlashResult unifac = calc_flash(request);
        ASSERT_TRUE(unifac.converged()) << name;
        EXPECT_NEAR(unifac.temperature, reference_bubble_t("UNIFAC", 0.5), kTemperatureTolerance)
            << name;
    }
    request.option_set = "NOSUCH";
    EXPECT_NEAR(calc_flash(request).temperature, reference_bubble_t("NRTL", 0.5),
                kTemperatureTolerance);

    // Dew point of the bubble point's vapour returns its liquid (an independent route).
    request.option_set = "";
    request.composition = nrtl.y;
    request.vapour_fraction = 1.0;
    const FlashResult dew = calc_flash(request);
    ASSERT_TRUE(dew.converged());
    EXPECT_NEAR(dew.temperature, nrtl.temperature, kTemperatureTolerance);
    EXPECT_NEAR(dew.x[0], 0.5, kCompositionTolerance);
}

TEST_F(EquilibriumService, CalcFlashRefusesWhatItCannotServeWithoutResults) {
    const std::vector<std::int64_t> idx{1, 2};
    const std::vector<double> x{0.5, 0.5}, short_x{1.0};
    FlashRequest request;
    request.components = idx;
    request.composition = short_x;
    request.pressure = kAtmosphere;
    FlashResult r = calc_flash(request);
    EXPECT_EQ(r.error_code, -1) << "composition and index vector differ in size";
    EXPECT_TRUE(r.x.empty());

    request.composition = x;
    request.flash_type = "tvf";
    EXPECT_EQ(calc_flash(request).error_code, -1);
    request.flash_type = "pv";
    EXPECT_TRUE(calc_flash(request).converged());
    request.flash_type = "TP";
    request.temperature = 1e38;
    r = calc_flash(request);
    EXPECT_EQ(r.error_code, -1);
    EXPECT_TRUE(r.y.empty());

    const std::vector<std::int64_t> many(101, 1);
    const std::vector<double> many_x(101, 1.0 / 101);
    request.components = many;
    request.composition = many_x;
    request.flash_type = "PV";
    request.temperature = 0.0;
    EXPECT_EQ(calc_flash(request).error_code, -1);
}

TEST_F(EquilibriumService, CalcFlashByReferenceReadsFixedFieldsAndWritesEveryOutput) {
    ByReference bubble("PV", "UNIFAC");
    bubble.call();
    ASSERT_EQ(bubble.error, 0);
    EXPECT_NEAR(bubble.temperature, reference_bubble_t("UNIFAC", 0.5), kTemperatureTolerance);
    const auto& ref = entry_with(reference_model(kEthanolWater, "UNIFAC").at("bubble_T"), "x", 0.5);
    EXPECT_NEAR(bubble.y[0], ref.at("y")[0].get<double>(), kCompositionTolerance);
    EXPECT_NEAR(bubble.y[1], ref.at("y")[1].get<double>(), kCompositionTolerance);
    EXPECT_EQ(bubble.x[0], 0.5);
    EXPECT_EQ(bubble.x1[1], 0.5);
    EXPECT_EQ(bubble.x2[0], 0.5);
    EXPECT_EQ(bubble.beta, 1.0);

    // Blank-padded with no zero byte, lower case, and a blank option set (the global NRTL).
    ByReference padded("pv        ", "");
    padded.call();
    ASSERT_EQ(padded.error, 0);
    EXPECT_NEAR(padded.temperature, reference_bubble_t("NRTL", 0.5), kTemperatureTolerance);

    ByReference unknown("PV", "NOSUCH");
    unknown.call();
    EXPECT_NEAR(unknown.temperature, reference_bubble_t("NRTL", 0.5), kTemperatureTolerance);

    // Moving the host's global option set moves a blank name with it.
    ASSERT_EQ(host_set_int("GLOBOPS", 3), 0);
    ByReference global("PV", "");
    global.call();
    EXPECT_NEAR(global.temperature, reference_bubble_t("UNIFAC", 0.5), kTemperatureTolerance);
}

TEST_F(EquilibriumService, CalcFlashByReferenceRefusesWithoutWritingOutputs) {
    ByReference lower("tvf", "");
    lower.temperature = 355.0;
    lower.call();
    EXPECT_EQ(lower.error, -1);
    EXPECT_EQ(lower.temperature, 355.0);
    EXPECT_EQ(lower.y[0], kUntouched);

    ByReference missing("TP", "");
    missing.temperature = 1e38;
    missing.call();
    EXPECT_EQ(missing.error, -1);
    EXPECT_EQ(missing.x[0], kUntouched);
    EXPECT_EQ(missing.beta, kUntouched);

    ByReference too_many("PV", "");
    too_many.n = 101;
    too_many.call();
    EXPECT_EQ(too_many.error, -1);
    too_many.n = -1;
    too_many.call();
    EXPECT_EQ(too_many.error, -1);

    // Null arguments give the code, not a crash.
    std::int64_t error = 0, n = 2, phases = 2;
    double t = 0, p = kAtmosphere, v = 0, beta = 0;
    CALC_FLASH("PV", &phases, "", &n, nullptr, nullptr, &t, &p, &v, nullptr, nullptr, &beta,
               nullptr, nullptr, &error, 2, 0);
    EXPECT_EQ(error, -1);
    CALC_FLASH("PV", &phases, "", &n, nullptr, nullptr, &t, &p, &v, nullptr, nullptr, &beta,
               nullptr, nullptr, nullptr, 2, 0);
}

TEST_F(EquilibriumService, CalcFlashRepeatsWhenTheHostAsksForARestart) {
    // With the host's iteration limit at 4, a start at 450 K fails and the host asks for a
    // repeat, which starts from its own estimate and converges (see the property package's
    // test, which checks the host's request directly).
    ASSERT_EQ(host_set_int("FLASHMAXIT", 4), 0);
    ByReference bubble("PV", "");
    bubble.temperature = 450.0;
    bubble.call();
    EXPECT_EQ(bubble.error, 0);
    EXPECT_NEAR(bubble.temperature, reference_bubble_t("NRTL", 0.5), kTemperatureTolerance);

    ASSERT_EQ(host_set_int("FLASHMAXIT", 2), 0);
    ByReference failing("PV", "");
    failing.temperature = 450.0;
    failing.call();
    EXPECT_GT(failing.error, 0);
}

TEST_F(EquilibriumService, EnthalpiesMatchPublishedValues) {
    const std::vector<std::int64_t> water{2}, ethanol{1}, both{1, 2};
    const std::vector<double> pure{1.0};
    // NIST-JANAF Thermochemical Tables (4th ed., 1998), H2O(g): H(400 K) - H(298.15 K) =
    // 3.452 kJ/mol. The host's reference is the ideal gas at 298.15 K, so this is H_V(400 K).
    const auto hv400 = vapour_enthalpy(water, "", 400.0, kAtmosphere, pure);
    ASSERT_EQ(hv400.error_code, 0);
    EXPECT_NEAR(hv400.enthalpy / 3.452e6, 1.0, 5e-3);

    // Heats of vaporization at the normal boiling points (CRC Handbook of Chemistry and Physics):
    // water 40.65 kJ/mol at 373.15 K, ethanol 38.56 kJ/mol at 351.44 K.
    const auto dh = [&](const std::vector<std::int64_t>& c, double t) {
        const auto v = vapour_enthalpy(c, "NRTL", t, kAtmosphere, pure);
        const auto l = liquid_enthalpy(c, "NRTL", t, kAtmosphere, pure);
        EXPECT_EQ(v.error_code, 0);
        EXPECT_EQ(l.error_code, 0);
        return v.enthalpy - l.enthalpy;
    };
    EXPECT_NEAR(dh(water, 373.15) / 40.65e6, 1.0, 1e-2);
    EXPECT_NEAR(dh(ethanol, 351.44) / 38.56e6, 1.0, 1.5e-2);

    // An ideal-gas mixture's enthalpy is the mole-fraction average of the pure ones; a pure
    // liquid has no excess enthalpy, whatever the activity model.
    const std::vector<double> z{0.3, 0.7};
    const double mix = vapour_enthalpy(both, "", 360.0, kAtmosphere, z).enthalpy;
    const double e = vapour_enthalpy(ethanol, "", 360.0, kAtmosphere, pure).enthalpy;
    const double w = vapour_enthalpy(water, "", 360.0, kAtmosphere, pure).enthalpy;
    EXPECT_NEAR(mix, 0.3 * e + 0.7 * w, 1e-9 * std::abs(mix));
    EXPECT_NEAR(liquid_enthalpy(water, "UNIFAC", 360.0, kAtmosphere, pure).enthalpy,
                liquid_enthalpy(water, "NRTL", 360.0, kAtmosphere, pure).enthalpy, 1e-6);
    // ... but a mixture's does depend on it.
    EXPECT_GT(std::abs(liquid_enthalpy(both, "UNIFAC", 360.0, kAtmosphere, z).enthalpy -
                       liquid_enthalpy(both, "NRTL", 360.0, kAtmosphere, z).enthalpy),
              1e3);
}

TEST_F(EquilibriumService, EnthalpiesRefuseBadInputWithCodesAndFallBackForUnknownOptionSets) {
    const std::vector<std::int64_t> water{2};
    const std::vector<double> pure{1.0}, two{0.5, 0.5};
    // A name the host does not know falls back to the global option set, as the flashes do.
    const auto unknown_set = liquid_enthalpy(water, "NOSUCH", 360.0, kAtmosphere, pure);
    EXPECT_EQ(unknown_set.error_code, 0);
    EXPECT_EQ(unknown_set.enthalpy, liquid_enthalpy(water, "", 360.0, kAtmosphere, pure).enthalpy);
    EXPECT_EQ(vapour_enthalpy(water, "", 360.0, kAtmosphere, two).error_code, -1);
    const std::vector<std::int64_t> many(101, 2);
    const std::vector<double> many_z(101, 1.0 / 101);
    EXPECT_EQ(liquid_enthalpy(many, "", 360.0, kAtmosphere, many_z).error_code, -1);
    const auto out_of_range = liquid_enthalpy(water, "", 100.0, kAtmosphere, pure);
    EXPECT_EQ(out_of_range.error_code, -7);
    EXPECT_EQ(out_of_range.enthalpy, 0.0);
}

TEST(MessageLines, AreKeptTrimmedUntilClearedAndBounded) {
    clear_message_lines();
    std::string line(80, ' ');
    line.replace(0, 21, "Reflux ratio  = 2.500");
    EXPECT_EQ(WriteMessageLine(line.data(), 80), 1);
    EXPECT_EQ(WriteMessageLine("Stages =    12", 14), 1);
    EXPECT_EQ(WriteMessageLine(nullptr, 80), 1);
    ASSERT_EQ(message_lines().size(), 3u);
    EXPECT_EQ(message_lines()[0], "Reflux ratio  = 2.500");
    EXPECT_EQ(message_lines()[1], "Stages =    12");
    EXPECT_EQ(message_lines()[2], "");
    clear_message_lines();
    EXPECT_TRUE(message_lines().empty());

    for (std::size_t i = 0; i < kMaxMessageLines + 5; ++i) {
        write_message_line("line " + std::to_string(i));
    }
    ASSERT_EQ(message_lines().size(), kMaxMessageLines);
    EXPECT_EQ(message_lines().front(), "line 0");
    clear_message_lines();
}

}  // namespace
}  // namespace properties::testing
