#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/core/util_funcs.hpp"
#include "platform/system.hpp"

using engine::core::CUtilFuncs;
namespace fs = std::filesystem;

namespace {

class Trace : public testing::Test {
protected:
    void SetUp() override {
        if (const char* t = std::getenv("TMP")) { saved_ = t; }
        char pattern[] = "/tmp/traceXXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::setenv("TMP", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("TMP", saved_->c_str(), 1);
        } else {
            ::unsetenv("TMP");
        }
        fs::remove_all(dir_);
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::optional<std::string> saved_;
};

}  // namespace

TEST_F(Trace, WithWritingOffNeverCreatesAFile) {
    CUtilFuncs u;
    EXPECT_EQ(u.TraceToFile("Distil::get_PropertyPackage Called ** ThreadId = 1 (0x1)\n",
                            "trace.log", false),
              1);
    EXPECT_EQ(u.TraceToFile("Microsoft Win32s \n"), 1);  // default name, writing off
    EXPECT_TRUE(fs::is_empty(dir_));
    EXPECT_EQ(u.trace_path("trace.log"), (dir_ / "trace.log").string());
    EXPECT_EQ(u.trace_path(), (dir_ / "CDDebug.log").string());
}

TEST_F(Trace, WithWritingOnReplacesTheFileContent) {
    CUtilFuncs u;
    EXPECT_EQ(u.TraceToFile("first line\n", {}, true), 1);
    EXPECT_EQ(read(dir_ / "CDDebug.log"), "first line\n");
    EXPECT_EQ(u.TraceToFile("second\n", {}, true), 1);
    EXPECT_EQ(read(dir_ / "CDDebug.log"), "second\n");  // opened "wt": the old text is gone
}

TEST_F(Trace, FailuresAreSilentExceptAFailedWrite) {
    platform::MessageCapture capture;
    CUtilFuncs u;
    EXPECT_EQ(u.TraceToFile("x", "missing dir/trace.log", true), 1);  // cannot open: skipped
    EXPECT_TRUE(capture.messages().empty());

    // /dev/full opens but every write fails (ENOSPC).
    ::setenv("TMP", "/dev", 1);
    CUtilFuncs dev;
    EXPECT_EQ(dev.TraceToFile(std::string(1 << 16, 'x'), "full", true), 1);
    ASSERT_EQ(capture.messages().size(), 1u);
    EXPECT_EQ(capture.messages()[0].text, "Error writing file: /dev/full, in TraceToFile");
    EXPECT_EQ(capture.messages()[0].caption, "TARNCom");
}

TEST_F(Trace, TakesTheDirectoryFromTmpWhenTheObjectIsBuilt) {
    ::setenv("TMP", std::string(300, 'd').c_str(), 1);  // longer than the 260-byte buffer
    EXPECT_EQ(CUtilFuncs().trace_path(), "CDDebug.log");
    ::unsetenv("TMP");
    EXPECT_EQ(CUtilFuncs().tmp_directory(), "");
    ::setenv("TMP", "/var/tmp/", 1);
    CUtilFuncs u;
    ::setenv("TMP", "/elsewhere", 1);
    EXPECT_EQ(u.trace_path("a.log"), "/var/tmp/a.log");
}
