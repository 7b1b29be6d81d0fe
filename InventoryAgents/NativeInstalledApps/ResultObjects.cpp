#include "InventoryAgents/NativeInstalledApps/ResultObjects.h"

#include "Common/DiagnosticLog.h"
#include "Common/HostClasses.h"
#include "Common/JniSupport.h"
#include "InventoryAgents/NativeInstalledApps/InstalledAppsLogSource.h"

namespace {

const char kInitializeName[] = "Initialize";
const char kAddValueToVectorName[] = "AddValueToVector";

// A lookup that failed leaves an exception pending, so nothing further may be asked of the JVM.
bool Found(JNIEnv* env, const void* result, const char* message) {
    if (result == nullptr || JniExceptionPending(env)) {
        LOG_AT(kLogError, kInitializeName, "%s", message);
        return false;
    }
    return true;
}

bool FindResultsVector(JNIEnv* env, InstalledAppsJniCache& cache) {
    cache.resultsVectorClass = env->FindClass(kResultVectorClass);
    if (!Found(env, cache.resultsVectorClass, "Could not find InventoryResultVector class")) {
        return false;
    }
    cache.sizeMethod = env->GetMethodID(cache.resultsVectorClass, "size", kSizeSignature);
    if (!Found(env, cache.sizeMethod,
               "Could not find size() method in InventoryResultVector class")) {
        return false;
    }
    jmethodID get = env->GetMethodID(cache.resultsVectorClass, "get", kGetSignature);
    if (!Found(env, get, "Could not find get() method in InventoryResultVector class")) {
        return false;
    }
    cache.addMethod = env->GetMethodID(cache.resultsVectorClass, "add", kAddSignature);
    return Found(env, cache.addMethod,
                 "Could not find add() method in InventoryResultVector class");
}

bool FindAttributeValue(JNIEnv* env, InstalledAppsJniCache& cache) {
    cache.attributeValueClass = env->FindClass(kAttributeValueClass);
    if (!Found(env, cache.attributeValueClass, "Could not find InventoryAttributeValue class")) {
        return false;
    }
    jclass value = cache.attributeValueClass;
    cache.setMasterCode = env->GetMethodID(value, "setMasterCode", kIntSetterSignature);
    if (!Found(env, cache.setMasterCode,
               "Could not find setMasterCode() method in InventoryAttributeValue class")) {
        return false;
    }
    cache.setAttributeValue = env->GetMethodID(value, "setAttributeValue", kStringSetterSignature);
    if (!Found(env, cache.setAttributeValue,
               "Could not find setAttributeValue() method in InventoryAttributeValue class")) {
        return false;
    }
    cache.setUniqueInstanceId =
        env->GetMethodID(value, "setUniqueInstanceId", kStringSetterSignature);
    if (!Found(env, cache.setUniqueInstanceId,
               "Could not find setUniqueInstanceId() method in InventoryAttributeValue class")) {
        return false;
    }
    cache.constructor = env->GetMethodID(value, kConstructorName, kNoArgumentConstructorSignature);
    return Found(env, cache.constructor,
                 "Could not find default constructor in InventoryAttributeValue class");
}

bool CallStringSetter(JNIEnv* env, jobject object, jmethodID setter, const char* text) {
    jstring string = JniNewStringFromAnsi(env, text);
    if (string == nullptr) {
        return false;
    }
    env->CallVoidMethod(object, setter, string);
    JniDeleteLocalRef(env, string);
    return !JniExceptionPending(env);
}

bool SetProperties(JNIEnv* env, const InstalledAppsJniCache& cache, jobject object, jint masterCode,
                   const char* text, const char* subkeyName) {
    env->CallVoidMethod(object, cache.setMasterCode, masterCode);
    return !JniExceptionPending(env) &&
           CallStringSetter(env, object, cache.setAttributeValue, text) &&
           CallStringSetter(env, object, cache.setUniqueInstanceId, subkeyName);
}

} // namespace

bool Initialize(JNIEnv* env, InstalledAppsJniCache& cache) {
    cache = {};
    return FindResultsVector(env, cache) && FindAttributeValue(env, cache);
}

void ForgetClasses(JNIEnv* env, InstalledAppsJniCache& cache) {
    JniDeleteLocalRef(env, cache.resultsVectorClass);
    JniDeleteLocalRef(env, cache.attributeValueClass);
    cache = {};
}

// The object's local reference goes after the append, so that a large collection keeps the
// JVM's local reference table small.
bool AddValueToVector(JNIEnv* env, const InstalledAppsJniCache& cache, jobject resultsVector,
                      jint masterCode, const char* text, const char* subkeyName) {
    jobject object = env->NewObject(cache.attributeValueClass, cache.constructor);
    if (object == nullptr || JniExceptionPending(env)) {
        JniDeleteLocalRef(env, object);
        LOG_AT(kLogError, kAddValueToVectorName,
               "Could not create an instance of InventoryAttributeValue class");
        return false;
    }
    if (!SetProperties(env, cache, object, masterCode, text, subkeyName)) {
        JniDeleteLocalRef(env, object);
        return false;
    }
    // An add that threw gave no true either: the record says so, as for a refusal.
    jboolean added = env->CallBooleanMethod(resultsVector, cache.addMethod, object);
    bool done = !JniExceptionPending(env) && added != JNI_FALSE;
    JniDeleteLocalRef(env, object);
    if (!done) {
        LOG_AT(kLogError, kAddValueToVectorName,
               "Error while adding InventoryAttributeValue instance to results vector, \t\t\t "
               "'add' method of vector returned false.");
    }
    return done;
}
