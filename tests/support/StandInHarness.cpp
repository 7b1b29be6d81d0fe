// The harness over the JNI stand-in, for the exports of Pallwick.dll under Wine. Each test runs
// as the body of one native method call: the stand-in checks at its end that every chars and
// array elements were given back, and each breach it recorded fails the test.
#include "tests/support/JvmHarness.h"

#include "tests/standin/JniStandIn.h"
#include "tests/support/FailingJniEnv.h"

#include <string>

namespace {

// One stand-in serves the thread that made it: the test thread, made in main.
JniStandIn* g_standIn = nullptr;

void ReportBreaches() {
    for (const std::string& breach : g_standIn->TakeBreaches()) {
        ADD_FAILURE() << "JNI stand-in: " << breach;
    }
}

} // namespace

JNIEnv* TestJniEnv() {
    return g_standIn != nullptr ? g_standIn->env() : nullptr;
}

struct ThreadJniEnv::Owned {
    JniStandIn standIn;
};

ThreadJniEnv::ThreadJniEnv() : owned_(new Owned), env_(owned_->standIn.env()) {}

ThreadJniEnv::~ThreadJniEnv() {
    for (const std::string& breach : owned_->standIn.TakeBreaches()) {
        ADD_FAILURE() << "JNI stand-in of another thread: " << breach;
    }
}

// A second env of the stand-in that env belongs to, its calls meeting the plan.
struct FailingJniEnv::Env {
    Env(JNIEnv* env, JniFaultPlan& plan) : second(env, plan) {}
    JniStandIn::FailingEnv second;
};

FailingJniEnv::FailingJniEnv(JNIEnv* env) : env_(new Env(env, plan_)) {}

FailingJniEnv::~FailingJniEnv() = default;

JNIEnv* FailingJniEnv::env() {
    return env_->second.env();
}

void JvmTest::SetUp() {
    env = TestJniEnv();
    ASSERT_NE(nullptr, env);
    g_standIn->EnterNativeMethod();
    ASSERT_EQ(0, env->PushLocalFrame(kTestLocalFrameCapacity));
}

void JvmTest::TearDown() {
    if (env == nullptr) {
        return;
    }
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        ADD_FAILURE() << "a Java exception was left pending";
        env->ExceptionClear();
    }
    env->PopLocalFrame(nullptr);
    g_standIn->LeaveNativeMethod(nullptr);
    ReportBreaches();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    JniStandIn standIn;
    g_standIn = &standIn;
    int result = RUN_ALL_TESTS();
    g_standIn = nullptr;
    return result;
}
