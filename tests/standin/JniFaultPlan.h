// Which JNI calls fail, for the one env a plan belongs to: the JNI stand-in's (its own, or a second
// env of it) or the forwarding env over a real JVM (tests/support/FailingJniEnv). A call that
// fails is not made: it leaves an exception pending and returns null (or zero), as a JVM short of
// classes, memory or luck would. Both kinds of env ask the same plan, so that a test's faults mean
// the same on libPallwick.so under a JVM and on Pallwick.dll under the stand-in.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

// The calls that can fail, each standing for the slot C++ callers reach (NewObject for NewObjectV,
// Call<Type>Method for Call<Type>MethodV).
enum class JniCall {
    Any,
    FindClass,
    GetMethodID,
    GetFieldID,
    GetStringUTFChars,
    GetStringLength,
    GetStringChars,
    GetIntArrayElements,
    GetObjectArrayElement,
    SetObjectArrayElement,
    SetIntArrayRegion,
    SetDoubleArrayRegion,
    NewObject,
    NewStringUTF,
    NewString,
    NewObjectArray,
    NewIntArray,
    NewDoubleArray,
    CallVoidMethod,
    CallIntMethod,
    CallBooleanMethod,
    CallObjectMethod,
    Count
};

struct JniFault {
    JniFault(JniCall failing, std::string member = {}, int skipped = 0, int failures = 1)
        : call(failing), name(std::move(member)), skip(skipped), times(failures) {}

    JniCall call;
    // FindClass: the class name; GetMethodID, GetFieldID and the Call...Method calls: the member
    // name (the method a call goes to is known from the GetMethodID that found it). Empty: any.
    std::string name;
    // Matching calls let through before the first failure: skip k fails the (k+1)-th.
    int skip = 0;
    // Failures in a row once failing; -1 fails every later matching call.
    int times = 1;
    // The exception left pending; null: the one the JVM throws for that call.
    const char* exception = nullptr;
};

// What a failed call leaves pending: the class's internal name and the message.
struct JniFailure {
    const char* exception;
    const char* message;
};

class JniFaultPlan {
  public:
    void Fail(const JniFault& fault) { faults_.push_back(fault); }
    // Forgets the faults and the counts.
    void Clear();

    // Calls of a kind made so far, failed ones included; with Any, all of them. A clean run's
    // count tells a fault simulation how many k to try.
    int Calls(JniCall call = JniCall::Any) const;
    int Failures() const { return failures_; }

    // Counts a call of the env the plan belongs to; true when it is to fail, with what it leaves
    // pending. name is the member or class the call names, or null.
    bool Fails(JniCall call, const char* name, JniFailure* failure);

  private:
    std::vector<JniFault> faults_;
    std::array<int, static_cast<size_t>(JniCall::Count)> calls_{};
    int failures_ = 0;
};
