// A JNIEnv that needs no JVM: the host of Pallwick.dll under Wine, where no JVM runs, and a second
// opinion on libPallwick.so beside the real one. It provides the slots that the library, its hosts
// and the test harness call; every other slot of the table reports its own name as a breach.
// Beneath it is a small object model (java.lang.String in modified UTF-8 as JNI defines it, object,
// int and double arrays, java.util.Vector and the host classes, each member found by name and
// signature as the JVM finds it), and it keeps JNI's rules more strictly than -Xcheck:jni: every
// breach is recorded.
//
// One stand-in serves the thread that made it, as a JNIEnv does.
#pragma once

#include "tests/standin/JniFaultPlan.h"

#include <jni.h>

#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

namespace standin {
struct EnvBlock;
}

class JniStandIn {
  public:
    JniStandIn();
    ~JniStandIn();
    JniStandIn(const JniStandIn&) = delete;
    JniStandIn& operator=(const JniStandIn&) = delete;

    JNIEnv* env();

    // What the JVM does around a call of a native method. Enter gives the callee a fresh local
    // frame of the 16 references JNI guarantees. Leave checks that every chars and array
    // elements the callee got were released, drops the callee's frame (and any frame it pushed
    // and left), and returns result, a reference of the callee's, as a new local reference of
    // the caller's frame (null stays null).
    void EnterNativeMethod();
    jobject LeaveNativeMethod(jobject result);

    // The breaches of JNI's rules recorded since the last call, oldest first, each one line that
    // starts with the JNI function's name ("GetStringUTFChars: called with an exception
    // pending"); the list is emptied.
    std::vector<std::string> TakeBreaches();

    // The calls a JVM may fail (JniCall: finding classes and members, making strings, arrays and
    // objects, handing out chars and elements, storing and fetching elements, calling methods),
    // counted when a native method makes them through env(). FailNthFallibleCall restarts the
    // count and makes the k-th such call from now fail as a JVM short of memory does, returning
    // null or zero with java.lang.OutOfMemoryError pending (0: none fails); FallibleCallCount is
    // the count since.
    void FailNthFallibleCall(unsigned long long k);
    unsigned long long FallibleCallCount() const;

    // A second env of a stand-in (standInEnv is one of its envs), for the calls of one export
    // that a test makes fail: the same objects, references, frames and rules, but the calls that
    // native methods make through it meet plan, where those through env() meet the stand-in's
    // own. It must outlive neither the stand-in nor the plan.
    class FailingEnv {
      public:
        FailingEnv(JNIEnv* standInEnv, JniFaultPlan& plan);
        ~FailingEnv();
        FailingEnv(const FailingEnv&) = delete;
        FailingEnv& operator=(const FailingEnv&) = delete;
        JNIEnv* env();

      private:
        std::unique_ptr<standin::EnvBlock> block_;
    };

    // The state behind the table: classes, objects, references, frames.
    struct State;

  private:
    std::unique_ptr<State> state_;
};
