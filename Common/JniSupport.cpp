#include "Common/JniSupport.h"

#include "Common/HostClasses.h"

void JniDeleteLocalRef(JNIEnv* env, jobject reference) {
    if (reference != nullptr) {
        env->DeleteLocalRef(reference);
    }
}

jstring JniNewString(JNIEnv* env, const char* text) {
    jstring string = env->NewStringUTF(text != nullptr ? text : "");
    return JniExceptionPending(env) ? nullptr : string;
}

jobjectArray JniNewStringArray(JNIEnv* env, jsize length) {
    jclass stringClass = env->FindClass(STRING_CLASS);
    if (stringClass == nullptr || JniExceptionPending(env)) {
        return nullptr;
    }
    jobjectArray array = env->NewObjectArray(length, stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    return JniExceptionPending(env) ? nullptr : array;
}

bool JniStoreInArray(JNIEnv* env, jobjectArray array, jsize index, jobject element) {
    env->SetObjectArrayElement(array, index, element);
    JniDeleteLocalRef(env, element);
    return !JniExceptionPending(env);
}

bool JniStoreStringInArray(JNIEnv* env, jobjectArray array, jsize index, const char* text) {
    jstring string = JniNewString(env, text);
    return string != nullptr && JniStoreInArray(env, array, index, string);
}

bool JniAppend(JNIEnv* env, jobject collection, jmethodID addMethod, jobject element) {
    env->CallBooleanMethod(collection, addMethod, element);
    JniDeleteLocalRef(env, element);
    return !JniExceptionPending(env);
}

ScopedUtfChars::ScopedUtfChars(JNIEnv* env, jstring string)
    : env_(env), string_(string),
      chars_(string != nullptr ? env->GetStringUTFChars(string, nullptr) : nullptr) {}

ScopedUtfChars::~ScopedUtfChars() {
    if (chars_ != nullptr) {
        env_->ReleaseStringUTFChars(string_, chars_);
    }
}
