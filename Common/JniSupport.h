// How every export talks to the JVM. Calling JNI with an exception pending is undefined, so after
// each call that can throw the export checks, releases what it holds and returns its failure
// value, leaving the exception for Java to see; the library never raises or clears one. Local
// references stored in an array or appended to a collection are deleted at once, so that a loop
// whose length the caller or the machine decides cannot exhaust the JVM's local reference table.
//
// Text crosses the boundary in the machine's ANSI code page on the native side, since the agents
// call the ANSI Win32 functions: Java's UTF-16 goes through WideCharToMultiByte(CP_ACP) and ANSI
// results come back through MultiByteToWideChar(CP_ACP). Plain 7-bit text, by far the commonest,
// is the same bytes in modified UTF-8 and in every ANSI code page, and skips the conversion.
#pragma once

#include <jni.h>

#include <stddef.h>

// The record an export writes when a Java string holds a character the ANSI code page lacks.
constexpr char kTextOutsideAnsiCodePage[] = "Text not representable in the ANSI code page";

// True when the last JNI call left an exception pending.
inline bool JniExceptionPending(JNIEnv* env) {
    return env->ExceptionCheck() == JNI_TRUE;
}

// Deletes a local reference; null is allowed.
void JniDeleteLocalRef(JNIEnv* env, jobject reference);

// A Java string from ANSI text as Windows returned it; a null text gives "". Null when the JVM
// refused (an exception is then pending) or there was no memory for the conversion.
jstring JniNewStringFromAnsi(JNIEnv* env, const char* text);

// A String[] of count elements, each the empty string. Null when the JVM refused (an exception
// is then pending) or when count does not fit a Java array.
jobjectArray JniNewStringArray(JNIEnv* env, size_t count);

// The add method of java.util.Vector; null with an exception pending when it cannot be found.
jmethodID JniFindVectorAdd(JNIEnv* env);

// A new, empty java.util.Vector and its add method, the class looked up once. Null (and *addMethod
// null) when the JVM refused; an exception is then pending.
jobject JniNewVector(JNIEnv* env, jmethodID* addMethod);

// Stores element at index and deletes the local reference to it. False when the store threw.
bool JniStoreInArray(JNIEnv* env, jobjectArray array, jsize index, jobject element);

// A new Java string of ANSI text stored at index; false when either step failed.
bool JniStoreStringInArray(JNIEnv* env, jobjectArray array, jsize index, const char* text);

// Calls the collection's boolean add method with element, then deletes the local reference to
// element. False when the call threw; add's own result is not examined.
bool JniAppend(JNIEnv* env, jobject collection, jmethodID addMethod, jobject element);

// The text of a Java string in the ANSI code page, for as long as the holder lives. chars() is
// null for a null string; when the JVM could not supply the characters (an exception is then
// pending); and when the text cannot be given in the ANSI code page without changing it
// (unconvertible() then tells so, and no exception is pending). A character the code page lacks
// is refused rather than replaced by '?' or a look-alike, since the substitute could name a
// different key, service or file; so is an embedded NUL, which would cut the name short.
class ScopedAnsiChars {
  public:
    ScopedAnsiChars(JNIEnv* env, jstring string);
    ~ScopedAnsiChars();
    ScopedAnsiChars(const ScopedAnsiChars&) = delete;
    ScopedAnsiChars& operator=(const ScopedAnsiChars&) = delete;
    const char* chars() const { return chars_; }
    bool unconvertible() const { return unconvertible_; }

  private:
    void Convert();

    JNIEnv* env_;
    jstring string_;
    const char* utfChars_ = nullptr; // held from the JVM: plain 7-bit text
    char* converted_ = nullptr;      // malloc'd: text that needed the code page
    const char* chars_ = nullptr;
    bool unconvertible_ = false;
};

// The elements of a Java int[] for as long as the holder lives; elements() is null for a null
// array and when the JVM could not supply them (an exception is then pending). They are only
// read, so they go back with JNI_ABORT: a copy the JVM made is dropped, not written back over
// the array, which Java may have changed meanwhile.
class ScopedIntArrayElements {
  public:
    ScopedIntArrayElements(JNIEnv* env, jintArray array);
    ~ScopedIntArrayElements();
    ScopedIntArrayElements(const ScopedIntArrayElements&) = delete;
    ScopedIntArrayElements& operator=(const ScopedIntArrayElements&) = delete;
    const jint* elements() const { return elements_; }

  private:
    JNIEnv* env_;
    jintArray array_;
    jint* elements_ = nullptr;
};
