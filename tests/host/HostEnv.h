// The JNIEnv a host run calls the exports with, and what the JVM does around a native method:
// the JNI stand-in by default, or a real JVM embedded in the process (Linux). The scenarios see
// only this, so the two are compared on exactly the same calls.
#pragma once

#include <jni.h>

#include <memory>
#include <string>
#include <vector>

class HostEnv {
  public:
    virtual ~HostEnv() = default;

    virtual JNIEnv* env() = 0;

    // The frame of one native method call: a fresh local frame of the 16 references JNI
    // guarantees on entry; on leaving, the callee's references lapse and result comes back as a
    // reference of the caller's frame.
    virtual void EnterNativeMethod() = 0;
    virtual jobject LeaveNativeMethod(jobject result) = 0;

    // The breaches of JNI's rules noticed since the last call, one line each; the list empties.
    virtual std::vector<std::string> TakeBreaches() = 0;
};

std::unique_ptr<HostEnv> MakeStandInHostEnv();

// Null, with the reason on stderr, where no JVM can be embedded.
std::unique_ptr<HostEnv> MakeJvmHostEnv();
