// A JNIEnv for the thread that made it which passes every call on to the real one, except the
// calls a test makes fail as a JVM short of classes, memory or luck would: the call is not made,
// an exception is left pending and the call returns null (or zero). Exports get env() in place of
// the test's own env; the arguments and results they see are the real JVM's.
#pragma once

#include <jni.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

// The calls that can be made to fail. Each stands for all its forms: NewObject for NewObjectV and
// NewObjectA too, GetMethodID and GetFieldID for their static twins.
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
    SetDoubleArrayRegion,
    NewObject,
    NewStringUTF,
    NewString,
    NewObjectArray,
    NewDoubleArray,
    CallVoidMethod,
    CallIntMethod,
    CallBooleanMethod,
    CallObjectMethod,
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

class FailingJniEnv {
  public:
    explicit FailingJniEnv(JNIEnv* real);
    FailingJniEnv(const FailingJniEnv&) = delete;
    FailingJniEnv& operator=(const FailingJniEnv&) = delete;

    // The env to hand to an export.
    JNIEnv* env() { return &fake_.env; }
    JNIEnv* real() const { return real_; }

    void Fail(const JniFault& fault) { faults_.push_back(fault); }
    // Forgets the faults and the counts.
    void Clear();

    // Calls of a kind that can fail made so far through env(), failed ones included; with Any,
    // all of them. A clean run's count tells a fault simulation how many k to try.
    int Calls(JniCall call = JniCall::Any) const;
    int Failures() const { return failures_; }

    // Used by the table's functions.
    static FailingJniEnv& Of(JNIEnv* fake);
    // True when this call is to fail; then the exception is already pending on the real env.
    bool ShouldFail(JniCall call, const char* name);
    void RememberMethod(jmethodID method, const char* name);
    const char* MethodName(jmethodID method) const;

  private:
    // The env first, so that the table's functions get back from the env to its owner.
    struct FakeEnv {
        JNIEnv env;
        FailingJniEnv* owner;
    };

    JNIEnv* real_;
    JNINativeInterface_ table_;
    FakeEnv fake_;
    std::vector<JniFault> faults_;
    std::map<JniCall, int> calls_;
    int failures_ = 0;
    std::map<jmethodID, std::string> methodNames_;
};
