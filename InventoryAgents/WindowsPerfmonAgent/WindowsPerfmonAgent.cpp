// Performance counters for the Java side: wildcard paths expanded to the concrete paths they
// stand for, those paths sampled, one path split into its parts, and the check that a reported
// counter can still be sampled. Each export opens a query of its own and closes it before it
// returns, even where it has no use for it, so that a machine whose PDH cannot open one fails
// every export alike.
#include "Common/DiagnosticLog.h"
#include "Common/JniSupport.h"
#include "Common/ScopedResource.h"
#include "InventoryAgents/WindowsPerfmonAgent/CounterSampling.h"
#include "InventoryAgents/WindowsPerfmonAgent/PdhSupport.h"

#include "com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent.h"

#include <stdlib.h>
#include <string.h>

namespace {

#define AGENT "Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_"
constexpr char kGetExpandedCounterPathsName[] = AGENT "getExpandedCounterPaths";
constexpr char kParseCounterPathName[] = AGENT "parseCounterPath";
constexpr char kCheckInstanceExistsName[] = AGENT "checkInstanceExists";
#undef AGENT

constexpr DWORD kFirstExpansionLength = 1000;
constexpr DWORD kParseBufferRoom = 100;

// The indices of the parts of a parsed path in the result.
constexpr jsize kObjectElement = 0;
constexpr jsize kInstanceElement = 1;
constexpr jsize kParentElement = 2;
constexpr jsize kCounterElement = 3;
constexpr jsize kParsedElements = 4;

// Opens the export's query; the failure record names the export.
bool OpenQuery(ScopedPdhQuery* query, const char* function) {
    PDH_STATUS status = PdhOpenQueryA(nullptr, 0, query->receive());
    if (status == ERROR_SUCCESS) {
        return true;
    }
    // contractual text
    LOG_AT(kLogError, function, "Error while opening query.Return Error Code[%ld]",
           (long)(LONG)status);
    LOG_SYSTEM_ERROR(function);
    return false;
}

// The expanded list of path in *list and the characters allocated for it in *size; null when
// PDH gave none. The retry takes the length PDH asks for, unless no list could need that much.
void ExpandPath(const char* path, ScopedMalloc* list, DWORD* size) {
    DWORD length = kFirstExpansionLength;
    *size = length;
    list->reset(malloc(length));
    if (!list->held()) {
        return;
    }
    PDH_STATUS status = PdhExpandCounterPathA(path, static_cast<char*>(list->get()), &length);
    if (status == (PDH_STATUS)PDH_MORE_DATA) {
        // contractual text
        LOG_AT(kLogInfo, kGetExpandedCounterPathsName,
               "More Data Rqd for expanding counter path for wildCardPath[%s]", path);
        list->reset();
        if (length < kLargestPdhBuffer) {
            length += 1;
            *size = length;
            list->reset(malloc(length));
        }
        status = list->held()
                     ? PdhExpandCounterPathA(path, static_cast<char*>(list->get()), &length)
                     : (PDH_STATUS)PDH_MORE_DATA;
        if (status != ERROR_SUCCESS) {
            // contractual text
            LOG_AT(kLogError, kGetExpandedCounterPathsName,
                   "Error while calling ExpandCounterPath for wildCardPath[%s]", path);
            LOG_SYSTEM_ERROR(kGetExpandedCounterPathsName);
        }
    }
    if (status != ERROR_SUCCESS) {
        list->reset();
    }
}

jobjectArray ExpandedPathArray(JNIEnv* env, const char* list, size_t size) {
    size_t count = CountMultiStringEntries(list, size);
    jobjectArray paths = JniNewStringArray(env, count);
    size_t offset = 0;
    for (size_t index = 0; index < count && paths != nullptr; ++index) {
        const char* path = list + offset;
        offset += strnlen(path, size - offset) + 1;
        if (!JniStoreStringInArray(env, paths, (jsize)index, path)) {
            JniDeleteLocalRef(env, paths);
            paths = nullptr;
        }
    }
    return paths;
}

// Stores a part of a parsed path; a part the path lacks is a null element.
bool StorePart(JNIEnv* env, jobjectArray parts, jsize index, const char* part) {
    if (part != nullptr) {
        return JniStoreStringInArray(env, parts, index, part);
    }
    env->SetObjectArrayElement(parts, index, nullptr);
    return !JniExceptionPending(env);
}

jobjectArray ParsedPathArray(JNIEnv* env, const PDH_COUNTER_PATH_ELEMENTS_A& elements) {
    jobjectArray parts = JniNewStringArray(env, kParsedElements);
    if (parts == nullptr) {
        return nullptr;
    }
    if (!StorePart(env, parts, kCounterElement, elements.szCounterName) ||
        !StorePart(env, parts, kInstanceElement, elements.szInstanceName) ||
        !StorePart(env, parts, kObjectElement, elements.szObjectName) ||
        !StorePart(env, parts, kParentElement, elements.szParentInstance)) {
        JniDeleteLocalRef(env, parts);
        return nullptr;
    }
    return parts;
}

// The parsed record of path in *buffer; the status of the last parse.
PDH_STATUS ParsePath(const char* path, ScopedMalloc* buffer) {
    size_t pathLength = strlen(path);
    if (pathLength > kLargestPdhBuffer) {
        return (PDH_STATUS)PDH_INVALID_PATH;
    }
    DWORD size = (DWORD)pathLength + kParseBufferRoom;
    buffer->reset(malloc(size));
    if (!buffer->held()) {
        return (PDH_STATUS)PDH_MEMORY_ALLOCATION_FAILURE;
    }
    PDH_STATUS status = PdhParseCounterPathA(
        path, static_cast<PDH_COUNTER_PATH_ELEMENTS_A*>(buffer->get()), &size, 0);
    if (status == (PDH_STATUS)PDH_MORE_DATA) {
        buffer->reset(size <= kLargestPdhBuffer ? malloc(size) : nullptr);
        if (!buffer->held()) {
            return status;
        }
        status = PdhParseCounterPathA(
            path, static_cast<PDH_COUNTER_PATH_ELEMENTS_A*>(buffer->get()), &size, 0);
    }
    return status;
}

} // namespace

JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getExpandedCounterPaths(
    JNIEnv* env, jobject, jstring wildCardPath) {
    ScopedPdhQuery query;
    if (!OpenQuery(&query, kGetExpandedCounterPathsName)) {
        return nullptr;
    }
    ScopedAnsiChars path(env, wildCardPath);
    if (path.unconvertible()) {
        LOG_AT(kLogError, kGetExpandedCounterPathsName, "%s", kTextOutsideAnsiCodePage);
        return nullptr;
    }
    if (path.chars() == nullptr) {
        return nullptr;
    }
    // contractual text
    LOG_AT(kLogInfo, kGetExpandedCounterPathsName, "Wild card counter path = %s", path.chars());
    ScopedMalloc list;
    DWORD size = 0;
    ExpandPath(path.chars(), &list, &size);
    if (!list.held()) {
        return nullptr;
    }
    const char* paths = static_cast<const char*>(list.get());
    if (size == 0 || paths[0] == '\0') {
        // contractual text
        LOG_AT(kLogError, kGetExpandedCounterPathsName,
               "No expanded counter paths found for wildCardPath[%s]", path.chars());
        return nullptr;
    }
    return ExpandedPathArray(env, paths, size);
}

JNIEXPORT jdoubleArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getCounterValues(
    JNIEnv* env, jobject, jobjectArray expandedPaths, jint delaySeconds) {
    return SampleCounterValues(env, expandedPaths, delaySeconds);
}

JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_parseCounterPath(
    JNIEnv* env, jobject, jstring counterPath) {
    if (counterPath == nullptr) {
        // contractual text
        LOG_AT(kLogError, kParseCounterPathName, "String array of expanded counter path is NULL");
        return nullptr;
    }
    ScopedPdhQuery query;
    if (!OpenQuery(&query, kParseCounterPathName)) {
        return nullptr;
    }
    ScopedAnsiChars path(env, counterPath);
    if (path.chars() == nullptr) {
        if (path.unconvertible()) {
            LOG_AT(kLogError, kParseCounterPathName, "%s", kTextOutsideAnsiCodePage);
        }
        return nullptr;
    }
    ScopedMalloc buffer;
    if (ParsePath(path.chars(), &buffer) != ERROR_SUCCESS) {
        // contractual text
        LOG_AT(kLogError, kParseCounterPathName, "Failed while parsing counter path for path[%s]",
               path.chars());
        return nullptr;
    }
    return ParsedPathArray(env, *static_cast<const PDH_COUNTER_PATH_ELEMENTS_A*>(buffer.get()));
}

JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_checkInstanceExists(
    JNIEnv* env, jobject, jstring instanceId) {
    ScopedPdhQuery query;
    if (!OpenQuery(&query, kCheckInstanceExistsName)) {
        return JNI_FALSE;
    }
    ScopedAnsiChars path(env, instanceId);
    if (path.chars() == nullptr) {
        if (path.unconvertible()) {
            LOG_AT(kLogError, kCheckInstanceExistsName, "%s", kTextOutsideAnsiCodePage);
        }
        return JNI_FALSE;
    }
    PDH_HCOUNTER counter = nullptr;
    PDH_STATUS status = PdhAddCounterA(query.get(), path.chars(), 0, &counter);
    if (status != ERROR_SUCCESS) {
        // contractual text
        LOG_AT(kLogError, kCheckInstanceExistsName,
               "Error while adding counter path[%s].\t\t\t Return Error Code[%ld]", path.chars(),
               (long)(LONG)status);
        // contractual text
        LOG_AT(kLogError, kCheckInstanceExistsName, "Instance ID [%s] doesnot exist", path.chars());
        return JNI_FALSE;
    }
    status = PdhCollectQueryData(query.get());
    if (status != ERROR_SUCCESS) {
        // contractual text
        LOG_AT(kLogError, kCheckInstanceExistsName,
               "Error while collecting query data for[%s].\t\t\t Return Error Code[%ld]",
               path.chars(), (long)(LONG)status);
        LOG_AT(kLogError, kCheckInstanceExistsName, "Instance ID [%s] doesnot exist", path.chars());
        LOG_SYSTEM_ERROR(kCheckInstanceExistsName);
        return JNI_FALSE;
    }
    // PDH adds a counter whose instance does not exist and collects it without complaint: only
    // the counter's own status tells that the instance is gone, and without this look every
    // exited process would be reported as present.
    PDH_FMT_COUNTERVALUE value = {};
    PdhGetFormattedCounterValue(counter, PDH_FMT_DOUBLE, nullptr, &value);
    if (value.CStatus == (DWORD)PDH_CSTATUS_NO_INSTANCE) {
        // contractual text
        LOG_AT(kLogError, kCheckInstanceExistsName,
               "Error while collecting query data for[%s].\t\t\t Return Error Code[%ld]",
               path.chars(), (long)(LONG)value.CStatus);
        LOG_AT(kLogError, kCheckInstanceExistsName, "Instance ID [%s] doesnot exist", path.chars());
        return JNI_FALSE;
    }
    // contractual text
    LOG_AT(kLogInfo, kCheckInstanceExistsName, "Instance ID [%s] exists", path.chars());
    return JNI_TRUE;
}
