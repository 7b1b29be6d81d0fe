// The env an export gets in place of the test's own while the object lives: every call goes on to
// the test's env, but the calls its fault plan names fail as a JVM short of classes, memory or luck
// fails them (tests/standin/JniFaultPlan.h): the call is not made, an exception is left pending and
// the call returns null (or zero). The test's own calls through its env are neither failed nor
// counted. Over a real JVM it is a forwarding env (FailingJniEnv.cpp); over the JNI stand-in, a
// second env of the stand-in (StandInHarness.cpp), so that a fault means the same on both builds.
#pragma once

#include "tests/standin/JniFaultPlan.h"

#include <jni.h>

#include <memory>

class FailingJniEnv {
  public:
    explicit FailingJniEnv(JNIEnv* env);
    ~FailingJniEnv();
    FailingJniEnv(const FailingJniEnv&) = delete;
    FailingJniEnv& operator=(const FailingJniEnv&) = delete;

    // The env to hand to an export.
    JNIEnv* env();

    void Fail(const JniFault& fault) { plan_.Fail(fault); }
    // Calls of a kind that can fail made so far through env(), failed ones included; with Any,
    // all of them.
    int Calls(JniCall call = JniCall::Any) const { return plan_.Calls(call); }
    int Failures() const { return plan_.Failures(); }

  private:
    struct Env;
    JniFaultPlan plan_;
    std::unique_ptr<Env> env_;
};
