// The results of the exports as one plain text, the same on every build and env: a result line
// is "<call> -> <value>", a collection's elements follow on lines of their own, indented.
#pragma once

#include <jni.h>

#include <string>

// 32-bit and 64-bit values print through fixed-width types: Windows' long is 32-bit, Linux's
// 64-bit, and jint is one or the other.
std::string BooleanText(jboolean value);
std::string ByteText(jbyte value);
std::string IntText(jint value);
std::string LongText(jlong value);

// ["a", null, ""] or null.
std::string StringArrayText(JNIEnv* env, jobjectArray array);

// [1.500000, -1.000000] or null: six decimals, whatever the build's printf would choose.
std::string DoubleArrayText(JNIEnv* env, jdoubleArray array);

// A Service with every field (its status on a line of its own), an InventoryAttributeValue
// through its getters, a String[] as an element of a collection; "null" for null.
std::string ServiceText(JNIEnv* env, jobject service);
std::string AttributeValueText(JNIEnv* env, jobject value);
std::string StringArrayElementText(JNIEnv* env, jobject element);

// A java.util.Vector or InventoryResultVector as "<kind>[n]", then each element's text on a line
// of its own, indented; "null" for null.
std::string CollectionText(JNIEnv* env, const char* kind, jobject collection,
                           std::string (*elementText)(JNIEnv* env, jobject element));

// An event log handle as "handle" or "0": its value differs by run.
std::string HandleText(jlong handle);

void PrintLine(const std::string& line);

// The line "<call> -> Vector[n]" (or "-> null"), then each element indented on a line of its
// own: a String[] (version information), a Service with every field, an InventoryAttributeValue
// through its getters.
void PrintVectorOfStringArrays(JNIEnv* env, const std::string& call, jobject vector);
void PrintServiceVector(JNIEnv* env, const std::string& call, jobject vector);
void PrintResultVector(JNIEnv* env, const std::string& call, jobject vector);
