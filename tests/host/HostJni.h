// The host's own JNI work: making arguments, reading results, and noticing when a call of its own
// threw (which -Xcheck:jni requires it to check, as the library does).
#pragma once

#include <jni.h>

#include <string>
#include <vector>

// The dotted name of a throwable's class, through Class.getName as Java would give it.
std::string ThrowableClassName(JNIEnv* env, jthrowable thrown);

// When an exception is pending: prints "<prefix> <class name>", clears it and returns true.
bool PrintPendingException(JNIEnv* env, const char* prefix);

// True when the host's last JNI call threw; the exception is printed and cleared.
inline bool HostCallThrew(JNIEnv* env) {
    return PrintPendingException(env, "host exception");
}

// A Java string of ASCII or modified UTF-8 text; null for null text.
jstring NewJavaString(JNIEnv* env, const char* text);

// A String[] of the texts, a null entry giving a null element.
jobjectArray NewJavaStringArray(JNIEnv* env, const std::vector<const char*>& texts);

// The elements of a String[] in modified UTF-8, "" for a null element or one the JVM refused;
// the local reference to the array is deleted. Null gives no texts.
std::vector<std::string> TakeJavaStringTexts(JNIEnv* env, jobjectArray array);

jintArray NewJavaIntArray(JNIEnv* env, const std::vector<jint>& values);

// A new object of the class through its no-argument constructor; null when that failed.
jobject NewJavaObject(JNIEnv* env, const char* className);

// The size of a java.util.Vector or InventoryResultVector and its element at index, through the
// collection's own size() and get(int); -1 and null when the call threw.
jint CollectionSize(JNIEnv* env, jobject collection);
jobject CollectionElement(JNIEnv* env, jobject collection, jint index);
