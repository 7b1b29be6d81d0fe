// Performance counters for the Java side: wildcard paths expanded to the concrete paths they
// stand for, those paths sampled, one path split into its parts, and the check that a reported
// counter can still be sampled. Each export opens a query of its own and closes it before it
// returns, even where it has no use for it, so that a machine whose PDH cannot open one fails
// every export alike.
#include "Common/DiagnosticLog.h"
#include "Common/JniSupport.h"
#include "Common/ScopedResource.h"
#include "InventoryAgents/WindowsPerfMonAgent/CounterSampling.h"
#include "InventoryAgents/WindowsPerfMonAgent/PdhSupport.h"

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
// Windows XP asks for one character less than an expanded list takes.
constexpr DWORD kExpansionSlack = 1;
constexpr DWORD kParseSlack = 0;
// Processes start and stop between the call that sizes a list and the one that fills it: a list
// that outgrows its size this many times in a row is given up.
constexpr int kSizedAttempts = 5;

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
    LOG_AT(kLogError, function, "Error while opening query.Return Error Code[%ld]",
           static_cast<long>(static_cast<LONG>(status)));
    LOG_SYSTEM_ERROR(function);
    return false;
}

// The step of an instance check that found the counter missing.
enum class CheckStep { AddCounter, Collect, CounterStatus };

// The records of a counter that cannot be sampled: the step that failed with its status, then the
// missing instance. Only a failed collection has a system error to follow them.
jboolean MissingInstance(const char* path, CheckStep step, LONG status) {
    if (step == CheckStep::AddCounter) {
        LOG_AT(kLogError, kCheckInstanceExistsName,
               "Error while adding counter path[%s].\t\t\t Return Error Code[%ld]", path,
               static_cast<long>(status));
    } else {
        LOG_AT(kLogError, kCheckInstanceExistsName,
               "Error while collecting query data for[%s].\t\t\t Return Error Code[%ld]", path,
               static_cast<long>(status));
    }
    LOG_AT(kLogError, kCheckInstanceExistsName, "Instance ID [%s] doesnot exist", path);
    if (step == CheckStep::Collect) {
        LOG_SYSTEM_ERROR(kCheckInstanceExistsName);
    }
    return JNI_FALSE;
}

// How a PDH call that fills a buffer went.
struct PdhFill {
    PDH_STATUS status; // of the last call; ERROR_SUCCESS only with the buffer filled
    bool askedForMore; // PDH said the first guess was too small
    bool outOfMemory;  // a buffer could not be allocated
};

// A buffer of size bytes and one more, all NUL: whatever PDH leaves unterminated in it still
// ends inside it.
bool AllocateFor(ScopedMalloc* buffer, DWORD size) {
    buffer->reset(LibraryCalloc(static_cast<size_t>(size) + 1, 1));
    return buffer->held();
}

// Fills *buffer by call(buffer, size in/out), first in a buffer of firstSize. Only the size PDH
// gives for no buffer at all is relied on: its answer to a short one is PDH_MORE_DATA on current
// releases and PDH_INVALID_ARGUMENT or PDH_INVALID_PATH on others, with a size not to be trusted
// either way. So any failure of the first call asks for the size with none, takes that size (and
// slack more) and tries again, as long as the size keeps growing. *held is the bytes held, the
// last of them NUL.
template <typename Call>
PdhFill FillFromPdh(const Call& call, DWORD firstSize, DWORD slack, ScopedMalloc* buffer,
                    size_t* held) {
    PdhFill fill = {static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE), false, false};
    DWORD room = firstSize;
    if (!AllocateFor(buffer, room)) {
        fill.outOfMemory = true;
        return fill;
    }
    DWORD size = room;
    fill.status = call(buffer->get(), &size);
    fill.askedForMore = fill.status == static_cast<PDH_STATUS>(PDH_MORE_DATA);
    DWORD lastNeeded = 0;
    for (int attempt = 0; fill.status != ERROR_SUCCESS && attempt < kSizedAttempts; ++attempt) {
        buffer->reset();
        DWORD needed = 0;
        fill.status = call(nullptr, &needed);
        if (fill.status != static_cast<PDH_STATUS>(PDH_MORE_DATA) || needed <= lastNeeded) {
            break;
        }
        fill.askedForMore = true;
        lastNeeded = needed;
        room = needed <= 0xFFFFFFFFu - slack ? needed + slack : 0xFFFFFFFFu;
        if (!AllocateFor(buffer, room)) {
            fill.status = static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
            fill.outOfMemory = true;
            return fill;
        }
        size = room;
        fill.status = call(buffer->get(), &size);
    }
    if (fill.status != ERROR_SUCCESS || !buffer->held()) {
        fill.status =
            fill.status != ERROR_SUCCESS ? fill.status : static_cast<PDH_STATUS>(PDH_NO_DATA);
        buffer->reset();
        return fill;
    }
    // What PDH says it used is not needed: the rest of the buffer is NUL.
    *held = static_cast<size_t>(room) + 1;
    return fill;
}

// The expanded list of path in *list and the bytes held for it in *held; nothing when PDH gave
// none. An allocation that fails is the expansion's failure, with its record.
void ExpandPath(const char* path, ScopedMalloc* list, size_t* held) {
    auto expand = [path](void* buffer, DWORD* length) {
        return PdhExpandCounterPathA(path, static_cast<char*>(buffer), length);
    };
    PdhFill fill = FillFromPdh(expand, kFirstExpansionLength, kExpansionSlack, list, held);
    if (fill.askedForMore) {
        LOG_AT(kLogInfo, kGetExpandedCounterPathsName,
               "More Data Rqd for expanding counter path for wildCardPath[%s]", path);
    }
    if (fill.status != ERROR_SUCCESS && (fill.askedForMore || fill.outOfMemory)) {
        LOG_AT(kLogError, kGetExpandedCounterPathsName,
               "Error while calling ExpandCounterPath for wildCardPath[%s]", path);
        if (fill.outOfMemory) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
        LOG_SYSTEM_ERROR(kGetExpandedCounterPathsName);
    }
}

jobjectArray ExpandedPathArray(JNIEnv* env, const char* list, size_t held) {
    size_t count = CountMultiStringEntries(list, held);
    jobjectArray paths = JniNewStringArray(env, count);
    size_t offset = 0;
    for (size_t index = 0; index < count && paths != nullptr; ++index) {
        const char* path = list + offset;
        offset = NextMultiStringEntry(list, held, offset);
        if (!JniStoreStringInArray(env, paths, static_cast<jsize>(index), path)) {
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
    if (pathLength > 0xFFFFFFFFu - kParseBufferRoom) {
        return static_cast<PDH_STATUS>(PDH_INVALID_PATH);
    }
    auto parse = [path](void* record, DWORD* size) {
        return PdhParseCounterPathA(path, static_cast<PDH_COUNTER_PATH_ELEMENTS_A*>(record), size,
                                    0);
    };
    size_t held = 0;
    return FillFromPdh(parse, static_cast<DWORD>(pathLength) + kParseBufferRoom, kParseSlack,
                       buffer, &held)
        .status;
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
    LOG_AT(kLogInfo, kGetExpandedCounterPathsName, "Wild card counter path = %s", path.chars());
    ScopedMalloc list;
    size_t held = 0;
    ExpandPath(path.chars(), &list, &held);
    if (!list.held()) {
        return nullptr;
    }
    const char* paths = static_cast<const char*>(list.get());
    if (paths[0] == '\0') {
        LOG_AT(kLogError, kGetExpandedCounterPathsName,
               "No expanded counter paths found for wildCardPath[%s]", path.chars());
        return nullptr;
    }
    return ExpandedPathArray(env, paths, held);
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
        return MissingInstance(path.chars(), CheckStep::AddCounter, status);
    }
    status = PdhCollectQueryData(query.get());
    if (status != ERROR_SUCCESS) {
        return MissingInstance(path.chars(), CheckStep::Collect, status);
    }
    // PDH adds a counter whose instance does not exist and collects it without complaint: only
    // the counter's own status tells that the instance is gone, and without this look every
    // exited process would be reported as present.
    PDH_FMT_COUNTERVALUE value = {};
    PdhGetFormattedCounterValue(counter, PDH_FMT_DOUBLE, nullptr, &value);
    if (value.CStatus == static_cast<DWORD>(PDH_CSTATUS_NO_INSTANCE)) {
        return MissingInstance(path.chars(), CheckStep::CounterStatus,
                               static_cast<LONG>(value.CStatus));
    }
    LOG_AT(kLogInfo, kCheckInstanceExistsName, "Instance ID [%s] exists", path.chars());
    return JNI_TRUE;
}
