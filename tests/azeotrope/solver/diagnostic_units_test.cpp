// The diagnostic unit table: defaults, connections, and a unit connected to nothing while a
// search runs.
#include "azeotrope/solver/diagnostic_units.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/azeotrope/solver/funeq_harness.hpp"
#include "tests/azeotrope/solver/standard_problems.hpp"

namespace azeotrope::solver {
namespace {

// Redirects a standard stream into a string for the lifetime of the object.
class StreamCapture {
public:
    explicit StreamCapture(std::ostream& stream)
        : stream_(stream), old_(stream.rdbuf(buffer_.rdbuf())) {}
    ~StreamCapture() { stream_.rdbuf(old_); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;
    std::string text() const { return buffer_.str(); }

private:
    std::ostream& stream_;
    std::ostringstream buffer_;
    std::streambuf* old_;
};

TEST(DiagnosticUnits, DefaultsConnectionsAndReset) {
    StreamCapture err(std::cerr);
    StreamCapture out(std::cout);
    write_unit_line(0, "to standard error");
    write_unit_line(6, "to standard output");
    write_unit_line(7, "discarded: not connected");
    write_unit_line(-1, "discarded: no such unit");
    write_unit_line(100, "discarded: no such unit");
    EXPECT_EQ(err.text(), "to standard error\n");
    EXPECT_EQ(out.text(), "to standard output\n");

    std::ostringstream seven;
    connect_unit(7, seven);
    write_unit_line(7, "now kept");
    EXPECT_EQ(seven.str(), "now kept\n");
    EXPECT_EQ(unit_connection(7).kind, UnitConnection::Kind::stream);
    reset_unit(7);
    write_unit_line(7, "discarded again");
    EXPECT_EQ(seven.str(), "now kept\n");

    {
        std::ostringstream inner;
        ScopedUnitConnection scoped(6, inner);
        write_unit_line(6, "to the scoped stream");
        EXPECT_EQ(inner.str(), "to the scoped stream\n");
    }
    write_unit_line(6, "standard output again");
    EXPECT_EQ(out.text(), "to standard output\nstandard output again\n");
    connect_unit(200, seven);  // ignored, no effect on anything
    EXPECT_EQ(unit_connection(200).kind, UnitConnection::Kind::standard);
}

TEST(DiagnosticUnits, UnitZeroConnectedToNothingWritesNothing) {
    const bool nul_before = std::filesystem::exists("NUL");
    StreamCapture err(std::cerr);
    {
        // As a search does for its duration: every solver text on unit 0 disappears.
        ScopedUnitConnection silence(0);
        testing::FuneqHarness h(2, 2);
        h.minpack_like_settings();
        h.ip(ipar::kPrintLevel) = 10;  // everything the solver can write, on unit 0
        h.x = {0.5, -2.0};             // Freudenstein-Roth stalls from here
        EXPECT_GT(h.run(testing::freudenstein_roth), 1);
        h.call();  // IFLAG 10: its two lines go to unit 0 as well
        EXPECT_EQ(h.iflag, 10);
    }
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(std::filesystem::exists("NUL"), nul_before);  // no file stands in for the device

    // Afterwards unit 0 is standard error again.
    testing::FuneqHarness h(2, 2);
    h.minpack_like_settings();
    h.ip(ipar::kPrintLevel) = 3;
    h.x = {0.5, -2.0};
    EXPECT_GT(h.run(testing::freudenstein_roth), 1);
    EXPECT_NE(err.text().find(" ERROR RETURN FROM NONLINEAR EQUATION SOLVER FUNEQ2/FUNEQ1"),
              std::string::npos);
}

}  // namespace
}  // namespace azeotrope::solver
