#include "engine/core/run_log.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/core/messages.hpp"

using namespace engine::core;
namespace fs = std::filesystem;

namespace {

// Points "TEMP" at a fresh directory for one test and restores it afterwards.
class RunLog : public testing::Test {
protected:
    void SetUp() override {
        if (const char* t = std::getenv("TEMP")) { saved_ = t; }
        char pattern[] = "/tmp/runlogXXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::setenv("TEMP", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("TEMP", saved_->c_str(), 1);
        } else {
            ::unsetenv("TEMP");
        }
        fs::remove_all(dir_);
    }
    fs::path log() const { return dir_ / "CorvRun.log"; }
    std::string content() const {
        std::ifstream in(log());
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::optional<std::string> saved_;
};

}  // namespace

TEST_F(RunLog, WritesTheTextsOfCodes501To513Only) {
    EXPECT_FALSE(append_to_run_log(500));
    EXPECT_FALSE(append_to_run_log(514));
    EXPECT_FALSE(append_to_run_log(0));
    EXPECT_FALSE(fs::exists(log()));  // nothing written, not even an empty file

    EXPECT_TRUE(append_to_run_log(501));
    EXPECT_TRUE(append_to_run_log(Message::mixture_is_vapour));
    EXPECT_EQ(content(),
              "Reached maximum number of points for the curve\n"
              "This mixture is partially/totally a vapor at the given pressure and temperature\n");
}

TEST_F(RunLog, ByReferenceFormUsesOnlyTheCodeAndAlwaysReturnsOne) {
    const std::int64_t flash = 502, none = 514;
    // Two 15-character fields, blank-padded and not terminated.
    const char routine[15] = {'R', 'C', 'M', '_', 'F', 'U', 'N', ' ',
                              ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    const char text[15] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                           ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    EXPECT_EQ(WRITE_RUN_LOG(&flash, routine, text, 15, 15), 1);
    EXPECT_EQ(WRITE_RUN_LOG(&none, routine, text, 15, 15), 1);
    EXPECT_EQ(WRITE_RUN_LOG(nullptr, nullptr, nullptr, 0, 0), 1);
    EXPECT_EQ(content(), "Flash calculations did not convege.\n");
}

TEST_F(RunLog, IsSkippedWithoutTempOrAWritableDirectory) {
    ::unsetenv("TEMP");
    EXPECT_EQ(run_log_path(), std::nullopt);
    EXPECT_FALSE(append_to_run_log(503));
    const std::int64_t code = 503;
    EXPECT_EQ(WRITE_RUN_LOG(&code, "Azeo_Search    ", "               ", 15, 15), 1);
    ::setenv("TEMP", "", 1);
    EXPECT_FALSE(append_to_run_log(503));
    ::setenv("TEMP", (dir_ / "no such directory").c_str(), 1);
    EXPECT_FALSE(append_to_run_log(503));
    ::setenv("TEMP", dir_.c_str(), 1);
    EXPECT_FALSE(fs::exists(log()));
    EXPECT_EQ(run_log_path(), (dir_ / "CorvRun.log").string());
}

TEST(Messages, CodesMapToStringTableEntriesCodeMinus400) {
    for (std::int64_t code = 501; code <= 513; ++code) {
        EXPECT_EQ(message_string_id(code), static_cast<std::uint32_t>(code - 400)) << code;
        EXPECT_FALSE(message_text(code).empty()) << code;
    }
    EXPECT_EQ(message_string_id(0), std::nullopt);
    EXPECT_EQ(message_string_id(500), std::nullopt);
    EXPECT_EQ(message_string_id(514), std::nullopt);
    EXPECT_EQ(message_text(Message::fatal_flash_error), "Fatal flash error");
    EXPECT_EQ(message_text(Message::eigen_error),
              "Error in eigen value / eigen vector calculations");
    EXPECT_EQ(message_text(Message::none), "");
    EXPECT_EQ(static_cast<std::int64_t>(Message::topological_constraint_not_met), 511);
}
