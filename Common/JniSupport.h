// How every export talks to the JVM. Calling JNI with an exception pending is undefined, so after
// each call that can throw the export checks, releases what it holds and returns its failure
// value, leaving the exception for Java to see; the library never raises or clears one. Local
// references stored in an array or appended to a collection are deleted at once, so that a loop
// whose length the caller or the machine decides cannot exhaust the JVM's local reference table.
#pragma once

#include <jni.h>

// True when the last JNI call left an exception pending.
inline bool JniExceptionPending(JNIEnv* env) {
    return env->ExceptionCheck() == JNI_TRUE;
}

// Deletes a local reference; null is allowed.
void JniDeleteLocalRef(JNIEnv* env, jobject reference);

// A Java string from bytes as Windows returned them; null when the JVM refused (an exception is
// then pending).
jstring JniNewString(JNIEnv* env, const char* text);

// A String[] of the given length with every element null; null with an exception pending on
// failure.
jobjectArray JniNewStringArray(JNIEnv* env, jsize length);

// Stores element at index and deletes the local reference to it. False when the store threw.
bool JniStoreInArray(JNIEnv* env, jobjectArray array, jsize index, jobject element);

// A new Java string stored at index; false when either step threw.
bool JniStoreStringInArray(JNIEnv* env, jobjectArray array, jsize index, const char* text);

// Calls the collection's boolean add method with element, then deletes the local reference to
// element. False when the call threw; add's own result is not examined.
bool JniAppend(JNIEnv* env, jobject collection, jmethodID addMethod, jobject element);

// The modified UTF-8 bytes of a Java string for as long as the guard lives. chars() is null for a
// null string, or when the JVM could not supply them (an exception is then pending).
class ScopedUtfChars {
  public:
    ScopedUtfChars(JNIEnv* env, jstring string);
    ~ScopedUtfChars();
    ScopedUtfChars(const ScopedUtfChars&) = delete;
    ScopedUtfChars& operator=(const ScopedUtfChars&) = delete;
    const char* chars() const { return chars_; }

  private:
    JNIEnv* env_;
    jstring string_;
    const char* chars_;
};
