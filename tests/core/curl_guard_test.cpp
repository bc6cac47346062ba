#include "core/web/loopback_guard.h"
#include "core/web/url_parts.h"

#include <gtest/gtest.h>

namespace sendwell {
namespace {

TEST(LoopbackGuard, RecognisesLoopbackHostsOnly) {
    EXPECT_TRUE(IsLoopbackHost("127.0.0.1"));
    EXPECT_TRUE(IsLoopbackHost("127.12.0.9"));
    EXPECT_TRUE(IsLoopbackHost("LocalHost"));
    EXPECT_TRUE(IsLoopbackHost("::1"));
    EXPECT_FALSE(IsLoopbackHost("127.0.0.1.example"));
    EXPECT_FALSE(IsLoopbackHost("128.0.0.1"));
    EXPECT_FALSE(IsLoopbackHost("localhost.example"));
    EXPECT_FALSE(IsLoopbackHost(""));
}

TEST(LoopbackGuard, ExtractsTheHostOfAnAddress) {
    EXPECT_EQ(UrlHost("http://127.0.0.1:8080/a?b"), "127.0.0.1");
    EXPECT_EQ(UrlHost("https://user:pw@www.a.b/x"), "www.a.b");
    EXPECT_EQ(UrlHost("http://[::1]:80/"), "::1");
    EXPECT_EQ(UrlHost("www.a.b/x"), "www.a.b");
    EXPECT_EQ(UrlHost("http://h?q=a/b"), "h");
}

TEST(LoopbackGuard, IsOnInTestsAndLetsLoopbackThrough) {
    ASSERT_TRUE(LoopbackOnly());
    long before = GuardRefusals();
    EXPECT_TRUE(GuardAllows("http://127.0.0.1:1/x"));
    EXPECT_TRUE(GuardAllows("http://localhost/", "127.0.0.1:3128"));
    EXPECT_EQ(GuardRefusals(), before);
}

} // namespace
} // namespace sendwell
