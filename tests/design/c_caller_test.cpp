// Runs the plain C caller of the exported routines (c_caller.c).
#include <gtest/gtest.h>

#include <cstddef>

extern "C" int design_c_caller_run(char* failure, std::size_t failure_size);

namespace {

TEST(ExportedRoutines, APlainCCallerWithZeroSizesAndShortBuffersGetsCodesNotCrashes) {
    char failure[256] = {};
    EXPECT_EQ(design_c_caller_run(failure, sizeof failure), 0) << "first failure: " << failure;
}

}  // namespace
