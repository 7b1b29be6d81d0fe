// getAttributeValues: the walk over the programs under the Uninstall key, one result per program
// with a DisplayName and per requested attribute.
#include "Common/AsciiCase.h"
#include "Common/DiagnosticLog.h"
#include "Common/JniSupport.h"
#include "Common/RegistryErrorLog.h"
#include "Common/ScopedResource.h"
#include "InventoryAgents/NativeInstalledApps/AttributeValueText.h"
#include "InventoryAgents/NativeInstalledApps/InstalledAppsLogSource.h"
#include "InventoryAgents/NativeInstalledApps/ResultObjects.h"
#include "InventoryAgents/NativeInstalledApps/UninstallKeys.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kGetAttributeValuesName[] =
    "Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues";
const char kWalkName[] = "AddAttributeValuesToResultsVector";

// The longest key name the registry allows, 255 characters, and its terminator.
constexpr DWORD kSubkeyNameCapacity = 256;

struct Walk {
    JNIEnv* env;
    const InstalledAppsJniCache* jni;
    jobject resultsVector;
    const char* const* attributes;
    const jint* masterCodes;
    uint32_t count;
    bool abortOnLimit;
    jint maxResultsSize;
    HKEY uninstall;
};

bool IsProductId(const char* attribute) {
    return EqualsIgnoringAsciiCase(attribute, "ProdID") ||
           EqualsIgnoringAsciiCase(attribute, "ProductID");
}

// 0 to append, 1 to stop at the limit, -1 when the size cannot be read.
int CheckLimit(const Walk& walk) {
    jint size = walk.env->CallIntMethod(walk.resultsVector, walk.jni->sizeMethod);
    if (JniExceptionPending(walk.env) || size == -1) {
        LOG_AT(kLogError, kWalkName,
               "Error while trying to find the size of results vector to check the max limit "
               "violation");
        return -1;
    }
    if (size <= walk.maxResultsSize) {
        return 0;
    }
    LOG_AT(kLogInfo, kWalkName, "Results vector size exceeded maximum allowable limit !");
    if (walk.abortOnLimit) {
        LOG_AT(kLogInfo, kWalkName,
               "Result size exceeded maximum allowable limit, aborting the operation !");
        return 1;
    }
    LOG_AT(kLogInfo, kWalkName, "Sleeping for 1 second due to max. result size violation");
    Sleep(1000);
    return 0;
}

// The value's text in a buffer of its own, never empty-handed: a missing or unsupported value
// gives the empty text. False only when there is no memory.
bool ValueText(HKEY subkey, const char* subkeyName, const char* attribute, ScopedMalloc& text) {
    bool fromName = IsProductId(attribute);
    int32_t size = fromName ? static_cast<int32_t>(strlen(subkeyName)) + 1
                            : findSizeOfBuffer(&subkey, attribute);
    if (size < 1) {
        size = 1;
    }
    text.reset(LibraryMalloc(static_cast<size_t>(size)));
    char* chars = static_cast<char*>(text.get());
    if (chars == nullptr) {
        return false;
    }
    chars[0] = '\0';
    if (fromName) {
        memcpy(chars, subkeyName, static_cast<size_t>(size));
    } else if (FindValueOfAttribute(&subkey, attribute, chars, &size) == -1) {
        chars[0] = '\0';
    }
    return true;
}

int CollectValue(const Walk& walk, HKEY subkey, const char* subkeyName, uint32_t index) {
    const char* attribute = walk.attributes[index];
    LOG_AT(kLogInfo, kWalkName, "Finding value of attribiute '%s'", attribute);
    ScopedMalloc text;
    if (!ValueText(subkey, subkeyName, attribute, text)) {
        LOG_AT(kLogError, kWalkName, "Memory allocation faliure for value of attribute.");
        return -1;
    }
    const char* chars = static_cast<const char*>(text.get());
    LOG_AT(kLogInfo, kWalkName, "Value of attribute : '%s'", chars);
    int result = CheckLimit(walk);
    if (result == 0 && !AddValueToVector(walk.env, *walk.jni, walk.resultsVector,
                                         walk.masterCodes[index], chars, subkeyName)) {
        LOG_AT(kLogError, kWalkName, "Could not add attribute value to results vector");
        result = -1;
    }
    return result;
}

// The capacity never exceeds the buffer held: a name longer than the key first reported (added
// while the walk runs) fails its index instead of overrunning the buffer.
int VisitSubkey(const Walk& walk, DWORD index, char* name, DWORD nameBufferSize) {
    DWORD capacity = nameBufferSize < kSubkeyNameCapacity ? nameBufferSize : kSubkeyNameCapacity;
    LONG status =
        RegEnumKeyExA(walk.uninstall, index, name, &capacity, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        LOG_AT(kLogError, kWalkName, "Could not find name of subkey #%d  of Uninstall key.",
               static_cast<int>(index + 1));
        LOG_REGISTRY_ERROR(kWalkName, status);
        return 0;
    }
    LOG_AT(kLogInfo, kWalkName, "Subkey: '%s'", name);
    ScopedRegKey subkey(OpenProgramSubkey(walk.uninstall, name));
    if (!subkey.held()) {
        LOG_AT(kLogError, kWalkName, "Could not get registry handle for '%s' subkey.", name);
        return 0;
    }
    if (RegQueryValueExA(subkey.get(), "DisplayName", nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
        LOG_AT(kLogInfo, kWalkName, "Display name attribute not found for subkey '%s'", name);
        return 0;
    }
    int result = 0;
    for (uint32_t j = 0; j < walk.count && result == 0; ++j) {
        if (walk.attributes[j] != nullptr) {
            result = CollectValue(walk, subkey.get(), name, j);
        }
    }
    return result;
}

int AddAttributeValuesToResultsVector(Walk walk) {
    KeyCacheUse use;
    walk.uninstall = GetHandleForUninstallSubkey();
    if (walk.uninstall == nullptr) {
        return -1;
    }
    DWORD subkeys = 0;
    DWORD longest = 0;
    LONG status = RegQueryInfoKeyA(walk.uninstall, nullptr, nullptr, nullptr, &subkeys, &longest,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        LOG_AT(kLogError, kWalkName,
               "Could 't find number of registry subkeys keys under Uninstall key.");
        LOG_REGISTRY_ERROR(kWalkName, status);
        return -1;
    }
    LOG_AT(kLogInfo, kWalkName, "\nTotal subkeys under 'Uninstall' key = %d",
           static_cast<int>(subkeys));
    LOG_AT(kLogInfo, kWalkName, "Finding all subkeys having a dispaly name attribute.");
    DWORD nameBufferSize = longest + 1;
    ScopedMalloc name(LibraryMalloc(nameBufferSize));
    if (!name.held()) {
        LOG_AT(kLogError, kWalkName, "Could not allocate memory to store subkey name.");
        return -1;
    }
    int result = 0;
    for (DWORD i = 0; i < subkeys && result == 0; ++i) {
        result = VisitSubkey(walk, i, static_cast<char*>(name.get()), nameBufferSize);
    }
    return result;
}

// The attribute names of one call, each a private copy. The copies share one block of text, so
// that two holders release them all; an entry left empty is null.
struct AttributeNames {
    ScopedMalloc table;
    ScopedMalloc text;
};

// Appends a copy of name to the text block and gives its offset, or 0 when there is no memory
// (the entry is then left empty, as a copy that cannot be made leaves it).
size_t AppendName(ScopedMalloc& text, size_t& used, const char* name) {
    size_t length = strlen(name) + 1;
    void* grown = LibraryRealloc(text.get(), used + length);
    if (grown == nullptr) {
        return 0;
    }
    text.release();
    text.reset(grown);
    memcpy(static_cast<char*>(grown) + used, name, length);
    size_t offset = used;
    used += length;
    return offset;
}

// The name's offset in the text block, 0 for an entry left empty; false after a level-3 record
// when the JVM refused the element or its characters.
bool CopyAttributeName(JNIEnv* env, jobjectArray attributes, uint32_t index, ScopedMalloc& text,
                       size_t& used, size_t* offset) {
    *offset = 0;
    auto element =
        static_cast<jstring>(env->GetObjectArrayElement(attributes, static_cast<jsize>(index)));
    if (JniExceptionPending(env)) {
        return false;
    }
    if (element == nullptr) {
        LOG_AT(kLogError, kGetAttributeValuesName,
               "Attribute name passed in the array of attributes was null");
        return true;
    }
    bool refused = false;
    {
        ScopedAnsiChars chars(env, element);
        // A name outside the ANSI code page names no value an ANSI reader can reach: its entry
        // stays empty, as one whose copy failed.
        if (chars.unconvertible()) {
            LOG_AT(kLogError, kGetAttributeValuesName, "%s", kTextOutsideAnsiCodePage);
        } else if (chars.chars() != nullptr) {
            *offset = AppendName(text, used, chars.chars());
        } else {
            LOG_AT(kLogError, kGetAttributeValuesName,
                   "Could not get the characters of attribute name #%d.",
                   static_cast<int>(index) + 1);
            refused = true;
        }
    }
    JniDeleteLocalRef(env, element);
    return !refused;
}

// False after a level-3 record when the table or one of its names could not be had.
bool CopyAttributeNames(JNIEnv* env, jobjectArray attributes, uint32_t count,
                        AttributeNames& names) {
    ScopedMalloc offsets(LibraryCalloc(count, sizeof(size_t)));
    // Offset 0 is never a name's: it marks an entry left empty.
    names.text.reset(LibraryMalloc(1));
    names.table.reset(LibraryMalloc(count * sizeof(char*)));
    if (!offsets.held() || !names.text.held() || !names.table.held()) {
        LOG_AT(kLogError, kGetAttributeValuesName,
               "Could not allocate memory to store the attribute names.");
        return false;
    }
    size_t used = 1;
    size_t* offset = static_cast<size_t*>(offsets.get());
    for (uint32_t i = 0; i < count; ++i) {
        if (!CopyAttributeName(env, attributes, i, names.text, used, &offset[i])) {
            return false;
        }
    }
    // The pointers are made once the block has stopped moving.
    char* text = static_cast<char*>(names.text.get());
    char** table = static_cast<char**>(names.table.get());
    for (uint32_t i = 0; i < count; ++i) {
        table[i] = offset[i] != 0 ? text + offset[i] : nullptr;
    }
    return true;
}

int CollectForAttributes(const Walk& arguments, JNIEnv* env, jobjectArray attributes,
                         jintArray masterCodes) {
    AttributeNames names;
    if (!CopyAttributeNames(env, attributes, arguments.count, names)) {
        return -1;
    }
    Walk walk = arguments;
    walk.attributes = static_cast<const char* const*>(names.table.get());
    ScopedIntArrayElements codes(env, masterCodes);
    if (codes.elements() == nullptr) {
        LOG_AT(kLogError, kGetAttributeValuesName,
               "Could not get the elements of the master codes array.");
        return -1;
    }
    walk.masterCodes = codes.elements();
    LOG_AT(kLogInfo, kGetAttributeValuesName,
           "-------------- Getting information from subkeys under "
           "'HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion/Uninstall' "
           "--------------");
    return AddAttributeValuesToResultsVector(walk);
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
        LOG_AT(kLogError, kGetAttributeValuesName, "%s", missing);
    }
    return missing == nullptr;
}

// Failures before the walk end without the closing record.
int CollectAttributeValues(const Walk& arguments, InstalledAppsJniCache& jniCache,
                           jobjectArray attributes, jintArray masterCodes) {
    JNIEnv* env = arguments.env;
    if (!Initialize(env, jniCache)) {
        return -1;
    }
    jsize count = env->GetArrayLength(attributes);
    if (count != env->GetArrayLength(masterCodes)) {
        LOG_AT(kLogError, kGetAttributeValuesName,
               "The arrays of attribues and mastercodes were of different lengths.");
        return -1;
    }
    Walk walk = arguments;
    walk.count = static_cast<uint32_t>(count);
    int result = count == 0 ? 0 : CollectForAttributes(walk, env, attributes, masterCodes);
    LOG_AT(kLogInfo, kGetAttributeValuesName, "Exiting the method");
    return result;
}

} // namespace

JNIEXPORT jbyte JNICALL
Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
    JNIEnv* env, jobject, jobjectArray attributes, jintArray masterCodes, jobject resultsVector,
    jboolean abortOnLimit, jint maxResultsSize) {
    LOG_AT(kLogInfo, kGetAttributeValuesName, "Entered the method");
    if (!ArgumentsPresent(attributes, masterCodes, resultsVector)) {
        return -1;
    }
    InstalledAppsJniCache jniCache = {};
    Walk arguments = {env,
                      &jniCache,
                      resultsVector,
                      nullptr,
                      nullptr,
                      0,
                      abortOnLimit == JNI_TRUE,
                      maxResultsSize,
                      nullptr};
    int result = CollectAttributeValues(arguments, jniCache, attributes, masterCodes);
    ForgetClasses(env, jniCache);
    return static_cast<jbyte>(result);
}
