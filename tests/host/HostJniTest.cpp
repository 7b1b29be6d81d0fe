#include "tests/host/HostJni.h"

#include "tests/standin/JniStandIn.h"

#include <gtest/gtest.h>

namespace {

// What an export leaves pending is printed by its class's own name, then cleared, so that the
// next call runs with no exception pending.
TEST(PrintPendingExceptionTest, NamesTheClassAndClears) {
    JniStandIn standIn;
    JNIEnv* env = standIn.env();
    EXPECT_FALSE(PrintPendingException(env, "exception"));
    jclass thrown = env->FindClass("java/lang/NullPointerException");
    ASSERT_NE(nullptr, thrown);
    ASSERT_EQ(0, env->ThrowNew(thrown, "from an export"));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(PrintPendingException(env, "exception"));
    EXPECT_EQ("exception java.lang.NullPointerException\n", testing::internal::GetCapturedStdout());
    EXPECT_FALSE(env->ExceptionCheck());
    EXPECT_TRUE(standIn.TakeBreaches().empty());
}

} // namespace
