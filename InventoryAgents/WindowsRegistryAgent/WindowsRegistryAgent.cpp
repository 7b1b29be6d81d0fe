#include "InventoryAgents/WindowsRegistryAgent/WindowsRegistryAgent.h"

#include "Common/DiagnosticLog.h"
#include "Common/HostClasses.h"
#include "Common/JniSupport.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define LOG_SOURCE "InventoryAgents\\WindowsRegistryAgent\\WindowsRegistryAgent"

// The registry functions return their error instead of setting the thread's last error, so the
// record of the last system error is given the status that actually failed.
#define LOG_REGISTRY_ERROR(function, status)                                                       \
    do {                                                                                           \
        SetLastError((DWORD)(status));                                                             \
        LOG_SYSTEM_ERROR(function);                                                                \
    } while (0)

namespace {

#define AGENT "Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_"
const char GET_CHILD_KEY_NAMES[] = AGENT "getChildKeyNames";
const char GET_CHILD_VALUE_NAMES[] = AGENT "getChildValueNames";
const char GET_VALUE[] = AGENT "getValue";
const char GET_LAST_MODIFIED_TIME[] = AGENT "getLastModifiedTime";
const char CHECK_INSTANCE_EXISTS[] = AGENT "checkInstanceExists";
#undef AGENT

// Long name before abbreviation, in the order the lookup tests them; row r is the root key
// PREDEFINED_KEYS[r / 2].
const char PredefinedKeyTable[18][MAX_PATH] = {"HKEY_CLASSES_ROOT",
                                               "HKCR",
                                               "HKEY_CURRENT_USER",
                                               "HKCU",
                                               "HKEY_LOCAL_MACHINE",
                                               "HKLM",
                                               "HKEY_USERS",
                                               "HKU",
                                               "HKEY_CURRENT_CONFIG",
                                               "HKCC",
                                               "HKEY_DYN_DATA",
                                               "HKDD",
                                               "HKEY_PERFORMANCE_DATA",
                                               "HKPD",
                                               "HKEY_PERFORMANCE_NLSTEXT",
                                               "HKPN",
                                               "HKEY_PERFORMANCE_TEXT",
                                               "HKPT"};

// The 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
constexpr uint64_t UNIX_EPOCH_IN_FILETIME = 116444736000000000ULL;
constexpr uint64_t FILETIME_TICKS_PER_MILLISECOND = 10000;

constexpr jbyte INSTANCE_EXISTS = 1;
constexpr jbyte INSTANCE_ABSENT = -1;

const char* Text(const char* text) {
    return text != nullptr ? text : "";
}

bool IsEmpty(const char* text) {
    return text == nullptr || text[0] == '\0';
}

// The private copy of a key path, its two parts, and the key opened from them; the copy is freed
// and the key closed on every return of the export that holds it.
struct ResolvedKey {
    char* copy = nullptr;
    char* rootName = nullptr;
    char* subkeyPath = nullptr;
    HKEY root = nullptr;
    HKEY key = nullptr;

    ResolvedKey() = default;
    ResolvedKey(const ResolvedKey&) = delete;
    ResolvedKey& operator=(const ResolvedKey&) = delete;
    ~ResolvedKey() {
        free(copy);
        if (key != nullptr) {
            RegCloseKey(key);
        }
    }

    // Copies and splits the path; the caller releases the Java chars right after.
    bool Split(const char* keyPath, const char* function) {
        copy = SplitKeyPath(keyPath, &rootName, &subkeyPath);
        if (copy == nullptr) {
            LOG_AT(LOG_ERROR, function, "Not enough memory");
        }
        return copy != nullptr;
    }

    // Full access, although every export only reads: keys the process may not write fail here.
    LONG Open() {
        LONG status = RegOpenKeyExA(root, subkeyPath, 0, KEY_ALL_ACCESS, &key);
        if (status != ERROR_SUCCESS) {
            key = nullptr;
        }
        return status;
    }

    const char* Subkey() const { return Text(subkeyPath); }
};

// A malloc'd buffer freed when the scope ends.
struct FreeOnExit {
    void* block;
    ~FreeOnExit() { free(block); }
};

// A String[] of count elements, each the empty string. Null when the JVM refused (an exception
// is then pending) or the count does not fit a Java array.
jobjectArray NewEmptyStrings(JNIEnv* env, DWORD count) {
    if (count > (DWORD)INT32_MAX) {
        return nullptr;
    }
    jclass stringClass = env->FindClass(STRING_CLASS);
    if (stringClass == nullptr || JniExceptionPending(env)) {
        return nullptr;
    }
    jstring empty = JniNewString(env, "");
    jobjectArray array =
        empty != nullptr ? env->NewObjectArray((jsize)count, stringClass, empty) : nullptr;
    JniDeleteLocalRef(env, empty);
    env->DeleteLocalRef(stringClass);
    return JniExceptionPending(env) ? nullptr : array;
}

// Stores text at index; on a JVM failure drops the array and gives null.
jobjectArray StoreOrDrop(JNIEnv* env, jobjectArray array, DWORD index, const char* text) {
    if (!JniStoreStringInArray(env, array, (jsize)index, text)) {
        JniDeleteLocalRef(env, array);
        return nullptr;
    }
    return array;
}

// A name returned by an enumeration, terminated within the buffer whatever the call wrote.
void TerminateName(char* name, DWORD length, DWORD capacity) {
    name[length < capacity ? length : capacity - 1] = '\0';
}

jobjectArray EnumerateChildKeys(JNIEnv* env, const ResolvedKey& path, DWORD count) {
    jobjectArray names = NewEmptyStrings(env, count);
    for (DWORD index = 0; index < count && names != nullptr; ++index) {
        char name[MAX_PATH];
        name[0] = '\0';
        DWORD length = MAX_PATH;
        LONG status =
            RegEnumKeyExA(path.key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            TerminateName(name, length, MAX_PATH);
        } else {
            LOG_AT(LOG_INFO, GET_CHILD_KEY_NAMES, "ERROR while Enumerating child key [%s]",
                   path.Subkey());
            LOG_REGISTRY_ERROR(GET_CHILD_KEY_NAMES, status);
            name[0] = '\0';
        }
        names = StoreOrDrop(env, names, index, name);
    }
    return names;
}

jobjectArray ChildKeyNames(JNIEnv* env, ResolvedKey& path) {
    path.root = GetPredefinedKeyHandle(path.rootName);
    if (path.root == nullptr) {
        LOG_AT(LOG_ERROR, GET_CHILD_KEY_NAMES, "could not find predefined key [%s]", path.rootName);
        return nullptr;
    }
    LONG status = path.Open();
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, GET_CHILD_KEY_NAMES, "Error while opening registry key [%s]",
               path.Subkey());
        LOG_REGISTRY_ERROR(GET_CHILD_KEY_NAMES, status);
        return nullptr;
    }
    DWORD subkeys = 0;
    status = RegQueryInfoKeyA(path.key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, GET_CHILD_KEY_NAMES, "Error while querying info key for key [%s]",
               path.Subkey());
        LOG_REGISTRY_ERROR(GET_CHILD_KEY_NAMES, status);
        return nullptr;
    }
    if (subkeys == 0) {
        LOG_AT(LOG_ERROR, GET_CHILD_KEY_NAMES, "No child keys found for key [%s]", path.Subkey());
        return nullptr;
    }
    return EnumerateChildKeys(env, path, subkeys);
}

// Names only. The buffer holds the longest name the key reported, and is offered whole to each
// step, so a name that grew in between fails its own step and leaves its element empty.
jobjectArray EnumerateChildValues(JNIEnv* env, const ResolvedKey& path, DWORD count,
                                  DWORD longestName) {
    size_t capacity = (size_t)longestName + 1;
    if (capacity > UINT32_MAX) {
        capacity = UINT32_MAX;
    }
    FreeOnExit name{malloc(capacity)};
    if (name.block == nullptr) {
        LOG_AT(LOG_ERROR, GET_CHILD_VALUE_NAMES, "Not enough memory");
        return nullptr;
    }
    char* text = static_cast<char*>(name.block);
    jobjectArray names = NewEmptyStrings(env, count);
    for (DWORD index = 0; index < count && names != nullptr; ++index) {
        text[0] = '\0';
        DWORD length = (DWORD)capacity;
        LONG status =
            RegEnumValueA(path.key, index, text, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            TerminateName(text, length, (DWORD)capacity);
        } else {
            LOG_AT(LOG_ERROR, GET_CHILD_VALUE_NAMES,
                   "ERROR while Enumerating child key at index[%d] for keyName[%s]", (int)index,
                   path.Subkey());
            text[0] = '\0';
        }
        names = StoreOrDrop(env, names, index, text);
    }
    return names;
}

jobjectArray ChildValueNames(JNIEnv* env, ResolvedKey& path) {
    path.root = GetPredefinedKeyHandle(path.rootName);
    if (path.root == nullptr) {
        LOG_AT(LOG_ERROR, GET_CHILD_VALUE_NAMES,
               "Predefined HKEY not found for predefined key name[%s]", path.rootName);
        return nullptr;
    }
    LONG status = path.Open();
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, GET_CHILD_VALUE_NAMES, "Error in opening registry key [%s]",
               path.Subkey());
        LOG_REGISTRY_ERROR(GET_CHILD_VALUE_NAMES, status);
        return nullptr;
    }
    DWORD values = 0, longestName = 0;
    status = RegQueryInfoKeyA(path.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &values, &longestName, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, GET_CHILD_VALUE_NAMES,
               "Error while querying info key for registry key [%s]", path.Subkey());
        LOG_REGISTRY_ERROR(GET_CHILD_VALUE_NAMES, status);
        return nullptr;
    }
    if (values == 0) {
        LOG_AT(LOG_ERROR, GET_CHILD_VALUE_NAMES, "No child value name found for registry key [%s]",
               path.Subkey());
        return nullptr;
    }
    return EnumerateChildValues(env, path, values, longestName);
}

// Two upper-case hexadecimal digits per byte, no separator.
char* HexText(const BYTE* data, DWORD size) {
    static const char DIGITS[] = "0123456789ABCDEF";
    char* text = static_cast<char*>(malloc(2 * (size_t)size + 1));
    if (text == nullptr) {
        return nullptr;
    }
    for (DWORD i = 0; i < size; ++i) {
        text[2 * (size_t)i] = DIGITS[data[i] >> 4];
        text[2 * (size_t)i + 1] = DIGITS[data[i] & 0x0F];
    }
    text[2 * (size_t)size] = '\0';
    return text;
}

// The first four bytes as a little-endian signed number. A DWORD value may be stored shorter
// than four bytes; the bytes it lacks count as zero rather than whatever the buffer held.
char* DwordText(const BYTE* data, DWORD size) {
    char* text = static_cast<char*>(malloc(MAX_PATH));
    if (text == nullptr) {
        return nullptr;
    }
    uint32_t bits = 0;
    for (DWORD i = 0; i < 4 && i < size; ++i) {
        bits |= (uint32_t)data[i] << (8 * i);
    }
    int32_t value;
    memcpy(&value, &bits, sizeof value);
    snprintf(text, MAX_PATH, "%d", (int)value);
    return text;
}

// The data up to its first NUL, or all of it when there is none.
char* StringText(const BYTE* data, DWORD size) {
    char* text = static_cast<char*>(malloc((size_t)size + 1));
    if (text != nullptr) {
        memcpy(text, data, size);
        text[size] = '\0';
    }
    return text;
}

// The value's text and its type code; null text when out of memory.
char* ValueText(DWORD type, const BYTE* data, DWORD size, const char** code) {
    if (type == REG_BINARY) {
        LOG_AT(LOG_INFO, GET_VALUE, "Binary data type [%d]", (int)type);
        *code = "2";
        return HexText(data, size);
    }
    if (type == REG_DWORD) {
        LOG_AT(LOG_INFO, GET_VALUE, "DWORD data type [%d]", (int)type);
        *code = "3";
        return DwordText(data, size);
    }
    LOG_AT(LOG_INFO, GET_VALUE, "String data type [%d]", (int)type);
    *code = "1";
    return StringText(data, size);
}

// Element 1 the code, then element 0 the text; null after a JVM failure.
jobjectArray SetValueResult(JNIEnv* env, jobjectArray result, const char* code, const char* text) {
    result = StoreOrDrop(env, result, 1, code);
    return result != nullptr ? StoreOrDrop(env, result, 0, text) : nullptr;
}

jobjectArray FailedValue(JNIEnv* env, jobjectArray result) {
    return SetValueResult(env, result, "0", "");
}

jobjectArray StoreValueText(JNIEnv* env, jobjectArray result, DWORD type, const BYTE* data,
                            DWORD size) {
    const char* code = "0";
    FreeOnExit text{ValueText(type, data, size, &code)};
    if (text.block == nullptr) {
        LOG_AT(LOG_ERROR, GET_VALUE, "Not enough memory");
        return FailedValue(env, result);
    }
    return SetValueResult(env, result, code, static_cast<const char*>(text.block));
}

// Reads the named value into a buffer of the largest data size of the key: a value that grew
// since the key was queried fails the read.
jobjectArray ReadValue(JNIEnv* env, const ResolvedKey& path, jstring valueName, DWORD largestData,
                       jobjectArray result) {
    if (valueName == nullptr) {
        LOG_ASSERT_FAILED(GET_VALUE, "valueName != NULL");
        return FailedValue(env, result);
    }
    FreeOnExit data{malloc(largestData > 0 ? largestData : 1)};
    DWORD type = REG_NONE, size = largestData;
    {
        ScopedUtfChars name(env, valueName);
        if (name.chars() == nullptr) {
            JniDeleteLocalRef(env, result);
            return nullptr;
        }
        LOG_AT(LOG_INFO, GET_VALUE, "Query for value name[%s]", name.chars());
        LONG status = data.block == nullptr
                          ? ERROR_NOT_ENOUGH_MEMORY
                          : RegQueryValueExA(path.key, name.chars(), nullptr, &type,
                                             static_cast<BYTE*>(data.block), &size);
        if (status != ERROR_SUCCESS) {
            LOG_AT(LOG_ERROR, GET_VALUE,
                   "Error while querying value info for key name[%s], value name[%s]",
                   path.Subkey(), name.chars());
            LOG_REGISTRY_ERROR(GET_VALUE, status);
            return FailedValue(env, result);
        }
    }
    return StoreValueText(env, result, type, static_cast<const BYTE*>(data.block),
                          size < largestData ? size : largestData);
}

jobjectArray ValueOfOpenKey(JNIEnv* env, const ResolvedKey& path, jstring valueName,
                            jobjectArray result) {
    DWORD values = 0, largestData = 0;
    LONG status = RegQueryInfoKeyA(path.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   &values, nullptr, &largestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, GET_VALUE, "Error while getting query info for key name[%s]",
               path.Subkey());
        LOG_REGISTRY_ERROR(GET_VALUE, status);
        return FailedValue(env, result);
    }
    if (values == 0) {
        LOG_AT(LOG_ERROR, GET_VALUE, "No child values exist for key name[%s]", path.Subkey());
        return FailedValue(env, result);
    }
    return ReadValue(env, path, valueName, largestData, result);
}

jobjectArray Value(JNIEnv* env, ResolvedKey& path, jstring valueName) {
    LOG_AT(LOG_INFO, GET_VALUE, "predefined key name = %s", path.rootName);
    LOG_AT(LOG_INFO, GET_VALUE, "Actual key name = %s", path.Subkey());
    path.root = GetPredefinedKeyHandle(path.rootName);
    if (path.root == nullptr) {
        LOG_AT(LOG_ERROR, GET_VALUE, "cannot find predefined HKEY for [%s]", path.rootName);
        return nullptr;
    }
    LONG status = path.Open();
    jobjectArray result = NewEmptyStrings(env, 2);
    if (result == nullptr) {
        return nullptr;
    }
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, GET_VALUE, "Error while opening registry key [%s]", path.Subkey());
        LOG_REGISTRY_ERROR(GET_VALUE, status);
        return FailedValue(env, result);
    }
    return ValueOfOpenKey(env, path, valueName, result);
}

jlong LastModifiedTime(ResolvedKey& path) {
    LOG_AT(LOG_INFO, GET_LAST_MODIFIED_TIME, "predefined key name = %s", path.rootName);
    LOG_AT(LOG_INFO, GET_LAST_MODIFIED_TIME, "actual key name = %s", path.Subkey());
    path.root = GetPredefinedKeyHandle(path.rootName);
    if (path.root == nullptr) {
        LOG_AT(LOG_ERROR, GET_LAST_MODIFIED_TIME,
               "predefined HKEY not found for predefined key [%s]", path.rootName);
        return 0;
    }
    LONG status = path.Open();
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, GET_LAST_MODIFIED_TIME, "Error while opening Key [%s]", path.Subkey());
        LOG_REGISTRY_ERROR(GET_LAST_MODIFIED_TIME, status);
        return 0;
    }
    FILETIME written = {0, 0};
    status = RegQueryInfoKeyA(path.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, &written);
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, GET_LAST_MODIFIED_TIME,
               "Error while calling queryInfoKey for keyName[%s]", path.Subkey());
        LOG_REGISTRY_ERROR(GET_LAST_MODIFIED_TIME, status);
        return 0;
    }
    return FileTimeToJavaMillis(written);
}

void LogMissingInstance(const char* keyName, LONG status) {
    LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS, "Error while opening keyname [%s]", keyName);
    LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS, "Instance doesnot exist");
    LOG_REGISTRY_ERROR(CHECK_INSTANCE_EXISTS, status);
}

jbyte CheckKeyInstance(HKEY root, const char* subkeyPath) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, subkeyPath, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        LogMissingInstance(Text(subkeyPath), status);
        return INSTANCE_ABSENT;
    }
    RegCloseKey(key);
    return INSTANCE_EXISTS;
}

// Compares names case-sensitively, as the collection reported them. The buffer holds any name as
// long as the sought one, so a name that does not fit is longer and cannot be it: the search goes
// on past it rather than report a present value as missing.
jbyte FindValueName(HKEY key, const char* keyName, const char* valueName) {
    size_t capacity = strlen(valueName) + 1;
    capacity = capacity < MAX_PATH ? MAX_PATH : capacity;
    FreeOnExit buffer{malloc(capacity)};
    if (buffer.block == nullptr || capacity > UINT32_MAX) {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS, "Not enough memory");
        return INSTANCE_ABSENT;
    }
    char* name = static_cast<char*>(buffer.block);
    for (DWORD index = 0;; ++index) {
        name[0] = '\0';
        DWORD length = (DWORD)capacity;
        LONG status = RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS,
                   "Error while enumerating value for keyName[%s] at index[%d]", keyName,
                   (int)index);
            LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS,
                   "Value name [%s] does not exist in keyName[%s]", valueName, keyName);
            LOG_REGISTRY_ERROR(CHECK_INSTANCE_EXISTS, status);
            return INSTANCE_ABSENT;
        }
        TerminateName(name, length, (DWORD)capacity);
        if (strcmp(name, valueName) == 0) {
            LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS, "value name [%s] found", valueName);
            return INSTANCE_EXISTS;
        }
    }
}

// The value name is what follows the last backslash of the subkey path; the key is what precedes
// it, so a value directly below a root key cannot be named.
jbyte CheckValueInstance(HKEY root, const char* id, const char* subkeyPath) {
    const char* separator = subkeyPath != nullptr ? strrchr(subkeyPath, '\\') : nullptr;
    if (separator == nullptr) {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS, "value name not found in instance id[%s]", id);
        return INSTANCE_ABSENT;
    }
    const char* valueName = separator + 1;
    LOG_AT(LOG_INFO, CHECK_INSTANCE_EXISTS, "value name = [%s]", valueName);
    size_t keyLength = (size_t)(separator - subkeyPath);
    FreeOnExit keyName{malloc(keyLength + 1)};
    if (keyName.block == nullptr) {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS, "Not enough memory");
        return INSTANCE_ABSENT;
    }
    char* keyPart = static_cast<char*>(keyName.block);
    memcpy(keyPart, subkeyPath, keyLength);
    keyPart[keyLength] = '\0';
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, keyPart, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        LogMissingInstance(keyPart, status);
        return INSTANCE_ABSENT;
    }
    jbyte found = FindValueName(key, keyPart, valueName);
    RegCloseKey(key);
    return found;
}

// A trailing backslash marks a key instance; only that one is removed.
jbyte CheckInstance(char* id) {
    LOG_AT(LOG_INFO, CHECK_INSTANCE_EXISTS, "checking instance exists for instance id [%s]", id);
    size_t length = strlen(id);
    bool keyInstance = length > 0 && id[length - 1] == '\\';
    if (keyInstance) {
        LOG_AT(LOG_INFO, CHECK_INSTANCE_EXISTS, "Instance ID is a key name");
        id[length - 1] = '\0';
    }
    char* rootName = nullptr;
    char* subkeyPath = nullptr;
    SplitKeyPathInPlace(id, &rootName, &subkeyPath);
    HKEY root = GetPredefinedKeyHandle(rootName);
    if (root == nullptr) {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS, "predefined key not found for[%s]", rootName);
        return INSTANCE_ABSENT;
    }
    return keyInstance ? CheckKeyInstance(root, subkeyPath)
                       : CheckValueInstance(root, id, subkeyPath);
}

} // namespace

HKEY GetPredefinedKeyHandle(const char* rootName) {
    static const HKEY PREDEFINED_KEYS[] = {
        HKEY_CLASSES_ROOT,    HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,    HKEY_USERS,
        HKEY_CURRENT_CONFIG,  HKEY_DYN_DATA,     HKEY_PERFORMANCE_DATA, HKEY_PERFORMANCE_NLSTEXT,
        HKEY_PERFORMANCE_TEXT};
    if (IsEmpty(rootName)) {
        return nullptr;
    }
    for (size_t row = 0; row < sizeof PredefinedKeyTable / sizeof PredefinedKeyTable[0]; ++row) {
        if (strcmp(rootName, PredefinedKeyTable[row]) == 0) {
            return PREDEFINED_KEYS[row / 2];
        }
    }
    return nullptr;
}

void SplitKeyPathInPlace(char* path, char** rootName, char** subkeyPath) {
    while (*path == '\\') {
        ++path;
    }
    *rootName = path;
    *subkeyPath = nullptr;
    char* separator = strchr(path, '\\');
    if (separator != nullptr) {
        *separator = '\0';
        if (separator[1] != '\0') {
            *subkeyPath = separator + 1;
        }
    }
}

char* SplitKeyPath(const char* keyPath, char** rootName, char** subkeyPath) {
    char* copy = strdup(Text(keyPath));
    if (copy != nullptr) {
        SplitKeyPathInPlace(copy, rootName, subkeyPath);
    }
    return copy;
}

jlong FileTimeToJavaMillis(const FILETIME& time) {
    uint64_t ticks = (uint64_t)time.dwHighDateTime << 32 | time.dwLowDateTime;
    // Unsigned subtraction wraps where the signed one would overflow; the quotient truncates
    // toward zero, so times before 1970 lose their sub-millisecond part the same way.
    int64_t sinceEpoch = (int64_t)(ticks - UNIX_EPOCH_IN_FILETIME);
    return (jlong)(sinceEpoch / (int64_t)FILETIME_TICKS_PER_MILLISECOND);
}

JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
    JNIEnv* env, jobject, jstring keyPath) {
    ResolvedKey path;
    {
        ScopedUtfChars chars(env, keyPath);
        LOG_AT(LOG_INFO, GET_CHILD_KEY_NAMES, "Finding child key names for[%s]",
               Text(chars.chars()));
        if (IsEmpty(chars.chars())) {
            LOG_AT(LOG_ERROR, GET_CHILD_KEY_NAMES, "FullyQualified String passed is NULL");
            return nullptr;
        }
        if (!path.Split(chars.chars(), GET_CHILD_KEY_NAMES)) {
            return nullptr;
        }
    }
    return ChildKeyNames(env, path);
}

JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames(
    JNIEnv* env, jobject, jstring keyPath) {
    ResolvedKey path;
    {
        ScopedUtfChars chars(env, keyPath);
        if (IsEmpty(chars.chars())) {
            LOG_AT(LOG_ERROR, GET_CHILD_VALUE_NAMES, "Invalid key name. Hence returning");
            return nullptr;
        }
        LOG_AT(LOG_INFO, GET_CHILD_VALUE_NAMES, "Finding child value names for[%s]", chars.chars());
        if (!path.Split(chars.chars(), GET_CHILD_VALUE_NAMES)) {
            return nullptr;
        }
    }
    return ChildValueNames(env, path);
}

JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
    JNIEnv* env, jobject, jstring keyPath, jstring valueName) {
    ResolvedKey path;
    {
        ScopedUtfChars chars(env, keyPath);
        if (IsEmpty(chars.chars())) {
            return nullptr;
        }
        LOG_AT(LOG_INFO, GET_VALUE, "Getting value for keyname [%s]", chars.chars());
        if (!path.Split(chars.chars(), GET_VALUE)) {
            return nullptr;
        }
    }
    return Value(env, path, valueName);
}

// The empty name selects the key's default value; the records are getValue's own.
JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getDefaultValue(
    JNIEnv* env, jobject self, jstring keyPath) {
    jstring empty = JniNewString(env, "");
    if (empty == nullptr) {
        return nullptr;
    }
    jobjectArray result =
        Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
            env, self, keyPath, empty);
    env->DeleteLocalRef(empty);
    return result;
}

// A result of 0 is a failure, or a key last written at exactly 1970-01-01 00:00:00.000.
JNIEXPORT jlong JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getLastModifiedTime(
    JNIEnv* env, jobject, jstring keyPath) {
    ResolvedKey path;
    {
        ScopedUtfChars chars(env, keyPath);
        if (IsEmpty(chars.chars())) {
            return 0;
        }
        LOG_AT(LOG_INFO, GET_LAST_MODIFIED_TIME, "finding last modified time for key name [%s]",
               chars.chars());
        if (!path.Split(chars.chars(), GET_LAST_MODIFIED_TIME)) {
            return 0;
        }
    }
    return LastModifiedTime(path);
}

// A key instance ends in a backslash (HKLM\SOFTWARE\Vendor\); a value instance names the value
// after the last one (HKLM\SOFTWARE\Vendor\Version).
JNIEXPORT jbyte JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_checkInstanceExists(
    JNIEnv* env, jobject, jstring instanceId) {
    ScopedUtfChars chars(env, instanceId);
    FreeOnExit copy{strdup(Text(chars.chars()))};
    if (copy.block == nullptr) {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE_EXISTS, "Not enough memory");
        return INSTANCE_ABSENT;
    }
    return CheckInstance(static_cast<char*>(copy.block));
}
