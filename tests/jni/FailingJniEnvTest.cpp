#include "tests/support/FailingJniEnv.h"
#include "tests/support/JvmHarness.h"

namespace {

class FailingJniEnvTest : public JvmTest {};

// Fault simulations count on these: which call fails, how often, and what is counted.
TEST_F(FailingJniEnvTest, ChosenCallsFailInTurnAndEveryFallibleCallIsCounted) {
    FailingJniEnv failing(env);
    JNIEnv* jni = failing.env();
    failing.Fail({JniCall::FindClass, "java/util/Vector", 1, 2});
    jclass found = jni->FindClass("java/util/Vector");
    EXPECT_NE(nullptr, found) << "the first is let through";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(nullptr, jni->FindClass("java/util/Vector"));
        EXPECT_TRUE(env->ExceptionCheck());
        env->ExceptionClear();
    }
    EXPECT_NE(nullptr, jni->FindClass("java/util/Vector")) << "two failures, then success";
    EXPECT_NE(nullptr, jni->FindClass("java/lang/String")) << "another class is not named";

    // A method call fails by the name GetMethodID found it under, through the variadic form.
    failing.Fail({JniCall::CallBooleanMethod, "add"});
    jobject vector = jni->NewObject(found, jni->GetMethodID(found, "<init>", "()V"));
    ASSERT_NE(nullptr, vector);
    jmethodID add = jni->GetMethodID(found, "add", "(Ljava/lang/Object;)Z");
    EXPECT_EQ(JNI_FALSE, jni->CallBooleanMethod(vector, add, vector));
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    EXPECT_EQ(JNI_TRUE, jni->CallBooleanMethod(vector, add, vector));

    EXPECT_EQ(5, failing.Calls(JniCall::FindClass));
    EXPECT_EQ(3, failing.Failures());
    EXPECT_EQ(5 + 1 + 2 + 2, failing.Calls());
}

// A test makes its arguments and reads its results on its own env while the export's env fails:
// those calls neither fail nor count, on a real JVM and inside the DLL's stand-in alike.
TEST_F(FailingJniEnvTest, TheTestsOwnCallsMeetNoFault) {
    FailingJniEnv failing(env);
    failing.Fail({JniCall::NewStringUTF, "", 0, -1});
    jstring own = env->NewStringUTF("made by the test");
    EXPECT_NE(nullptr, own);
    EXPECT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(0, failing.Calls());
    EXPECT_EQ(nullptr, failing.env()->NewStringUTF("made by the export"));
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    EXPECT_EQ(1, failing.Calls(JniCall::NewStringUTF));
    EXPECT_EQ(1, failing.Failures());
    env->DeleteLocalRef(own);
}

} // namespace
