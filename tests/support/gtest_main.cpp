// Test entry for the core tests: loopback-only traffic, and a run fails if anything tried otherwise.
#include "core/web/loopback_guard.h"

#include <cstdio>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    sendwell::SetLoopbackOnly(true);
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    if (sendwell::GuardRefusals() != 0) {
        std::fprintf(stderr, "FAILED: %ld request(s) tried to leave the loopback interface\n",
                     sendwell::GuardRefusals());
        return 1;
    }
    return rc;
}
