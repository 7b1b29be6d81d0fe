#include "InventoryAgents/WindowsRegistryAgent/WindowsRegistryAgent.h"

#include "Common/DiagnosticLog.h"
#include "Common/HexText.h"
#include "Common/JniSupport.h"
#include "Common/RegistryErrorLog.h"
#include "Common/ScopedResource.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define LOG_SOURCE "InventoryAgents\\WindowsRegistryAgent\\WindowsRegistryAgent"

namespace {

#define AGENT "Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_"
constexpr char kGetChildKeyNamesName[] = AGENT "getChildKeyNames";
constexpr char kGetChildValueNamesName[] = AGENT "getChildValueNames";
constexpr char kGetValueName[] = AGENT "getValue";
constexpr char kGetLastModifiedTimeName[] = AGENT "getLastModifiedTime";
constexpr char kCheckInstanceExistsName[] = AGENT "checkInstanceExists";
#undef AGENT

// Long name before abbreviation, in the order the lookup tests them; row r is the root key
// kPredefinedKeys[r / 2].
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
constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ULL;
constexpr uint64_t kFileTimeTicksPerMillisecond = 10000;

constexpr jbyte kInstanceExists = 1;
constexpr jbyte kInstanceAbsent = -1;

// Room for "-2147483648" and far more: the size the DWORD text has always had.
constexpr size_t kDwordTextSize = MAX_PATH;

// A name or path in a record: both C runtimes print a null %s as "(null)", and log readers know
// an absent subkey path or a path without a root name by it.
const char* Printable(const char* text) {
    return text != nullptr ? text : "(null)";
}

bool IsEmpty(const char* text) {
    return text == nullptr || text[0] == '\0';
}

// What one export writes while it finds, opens and queries its key. Each text but the empty-path
// one is completed by "[name]" when written; a null text is a record the export does not write.
struct KeyExportTexts {
    const char* function;
    const char* looking;      // the path asked for
    bool lookingFirst;        // written before the empty-path check, (null) for an absent path
    const char* emptyPath;    // null: an empty path is refused without a record
    const char* subkeyLabel;  // with "predefined key name = ", the two parts of the path
    const char* rootMissing;  // the root name
    const char* openFailed;   // the subkey path, then the registry error
    const char* queryFailed;  // the subkey path, then the registry error
    const char* nothingFound; // the subkey path
};

const KeyExportTexts kChildKeyNamesTexts = {kGetChildKeyNamesName,
                                            "Finding child key names for",
                                            true,
                                            "FullyQualified String passed is NULL",
                                            nullptr,
                                            "could not find predefined key ",
                                            "Error while opening registry key ",
                                            "Error while querying info key for key ",
                                            "No child keys found for key "};
const KeyExportTexts kChildValueNamesTexts = {kGetChildValueNamesName,
                                              "Finding child value names for",
                                              false,
                                              "Invalid key name. Hence returning",
                                              nullptr,
                                              "Predefined HKEY not found for predefined key name",
                                              "Error in opening registry key ",
                                              "Error while querying info key for registry key ",
                                              "No child value name found for registry key "};
const KeyExportTexts kValueTexts = {kGetValueName,
                                    "Getting value for keyname ",
                                    false,
                                    nullptr,
                                    "Actual key name",
                                    "cannot find predefined HKEY for ",
                                    "Error while opening registry key ",
                                    "Error while getting query info for key name",
                                    "No child values exist for key name"};
const KeyExportTexts kLastModifiedTimeTexts = {kGetLastModifiedTimeName,
                                               "finding last modified time for key name ",
                                               false,
                                               nullptr,
                                               "actual key name",
                                               "predefined HKEY not found for predefined key ",
                                               "Error while opening Key ",
                                               "Error while calling queryInfoKey for keyName",
                                               nullptr};

// The private copy of a key path, its two parts, and the key opened from them. Every step writes
// the records of the export whose texts it is given, and is false when the export must stop.
struct ResolvedKey {
    ScopedMalloc copy;
    char* rootName = nullptr;
    char* subkeyPath = nullptr;
    HKEY root = nullptr;
    ScopedRegKey key;

    // Takes the Java path and splits a private copy, so the Java chars go back at once.
    bool Take(JNIEnv* env, jstring keyPath, const KeyExportTexts& texts) {
        ScopedAnsiChars chars(env, keyPath);
        if (chars.unconvertible()) {
            LOG_AT(kLogError, texts.function, "%s", kTextOutsideAnsiCodePage);
            return false;
        }
        if (texts.lookingFirst) {
            LOG_AT(kLogInfo, texts.function, "%s[%s]", texts.looking, Printable(chars.chars()));
        }
        if (IsEmpty(chars.chars())) {
            if (texts.emptyPath != nullptr) {
                LOG_AT(kLogError, texts.function, "%s", texts.emptyPath);
            }
            return false;
        }
        if (!texts.lookingFirst) {
            LOG_AT(kLogInfo, texts.function, "%s[%s]", texts.looking, chars.chars());
        }
        copy.reset(SplitKeyPath(chars.chars(), &rootName, &subkeyPath));
        if (!copy.held()) {
            LOG_AT(kLogError, texts.function, "Not enough memory");
        }
        return copy.held();
    }

    bool FindRoot(const KeyExportTexts& texts) {
        if (texts.subkeyLabel != nullptr) {
            LOG_AT(kLogInfo, texts.function, "predefined key name = %s", Root());
            LOG_AT(kLogInfo, texts.function, "%s = %s", texts.subkeyLabel, Subkey());
        }
        root = GetPredefinedKeyHandle(rootName);
        if (root == nullptr) {
            LOG_AT(kLogError, texts.function, "%s[%s]", texts.rootMissing, Root());
        }
        return root != nullptr;
    }

    // Full access, although every export only reads: keys the process may not write fail here.
    LONG Open() { return RegOpenKeyExA(root, subkeyPath, 0, KEY_ALL_ACCESS, key.receive()); }

    bool Opened(const KeyExportTexts& texts, LONG status) const {
        return Succeeded(texts, texts.openFailed, status);
    }

    bool Queried(const KeyExportTexts& texts, LONG status) const {
        return Succeeded(texts, texts.queryFailed, status);
    }

    // A key without the children the export lists is a failure of its own.
    bool FoundAny(const KeyExportTexts& texts, DWORD count) const {
        if (count == 0) {
            LOG_AT(kLogError, texts.function, "%s[%s]", texts.nothingFound, Subkey());
        }
        return count != 0;
    }

    bool Succeeded(const KeyExportTexts& texts, const char* failed, LONG status) const {
        if (status != ERROR_SUCCESS) {
            LOG_AT(kLogError, texts.function, "%s[%s]", failed, Subkey());
            LOG_REGISTRY_ERROR(texts.function, status);
        }
        return status == ERROR_SUCCESS;
    }

    const char* Subkey() const { return Printable(subkeyPath); }
    const char* Root() const { return Printable(rootName); }
};

// Stores text at index; on a JVM failure drops the array and gives null.
jobjectArray StoreOrDrop(JNIEnv* env, jobjectArray array, DWORD index, const char* text) {
    if (!JniStoreStringInArray(env, array, static_cast<jsize>(index), text)) {
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
    jobjectArray names = JniNewStringArray(env, count);
    for (DWORD index = 0; index < count && names != nullptr; ++index) {
        char name[MAX_PATH];
        name[0] = '\0';
        DWORD length = MAX_PATH;
        LONG status =
            RegEnumKeyExA(path.key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            TerminateName(name, length, MAX_PATH);
        } else {
            LOG_AT(kLogInfo, kGetChildKeyNamesName, "ERROR while Enumerating child key [%s]",
                   path.Subkey());
            LOG_REGISTRY_ERROR(kGetChildKeyNamesName, status);
            name[0] = '\0';
        }
        names = StoreOrDrop(env, names, index, name);
    }
    return names;
}

jobjectArray ChildKeyNames(JNIEnv* env, ResolvedKey& path) {
    const KeyExportTexts& texts = kChildKeyNamesTexts;
    if (!path.FindRoot(texts) || !path.Opened(texts, path.Open())) {
        return nullptr;
    }
    DWORD subkeys = 0;
    LONG status = RegQueryInfoKeyA(path.key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!path.Queried(texts, status) || !path.FoundAny(texts, subkeys)) {
        return nullptr;
    }
    return EnumerateChildKeys(env, path, subkeys);
}

// Names only. The buffer holds the longest name the key reported, and is offered whole to each
// step, so a name that grew in between fails its own step and leaves its element empty.
jobjectArray EnumerateChildValues(JNIEnv* env, const ResolvedKey& path, DWORD count,
                                  DWORD longestName) {
    size_t capacity = static_cast<size_t>(longestName) + 1;
    if (capacity > UINT32_MAX) {
        capacity = UINT32_MAX;
    }
    ScopedMalloc name(LibraryMalloc(capacity));
    if (!name.held()) {
        LOG_AT(kLogError, kGetChildValueNamesName, "Not enough memory");
        return nullptr;
    }
    char* text = static_cast<char*>(name.get());
    jobjectArray names = JniNewStringArray(env, count);
    for (DWORD index = 0; index < count && names != nullptr; ++index) {
        text[0] = '\0';
        DWORD length = static_cast<DWORD>(capacity);
        LONG status =
            RegEnumValueA(path.key.get(), index, text, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            TerminateName(text, length, static_cast<DWORD>(capacity));
        } else {
            LOG_AT(kLogError, kGetChildValueNamesName,
                   "ERROR while Enumerating child key at index[%d] for keyName[%s]",
                   static_cast<int>(index), path.Subkey());
            text[0] = '\0';
        }
        names = StoreOrDrop(env, names, index, text);
    }
    return names;
}

jobjectArray ChildValueNames(JNIEnv* env, ResolvedKey& path) {
    const KeyExportTexts& texts = kChildValueNamesTexts;
    if (!path.FindRoot(texts) || !path.Opened(texts, path.Open())) {
        return nullptr;
    }
    DWORD values = 0, longestName = 0;
    LONG status = RegQueryInfoKeyA(path.key.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &values, &longestName, nullptr, nullptr, nullptr);
    if (!path.Queried(texts, status) || !path.FoundAny(texts, values)) {
        return nullptr;
    }
    return EnumerateChildValues(env, path, values, longestName);
}

// The first four bytes as a little-endian signed number. A DWORD value may be stored shorter
// than four bytes; the bytes it lacks count as zero rather than whatever the buffer held.
char* DwordText(const BYTE* data, DWORD size) {
    char* text = static_cast<char*>(LibraryMalloc(kDwordTextSize));
    if (text == nullptr) {
        return nullptr;
    }
    uint32_t bits = 0;
    for (DWORD i = 0; i < 4 && i < size; ++i) {
        bits |= static_cast<uint32_t>(data[i]) << (8 * i);
    }
    int32_t value;
    memcpy(&value, &bits, sizeof value);
    snprintf(text, kDwordTextSize, "%d", static_cast<int>(value));
    return text;
}

// The data up to its first NUL, or all of it when there is none.
char* StringText(const BYTE* data, DWORD size) {
    char* text = static_cast<char*>(LibraryMalloc(static_cast<size_t>(size) + 1));
    if (text != nullptr) {
        memcpy(text, data, size);
        text[size] = '\0';
    }
    return text;
}

// The value's text and its type code; null text when out of memory.
char* ValueText(DWORD type, const BYTE* data, DWORD size, const char** code) {
    if (type == REG_BINARY) {
        LOG_AT(kLogInfo, kGetValueName, "Binary data type [%d]", static_cast<int>(type));
        *code = "2";
        return NewHexText(data, size);
    }
    if (type == REG_DWORD) {
        LOG_AT(kLogInfo, kGetValueName, "DWORD data type [%d]", static_cast<int>(type));
        *code = "3";
        return DwordText(data, size);
    }
    LOG_AT(kLogInfo, kGetValueName, "String data type [%d]", static_cast<int>(type));
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
    ScopedMalloc text(ValueText(type, data, size, &code));
    if (!text.held()) {
        LOG_AT(kLogError, kGetValueName, "Not enough memory");
        return FailedValue(env, result);
    }
    return SetValueResult(env, result, code, static_cast<const char*>(text.get()));
}

// Reads the named value into a buffer of the largest data size of the key: a value that grew
// since the key was queried fails the read.
jobjectArray ReadValue(JNIEnv* env, const ResolvedKey& path, jstring valueName, DWORD largestData,
                       jobjectArray result) {
    if (valueName == nullptr) {
        LOG_ASSERT_FAILED(kGetValueName, "valueName != NULL");
        return FailedValue(env, result);
    }
    ScopedMalloc data(LibraryMalloc(largestData > 0 ? largestData : 1));
    DWORD type = REG_NONE, size = largestData;
    {
        ScopedAnsiChars name(env, valueName);
        if (name.unconvertible()) {
            LOG_AT(kLogError, kGetValueName, "%s", kTextOutsideAnsiCodePage);
            return FailedValue(env, result);
        }
        if (name.chars() == nullptr) {
            JniDeleteLocalRef(env, result);
            return nullptr;
        }
        LOG_AT(kLogInfo, kGetValueName, "Query for value name[%s]", name.chars());
        LONG status = !data.held() ? ERROR_NOT_ENOUGH_MEMORY
                                   : RegQueryValueExA(path.key.get(), name.chars(), nullptr, &type,
                                                      static_cast<BYTE*>(data.get()), &size);
        if (status != ERROR_SUCCESS) {
            LOG_AT(kLogError, kGetValueName,
                   "Error while querying value info for key name[%s], value name[%s]",
                   path.Subkey(), name.chars());
            LOG_REGISTRY_ERROR(kGetValueName, status);
            return FailedValue(env, result);
        }
    }
    return StoreValueText(env, result, type, static_cast<const BYTE*>(data.get()),
                          size < largestData ? size : largestData);
}

jobjectArray ValueOfOpenKey(JNIEnv* env, const ResolvedKey& path, jstring valueName,
                            jobjectArray result) {
    DWORD values = 0, largestData = 0;
    LONG status = RegQueryInfoKeyA(path.key.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &values, nullptr, &largestData, nullptr, nullptr);
    if (!path.Queried(kValueTexts, status) || !path.FoundAny(kValueTexts, values)) {
        return FailedValue(env, result);
    }
    return ReadValue(env, path, valueName, largestData, result);
}

// The result array is made after the open is tried, whatever its outcome, so a key that failed
// to open still answers with the failure pair.
jobjectArray Value(JNIEnv* env, ResolvedKey& path, jstring valueName) {
    if (!path.FindRoot(kValueTexts)) {
        return nullptr;
    }
    LONG status = path.Open();
    jobjectArray result = JniNewStringArray(env, 2);
    if (result == nullptr) {
        return nullptr;
    }
    if (!path.Opened(kValueTexts, status)) {
        return FailedValue(env, result);
    }
    return ValueOfOpenKey(env, path, valueName, result);
}

jlong LastModifiedTime(ResolvedKey& path) {
    const KeyExportTexts& texts = kLastModifiedTimeTexts;
    if (!path.FindRoot(texts) || !path.Opened(texts, path.Open())) {
        return 0;
    }
    FILETIME written = {0, 0};
    LONG status = RegQueryInfoKeyA(path.key.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, &written);
    return path.Queried(texts, status) ? FileTimeToJavaMillis(written) : 0;
}

void LogMissingInstance(const char* keyName, LONG status) {
    LOG_AT(kLogError, kCheckInstanceExistsName, "Error while opening keyname [%s]", keyName);
    LOG_AT(kLogError, kCheckInstanceExistsName, "Instance doesnot exist");
    LOG_REGISTRY_ERROR(kCheckInstanceExistsName, status);
}

jbyte CheckKeyInstance(HKEY root, const char* subkeyPath) {
    ScopedRegKey key;
    LONG status = RegOpenKeyExA(root, subkeyPath, 0, KEY_ALL_ACCESS, key.receive());
    if (status != ERROR_SUCCESS) {
        LogMissingInstance(Printable(subkeyPath), status);
        return kInstanceAbsent;
    }
    return kInstanceExists;
}

// Compares names case-sensitively, as the collection reported them. The buffer holds any name as
// long as the sought one, so a name that does not fit is longer and cannot be it: the search goes
// on past it rather than report a present value as missing.
jbyte FindValueName(HKEY key, const char* keyName, const char* valueName) {
    size_t capacity = strlen(valueName) + 1;
    capacity = capacity < MAX_PATH ? MAX_PATH : capacity;
    ScopedMalloc buffer(LibraryMalloc(capacity));
    if (!buffer.held() || capacity > UINT32_MAX) {
        LOG_AT(kLogError, kCheckInstanceExistsName, "Not enough memory");
        return kInstanceAbsent;
    }
    char* name = static_cast<char*>(buffer.get());
    for (DWORD index = 0;; ++index) {
        name[0] = '\0';
        DWORD length = static_cast<DWORD>(capacity);
        LONG status = RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            LOG_AT(kLogError, kCheckInstanceExistsName,
                   "Error while enumerating value for keyName[%s] at index[%d]", keyName,
                   static_cast<int>(index));
            LOG_AT(kLogError, kCheckInstanceExistsName,
                   "Value name [%s] does not exist in keyName[%s]", valueName, keyName);
            LOG_REGISTRY_ERROR(kCheckInstanceExistsName, status);
            return kInstanceAbsent;
        }
        TerminateName(name, length, static_cast<DWORD>(capacity));
        if (strcmp(name, valueName) == 0) {
            LOG_AT(kLogError, kCheckInstanceExistsName, "value name [%s] found", valueName);
            return kInstanceExists;
        }
    }
}

// The value name is what follows the last backslash of the subkey path; the key is what precedes
// it, so a value directly below a root key cannot be named.
jbyte CheckValueInstance(HKEY root, const char* id, const char* subkeyPath) {
    const char* separator = subkeyPath != nullptr ? strrchr(subkeyPath, '\\') : nullptr;
    if (separator == nullptr) {
        LOG_AT(kLogError, kCheckInstanceExistsName, "value name not found in instance id[%s]", id);
        return kInstanceAbsent;
    }
    const char* valueName = separator + 1;
    LOG_AT(kLogInfo, kCheckInstanceExistsName, "value name = [%s]", valueName);
    size_t keyLength = static_cast<size_t>(separator - subkeyPath);
    ScopedMalloc keyName(LibraryMalloc(keyLength + 1));
    if (!keyName.held()) {
        LOG_AT(kLogError, kCheckInstanceExistsName, "Not enough memory");
        return kInstanceAbsent;
    }
    char* keyPart = static_cast<char*>(keyName.get());
    memcpy(keyPart, subkeyPath, keyLength);
    keyPart[keyLength] = '\0';
    ScopedRegKey key;
    LONG status = RegOpenKeyExA(root, keyPart, 0, KEY_ALL_ACCESS, key.receive());
    if (status != ERROR_SUCCESS) {
        LogMissingInstance(keyPart, status);
        return kInstanceAbsent;
    }
    return FindValueName(key.get(), keyPart, valueName);
}

// A trailing backslash marks a key instance; only that one is removed.
jbyte CheckInstance(char* id) {
    size_t length = strlen(id);
    bool keyInstance = length > 0 && id[length - 1] == '\\';
    if (keyInstance) {
        LOG_AT(kLogInfo, kCheckInstanceExistsName, "Instance ID is a key name");
        id[length - 1] = '\0';
    }
    char* rootName = nullptr;
    char* subkeyPath = nullptr;
    SplitKeyPathInPlace(id, &rootName, &subkeyPath);
    HKEY root = GetPredefinedKeyHandle(rootName);
    if (root == nullptr) {
        LOG_AT(kLogError, kCheckInstanceExistsName, "predefined key not found for[%s]",
               Printable(rootName));
        return kInstanceAbsent;
    }
    return keyInstance ? CheckKeyInstance(root, subkeyPath)
                       : CheckValueInstance(root, id, subkeyPath);
}

} // namespace

HKEY GetPredefinedKeyHandle(const char* rootName) {
    static const HKEY kPredefinedKeys[] = {
        HKEY_CLASSES_ROOT,    HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,    HKEY_USERS,
        HKEY_CURRENT_CONFIG,  HKEY_DYN_DATA,     HKEY_PERFORMANCE_DATA, HKEY_PERFORMANCE_NLSTEXT,
        HKEY_PERFORMANCE_TEXT};
    if (IsEmpty(rootName)) {
        return nullptr;
    }
    for (size_t row = 0; row < sizeof PredefinedKeyTable / sizeof PredefinedKeyTable[0]; ++row) {
        if (strcmp(rootName, PredefinedKeyTable[row]) == 0) {
            return kPredefinedKeys[row / 2];
        }
    }
    return nullptr;
}

void SplitKeyPathInPlace(char* path, char** rootName, char** subkeyPath) {
    while (*path == '\\') {
        ++path;
    }
    // As strtok gives it: a path of nothing but backslashes has no root name at all.
    *rootName = *path != '\0' ? path : nullptr;
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
    char* copy = LibraryStrdup(keyPath != nullptr ? keyPath : "");
    if (copy != nullptr) {
        SplitKeyPathInPlace(copy, rootName, subkeyPath);
    }
    return copy;
}

jlong FileTimeToJavaMillis(const FILETIME& time) {
    uint64_t ticks = static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    // Unsigned subtraction wraps where the signed one would overflow; the quotient truncates
    // toward zero, so times before 1970 lose their sub-millisecond part the same way.
    int64_t sinceEpoch = static_cast<int64_t>(ticks - kUnixEpochInFileTime);
    return static_cast<jlong>(sinceEpoch / static_cast<int64_t>(kFileTimeTicksPerMillisecond));
}

JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
    JNIEnv* env, jobject, jstring keyPath) {
    ResolvedKey path;
    return path.Take(env, keyPath, kChildKeyNamesTexts) ? ChildKeyNames(env, path) : nullptr;
}

JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames(
    JNIEnv* env, jobject, jstring keyPath) {
    ResolvedKey path;
    return path.Take(env, keyPath, kChildValueNamesTexts) ? ChildValueNames(env, path) : nullptr;
}

JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
    JNIEnv* env, jobject, jstring keyPath, jstring valueName) {
    ResolvedKey path;
    return path.Take(env, keyPath, kValueTexts) ? Value(env, path, valueName) : nullptr;
}

// The empty name selects the key's default value; the records are getValue's own.
JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getDefaultValue(
    JNIEnv* env, jobject self, jstring keyPath) {
    jstring empty = JniNewStringFromAnsi(env, "");
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
    return path.Take(env, keyPath, kLastModifiedTimeTexts) ? LastModifiedTime(path) : 0;
}

// A key instance ends in a backslash (HKLM\SOFTWARE\Vendor\); a value instance names the value
// after the last one (HKLM\SOFTWARE\Vendor\Version).
JNIEXPORT jbyte JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_checkInstanceExists(
    JNIEnv* env, jobject, jstring instanceId) {
    ScopedAnsiChars chars(env, instanceId);
    if (chars.unconvertible()) {
        LOG_AT(kLogError, kCheckInstanceExistsName, "%s", kTextOutsideAnsiCodePage);
        return kInstanceAbsent;
    }
    LOG_AT(kLogInfo, kCheckInstanceExistsName, "checking instance exists for instance id [%s]",
           Printable(chars.chars()));
    ScopedMalloc copy(LibraryStrdup(chars.chars() != nullptr ? chars.chars() : ""));
    if (!copy.held()) {
        LOG_AT(kLogError, kCheckInstanceExistsName, "Not enough memory");
        return kInstanceAbsent;
    }
    return CheckInstance(static_cast<char*>(copy.get()));
}
