#include "InventoryAgents/WindowsPerfMonAgent/CounterSampling.h"

#include "Common/DiagnosticLog.h"
#include "Common/JniSupport.h"
#include "Common/ScopedResource.h"
#include "InventoryAgents/WindowsPerfMonAgent/PdhSupport.h"

#include <stdlib.h>

namespace {

constexpr char kGetCounterValuesName[] =
    "Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getCounterValues";
constexpr char kCollectCounterValuesName[] = "collectCounterValues";

// The value of a counter as the caller takes it: a double, capped at 100 where PDH caps.
constexpr DWORD kValueFormat = PDH_FMT_DOUBLE;

// A rate needs two collections of its counter, so a counter added in a pass cannot give one
// when it is read right after its first collection. The counters of the first pass are kept and
// read once more after the delay, which makes their rate one over an interval that includes it.
// The second pass falls back on that reading only when its own counter says it has no valid data
// yet (PDH_CSTATUS_INVALID_DATA): PdhGetFormattedCounterValue returns PDH_INVALID_DATA for an
// instance that has gone as well, which must give -1.0 rather than its value before.
struct DelayedValue {
    bool held;
    double value;
};

struct PassState {
    PDH_HQUERY query;
    double* values;
    PDH_HCOUNTER* firstPassCounters;   // filled by the first pass, null in the second
    const DelayedValue* delayedValues; // null in the first pass
};

// The counter's value; false with the call's status and the counter's own when there is none.
bool ReadValue(PDH_HCOUNTER counter, double* value, PDH_STATUS* status, DWORD* counterStatus) {
    PDH_FMT_COUNTERVALUE formatted = {};
    DWORD type = 0;
    *status = PdhGetFormattedCounterValue(counter, kValueFormat, &type, &formatted);
    *counterStatus = formatted.CStatus;
    if (*status != ERROR_SUCCESS) {
        return false;
    }
    *value = formatted.doubleValue;
    return true;
}

// Adds, collects and reads the counter of one path; the result is the value at its index.
double SamplePath(const PassState& pass, size_t index, const char* path) {
    PDH_HCOUNTER counter = nullptr;
    PDH_STATUS status = PdhAddCounterA(pass.query, path, 0, &counter);
    if (status != ERROR_SUCCESS) {
        LOG_AT(kLogError, kCollectCounterValuesName,
               "Add counter failed for expanded path[%s].\t\t\t\t Return Error Code[%ld]", path,
               static_cast<long>(static_cast<LONG>(status)));
        LOG_SYSTEM_ERROR(kCollectCounterValuesName);
        return kFailedCounterValue;
    }
    if (pass.firstPassCounters != nullptr) {
        pass.firstPassCounters[index] = counter;
    }
    status = PdhCollectQueryData(pass.query);
    if (status != ERROR_SUCCESS) {
        LOG_AT(kLogError, kCollectCounterValuesName,
               "Collect Query Data failed for expanded path[%s].\t\t\t\t Return Error Code[%ld]",
               path, static_cast<long>(static_cast<LONG>(status)));
        LOG_SYSTEM_ERROR(kCollectCounterValuesName);
        return kFailedCounterValue;
    }
    double value = kFailedCounterValue;
    DWORD counterStatus = PDH_CSTATUS_VALID_DATA;
    if (ReadValue(counter, &value, &status, &counterStatus)) {
        return value;
    }
    if (counterStatus == PDH_CSTATUS_INVALID_DATA && pass.delayedValues != nullptr &&
        pass.delayedValues[index].held) {
        return pass.delayedValues[index].value;
    }
    LOG_AT(kLogError, kCollectCounterValuesName,
           "Get formatted counter value failed for expanded path[%s]\t\t\t\t with return code[%x]",
           path, static_cast<unsigned>(status));
    LOG_SYSTEM_ERROR(kCollectCounterValuesName);
    return kFailedCounterValue;
}

// Samples one path element into its index; false when the JVM could not supply its characters
// (an exception is then pending). The characters go back before the caller drops the element.
bool SampleElement(JNIEnv* env, jstring element, const PassState& pass, size_t index) {
    ScopedAnsiChars path(env, element);
    if (path.chars() == nullptr) {
        if (!path.unconvertible()) {
            return false;
        }
        LOG_AT(kLogError, kCollectCounterValuesName, "%s", kTextOutsideAnsiCodePage);
        pass.values[index] = kFailedCounterValue;
        return true;
    }
    pass.values[index] = SamplePath(pass, index, path.chars());
    return true;
}

// One pass over every path; false when the JVM refused an element (an exception is pending).
bool CollectCounterValues(JNIEnv* env, jobjectArray paths, const PassState& pass) {
    jsize count = env->GetArrayLength(paths);
    LOG_AT(kLogInfo, kCollectCounterValuesName, "Total counter paths = %d",
           static_cast<int>(count));
    for (jsize index = 0; index < count; ++index) {
        jobject element = env->GetObjectArrayElement(paths, index);
        if (JniExceptionPending(env)) {
            return false;
        }
        if (element == nullptr) {
            LOG_AT(kLogError, kCollectCounterValuesName,
                   "Expanded counter path at index[%d] is NULL", static_cast<int>(index));
            pass.values[index] = kFailedCounterValue;
            continue;
        }
        bool sampled =
            SampleElement(env, static_cast<jstring>(element), pass, static_cast<size_t>(index));
        JniDeleteLocalRef(env, element);
        if (!sampled) {
            return false;
        }
    }
    return true;
}

// Collects the query once after the delay and reads each first-pass counter: the two
// collections around the delay give every rate counter its value.
void ReadAfterDelay(PDH_HQUERY query, const PDH_HCOUNTER* counters, DelayedValue* delayed,
                    size_t count) {
    bool anyCounter = false;
    for (size_t index = 0; index < count; ++index) {
        anyCounter = anyCounter || counters[index] != nullptr;
    }
    if (!anyCounter || PdhCollectQueryData(query) != ERROR_SUCCESS) {
        return;
    }
    for (size_t index = 0; index < count; ++index) {
        PDH_STATUS status = ERROR_SUCCESS;
        DWORD counterStatus = PDH_CSTATUS_VALID_DATA;
        delayed[index].held =
            counters[index] != nullptr &&
            ReadValue(counters[index], &delayed[index].value, &status, &counterStatus);
    }
}

void WaitBeforeSecondPass(int delayMilliseconds) {
    LOG_AT(kLogInfo, kGetCounterValuesName, "sleeping for %dms", delayMilliseconds);
    Sleep(static_cast<DWORD>(delayMilliseconds));
    LOG_AT(kLogInfo, kGetCounterValuesName, "Call to re-collect counter values");
}

void LogNoRoomForValues() {
    LOG_AT(kLogError, kGetCounterValuesName,
           "Counter values returned by collectCounterValues is NULL");
}

// Both passes; false when the JVM refused an element or there was no room for the counters.
bool RunPasses(JNIEnv* env, jobjectArray paths, PDH_HQUERY query, double* values, size_t count,
               int delayMilliseconds) {
    // One more element than needed, so that an empty list still gets a block to hold.
    ScopedMalloc counters(LibraryCalloc(count + 1, sizeof(PDH_HCOUNTER)));
    ScopedMalloc delayed(LibraryCalloc(count + 1, sizeof(DelayedValue)));
    if (!counters.held() || !delayed.held()) {
        // To the caller, no room for the counters is no room for the values.
        LogNoRoomForValues();
        return false;
    }
    auto* firstPassCounters = static_cast<PDH_HCOUNTER*>(counters.get());
    auto* delayedValues = static_cast<DelayedValue*>(delayed.get());
    if (!CollectCounterValues(env, paths, {query, values, firstPassCounters, nullptr})) {
        return false;
    }
    if (delayMilliseconds <= 0) {
        return true;
    }
    WaitBeforeSecondPass(delayMilliseconds);
    ReadAfterDelay(query, firstPassCounters, delayedValues, count);
    return CollectCounterValues(env, paths, {query, values, nullptr, delayedValues});
}

} // namespace

jdoubleArray SampleCounterValues(JNIEnv* env, jobjectArray expandedPaths, jint delaySeconds) {
    if (expandedPaths == nullptr) {
        LOG_AT(kLogError, kGetCounterValuesName, "Expanded counter path returned is NULL");
        return nullptr;
    }
    jsize count = env->GetArrayLength(expandedPaths);
    ScopedPdhQuery query;
    PDH_STATUS status = PdhOpenQueryA(nullptr, 0, query.receive());
    if (status != ERROR_SUCCESS) {
        LOG_AT(kLogError, kGetCounterValuesName,
               "Error while calling API PdhOpenQuery!!.\t\t\t Return Error Code[%ld]",
               static_cast<long>(static_cast<LONG>(status)));
        LOG_SYSTEM_ERROR(kGetCounterValuesName);
        return nullptr;
    }
    ScopedMalloc buffer(LibraryCalloc(static_cast<size_t>(count) + 1, sizeof(double)));
    LOG_AT(kLogInfo, kGetCounterValuesName, "Call to collect counter values");
    if (!buffer.held()) {
        LogNoRoomForValues();
        return nullptr;
    }
    auto* values = static_cast<double*>(buffer.get());
    if (!RunPasses(env, expandedPaths, query.get(), values, static_cast<size_t>(count),
                   DelayMilliseconds(delaySeconds))) {
        return nullptr;
    }
    jdoubleArray result = env->NewDoubleArray(count);
    if (result == nullptr || JniExceptionPending(env)) {
        return nullptr;
    }
    env->SetDoubleArrayRegion(result, 0, count, values);
    if (JniExceptionPending(env)) {
        JniDeleteLocalRef(env, result);
        return nullptr;
    }
    return result;
}
