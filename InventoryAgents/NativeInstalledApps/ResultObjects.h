// The host classes of installed software and the building of one result: an
// InventoryAttributeValue appended to the caller's InventoryResultVector.
#pragma once

#include <jni.h>

// Filled at the start of every call and used by that call alone: the class entries are local
// references of the calling thread, which no other call may use.
struct InstalledAppsJniCache {
    jclass resultsVectorClass;
    jmethodID sizeMethod;
    jmethodID addMethod;
    jclass attributeValueClass;
    jmethodID setMasterCode;
    jmethodID setAttributeValue;
    jmethodID setUniqueInstanceId;
    jmethodID constructor;
};

// Looks the host classes and their members up; false after a level-3 record (and with the JVM's
// exception pending) when one is missing.
bool Initialize(JNIEnv* env, InstalledAppsJniCache& cache);

// Deletes the cache's class references; their call is over with them.
void ForgetClasses(JNIEnv* env, InstalledAppsJniCache& cache);

// Builds one InventoryAttributeValue and appends it; false after a level-3 record when the JVM
// refused or add did not return true.
bool AddValueToVector(JNIEnv* env, const InstalledAppsJniCache& cache, jobject resultsVector,
                      jint masterCode, const char* text, const char* subkeyName);
