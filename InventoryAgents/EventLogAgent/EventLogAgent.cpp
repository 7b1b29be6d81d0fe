// The classic event logs for the Java side: the names of the logs, handles that Java owns, the
// records one by one, and the check that a reported record is still in its log. None of these
// exports writes to the diagnostic log.
#include "Common/JniSupport.h"
#include "Common/ScopedResource.h"
#include "InventoryAgents/EventLogAgent/EventLogNames.h"
#include "InventoryAgents/EventLogAgent/EventMessages.h"
#include "InventoryAgents/EventLogAgent/EventRecordReader.h"
#include "InventoryAgents/EventLogAgent/EventRecordText.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr char kEventLogKeyPath[] = "System\\CurrentControlSet\\Services\\EventLog";
constexpr DWORD kLogNameSize = MAX_PATH;

HANDLE HandleFromJava(jlong handle) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
}

// Stores text at index; on a JVM refusal drops the array and gives null.
jobjectArray StoreOrDrop(JNIEnv* env, jobjectArray array, jsize index, const char* text) {
    if (!JniStoreStringInArray(env, array, index, text)) {
        JniDeleteLocalRef(env, array);
        return nullptr;
    }
    return array;
}

// The name of the subkey at index, "" when it can no longer be enumerated.
void SubkeyName(HKEY eventLogKey, DWORD index, char (&name)[kLogNameSize]) {
    DWORD length = kLogNameSize;
    if (RegEnumKeyExA(eventLogKey, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
        name[0] = '\0';
    }
    name[kLogNameSize - 1] = '\0';
}

// How many of the first count subkeys are logs.
DWORD CountLogs(HKEY eventLogKey, DWORD count) {
    DWORD logs = 0;
    for (DWORD index = 0; index < count; ++index) {
        char name[kLogNameSize];
        SubkeyName(eventLogKey, index, name);
        logs += IsEventLogKey(eventLogKey, name) ? 1 : 0;
    }
    return logs;
}

// The logs among the first count subkeys, in the registry's order, "" for a subkey that can no
// longer be enumerated. The array keeps the length the count of logs gave: logs that disappear
// meanwhile leave "" at its end.
jobjectArray LogNames(JNIEnv* env, HKEY eventLogKey, DWORD count, DWORD logs) {
    jobjectArray names = JniNewStringArray(env, logs);
    DWORD stored = 0;
    for (DWORD index = 0; index < count && stored < logs && names != nullptr; ++index) {
        char name[kLogNameSize];
        SubkeyName(eventLogKey, index, name);
        if (IsEventLogKey(eventLogKey, name)) {
            names = StoreOrDrop(env, names, static_cast<jsize>(stored++), name);
        }
    }
    return names;
}

// The texts the mask selects, in the order of the elements; the key last, since it looks the
// message up again for its hash.
jobjectArray RecordTexts(JNIEnv* env, const EventRecordView& view, uint16_t fieldMask) {
    jobjectArray result = JniNewStringArray(env, kEventRecordElements);
    for (int element = 1; element < kEventRecordElements && result != nullptr; ++element) {
        if ((fieldMask & EventElementBit(element)) == 0) {
            continue;
        }
        ScopedMalloc text(NewEventElementText(view, element));
        if (!text.held()) {
            JniDeleteLocalRef(env, result);
            return nullptr;
        }
        result = StoreOrDrop(env, result, element, static_cast<const char*>(text.get()));
    }
    if (result == nullptr) {
        return nullptr;
    }
    char key[kRecordKeySize];
    FormatEventRecordKey(view, key, sizeof key);
    return StoreOrDrop(env, result, kRecordKeyElement, key);
}

bool RecordMatches(const EventRecordView& view, const EventRecordKey& key) {
    return EventRecordNumbersMatch(view.record, key) && EventMessageHash(view) == key.messageHash;
}

// Scans the log from its oldest record; any read failure, the end included, ends it unmatched.
bool LogHoldsRecord(const EventRecordKey& key) {
    ScopedEventLogHandle log(OpenEventLogA(nullptr, key.logName));
    if (!log.held()) {
        return false;
    }
    for (;;) {
        DWORD size = 0;
        ScopedMalloc record(ReadNextEventRecord(log.get(), &size));
        if (!record.held()) {
            return false;
        }
        EventRecordView view = {static_cast<const EVENTLOGRECORD*>(record.get()), size,
                                key.logName};
        if (RecordMatches(view, key)) {
            return true;
        }
    }
}

} // namespace

// Null when the EventLog key cannot be opened with all access rights or has no logs. Keys of the
// service's own beside the logs are not listed (EventLogNames.h).
JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_getAllLogFileNames(
    JNIEnv* env, jobject) {
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventLogKeyPath, 0, KEY_ALL_ACCESS, key.receive()) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    DWORD subkeys = 0, longestName = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, &longestName, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys == 0) {
        return nullptr;
    }
    DWORD logs = CountLogs(key.get(), subkeys);
    return logs != 0 ? LogNames(env, key.get(), subkeys, logs) : nullptr;
}

// The handle's value unchanged, for Java to keep and close exactly once; 0 on failure, also for
// a null name and a name the ANSI code page cannot hold.
JNIEXPORT jlong JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_openEventLog(
    JNIEnv* env, jobject, jstring logName) {
    ScopedAnsiChars name(env, logName);
    if (name.chars() == nullptr) {
        return 0;
    }
    return static_cast<jlong>(reinterpret_cast<intptr_t>(OpenEventLogA(nullptr, name.chars())));
}

// What CloseEventLog answers, for any handle Java gives, 0 and closed ones included.
JNIEXPORT jint JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_closeEventLog(
    JNIEnv*, jobject, jlong eventLogHandle) {
    return static_cast<jint>(CloseEventLog(HandleFromJava(eventLogHandle)));
}

// The log name is taken before the read, so that a name refused consumes no record.
JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_readNextEventLogRecord(
    JNIEnv* env, jobject, jlong eventLogHandle, jshort fieldMask, jstring logName) {
    if (eventLogHandle == 0 || fieldMask == 0 || logName == nullptr) {
        return nullptr;
    }
    ScopedAnsiChars name(env, logName);
    if (name.chars() == nullptr) {
        return nullptr;
    }
    DWORD size = 0;
    ScopedMalloc record(ReadNextEventRecord(HandleFromJava(eventLogHandle), &size));
    if (!record.held()) {
        return nullptr;
    }
    EventRecordView view = {static_cast<const EVENTLOGRECORD*>(record.get()), size, name.chars()};
    return RecordTexts(env, view, static_cast<uint16_t>(fieldMask));
}

// Opens the key's log afresh: the handles Java holds and their read positions are not touched.
JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_checkInstanceExists(
    JNIEnv* env, jobject, jstring recordKey) {
    ScopedAnsiChars chars(env, recordKey);
    if (chars.chars() == nullptr) {
        return JNI_FALSE;
    }
    ScopedMalloc copy(LibraryStrdup(chars.chars()));
    EventRecordKey key;
    if (!copy.held() || !ParseEventRecordKey(static_cast<char*>(copy.get()), &key)) {
        return JNI_FALSE;
    }
    return LogHoldsRecord(key) ? JNI_TRUE : JNI_FALSE;
}
