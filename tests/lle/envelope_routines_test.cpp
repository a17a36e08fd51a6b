// LLE_Envelope and VLLE_Envelope as a caller of the by-reference routines sees them: stores,
// counts, codes and the run log, and that nothing is ever written beyond a store.
#include "lle/envelope_routines.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/entry_points.h"
#include "lle/envelope.hpp"
#include "tests/lle/lle_problem.hpp"

namespace lle::testing {
namespace {

constexpr double kGuard = 12345.0;  // fills the slots past every store
constexpr std::size_t kGuardSlots = 64;

/// The stores of one variant as the map owns them, each followed by guard slots.
struct Stores {
    std::int64_t curve_count = -7;
    std::vector<std::int64_t> point_counts = std::vector<std::int64_t>(3 + kGuardSlots, -7);
    std::vector<double> envelope = std::vector<double>(1800 + kGuardSlots, 7.0);
    std::int64_t tie_line_count = 100;
    std::vector<double> tie_lines = std::vector<double>(600 + kGuardSlots, 7.0);
    std::vector<double> vapour = std::vector<double>(300 + kGuardSlots, 7.0);
    double plait_temperature = -5.0;
    std::int64_t message_code = 0;
    std::int64_t error_code = 0;

    /// Guards after the first `capacity` tie lines (and vapour points) too.
    void guard_after(std::size_t capacity) {
        std::fill(tie_lines.begin() + static_cast<std::ptrdiff_t>(6 * capacity), tie_lines.end(),
                  kGuard);
        std::fill(vapour.begin() + static_cast<std::ptrdiff_t>(3 * capacity), vapour.end(), kGuard);
    }
    Stores() {
        std::fill(point_counts.begin() + 3, point_counts.end(), -9);
        std::fill(envelope.begin() + 1800, envelope.end(), kGuard);
        guard_after(100);
    }
    void expect_guards_intact(std::size_t capacity) const {
        for (std::size_t i = 3; i < point_counts.size(); ++i) { EXPECT_EQ(point_counts[i], -9); }
        for (std::size_t i = 1800; i < envelope.size(); ++i) {
            ASSERT_EQ(envelope[i], kGuard) << i;
        }
        for (std::size_t i = 6 * capacity; i < tie_lines.size(); ++i) {
            ASSERT_EQ(tie_lines[i], kGuard) << i;
        }
        for (std::size_t i = 3 * capacity; i < vapour.size(); ++i) {
            ASSERT_EQ(vapour[i], kGuard) << i;
        }
    }
    Point envelope_point(std::size_t curve, std::size_t p) const {
        const std::size_t at = 3 * (200 * curve + p);
        return {envelope[at], envelope[at + 1], envelope[at + 2]};
    }
};

/// A 10-character option-set field, blank-padded and not terminated.
struct Field {
    char text[10];
    explicit Field(std::string_view name) {
        std::fill(std::begin(text), std::end(text), ' ');
        std::copy(name.begin(), name.end(), text);
    }
};

void call_lle(Stores& s,
              std::vector<std::int64_t> ids,
              std::string_view option_set,
              double T,
              double step = 0.1,
              std::int64_t n = 3) {
    const double P = kAtmosphere;
    const Field field(option_set);
    LLE_Envelope(&n, &P, &T, &step, ids.data(), field.text, &s.curve_count, s.point_counts.data(),
                 s.envelope.data(), &s.tie_line_count, s.tie_lines.data(), &s.message_code,
                 &s.error_code, 10);
}

void call_vlle(Stores& s,
               std::vector<std::int64_t> ids,
               std::string_view option_set,
               double step = 0.1,
               std::int64_t n = 3) {
    const double P = kAtmosphere;
    const Field field(option_set);
    VLLE_Envelope(&n, &P, &step, ids.data(), field.text, &s.curve_count, s.point_counts.data(),
                  s.envelope.data(), &s.tie_line_count, s.tie_lines.data(), s.vapour.data(),
                  &s.plait_temperature, &s.message_code, &s.error_code, 10);
}

/// Points "TEMP" at a fresh directory, so that the run log of one test can be read back.
class EnvelopeRoutines : public ::testing::Test {
protected:
    void SetUp() override {
        LLE_OPEN_PROBLEM();
        if (const char* t = std::getenv("TEMP")) { saved_ = t; }
        dir_ =
            scratch_directory() + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir_);
        std::filesystem::remove(dir_ + "/CorvRun.log");
        ::setenv("TEMP", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("TEMP", saved_->c_str(), 1);
        } else {
            ::unsetenv("TEMP");
        }
    }
    std::vector<std::string> run_log() const {
        std::ifstream in(dir_ + "/CorvRun.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) { lines.push_back(line); }
        return lines;
    }

private:
    std::optional<std::string> saved_;
    std::string dir_;
};

TEST_F(EnvelopeRoutines, CompletelyMiscibleTernaryGivesNoEnvelopeAndEmptyStores) {
    // Benzene/toluene/p-xylene (nrtl.tsv): nearly ideal, no pair splits.
    for (const bool vapour : {false, true}) {
        Stores s;
        if (vapour) {
            call_vlle(s, components({"BENZENE", "TOLUENE", "PXYLENE"}), "NRTL");
        } else {
            call_lle(s, components({"BENZENE", "TOLUENE", "PXYLENE"}), "NRTL", kRoomTemperature);
        }
        EXPECT_EQ(s.error_code, 0);
        EXPECT_EQ(s.message_code, 0);
        EXPECT_EQ(s.curve_count, 0);
        EXPECT_EQ(s.tie_line_count, 0);
        for (std::size_t c = 0; c < 3; ++c) { EXPECT_EQ(s.point_counts[c], 0); }
        for (std::size_t i = 0; i < 1800; ++i) { ASSERT_EQ(s.envelope[i], -1.0) << i; }
        EXPECT_EQ(s.plait_temperature, -5.0);  // no branch reached a plait point
        s.expect_guards_intact(100);
    }
    EXPECT_TRUE(run_log().empty());
}

TEST_F(EnvelopeRoutines, StoresOneEnvelopeWithItsTieLinesAndVapourPoints) {
    Stores s;
    call_vlle(s, components({"ETOH", "WATER", "BENZENE"}), "EWB");
    EXPECT_EQ(s.error_code, 0);
    EXPECT_EQ(s.message_code, 0);
    ASSERT_EQ(s.curve_count, 1);
    ASSERT_GT(s.tie_line_count, 2);
    EXPECT_EQ(s.point_counts[0], 2 * s.tie_line_count);
    EXPECT_EQ(s.point_counts[1], 0);
    const auto n = static_cast<std::size_t>(s.tie_line_count);
    // The envelope runs over the x' ends, then back over the x'' ends.
    for (std::size_t k = 0; k < n; ++k) {
        const Point x1{s.tie_lines[6 * k], s.tie_lines[6 * k + 1], s.tie_lines[6 * k + 2]};
        const Point x2{s.tie_lines[6 * k + 3], s.tie_lines[6 * k + 4], s.tie_lines[6 * k + 5]};
        EXPECT_EQ(s.envelope_point(0, k), x1);
        EXPECT_EQ(s.envelope_point(0, 2 * n - 1 - k), x2);
        EXPECT_NEAR(s.vapour[3 * k] + s.vapour[3 * k + 1] + s.vapour[3 * k + 2], 1.0, 1e-9);
    }
    for (std::size_t i = 3 * 2 * n; i < 1800; ++i) { ASSERT_EQ(s.envelope[i], -1.0) << i; }
    for (std::size_t i = 6 * n; i < 600; ++i) { ASSERT_EQ(s.tie_lines[i], -1.0) << i; }
    EXPECT_GT(s.plait_temperature, 337.0);
    EXPECT_LT(s.plait_temperature, 342.5);
    s.expect_guards_intact(100);

    // The same through the plain face: identical numbers.
    EnvelopeProblem p;
    p.variant = Variant::vapour_liquid_liquid;
    p.components = components({"ETOH", "WATER", "BENZENE"});
    p.pressure = kAtmosphere;
    p.option_set = "EWB";
    const EnvelopeResult r = trace_envelopes(p);
    ASSERT_EQ(r.tie_lines.size(), n);
    EXPECT_EQ(r.tie_lines.back().x2[2], s.tie_lines[6 * n - 1]);
    EXPECT_EQ(*r.plait_temperature, s.plait_temperature);
}

TEST_F(EnvelopeRoutines, ComponentCountOtherThanThreeOrBadArgumentsTraceNothing) {
    const std::vector<std::int64_t> ids = components({"ETOH", "WATER", "BENZENE", "ACETONE"});
    for (const std::int64_t n : {0, 2, 4, -3}) {
        Stores s;
        call_lle(s, ids, "EWB", kRoomTemperature, 0.1, n);
        EXPECT_EQ(s.error_code, -1) << n;
        EXPECT_EQ(s.message_code, 0) << n;
        EXPECT_EQ(s.curve_count, 0) << n;
        EXPECT_EQ(s.tie_line_count, 0) << n;
        EXPECT_EQ(s.point_counts[0], 0) << n;
        Stores v;
        call_vlle(v, ids, "EWB", 0.1, n);
        EXPECT_EQ(v.error_code, -1) << n;
        EXPECT_EQ(v.curve_count, 0) << n;
    }
    const std::vector<std::int64_t> good = components({"ETOH", "WATER", "BENZENE"});
    for (const double bad : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity()}) {
        Stores s;
        call_lle(s, good, "EWB", bad);  // temperature
        EXPECT_EQ(s.error_code, -1) << "T = " << bad;
        Stores t;
        call_lle(t, good, "EWB", kRoomTemperature, bad);  // step
        EXPECT_EQ(t.error_code, -1) << "step = " << bad;
    }
    // A component the host does not know (index 0), or one given twice, is no ternary.
    for (const auto& bad_ids : {std::vector<std::int64_t>{good[0], good[1], 0},
                                std::vector<std::int64_t>{good[0], good[1], good[1]}}) {
        Stores s;
        call_lle(s, bad_ids, "EWB", kRoomTemperature);
        EXPECT_EQ(s.error_code, -1);
        EXPECT_EQ(s.curve_count, 0);
    }
    // Null arguments: codes, no crash.
    std::int64_t error = 0, message = 0, n = 3;
    const double P = kAtmosphere, T = kRoomTemperature, h = 0.1;
    LLE_Envelope(&n, &P, &T, &h, good.data(), "EWB", nullptr, nullptr, nullptr, nullptr, nullptr,
                 &message, &error, 3);
    EXPECT_EQ(error, -1);
    VLLE_Envelope(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                  nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    EXPECT_TRUE(run_log().empty());
}

// Ethanol/water/benzene (EWB-1) at 340 K and 1 atm: the water/benzene edge is still below its
// heteroazeotrope (342.4 K), but ethanol lowers the bubble point to 337.2 K, so the trace runs
// into feeds that boil. The branch closes there, and no stored tie line is above its bubble
// point.
TEST_F(EnvelopeRoutines, LiquidLiquidTraceIntoBoilingFeedsGivesMessage513AndClosesTheBranch) {
    Stores s;
    s.error_code = 0;
    call_lle(s, components({"ETOH", "WATER", "BENZENE"}), "EWB", 340.0);
    EXPECT_EQ(s.message_code, 513);
    EXPECT_EQ(s.error_code, 0);  // 513 leaves the error code as it was
    ASSERT_EQ(s.curve_count, 1);
    ASSERT_GT(s.tie_line_count, 1);
    EXPECT_EQ(s.point_counts[0], 2 * s.tie_line_count);
    const host::Mixture model = mixture("EWB", {"ETOH", "WATER", "BENZENE"});
    for (std::int64_t k = 0; k < s.tie_line_count; ++k) {
        const auto at = static_cast<std::size_t>(6 * k);
        const Point x1{s.tie_lines[at], s.tie_lines[at + 1], s.tie_lines[at + 2]};
        const Point y = vapour_over(model, 340.0, kAtmosphere, x1);
        EXPECT_LE(y[0] + y[1] + y[2], 1.0 + 1e-9)
            << "tie line " << k << " is above its bubble point";
    }
    const std::vector<std::string> log = run_log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(),
              "This mixture is partially/totally a vapor at the given pressure and temperature");
    s.expect_guards_intact(100);
}

TEST_F(EnvelopeRoutines, StepSoSmallThatTheBranchOverflowsStopsAtTheCapacityWithStoresIntact) {
    Stores s;
    call_lle(s, components({"ETOH", "WATER", "BENZENE"}), "EWB", kRoomTemperature, 1e-4);
    EXPECT_EQ(s.error_code, 1);
    EXPECT_EQ(s.message_code, 501);
    ASSERT_EQ(s.curve_count, 1);
    EXPECT_EQ(s.tie_line_count, 100);
    EXPECT_EQ(s.point_counts[0], 200);
    s.expect_guards_intact(100);
    // What was traced is stored: the curve still starts and ends on the water/benzene edge.
    EXPECT_EQ(s.envelope_point(0, 0)[0], 0.0);
    EXPECT_EQ(s.envelope_point(0, 199)[0], 0.0);
    for (std::size_t p = 0; p < 200; ++p) {
        const Point x = s.envelope_point(0, p);
        EXPECT_NEAR(x[0] + x[1] + x[2], 1.0, 1e-9) << p;
    }
    const std::vector<std::string> log = run_log();
    ASSERT_EQ(log.size(), 1U);
    EXPECT_EQ(log[0], "Reached maximum number of points for the curve");
}

TEST_F(EnvelopeRoutines, TieLineCapacityGivenByTheCallerIsNeverExceeded) {
    const std::vector<std::int64_t> band = components({"WATER", "BENZENE", "TOLUENE"});
    // A capacity of 4 (a buffer of 4 tie lines): the first branch fills it, the second cannot
    // store even its edge tie line and is not started.
    {
        Stores s;
        s.tie_line_count = 4;
        s.guard_after(4);
        call_vlle(s, band, "WXULLE");
        EXPECT_EQ(s.error_code, 1);
        EXPECT_EQ(s.message_code, 501);
        EXPECT_EQ(s.tie_line_count, 4);
        EXPECT_EQ(s.curve_count, 1);
        EXPECT_EQ(s.point_counts[0], 8);
        EXPECT_EQ(s.point_counts[1], 0);
        s.expect_guards_intact(4);
    }
    // Room for all but the last two tie lines of ethanol/water/benzene, which the plait state
    // stores: its fill feeds m + r/3 (s - m), r = 1, 2, 3, are equally spaced on a line.
    {
        EnvelopeProblem p;
        p.components = components({"ETOH", "WATER", "BENZENE"});
        p.temperature = kRoomTemperature;
        p.pressure = kAtmosphere;
        p.option_set = "EWB";
        const EnvelopeResult full = trace_envelopes(p);
        const std::size_t n = full.tie_lines.size();
        ASSERT_GE(n, 4U);
        for (std::size_t c = 0; c < 3; ++c) {
            EXPECT_NEAR(full.tie_lines[n - 1].feed[c] - full.tie_lines[n - 2].feed[c],
                        full.tie_lines[n - 2].feed[c] - full.tie_lines[n - 3].feed[c], 1e-12);
        }
        Stores s;
        s.tie_line_count = static_cast<std::int64_t>(n - 2);
        s.guard_after(n - 2);
        call_lle(s, p.components, "EWB", kRoomTemperature);
        EXPECT_EQ(s.error_code, 1);
        EXPECT_EQ(s.message_code, 501);
        EXPECT_EQ(s.tie_line_count, static_cast<std::int64_t>(n - 2));
        EXPECT_EQ(s.point_counts[0], static_cast<std::int64_t>(2 * (n - 2)));
        s.expect_guards_intact(n - 2);
    }
    // No room at all.
    {
        Stores s;
        s.tie_line_count = 0;
        s.guard_after(0);
        call_lle(s, band, "WXULLE", kRoomTemperature);
        EXPECT_EQ(s.error_code, 1);
        EXPECT_EQ(s.curve_count, 0);
        EXPECT_EQ(s.tie_line_count, 0);
        s.expect_guards_intact(0);
    }
    // More than the store holds is taken as 100: a tiny step would otherwise run past the 200
    // point slots of an envelope.
    {
        Stores s;
        s.tie_line_count = 1000;
        call_lle(s, band, "WXULLE", kRoomTemperature, 1e-4);
        EXPECT_EQ(s.error_code, 1);
        EXPECT_LE(s.tie_line_count, 100);
        EXPECT_LE(s.point_counts[0], 200);
        s.expect_guards_intact(100);
    }
}

TEST_F(EnvelopeRoutines, ShorterTraceLeavesNoPointsOfAnEarlierOneBehind) {
    Stores s;
    call_lle(s, components({"WATER", "BENZENE", "TOLUENE"}), "WXULLE", kRoomTemperature);
    ASSERT_EQ(s.curve_count, 2);
    ASSERT_GT(s.point_counts[1], 0);
    s.tie_line_count = 100;
    call_lle(s, components({"ETOH", "WATER", "BENZENE"}), "EWB", kRoomTemperature);
    ASSERT_EQ(s.curve_count, 1);
    for (std::size_t i = 3 * static_cast<std::size_t>(s.point_counts[0]); i < 1800; ++i) {
        ASSERT_EQ(s.envelope[i], -1.0) << i;
    }
    EXPECT_EQ(s.point_counts[1], 0);
    EXPECT_EQ(s.point_counts[2], 0);
}

TEST_F(EnvelopeRoutines, FlashesThatDoNotConvergeGiveMessage502AndErrorCode2) {
    // One iteration per loop: no flash of a splitting feed can converge.
    const std::int64_t one = 1, index = 0;
    std::int64_t error = 0;
    SET_INT_PARAM("FLASHMAXIT", &index, &one, &error, 10);
    ASSERT_EQ(error, 0);
    Stores s;
    call_lle(s, components({"ETOH", "WATER", "BENZENE"}), "EWB", kRoomTemperature);
    ASSERT_EQ(open_problem(true), "");  // restores the file's flash settings
    EXPECT_EQ(s.error_code, 2);
    EXPECT_EQ(s.message_code, 502);
    EXPECT_EQ(s.curve_count, 0);  // nothing unconverged is stored as a tie line
    const std::vector<std::string> log = run_log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "Flash calculations did not convege.");
}

TEST(TieLineThroughFeed, GivesTheTwoLiquidsOrTheNoSplitMarkers) {
    const std::vector<double> a{0.1, 0.85, 0.05}, b{0.08, 0.02, 0.90};
    const TieLineThroughFeed split = tie_line_through_feed(a, b, 0.0, Variant::liquid_liquid);
    EXPECT_TRUE(split.split);
    EXPECT_EQ(split.x1, (Point{0.1, 0.85, 0.05}));
    EXPECT_EQ(split.x2, (Point{0.08, 0.02, 0.90}));
    const Point marker{-999.0, -999.0, -999.0};
    // One liquid: the liquids agree to 1e-4 (Euclidean).
    const std::vector<double> c{0.1 + 5e-5, 0.85 - 5e-5, 0.05};
    const TieLineThroughFeed one = tie_line_through_feed(a, c, 0.0, Variant::liquid_liquid);
    EXPECT_FALSE(one.split);
    EXPECT_EQ(one.x1, marker);
    EXPECT_EQ(one.x2, marker);
    // All vapour: no split for the liquid-liquid tie line, even with two different liquids; the
    // bubble-point tie line does not look at the vapour fraction.
    EXPECT_FALSE(tie_line_through_feed(a, b, 1.0, Variant::liquid_liquid).split);
    EXPECT_TRUE(tie_line_through_feed(a, b, 0.4, Variant::liquid_liquid).split);
    EXPECT_TRUE(tie_line_through_feed(a, b, 1.0, Variant::vapour_liquid_liquid).split);
    // Malformed input is no split.
    EXPECT_FALSE(
        tie_line_through_feed(std::vector<double>{0.5, 0.5}, b, 0.0, Variant::liquid_liquid).split);
    EXPECT_FALSE(
        tie_line_through_feed(std::vector<double>{NAN, 0.5, 0.5}, b, 0.0, Variant::liquid_liquid)
            .split);
}

}  // namespace
}  // namespace lle::testing
