// FailingJniEnv over a real JVM: an env of its own whose table sends each call on to the test's
// env, the calls that can fail asking the plan first. Only what the library calls through it is
// forwarded; every other slot keeps the JVM's own function, which stops the process with "Using
// JNIEnv in the wrong thread" when handed this env (-Xcheck:jni, on in every test JVM), so that an
// export calling a slot beyond the list cannot pass unnoticed.
#include "tests/support/FailingJniEnv.h"

#include <map>
#include <string>
#include <tuple>
#include <type_traits>

struct FailingJniEnv::Env {
    // The env first, so that a slot gets back from the env to its owner.
    struct Block {
        JNIEnv env;
        Env* owner;
    };

    static Env& Of(JNIEnv* env) { return *reinterpret_cast<Block*>(env)->owner; }

    // The name a call's fault is matched by: the class FindClass looks for, the member that
    // GetMethodID and GetFieldID look for, the method a Call<Type>MethodV runs (by the name
    // GetMethodID found it under); null for the other calls.
    template <JniCall call, typename... A> const char* NameIn(const std::tuple<A...>& args) {
        if constexpr (call == JniCall::FindClass) {
            return std::get<0>(args);
        } else if constexpr (call == JniCall::GetMethodID || call == JniCall::GetFieldID) {
            return std::get<1>(args);
        } else if constexpr (call == JniCall::CallVoidMethod || call == JniCall::CallIntMethod ||
                             call == JniCall::CallBooleanMethod ||
                             call == JniCall::CallObjectMethod) {
            auto found = methodNames.find(std::get<1>(args));
            return found != methodNames.end() ? found->second.c_str() : nullptr;
        } else {
            return nullptr;
        }
    }

    template <typename Slot> struct Forwarding;
    template <typename R, typename... A> struct Forwarding<R(JNICALL*)(JNIEnv*, A...)> {
        template <R (JNICALL* JNINativeInterface_::*slot)(JNIEnv*, A...)>
        static R JNICALL Forward(JNIEnv* env, A... args) {
            JNIEnv* real = Of(env).real;
            return (real->functions->*slot)(real, args...);
        }
        template <R (JNICALL* JNINativeInterface_::*slot)(JNIEnv*, A...), JniCall call>
        static R JNICALL Fallible(JNIEnv* env, A... args) {
            Env& owner = Of(env);
            const char* name = owner.NameIn<call>(std::tuple<A...>(args...));
            JniFailure failure;
            if (owner.plan->Fails(call, name, &failure)) {
                owner.Throw(failure);
                return R();
            }
            if constexpr (std::is_same_v<R, jmethodID>) {
                jmethodID method = Forward<slot>(env, args...);
                if (method != nullptr && name != nullptr) {
                    owner.methodNames[method] = name;
                }
                return method;
            } else {
                return Forward<slot>(env, args...);
            }
        }
    };

    // An export that calls on with an exception pending has its fault reported by the JVM's
    // checks on the next real call; a second exception would hide it.
    void Throw(const JniFailure& failure) {
        if (real->ExceptionCheck() == JNI_FALSE) {
            jclass thrown = real->FindClass(failure.exception);
            real->ThrowNew(thrown, failure.message);
            real->DeleteLocalRef(thrown);
        }
    }

    Block block;
    JNIEnv* real;
    JniFaultPlan* plan;
    JNINativeInterface_ table;
    std::map<jmethodID, std::string> methodNames;
};

// What the library calls: those of the calls that cannot fail, then those that can.
// clang-format off
#define FORWARDED_SLOTS(X) \
    X(DeleteLocalRef) X(ExceptionCheck) X(GetArrayLength) X(ReleaseIntArrayElements) \
    X(ReleaseStringChars) X(ReleaseStringUTFChars) X(SetIntField) X(SetObjectField)
#define FALLIBLE_SLOTS(X) \
    X(FindClass, FindClass) X(GetMethodID, GetMethodID) X(GetFieldID, GetFieldID) \
    X(GetStringUTFChars, GetStringUTFChars) X(GetStringLength, GetStringLength) \
    X(GetStringChars, GetStringChars) X(GetIntArrayElements, GetIntArrayElements) \
    X(GetObjectArrayElement, GetObjectArrayElement) X(SetObjectArrayElement, SetObjectArrayElement) \
    X(SetIntArrayRegion, SetIntArrayRegion) X(SetDoubleArrayRegion, SetDoubleArrayRegion) \
    X(NewObjectV, NewObject) X(NewStringUTF, NewStringUTF) X(NewString, NewString) \
    X(NewObjectArray, NewObjectArray) X(NewIntArray, NewIntArray) \
    X(NewDoubleArray, NewDoubleArray) X(CallVoidMethodV, CallVoidMethod) \
    X(CallIntMethodV, CallIntMethod) X(CallBooleanMethodV, CallBooleanMethod) \
    X(CallObjectMethodV, CallObjectMethod)
// clang-format on

FailingJniEnv::FailingJniEnv(JNIEnv* env) : env_(new Env) {
    Env& owner = *env_;
    owner.real = env;
    owner.plan = &plan_;
    owner.table = *env->functions;
#define FORWARD(slot)                                                                              \
    owner.table.slot =                                                                             \
        &Env::Forwarding<decltype(owner.table.slot)>::Forward<&JNINativeInterface_::slot>;
    FORWARDED_SLOTS(FORWARD)
#undef FORWARD
#define FALLIBLE(slot, call)                                                                       \
    owner.table.slot =                                                                             \
        &Env::Forwarding<decltype(owner.table.slot)>::Fallible<&JNINativeInterface_::slot,         \
                                                               JniCall::call>;
    FALLIBLE_SLOTS(FALLIBLE)
#undef FALLIBLE
    owner.block.env.functions = &owner.table;
    owner.block.owner = &owner;
}

FailingJniEnv::~FailingJniEnv() = default;

JNIEnv* FailingJniEnv::env() {
    return &env_->block.env;
}
