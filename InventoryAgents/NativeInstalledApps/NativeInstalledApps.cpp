#include "InventoryAgents/NativeInstalledApps/NativeInstalledApps.h"

#include "Common/DiagnosticLog.h"
#include "Common/HostClasses.h"
#include "Common/JniSupport.h"
#include "Common/LanguageNames.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define LOG_SOURCE "InventoryAgents\\NativeInstalledApps\\NativeInstalledApps"

namespace {

const char GET_ATTRIBUTE_VALUES[] =
    "Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues";
const char CHECK_INSTANCE[] =
    "Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_checkInstance";
const char INITIALIZE[] = "Initialize";
const char WALK[] = "AddAttributeValuesToResultsVector";
const char ADD_VALUE[] = "AddValueToVector";
const char SUBKEY[] = "GetHandleForSubkey";
const char FIND_SIZE[] = "findSizeOfBuffer";
const char FIND_VALUE[] = "FindValueOfAttribute";

// ---- The kept chain of keys ----

enum KeySlot { SOFTWARE, MICROSOFT, WINDOWS, CURRENT_VERSION, UNINSTALL, SLOT_COUNT };

struct KeySlotInfo {
    const char* name;
    const char* operation;
    const char* failure;
};

const KeySlotInfo KEY_SLOTS[SLOT_COUNT] = {
    {"Software", "GetHandleForSoftwareSubkey",
     "Could not get handle for ' HKEY_LOCAL_MACHINE/Software' key."},
    {"Microsoft", "GetHandleForMicrosoftSubkey",
     "Could not get handle for ' HKEY_LOCAL_MACHINE/Software/Microsoft' key."},
    {"Windows", "GetHandleForWindowsSubkey",
     "Could not get handle for ' HKEY_LOCAL_MACHINE/Software/Microsoft/Windows' key."},
    {"CurrentVersion", "GetHandleForCurrentVersionSubkey",
     "Could not get handle for ' HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion' "
     "key."},
    {"Uninstall", "GetHandleForUninstallSubkey",
     "Could not get handle for ' "
     "HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion/Uninstall' key."},
};

HKEY InstalledAppsKeyCache[SLOT_COUNT] = {};

// Registry functions return their error instead of setting it, so the status is made the last
// error before it is logged; otherwise the record would name whatever failed earlier.
void LogRegistryError(const char* function, LONG status) {
    SetLastError((DWORD)status);
    LOG_SYSTEM_ERROR(function);
}

// A null parent fails like an open under it would, so that every slot below a failed one still
// logs its own message.
void OpenSlot(int slot) {
    const KeySlotInfo& info = KEY_SLOTS[slot];
    HKEY parent = slot == SOFTWARE ? HKEY_LOCAL_MACHINE : InstalledAppsKeyCache[slot - 1];
    HKEY key = nullptr;
    LONG status = parent != nullptr ? RegOpenKeyExA(parent, info.name, 0, KEY_ALL_ACCESS, &key)
                                    : (LONG)ERROR_INVALID_HANDLE;
    if (status != ERROR_SUCCESS) {
        key = nullptr;
        LOG_AT(LOG_ERROR, info.operation, "%s", info.failure);
        LogRegistryError(info.operation, status);
    }
    InstalledAppsKeyCache[slot] = key;
}

// A filled slot always has filled ancestors, so the chain resumes below the deepest filled one.
HKEY SlotHandle(int slot) {
    if (InstalledAppsKeyCache[slot] == nullptr) {
        int first = slot;
        while (first > SOFTWARE && InstalledAppsKeyCache[first - 1] == nullptr) {
            --first;
        }
        for (int open = first; open <= slot; ++open) {
            OpenSlot(open);
        }
    }
    return InstalledAppsKeyCache[slot];
}

// ---- Values as text ----

// Room for "-2147483648" and its terminator.
constexpr int32_t DWORD_TEXT_SIZE = 12;
// RegEnumKeyExA's capacity for a subkey name, terminator included.
constexpr DWORD SUBKEY_NAME_CAPACITY = 255;

bool EqualsIgnoringCase(const char* left, const char* right) {
    for (; *left != '\0' && *right != '\0'; ++left, ++right) {
        char a = (*left >= 'A' && *left <= 'Z') ? (char)(*left - 'A' + 'a') : *left;
        char b = (*right >= 'A' && *right <= 'Z') ? (char)(*right - 'A' + 'a') : *right;
        if (a != b) {
            return false;
        }
    }
    return *left == *right;
}

bool IsLanguage(const char* attribute) {
    return EqualsIgnoringCase(attribute, "Language");
}

bool IsProductId(const char* attribute) {
    return EqualsIgnoringCase(attribute, "ProdID") || EqualsIgnoringCase(attribute, "ProductID");
}

// The capacity given is sizeof(DWORD) whatever the value's size, so a longer value fails the
// read instead of writing past the variable.
bool ReadDword(HKEY subkey, const char* attribute, DWORD* value) {
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(subkey, attribute, nullptr, nullptr, (LPBYTE)&data, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    *value = data;
    return true;
}

const char* LanguageOf(DWORD value) {
    return LookupLanguageName((uint16_t)(value & 0xFFFF));
}

// A string value's data with a terminator of our own one byte past it, since the registry keeps
// whatever bytes the writer gave. Null when there is no memory or the read failed.
char* ReadTerminatedString(HKEY subkey, const char* attribute, DWORD dataSize) {
    char* text = static_cast<char*>(malloc((size_t)dataSize + 1));
    if (text == nullptr) {
        return nullptr;
    }
    DWORD size = dataSize;
    if (RegQueryValueExA(subkey, attribute, nullptr, nullptr, (LPBYTE)text, &size) !=
        ERROR_SUCCESS) {
        free(text);
        return nullptr;
    }
    text[size <= dataSize ? size : dataSize] = '\0';
    return text;
}

int32_t ExpandedSize(HKEY subkey, const char* attribute, DWORD dataSize) {
    char* text = ReadTerminatedString(subkey, attribute, dataSize);
    if (text == nullptr) {
        return -1;
    }
    DWORD length = ExpandEnvironmentStringsA(text, nullptr, 0);
    free(text);
    return length == 0 || length >= (DWORD)INT32_MAX ? -1 : (int32_t)length + 1;
}

int32_t DwordSize(HKEY subkey, const char* attribute) {
    if (!IsLanguage(attribute)) {
        return DWORD_TEXT_SIZE;
    }
    DWORD value = 0;
    return ReadDword(subkey, attribute, &value) ? (int32_t)strlen(LanguageOf(value)) + 1 : -1;
}

int32_t UnsupportedTypeSize(DWORD type) {
    const char* message = "Unknown type.";
    switch (type) {
    case REG_NONE:
        message = "REG_NONE type not supported.";
        break;
    case REG_LINK:
        message = "REG_LINK type not supported.";
        break;
    case REG_MULTI_SZ:
        message = "REG_MULTI_SZ type not supported.";
        break;
    case REG_QWORD:
        message = "REG_QWORD type not supported.";
        break;
    default:
        break;
    }
    LOG_AT(LOG_ERROR, FIND_SIZE, "%s", message);
    return 0;
}

// The read is bounded by the buffer, not by the value's size now: a value that grew since the
// buffer was sized fails (and gives the empty text) rather than overrun it.
int32_t ReadString(HKEY subkey, const char* attribute, DWORD dataSize, char* buffer,
                   int32_t bufferSize) {
    DWORD capacity = dataSize < (DWORD)(bufferSize - 1) ? dataSize : (DWORD)(bufferSize - 1);
    DWORD size = capacity;
    if (RegQueryValueExA(subkey, attribute, nullptr, nullptr, (LPBYTE)buffer, &size) !=
        ERROR_SUCCESS) {
        return -1;
    }
    buffer[size <= capacity ? size : capacity] = '\0';
    return 0;
}

int32_t ExpandString(HKEY subkey, const char* attribute, DWORD dataSize, char* buffer,
                     int32_t bufferSize) {
    char* text = ReadTerminatedString(subkey, attribute, dataSize);
    if (text == nullptr) {
        return -1;
    }
    DWORD length = ExpandEnvironmentStringsA(text, buffer, (DWORD)bufferSize);
    free(text);
    buffer[bufferSize - 1] = '\0';
    return length == 0 || length > (DWORD)bufferSize ? -1 : 0;
}

// Lower-case digit pairs with one blank between bytes, cut where the buffer ends.
int32_t FormatBinary(HKEY subkey, const char* attribute, DWORD dataSize, char* buffer,
                     int32_t bufferSize) {
    static const char DIGITS[] = "0123456789abcdef";
    BYTE* data = static_cast<BYTE*>(malloc(dataSize > 0 ? dataSize : 1));
    DWORD size = dataSize;
    if (data == nullptr ||
        RegQueryValueExA(subkey, attribute, nullptr, nullptr, data, &size) != ERROR_SUCCESS) {
        free(data);
        return -1;
    }
    size_t end = (size_t)bufferSize - 1;
    size_t at = 0;
    for (DWORD i = 0; i < size && i < dataSize; ++i) {
        if (at + (i > 0 ? 3 : 2) > end) {
            break;
        }
        if (i > 0) {
            buffer[at++] = ' ';
        }
        buffer[at++] = DIGITS[data[i] >> 4];
        buffer[at++] = DIGITS[data[i] & 0xF];
    }
    buffer[at] = '\0';
    buffer[end] = '\0';
    free(data);
    return 0;
}

int32_t FormatDword(HKEY subkey, const char* attribute, char* buffer, int32_t bufferSize) {
    DWORD value = 0;
    if (!ReadDword(subkey, attribute, &value)) {
        return -1;
    }
    if (IsLanguage(attribute)) {
        snprintf(buffer, (size_t)bufferSize, "%s", LanguageOf(value));
    } else {
        snprintf(buffer, (size_t)bufferSize, "%d", (int)(int32_t)value);
    }
    return 0;
}

// ---- The host classes ----

struct JniCache {
    jclass resultsVectorClass;
    jmethodID sizeMethod;
    jmethodID addMethod;
    jclass attributeValueClass;
    jmethodID setMasterCode;
    jmethodID setAttributeValue;
    jmethodID setUniqueInstanceId;
    jmethodID constructor;
};

JniCache InstalledAppsJniCache = {};

// A lookup that failed leaves an exception pending, so nothing further may be asked of the JVM.
bool Found(JNIEnv* env, const void* result, const char* message) {
    if (result == nullptr || JniExceptionPending(env)) {
        LOG_AT(LOG_ERROR, INITIALIZE, "%s", message);
        return false;
    }
    return true;
}

bool FindResultsVector(JNIEnv* env, JniCache& cache) {
    cache.resultsVectorClass = env->FindClass(RESULT_VECTOR_CLASS);
    if (!Found(env, cache.resultsVectorClass, "Could not find InventoryResultVector class")) {
        return false;
    }
    cache.sizeMethod = env->GetMethodID(cache.resultsVectorClass, "size", SIZE_SIGNATURE);
    if (!Found(env, cache.sizeMethod,
               "Could not find size() method in InventoryResultVector class")) {
        return false;
    }
    jmethodID get = env->GetMethodID(cache.resultsVectorClass, "get", GET_SIGNATURE);
    if (!Found(env, get, "Could not find get() method in InventoryResultVector class")) {
        return false;
    }
    cache.addMethod = env->GetMethodID(cache.resultsVectorClass, "add", ADD_SIGNATURE);
    return Found(env, cache.addMethod,
                 "Could not find add() method in InventoryResultVector class");
}

bool FindAttributeValue(JNIEnv* env, JniCache& cache) {
    cache.attributeValueClass = env->FindClass(ATTRIBUTE_VALUE_CLASS);
    if (!Found(env, cache.attributeValueClass, "Could not find InventoryAttributeValue class")) {
        return false;
    }
    jclass value = cache.attributeValueClass;
    cache.setMasterCode = env->GetMethodID(value, "setMasterCode", INT_SETTER_SIGNATURE);
    if (!Found(env, cache.setMasterCode,
               "Could not find setMasterCode() method in InventoryAttributeValue class")) {
        return false;
    }
    cache.setAttributeValue = env->GetMethodID(value, "setAttributeValue", STRING_SETTER_SIGNATURE);
    if (!Found(env, cache.setAttributeValue,
               "Could not find setAttributeValue() method in InventoryAttributeValue class")) {
        return false;
    }
    cache.setUniqueInstanceId =
        env->GetMethodID(value, "setUniqueInstanceId", STRING_SETTER_SIGNATURE);
    if (!Found(env, cache.setUniqueInstanceId,
               "Could not find setUniqueInstanceId() method in InventoryAttributeValue class")) {
        return false;
    }
    cache.constructor = env->GetMethodID(value, CONSTRUCTOR, NO_ARGUMENT_CONSTRUCTOR_SIGNATURE);
    return Found(env, cache.constructor,
                 "Could not find default constructor in InventoryAttributeValue class");
}

bool Initialize(JNIEnv* env) {
    InstalledAppsJniCache = {};
    return FindResultsVector(env, InstalledAppsJniCache) &&
           FindAttributeValue(env, InstalledAppsJniCache);
}

// The class references are local to the call that found them.
void ForgetClasses(JNIEnv* env) {
    JniDeleteLocalRef(env, InstalledAppsJniCache.resultsVectorClass);
    JniDeleteLocalRef(env, InstalledAppsJniCache.attributeValueClass);
    InstalledAppsJniCache = {};
}

// ---- Building and appending one result ----

bool CallStringSetter(JNIEnv* env, jobject object, jmethodID setter, const char* text) {
    jstring string = JniNewStringFromAnsi(env, text);
    if (string == nullptr) {
        return false;
    }
    env->CallVoidMethod(object, setter, string);
    JniDeleteLocalRef(env, string);
    return !JniExceptionPending(env);
}

bool SetProperties(JNIEnv* env, jobject object, jint masterCode, const char* text,
                   const char* subkeyName) {
    const JniCache& cache = InstalledAppsJniCache;
    env->CallVoidMethod(object, cache.setMasterCode, masterCode);
    return !JniExceptionPending(env) &&
           CallStringSetter(env, object, cache.setAttributeValue, text) &&
           CallStringSetter(env, object, cache.setUniqueInstanceId, subkeyName);
}

// The object's local reference goes after the append, so that a large collection keeps the
// JVM's local reference table small.
bool AddValueToVector(JNIEnv* env, jobject resultsVector, jint masterCode, const char* text,
                      const char* subkeyName) {
    const JniCache& cache = InstalledAppsJniCache;
    jobject object = env->NewObject(cache.attributeValueClass, cache.constructor);
    if (object == nullptr || JniExceptionPending(env)) {
        JniDeleteLocalRef(env, object);
        LOG_AT(LOG_ERROR, ADD_VALUE,
               "Could not create an instance of InventoryAttributeValue class");
        return false;
    }
    bool done = SetProperties(env, object, masterCode, text, subkeyName);
    jboolean added = JNI_FALSE;
    if (done) {
        added = env->CallBooleanMethod(resultsVector, cache.addMethod, object);
        done = !JniExceptionPending(env);
    }
    JniDeleteLocalRef(env, object);
    if (done && added == JNI_FALSE) {
        LOG_AT(LOG_ERROR, ADD_VALUE,
               "Error while adding InventoryAttributeValue instance to results vector, \t\t\t "
               "'add' method of vector returned false.");
        done = false;
    }
    return done;
}

// ---- The walk ----

struct Walk {
    JNIEnv* env;
    jobject resultsVector;
    char** attributes;
    const jint* masterCodes;
    uint32_t count;
    bool abortOnLimit;
    jint maxResultsSize;
    HKEY uninstall;
};

// 0 to append, 1 to stop at the limit, -1 when the size cannot be read.
int CheckLimit(const Walk& walk) {
    jint size = walk.env->CallIntMethod(walk.resultsVector, InstalledAppsJniCache.sizeMethod);
    if (JniExceptionPending(walk.env) || size == -1) {
        LOG_AT(LOG_ERROR, WALK,
               "Error while trying to find the size of results vector to check the max limit "
               "violation");
        return -1;
    }
    if (size <= walk.maxResultsSize) {
        return 0;
    }
    LOG_AT(LOG_INFO, WALK, "Results vector size exceeded maximum allowable limit !");
    if (walk.abortOnLimit) {
        LOG_AT(LOG_INFO, WALK,
               "Result size exceeded maximum allowable limit, aborting the operation !");
        return 1;
    }
    LOG_AT(LOG_INFO, WALK, "Sleeping for 1 second due to max. result size violation");
    Sleep(1000);
    return 0;
}

// The value's text in a buffer of its own, never empty-handed: a missing or unsupported value
// gives the empty text. Null only when there is no memory.
char* ValueText(HKEY subkey, const char* subkeyName, const char* attribute) {
    bool fromName = IsProductId(attribute);
    int32_t size =
        fromName ? (int32_t)strlen(subkeyName) + 1 : findSizeOfBuffer(&subkey, attribute);
    if (size < 1) {
        size = 1;
    }
    char* text = static_cast<char*>(malloc((size_t)size));
    if (text == nullptr) {
        return nullptr;
    }
    text[0] = '\0';
    if (fromName) {
        memcpy(text, subkeyName, (size_t)size);
    } else if (FindValueOfAttribute(&subkey, attribute, text, &size) == -1) {
        text[0] = '\0';
    }
    return text;
}

int CollectValue(const Walk& walk, HKEY subkey, const char* subkeyName, uint32_t index) {
    const char* attribute = walk.attributes[index];
    LOG_AT(LOG_INFO, WALK, "Finding value of attribiute '%s'", attribute);
    char* text = ValueText(subkey, subkeyName, attribute);
    if (text == nullptr) {
        LOG_AT(LOG_ERROR, WALK, "Memory allocation faliure for value of attribute.");
        return -1;
    }
    LOG_AT(LOG_INFO, WALK, "Value of attribute : '%s'", text);
    int result = CheckLimit(walk);
    if (result == 0 && !AddValueToVector(walk.env, walk.resultsVector, walk.masterCodes[index],
                                         text, subkeyName)) {
        LOG_AT(LOG_ERROR, WALK, "Could not add attribute value to results vector");
        result = -1;
    }
    free(text);
    return result;
}

// The capacity never exceeds the buffer held: a name longer than the key first reported (added
// while the walk runs) fails its index instead of overrunning the buffer.
int VisitSubkey(const Walk& walk, DWORD index, char* name, DWORD nameBufferSize) {
    DWORD capacity = nameBufferSize < SUBKEY_NAME_CAPACITY ? nameBufferSize : SUBKEY_NAME_CAPACITY;
    LONG status =
        RegEnumKeyExA(walk.uninstall, index, name, &capacity, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, WALK, "Could not find name of subkey #%d  of Uninstall key.",
               (int)(index + 1));
        LogRegistryError(WALK, status);
        return 0;
    }
    LOG_AT(LOG_INFO, WALK, "Subkey: '%s'", name);
    HKEY subkey = GetHandleForSubkey(name);
    if (subkey == nullptr) {
        LOG_AT(LOG_ERROR, WALK, "Could not get registry handle for '%s' subkey.", name);
        return 0;
    }
    int result = 0;
    if (RegQueryValueExA(subkey, "DisplayName", nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
        LOG_AT(LOG_INFO, WALK, "Display name attribute not found for subkey '%s'", name);
    } else {
        for (uint32_t j = 0; j < walk.count && result == 0; ++j) {
            if (walk.attributes[j] != nullptr) {
                result = CollectValue(walk, subkey, name, j);
            }
        }
    }
    RegCloseKey(subkey);
    return result;
}

int AddAttributeValuesToResultsVector(Walk walk) {
    walk.uninstall = GetHandleForUninstallSubkey();
    if (walk.uninstall == nullptr) {
        return -1;
    }
    DWORD subkeys = 0;
    DWORD longest = 0;
    LONG status = RegQueryInfoKeyA(walk.uninstall, nullptr, nullptr, nullptr, &subkeys, &longest,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, WALK,
               "Could 't find number of registry subkeys keys under Uninstall key.");
        LogRegistryError(WALK, status);
        return -1;
    }
    LOG_AT(LOG_INFO, WALK, "\nTotal subkeys under 'Uninstall' key = %d", (int)subkeys);
    LOG_AT(LOG_INFO, WALK, "Finding all subkeys having a dispaly name attribute.");
    DWORD nameBufferSize = longest + 1;
    char* name = static_cast<char*>(malloc(nameBufferSize));
    if (name == nullptr) {
        LOG_AT(LOG_ERROR, WALK, "Could not allocate memory to store subkey name.");
        return -1;
    }
    int result = 0;
    for (DWORD i = 0; i < subkeys && result == 0; ++i) {
        result = VisitSubkey(walk, i, name, nameBufferSize);
    }
    free(name);
    return result;
}

// ---- The entry point's working data ----

void FreeAttributeTable(char** table, uint32_t count) {
    for (uint32_t i = 0; table != nullptr && i < count; ++i) {
        free(table[i]);
    }
    free(table);
}

// One entry: a private copy of the name, or empty for a null element or a copy that failed.
bool CopyAttributeName(JNIEnv* env, jobjectArray attributes, uint32_t index, char** entry) {
    auto element = static_cast<jstring>(env->GetObjectArrayElement(attributes, (jsize)index));
    if (JniExceptionPending(env)) {
        return false;
    }
    if (element == nullptr) {
        LOG_AT(LOG_ERROR, GET_ATTRIBUTE_VALUES,
               "Attribute name passed in the array of attributes was null");
        return true;
    }
    bool copied = false;
    {
        ScopedAnsiChars chars(env, element);
        if (chars.chars() != nullptr) {
            *entry = strdup(chars.chars());
            copied = true;
        } else {
            LOG_AT(LOG_ERROR, GET_ATTRIBUTE_VALUES,
                   "Could not get the characters of attribute name #%d.", (int)index + 1);
        }
    }
    JniDeleteLocalRef(env, element);
    return copied;
}

// Null after a level-3 record when the table or one of its names could not be had.
char** BuildAttributeTable(JNIEnv* env, jobjectArray attributes, uint32_t count) {
    char** table = static_cast<char**>(calloc(count, sizeof(char*)));
    if (table == nullptr) {
        LOG_AT(LOG_ERROR, GET_ATTRIBUTE_VALUES,
               "Could not allocate memory to store the attribute names.");
        return nullptr;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!CopyAttributeName(env, attributes, i, &table[i])) {
            FreeAttributeTable(table, count);
            return nullptr;
        }
    }
    return table;
}

int CollectForAttributes(const Walk& arguments, JNIEnv* env, jobjectArray attributes,
                         jintArray masterCodes) {
    Walk walk = arguments;
    walk.attributes = BuildAttributeTable(env, attributes, walk.count);
    if (walk.attributes == nullptr) {
        return -1;
    }
    int result = -1;
    jint* codes = env->GetIntArrayElements(masterCodes, nullptr);
    if (codes == nullptr || JniExceptionPending(env)) {
        LOG_AT(LOG_ERROR, GET_ATTRIBUTE_VALUES,
               "Could not get the elements of the master codes array.");
    } else {
        walk.masterCodes = codes;
        LOG_AT(LOG_INFO, GET_ATTRIBUTE_VALUES,
               "-------------- Getting information from subkeys under "
               "'HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion/Uninstall' "
               "--------------");
        result = AddAttributeValuesToResultsVector(walk);
    }
    if (codes != nullptr) {
        env->ReleaseIntArrayElements(masterCodes, codes, 0);
    }
    FreeAttributeTable(walk.attributes, walk.count);
    return result;
}

bool ArgumentsPresent(jobjectArray attributes, jintArray masterCodes, jobject resultsVector) {
    const char* missing = nullptr;
    if (attributes == nullptr) {
        missing = "The attributes array passed to native method was null";
    } else if (masterCodes == nullptr) {
        missing = "MasterCodes array passed with the inventory item was null";
    } else if (resultsVector == nullptr) {
        missing = "The results vector passed to native method was null";
    }
    if (missing != nullptr) {
        LOG_AT(LOG_ERROR, GET_ATTRIBUTE_VALUES, "%s", missing);
    }
    return missing == nullptr;
}

// Failures before the walk end without the closing record.
int CollectAttributeValues(const Walk& arguments, jobjectArray attributes, jintArray masterCodes) {
    JNIEnv* env = arguments.env;
    if (!Initialize(env)) {
        return -1;
    }
    jsize count = env->GetArrayLength(attributes);
    if (count != env->GetArrayLength(masterCodes)) {
        LOG_AT(LOG_ERROR, GET_ATTRIBUTE_VALUES,
               "The arrays of attribues and mastercodes were of different lengths.");
        return -1;
    }
    Walk walk = arguments;
    walk.count = (uint32_t)count;
    int result = count == 0 ? 0 : CollectForAttributes(walk, env, attributes, masterCodes);
    LOG_AT(LOG_INFO, GET_ATTRIBUTE_VALUES, "Exiting the method");
    return result;
}

} // namespace

HKEY GetHandleForSoftwareSubkey() {
    return SlotHandle(SOFTWARE);
}

HKEY GetHandleForMicrosoftSubkey() {
    return SlotHandle(MICROSOFT);
}

HKEY GetHandleForWindowsSubkey() {
    return SlotHandle(WINDOWS);
}

HKEY GetHandleForCurrentVersionSubkey() {
    return SlotHandle(CURRENT_VERSION);
}

HKEY GetHandleForUninstallSubkey() {
    return SlotHandle(UNINSTALL);
}

HKEY GetHandleForSubkey(const char* subkeyName) {
    if (subkeyName == nullptr) {
        LOG_AT(LOG_ERROR, SUBKEY, "UniqueInstance id found NULL");
        return nullptr;
    }
    HKEY uninstall = GetHandleForUninstallSubkey();
    if (uninstall == nullptr) {
        LOG_AT(LOG_ERROR, SUBKEY,
               "Cann't find handle for '%s' as handle for Uninstall subkey was null.", subkeyName);
        return nullptr;
    }
    HKEY subkey = nullptr;
    LONG status = RegOpenKeyExA(uninstall, subkeyName, 0, KEY_ALL_ACCESS, &subkey);
    if (status != ERROR_SUCCESS || subkey == nullptr) {
        LOG_AT(LOG_ERROR, SUBKEY, "Could not successfully open handle for subkey %s", subkeyName);
        LogRegistryError(SUBKEY, status);
        return nullptr;
    }
    return subkey;
}

int32_t findSizeOfBuffer(HKEY* subkey, const char* attributeName) {
    if (subkey == nullptr || attributeName == nullptr) {
        LOG_ASSERT_FAILED(FIND_SIZE, "subkey != NULL && attributeName != NULL");
        return -1;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(*subkey, attributeName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        LOG_AT(LOG_ERROR, FIND_SIZE, "Atttribute '%s' not found", attributeName);
        return -1;
    }
    switch (type) {
    case REG_SZ:
        return size < (DWORD)INT32_MAX ? (int32_t)size + 1 : -1;
    case REG_EXPAND_SZ:
        return ExpandedSize(*subkey, attributeName, size);
    case REG_BINARY:
        return size == 0 ? 1 : size <= (DWORD)INT32_MAX / 4 ? (int32_t)size * 4 : -1;
    case REG_DWORD:
        return DwordSize(*subkey, attributeName);
    default:
        return UnsupportedTypeSize(type);
    }
}

int32_t FindValueOfAttribute(HKEY* subkey, const char* attributeName, char* buffer,
                             int32_t* bufferSize) {
    if (subkey == nullptr || *subkey == nullptr || attributeName == nullptr) {
        LOG_AT(LOG_ERROR, FIND_VALUE, "Handle for subkey '%s' was null",
               attributeName != nullptr ? attributeName : "(null)");
        return -1;
    }
    if (buffer == nullptr || bufferSize == nullptr || *bufferSize < 1) {
        LOG_ASSERT_FAILED(FIND_VALUE, "buffer != NULL && bufferSize != NULL");
        return -1;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(*subkey, attributeName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return -1;
    }
    switch (type) {
    case REG_SZ:
        return ReadString(*subkey, attributeName, size, buffer, *bufferSize);
    case REG_EXPAND_SZ:
        return ExpandString(*subkey, attributeName, size, buffer, *bufferSize);
    case REG_BINARY:
        return FormatBinary(*subkey, attributeName, size, buffer, *bufferSize);
    case REG_DWORD:
        return FormatDword(*subkey, attributeName, buffer, *bufferSize);
    default:
        return -1;
    }
}

JNIEXPORT jbyte JNICALL
Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
    JNIEnv* env, jobject, jobjectArray attributes, jintArray masterCodes, jobject resultsVector,
    jboolean abortOnLimit, jint maxResultsSize) {
    LOG_AT(LOG_INFO, GET_ATTRIBUTE_VALUES, "Entered the method");
    if (!ArgumentsPresent(attributes, masterCodes, resultsVector)) {
        return -1;
    }
    Walk arguments = {
        env, resultsVector, nullptr, nullptr, 0, abortOnLimit == JNI_TRUE, maxResultsSize, nullptr};
    int result = CollectAttributeValues(arguments, attributes, masterCodes);
    ForgetClasses(env);
    return (jbyte)result;
}

JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_checkInstance(
    JNIEnv* env, jobject, jstring uniqueInstanceId) {
    LOG_AT(LOG_INFO, CHECK_INSTANCE, "Entered the method");
    if (uniqueInstanceId == nullptr) {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE, "UniqueInstance id passed to native method was null.");
        return JNI_FALSE;
    }
    HKEY subkey = nullptr;
    {
        ScopedAnsiChars id(env, uniqueInstanceId);
        if (id.chars() == nullptr) {
            LOG_AT(LOG_ERROR, CHECK_INSTANCE,
                   "Could not get the characters of the uniqueinstance ID.");
            return JNI_FALSE;
        }
        LOG_AT(LOG_INFO, CHECK_INSTANCE,
               "Trying to find registry handle for uniqueinstance ID '%s'", id.chars());
        subkey = GetHandleForSubkey(id.chars());
    }
    if (subkey == nullptr) {
        LOG_AT(LOG_INFO, CHECK_INSTANCE, "Registry handle for uniqueInstanceId not found");
        LOG_AT(LOG_INFO, CHECK_INSTANCE, "Exiting the method");
        return JNI_FALSE;
    }
    LOG_AT(LOG_INFO, CHECK_INSTANCE, "Registry handle for uniqueInstanceId successfully found");
    LOG_AT(LOG_INFO, CHECK_INSTANCE, "Exiting the method");
    RegCloseKey(subkey);
    return JNI_TRUE;
}

JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_releaseResources(JNIEnv*,
                                                                                    jobject) {
    // Parents before children, as they were opened.
    for (HKEY& key : InstalledAppsKeyCache) {
        if (key != nullptr) {
            RegCloseKey(key);
            key = nullptr;
        }
    }
    return JNI_TRUE;
}
