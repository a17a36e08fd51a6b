#include "platform/loader.hpp"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;

TEST(Loader, MapsWindowsNamesToSharedObjectNames) {
    EXPECT_EQ(library_file_name("PropServe.dll"), "libpropserve.so");
    EXPECT_EQ(library_file_name("propserve.dll"), "libpropserve.so");
    EXPECT_EQ(library_file_name("PHASEEQ.DLL"), "libphaseeq.so");
    EXPECT_EQ(library_file_name("zeTARNInp"), "libzetarninp.so");  // no extension means .dll
    EXPECT_EQ(library_file_name("hostrtl."), "libhostrtl.so");     // trailing dot: no extension
    EXPECT_EQ(library_file_name("libm.so.6"), "libm.so.6");        // native names pass unchanged
    EXPECT_EQ(library_file_name("C:\\Hosts\\PropServe.dll"), "C:/Hosts/libpropserve.so");
    EXPECT_EQ(library_file_name("/opt/host/PropServe.dll"), "/opt/host/libpropserve.so");
}

TEST(Loader, SearchesBesideTheRuntimeFirstAndTheSystemPathLast) {
    const auto paths = library_search_paths("PlatformTestLib.dll");
    ASSERT_GE(paths.size(), 2u);
    // The runtime is libplatform.so in the build's lib/ folder, where the test library lies too.
    EXPECT_EQ(std::filesystem::path(paths.front()).filename(), "libplatformtestlib.so");
    EXPECT_TRUE(std::filesystem::exists(paths.front())) << paths.front();
    EXPECT_EQ(paths.back(), "libplatformtestlib.so");
    // A name with a directory is looked for only there.
    EXPECT_EQ(library_search_paths("/nowhere/PropServe.dll"),
              std::vector<std::string>{"/nowhere/libpropserve.so"});
}

TEST(Loader, LoadsAndResolvesAndFindsLoadedModulesWithoutLoading) {
    EXPECT_EQ(GetModuleHandleA("PlatformTestLib"), nullptr);  // not loaded yet, and not loaded now
    EXPECT_EQ(GetModuleHandleA("PlatformTestLib"), nullptr);

    HMODULE h = LoadLibraryA("PlatformTestLib.dll");
    ASSERT_NE(h, nullptr) << loader_last_error();
    EXPECT_EQ(GetModuleHandleA("platformtestlib.dll"), h);

    using Answer = int (*)(int);
    using Count = int (*)();
    auto answer = reinterpret_cast<Answer>(GetProcAddress(h, "platformtestlib_answer"));
    auto count = reinterpret_cast<Count>(GetProcAddress(h, "platformtestlib_count"));
    ASSERT_NE(answer, nullptr);
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(answer(20), 41);
    EXPECT_EQ(GetProcAddress(h, "no_such_routine"), nullptr);
    EXPECT_FALSE(loader_last_error().empty());

    // A second load is the same module with its state.
    EXPECT_EQ(count(), 1);
    HMODULE again = LoadLibraryA("PLATFORMTESTLIB.DLL");
    EXPECT_EQ(again, h);
    EXPECT_EQ(count(), 2);
    EXPECT_NE(FreeLibrary(again), 0);
    EXPECT_EQ(GetModuleHandleA("PlatformTestLib.dll"), h);  // one reference is left
    EXPECT_NE(FreeLibrary(h), 0);
    EXPECT_EQ(GetModuleHandleA("PlatformTestLib.dll"), nullptr);
}

TEST(Loader, ReportsFailuresAsNullHandles) {
    EXPECT_EQ(LoadLibraryA("NoSuchLibrary.dll"), nullptr);
    EXPECT_FALSE(loader_last_error().empty());
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "platformtestlib_answer"), nullptr);
    EXPECT_EQ(FreeLibrary(nullptr), 0);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);         // the running program
    EXPECT_NE(GetModuleHandleA("Platform.dll"), nullptr);  // this runtime, loaded at start-up
}
