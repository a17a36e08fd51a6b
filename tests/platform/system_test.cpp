#include "platform/system.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

using namespace platform;

TEST(System, ReadsEnvironmentVariablesTellingUnsetFromEmpty) {
    ::setenv("PLATFORM_TEST_VALUE", "/var/tmp", 1);
    EXPECT_EQ(get_environment_variable("PLATFORM_TEST_VALUE"), "/var/tmp");
    ::setenv("PLATFORM_TEST_VALUE", "", 1);
    EXPECT_EQ(get_environment_variable("PLATFORM_TEST_VALUE"), "");
    ::unsetenv("PLATFORM_TEST_VALUE");
    EXPECT_EQ(get_environment_variable("PLATFORM_TEST_VALUE"), std::nullopt);
}

TEST(System, JoinsPathsWithOneSeparator) {
    EXPECT_EQ(join_path("/tmp", "CorvRun.log"), "/tmp/CorvRun.log");
    EXPECT_EQ(join_path("/tmp/", "CorvRun.log"), "/tmp/CorvRun.log");
    EXPECT_EQ(join_path("", "CDDebug.log"), "CDDebug.log");
}

// Expected names follow the Windows 8.3 generation rules: names that fit are kept, others lose
// blanks and extra dots, get "_" for + , ; = [ ] and foreign characters, six characters of base,
// "~1", three of extension, upper case.
TEST(System, BuildsShortFileNamesTheWindowsWay) {
    EXPECT_EQ(short_file_name("ProblemDefinition.inp"), "PROBLE~1.INP");
    EXPECT_EQ(short_file_name("my.long.file.pdf"), "MYLONG~1.PDF");
    EXPECT_EQ(short_file_name("archive.tar.gz"), "ARCHIV~1.GZ");
    EXPECT_EQ(short_file_name("readme.markdown"), "README~1.MAR");
    EXPECT_EQ(short_file_name("a b.txt"), "AB~1.TXT");
    EXPECT_EQ(short_file_name("x+y.inp"), "X_Y~1.INP");
    EXPECT_EQ(short_file_name("r\xC3\xA9sum\xC3\xA9.doc"), "R_SUM_~1.DOC");
    EXPECT_EQ(short_file_name(".profile"), "PROFIL~1");
    EXPECT_EQ(short_file_name("test.inp"), "test.inp");  // fits: unchanged
    EXPECT_EQ(short_file_name("ABCDEFGH.TXT"), "ABCDEFGH.TXT");
    EXPECT_EQ(short_file_name("ABCDEFGHI"), "ABCDEF~1");
}

TEST(System, ShortPathNeedsAnExistingFileAndKeepsTheDirectory) {
    const auto dir = std::filesystem::temp_directory_path() / "platform short path test";
    std::filesystem::create_directories(dir);
    const auto file = dir / "ethanol-water-benzene.inp";
    std::ofstream(file) << "x";
    const auto shortened = short_path_name(file.string());
    ASSERT_TRUE(shortened);
    EXPECT_EQ(*shortened, (dir / "ETHANO~1.INP").string());
    // The run id is the short name without extension: at most 8 characters.
    EXPECT_EQ(std::filesystem::path(*shortened).stem().string(), "ETHANO~1");
    EXPECT_EQ(short_path_name((dir / "missing.inp").string()), std::nullopt);
    EXPECT_EQ(short_path_name(""), std::nullopt);
    std::filesystem::remove_all(dir);
}

TEST(System, MessageBoxGoesToTheSinkAndNeverBlocks) {
    {
        MessageCapture outer;
        {
            MessageCapture inner;
            EXPECT_EQ(MessageBox("Failed to Load PropServe.dll", "Error", MB_ICONERROR), IDOK);
            ASSERT_EQ(inner.messages().size(), 1u);
            EXPECT_EQ(inner.messages()[0].text, "Failed to Load PropServe.dll");
            EXPECT_EQ(inner.messages()[0].caption, "Error");
            EXPECT_EQ(inner.messages()[0].flags, MB_ICONERROR);
        }
        MessageBox("Terminal errors in Propcore initialization", {}, MB_TASKMODAL);
        ASSERT_EQ(outer.messages().size(), 1u);  // the inner capture restored the outer one
        EXPECT_EQ(outer.messages()[0].caption, "");
    }
    // The default sink writes caption and text to standard error.
    testing::internal::CaptureStderr();
    MessageBox("Error calling pflash!", "TARNDistil");
    MessageBox("no caption");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "TARNDistil: Error calling pflash!\nno caption\n");

    // A sink that fails does not turn the report into a second failure.
    auto previous = set_message_sink([](std::string_view, std::string_view, std::uint32_t) {
        throw std::runtime_error("sink failed");
    });
    EXPECT_EQ(MessageBox("text"), IDOK);
    set_message_sink(std::move(previous));
}
