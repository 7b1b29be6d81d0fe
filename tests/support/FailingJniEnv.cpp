#include "tests/support/FailingJniEnv.h"

#include <stdarg.h>

namespace {

// Every function of the table, but the C-variadic ones, which reach the real env through their V
// forms below so that their failures are the V forms' failures.
// clang-format off
#define JNI_FIXED_ARITY_FUNCTIONS(X) \
    X(GetVersion) \
    X(DefineClass) \
    X(FindClass) \
    X(FromReflectedMethod) \
    X(FromReflectedField) \
    X(ToReflectedMethod) \
    X(GetSuperclass) \
    X(IsAssignableFrom) \
    X(ToReflectedField) \
    X(Throw) \
    X(ThrowNew) \
    X(ExceptionOccurred) \
    X(ExceptionClear) \
    X(FatalError) \
    X(PushLocalFrame) \
    X(PopLocalFrame) \
    X(NewGlobalRef) \
    X(DeleteGlobalRef) \
    X(DeleteLocalRef) \
    X(IsSameObject) \
    X(NewLocalRef) \
    X(EnsureLocalCapacity) \
    X(NewObjectV) \
    X(NewObjectA) \
    X(GetObjectClass) \
    X(IsInstanceOf) \
    X(GetMethodID) \
    X(CallObjectMethodV) \
    X(CallObjectMethodA) \
    X(CallBooleanMethodV) \
    X(CallBooleanMethodA) \
    X(CallByteMethodA) \
    X(CallCharMethodV) \
    X(CallCharMethodA) \
    X(CallShortMethodV) \
    X(CallShortMethodA) \
    X(CallIntMethodV) \
    X(CallIntMethodA) \
    X(CallLongMethodA) \
    X(CallFloatMethodV) \
    X(CallFloatMethodA) \
    X(CallDoubleMethodV) \
    X(CallDoubleMethodA) \
    X(CallVoidMethodV) \
    X(CallVoidMethodA) \
    X(CallNonvirtualObjectMethodA) \
    X(CallNonvirtualBooleanMethodV) \
    X(CallNonvirtualBooleanMethodA) \
    X(CallNonvirtualByteMethodV) \
    X(CallNonvirtualCharMethodV) \
    X(CallNonvirtualCharMethodA) \
    X(CallNonvirtualShortMethodV) \
    X(CallNonvirtualShortMethodA) \
    X(CallNonvirtualIntMethodA) \
    X(CallNonvirtualLongMethodV) \
    X(CallNonvirtualLongMethodA) \
    X(CallNonvirtualFloatMethodV) \
    X(CallNonvirtualDoubleMethodV) \
    X(CallNonvirtualDoubleMethodA) \
    X(CallNonvirtualVoidMethodV) \
    X(GetFieldID) \
    X(GetObjectField) \
    X(GetBooleanField) \
    X(GetByteField) \
    X(GetCharField) \
    X(GetShortField) \
    X(GetLongField) \
    X(GetFloatField) \
    X(GetDoubleField) \
    X(SetObjectField) \
    X(SetBooleanField) \
    X(SetByteField) \
    X(SetCharField) \
    X(SetShortField) \
    X(SetIntField) \
    X(SetLongField) \
    X(SetFloatField) \
    X(SetDoubleField) \
    X(GetStaticMethodID) \
    X(CallStaticObjectMethodV) \
    X(CallStaticObjectMethodA) \
    X(CallStaticBooleanMethodV) \
    X(CallStaticBooleanMethodA) \
    X(CallStaticByteMethodV) \
    X(CallStaticByteMethodA) \
    X(CallStaticCharMethodV) \
    X(CallStaticCharMethodA) \
    X(CallStaticShortMethodV) \
    X(CallStaticShortMethodA) \
    X(CallStaticIntMethodV) \
    X(CallStaticIntMethodA) \
    X(CallStaticLongMethodV) \
    X(CallStaticLongMethodA) \
    X(CallStaticFloatMethodV) \
    X(CallStaticFloatMethodA) \
    X(CallStaticDoubleMethodV) \
    X(CallStaticDoubleMethodA) \
    X(CallStaticVoidMethodV) \
    X(CallStaticVoidMethodA) \
    X(GetStaticFieldID) \
    X(GetStaticObjectField) \
    X(GetStaticBooleanField) \
    X(GetStaticByteField) \
    X(GetStaticCharField) \
    X(GetStaticShortField) \
    X(GetStaticIntField) \
    X(GetStaticLongField) \
    X(GetStaticFloatField) \
    X(GetStaticDoubleField) \
    X(SetStaticObjectField) \
    X(SetStaticBooleanField) \
    X(SetStaticByteField) \
    X(SetStaticCharField) \
    X(SetStaticShortField) \
    X(SetStaticIntField) \
    X(SetStaticLongField) \
    X(SetStaticFloatField) \
    X(SetStaticDoubleField) \
    X(NewString) \
    X(GetStringLength) \
    X(GetStringChars) \
    X(ReleaseStringChars) \
    X(NewStringUTF) \
    X(GetStringUTFLength) \
    X(GetStringUTFChars) \
    X(ReleaseStringUTFChars) \
    X(GetArrayLength) \
    X(NewObjectArray) \
    X(GetObjectArrayElement) \
    X(SetObjectArrayElement) \
    X(NewBooleanArray) \
    X(NewByteArray) \
    X(NewCharArray) \
    X(NewIntArray) \
    X(NewLongArray) \
    X(NewFloatArray) \
    X(NewDoubleArray) \
    X(GetBooleanArrayElements) \
    X(GetByteArrayElements) \
    X(GetCharArrayElements) \
    X(GetIntArrayElements) \
    X(GetLongArrayElements) \
    X(GetFloatArrayElements) \
    X(GetDoubleArrayElements) \
    X(ReleaseByteArrayElements) \
    X(ReleaseCharArrayElements) \
    X(ReleaseShortArrayElements) \
    X(ReleaseIntArrayElements) \
    X(ReleaseLongArrayElements) \
    X(ReleaseFloatArrayElements) \
    X(GetBooleanArrayRegion) \
    X(GetByteArrayRegion) \
    X(GetCharArrayRegion) \
    X(GetShortArrayRegion) \
    X(GetLongArrayRegion) \
    X(GetFloatArrayRegion) \
    X(GetDoubleArrayRegion) \
    X(SetByteArrayRegion) \
    X(SetCharArrayRegion) \
    X(SetShortArrayRegion) \
    X(SetLongArrayRegion) \
    X(SetFloatArrayRegion) \
    X(SetDoubleArrayRegion) \
    X(UnregisterNatives) \
    X(MonitorEnter) \
    X(GetJavaVM) \
    X(GetStringRegion) \
    X(GetPrimitiveArrayCritical) \
    X(ReleasePrimitiveArrayCritical) \
    X(ReleaseStringCritical) \
    X(DeleteWeakGlobalRef) \
    X(ExceptionCheck) \
    X(GetDirectBufferAddress) \
    X(GetDirectBufferCapacity) \
    X(GetObjectRefType) \
    X(GetModule)
// clang-format on

template <typename F> struct Forward;
template <typename R, typename... A> struct Forward<R(JNICALL*)(JNIEnv*, A...)> {
    template <R (JNICALL* JNINativeInterface_::*member)(JNIEnv*, A...)>
    static R JNICALL To(JNIEnv* fake, A... args) {
        JNIEnv* real = FailingJniEnv::Of(fake).real();
        return (real->functions->*member)(real, args...);
    }
};

struct VaEnd {
    va_list& args;
    ~VaEnd() { va_end(args); }
};

#define VARIADIC_CALLS(Type, Result)                                                               \
    Result JNICALL Call##Type##Method(JNIEnv* env, jobject object, jmethodID method, ...) {        \
        va_list args;                                                                              \
        va_start(args, method);                                                                    \
        VaEnd end{args};                                                                           \
        return env->functions->Call##Type##MethodV(env, object, method, args);                     \
    }                                                                                              \
    Result JNICALL CallNonvirtual##Type##Method(JNIEnv* env, jobject object, jclass type,          \
                                                jmethodID method, ...) {                           \
        va_list args;                                                                              \
        va_start(args, method);                                                                    \
        VaEnd end{args};                                                                           \
        return env->functions->CallNonvirtual##Type##MethodV(env, object, type, method, args);     \
    }                                                                                              \
    Result JNICALL CallStatic##Type##Method(JNIEnv* env, jclass type, jmethodID method, ...) {     \
        va_list args;                                                                              \
        va_start(args, method);                                                                    \
        VaEnd end{args};                                                                           \
        return env->functions->CallStatic##Type##MethodV(env, type, method, args);                 \
    }

#define JNI_RESULT_TYPES(X)                                                                        \
    X(Object, jobject)                                                                             \
    X(Boolean, jboolean)                                                                           \
    X(Byte, jbyte)                                                                                 \
    X(Char, jchar)                                                                                 \
    X(Short, jshort)                                                                               \
    X(Int, jint)                                                                                   \
    X(Long, jlong)                                                                                 \
    X(Float, jfloat)                                                                               \
    X(Double, jdouble)                                                                             \
    X(Void, void)

JNI_RESULT_TYPES(VARIADIC_CALLS)

jobject JNICALL NewObject(JNIEnv* env, jclass type, jmethodID constructor, ...) {
    va_list args;
    va_start(args, constructor);
    VaEnd end{args};
    return env->functions->NewObjectV(env, type, constructor, args);
}

// The fallible calls. Each asks its owner first; a failing call is not passed on.

JNIEnv* Real(JNIEnv* fake) {
    return FailingJniEnv::Of(fake).real();
}

bool Fails(JNIEnv* fake, JniCall call, const char* name = nullptr) {
    return FailingJniEnv::Of(fake).ShouldFail(call, name);
}

jclass JNICALL FindClassOrFail(JNIEnv* fake, const char* name) {
    return Fails(fake, JniCall::FindClass, name) ? nullptr : Real(fake)->FindClass(name);
}

// A method found is remembered by name, so that a test can fail the calls made to it.
jmethodID Remembered(JNIEnv* fake, jmethodID method, const char* name) {
    FailingJniEnv::Of(fake).RememberMethod(method, name);
    return method;
}

jmethodID JNICALL GetMethodIdOrFail(JNIEnv* fake, jclass type, const char* name,
                                    const char* signature) {
    return Fails(fake, JniCall::GetMethodID, name)
               ? nullptr
               : Remembered(fake, Real(fake)->GetMethodID(type, name, signature), name);
}

jmethodID JNICALL GetStaticMethodIdOrFail(JNIEnv* fake, jclass type, const char* name,
                                          const char* signature) {
    return Fails(fake, JniCall::GetMethodID, name)
               ? nullptr
               : Remembered(fake, Real(fake)->GetStaticMethodID(type, name, signature), name);
}

jfieldID JNICALL GetFieldIdOrFail(JNIEnv* fake, jclass type, const char* name,
                                  const char* signature) {
    return Fails(fake, JniCall::GetFieldID, name) ? nullptr
                                                  : Real(fake)->GetFieldID(type, name, signature);
}

jfieldID JNICALL GetStaticFieldIdOrFail(JNIEnv* fake, jclass type, const char* name,
                                        const char* signature) {
    return Fails(fake, JniCall::GetFieldID, name)
               ? nullptr
               : Real(fake)->GetStaticFieldID(type, name, signature);
}

const char* JNICALL GetStringUtfCharsOrFail(JNIEnv* fake, jstring string, jboolean* isCopy) {
    return Fails(fake, JniCall::GetStringUTFChars) ? nullptr
                                                   : Real(fake)->GetStringUTFChars(string, isCopy);
}

// A string the JVM cannot measure throws and has no length, as any refused call returns zero.
jsize JNICALL GetStringLengthOrFail(JNIEnv* fake, jstring string) {
    return Fails(fake, JniCall::GetStringLength) ? 0 : Real(fake)->GetStringLength(string);
}

const jchar* JNICALL GetStringCharsOrFail(JNIEnv* fake, jstring string, jboolean* isCopy) {
    return Fails(fake, JniCall::GetStringChars) ? nullptr
                                                : Real(fake)->GetStringChars(string, isCopy);
}

jint* JNICALL GetIntArrayElementsOrFail(JNIEnv* fake, jintArray array, jboolean* isCopy) {
    return Fails(fake, JniCall::GetIntArrayElements)
               ? nullptr
               : Real(fake)->GetIntArrayElements(array, isCopy);
}

jobject JNICALL GetObjectArrayElementOrFail(JNIEnv* fake, jobjectArray array, jsize index) {
    return Fails(fake, JniCall::GetObjectArrayElement)
               ? nullptr
               : Real(fake)->GetObjectArrayElement(array, index);
}

void JNICALL SetObjectArrayElementOrFail(JNIEnv* fake, jobjectArray array, jsize index,
                                         jobject element) {
    if (!Fails(fake, JniCall::SetObjectArrayElement)) {
        Real(fake)->SetObjectArrayElement(array, index, element);
    }
}

void JNICALL SetDoubleArrayRegionOrFail(JNIEnv* fake, jdoubleArray array, jsize start, jsize length,
                                        const jdouble* values) {
    if (!Fails(fake, JniCall::SetDoubleArrayRegion)) {
        Real(fake)->SetDoubleArrayRegion(array, start, length, values);
    }
}

jobject JNICALL NewObjectVOrFail(JNIEnv* fake, jclass type, jmethodID constructor, va_list args) {
    return Fails(fake, JniCall::NewObject) ? nullptr
                                           : Real(fake)->NewObjectV(type, constructor, args);
}

jobject JNICALL NewObjectAOrFail(JNIEnv* fake, jclass type, jmethodID constructor,
                                 const jvalue* args) {
    return Fails(fake, JniCall::NewObject) ? nullptr
                                           : Real(fake)->NewObjectA(type, constructor, args);
}

jstring JNICALL NewStringUtfOrFail(JNIEnv* fake, const char* text) {
    return Fails(fake, JniCall::NewStringUTF) ? nullptr : Real(fake)->NewStringUTF(text);
}

jstring JNICALL NewStringOrFail(JNIEnv* fake, const jchar* units, jsize length) {
    return Fails(fake, JniCall::NewString) ? nullptr : Real(fake)->NewString(units, length);
}

jobjectArray JNICALL NewObjectArrayOrFail(JNIEnv* fake, jsize length, jclass type,
                                          jobject initial) {
    return Fails(fake, JniCall::NewObjectArray) ? nullptr
                                                : Real(fake)->NewObjectArray(length, type, initial);
}

jdoubleArray JNICALL NewDoubleArrayOrFail(JNIEnv* fake, jsize length) {
    return Fails(fake, JniCall::NewDoubleArray) ? nullptr : Real(fake)->NewDoubleArray(length);
}

// A method that throws has no result: zero of its type, as the JVM returns.
#define FALLIBLE_METHOD_CALLS(Type, Result, Kind)                                                  \
    Result JNICALL Call##Type##MethodVOrFail(JNIEnv* fake, jobject object, jmethodID method,       \
                                             va_list args) {                                       \
        if (Fails(fake, JniCall::Kind, FailingJniEnv::Of(fake).MethodName(method))) {              \
            return Result();                                                                       \
        }                                                                                          \
        return Real(fake)->Call##Type##MethodV(object, method, args);                              \
    }                                                                                              \
    Result JNICALL Call##Type##MethodAOrFail(JNIEnv* fake, jobject object, jmethodID method,       \
                                             const jvalue* args) {                                 \
        if (Fails(fake, JniCall::Kind, FailingJniEnv::Of(fake).MethodName(method))) {              \
            return Result();                                                                       \
        }                                                                                          \
        return Real(fake)->Call##Type##MethodA(object, method, args);                              \
    }

FALLIBLE_METHOD_CALLS(Void, void, CallVoidMethod)
FALLIBLE_METHOD_CALLS(Int, jint, CallIntMethod)
FALLIBLE_METHOD_CALLS(Boolean, jboolean, CallBooleanMethod)
FALLIBLE_METHOD_CALLS(Object, jobject, CallObjectMethod)

const char* ThrownBy(JniCall call) {
    switch (call) {
    case JniCall::FindClass:
        return "java/lang/NoClassDefFoundError";
    case JniCall::GetMethodID:
        return "java/lang/NoSuchMethodError";
    case JniCall::GetFieldID:
        return "java/lang/NoSuchFieldError";
    case JniCall::GetObjectArrayElement:
    case JniCall::SetDoubleArrayRegion:
        return "java/lang/ArrayIndexOutOfBoundsException";
    case JniCall::SetObjectArrayElement:
        return "java/lang/ArrayStoreException";
    case JniCall::CallVoidMethod:
    case JniCall::CallIntMethod:
    case JniCall::CallBooleanMethod:
    case JniCall::CallObjectMethod:
        return "java/lang/RuntimeException";
    default:
        return "java/lang/OutOfMemoryError";
    }
}

} // namespace

FailingJniEnv::FailingJniEnv(JNIEnv* real) : real_(real), table_(*real->functions) {
#define FORWARD(name) table_.name = &Forward<decltype(table_.name)>::To<&JNINativeInterface_::name>;
    JNI_FIXED_ARITY_FUNCTIONS(FORWARD)
#undef FORWARD
#define VARIADIC_ENTRIES(Type, Result)                                                             \
    table_.Call##Type##Method = &Call##Type##Method;                                               \
    table_.CallNonvirtual##Type##Method = &CallNonvirtual##Type##Method;                           \
    table_.CallStatic##Type##Method = &CallStatic##Type##Method;
    JNI_RESULT_TYPES(VARIADIC_ENTRIES)
#undef VARIADIC_ENTRIES
    table_.NewObject = &NewObject;

    table_.FindClass = &FindClassOrFail;
    table_.GetMethodID = &GetMethodIdOrFail;
    table_.GetStaticMethodID = &GetStaticMethodIdOrFail;
    table_.GetFieldID = &GetFieldIdOrFail;
    table_.GetStaticFieldID = &GetStaticFieldIdOrFail;
    table_.GetStringUTFChars = &GetStringUtfCharsOrFail;
    table_.GetStringLength = &GetStringLengthOrFail;
    table_.GetStringChars = &GetStringCharsOrFail;
    table_.GetIntArrayElements = &GetIntArrayElementsOrFail;
    table_.GetObjectArrayElement = &GetObjectArrayElementOrFail;
    table_.SetObjectArrayElement = &SetObjectArrayElementOrFail;
    table_.SetDoubleArrayRegion = &SetDoubleArrayRegionOrFail;
    table_.NewObjectV = &NewObjectVOrFail;
    table_.NewObjectA = &NewObjectAOrFail;
    table_.NewStringUTF = &NewStringUtfOrFail;
    table_.NewString = &NewStringOrFail;
    table_.NewObjectArray = &NewObjectArrayOrFail;
    table_.NewDoubleArray = &NewDoubleArrayOrFail;
#define FALLIBLE_ENTRIES(Type)                                                                     \
    table_.Call##Type##MethodV = &Call##Type##MethodVOrFail;                                       \
    table_.Call##Type##MethodA = &Call##Type##MethodAOrFail;
    FALLIBLE_ENTRIES(Void)
    FALLIBLE_ENTRIES(Int)
    FALLIBLE_ENTRIES(Boolean)
    FALLIBLE_ENTRIES(Object)
#undef FALLIBLE_ENTRIES
    fake_.env.functions = &table_;
    fake_.owner = this;
}

FailingJniEnv& FailingJniEnv::Of(JNIEnv* fake) {
    return *reinterpret_cast<FakeEnv*>(fake)->owner;
}

void FailingJniEnv::Clear() {
    faults_.clear();
    calls_.clear();
    failures_ = 0;
}

int FailingJniEnv::Calls(JniCall call) const {
    int count = 0;
    for (const auto& made : calls_) {
        count += call == JniCall::Any || call == made.first ? made.second : 0;
    }
    return count;
}

bool FailingJniEnv::ShouldFail(JniCall call, const char* name) {
    ++calls_[call];
    for (JniFault& fault : faults_) {
        bool matches = (fault.call == JniCall::Any || fault.call == call) &&
                       (fault.name.empty() || (name != nullptr && fault.name == name));
        if (!matches) {
            continue;
        }
        if (fault.skip > 0) {
            --fault.skip;
            continue;
        }
        if (fault.times == 0) {
            continue;
        }
        if (fault.times > 0) {
            --fault.times;
        }
        ++failures_;
        // An export that calls on with an exception pending has its fault reported by the JVM's
        // checks on the next real call; a second exception would hide it.
        if (real_->ExceptionCheck() == JNI_FALSE) {
            jclass thrown =
                real_->FindClass(fault.exception != nullptr ? fault.exception : ThrownBy(call));
            real_->ThrowNew(thrown, name != nullptr ? name : "injected failure");
            real_->DeleteLocalRef(thrown);
        }
        return true;
    }
    return false;
}

void FailingJniEnv::RememberMethod(jmethodID method, const char* name) {
    if (method != nullptr && name != nullptr) {
        methodNames_[method] = name;
    }
}

const char* FailingJniEnv::MethodName(jmethodID method) const {
    auto found = methodNames_.find(method);
    return found != methodNames_.end() ? found->second.c_str() : nullptr;
}
