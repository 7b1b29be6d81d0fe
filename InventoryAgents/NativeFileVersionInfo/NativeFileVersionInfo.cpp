#include "InventoryAgents/NativeFileVersionInfo/NativeFileVersionInfo.h"

#include "Common/DiagnosticLog.h"
#include "Common/JniSupport.h"
#include "Common/LanguageNames.h"
#include "Common/ScopedResource.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define LOG_SOURCE "InventoryAgents\\NativeFileVersionInfo\\NativeFileVersionInfo"

namespace {

constexpr char kCollectName[] =
    "Java_com_quorvane_inventory_inventoryagent_"
    "WindowsExecutableMetadataFileInventoryAgent_collectVersionInformationForFile";
constexpr char kFormatPropertyName[] = "GetFormattedPropertyValue";

// The order of the result array; the language and code page names follow at 10 and 11.
const char* const kPropertyNames[] = {
    "Comments",         "LegalTrademarks", "CompanyName",    "FileDescription", "InternalName",
    "OriginalFilename", "ProductName",     "ProductVersion", "FileVersion",     "LegalCopyright"};
constexpr jsize kPropertyCount = sizeof kPropertyNames / sizeof kPropertyNames[0];
constexpr jsize kResultLength = kPropertyCount + 2;
constexpr size_t kSubBlockSize = 1024;
// A version block's root length is 16-bit, so no block describes more than 64 KB; the size the
// version functions ask for is twice the resource (its ANSI half) plus four. A resource that
// claims more, in a file of any size, is read no further than this.
constexpr DWORD kLargestVersionBlock = 2 * 0xFFFF + 4;

struct Translation {
    WORD language;
    WORD codePage;
};

// A file without a translation list is read as English (United States), code page 0.
const Translation kDefaultTranslation = {0x0409, 0};

// The value of one property for one translation, or "" when the file has none.
const char* PropertyValue(const void* block, const char* property, Translation translation,
                          char (&subBlock)[kSubBlockSize]) {
    if (GetFormattedPropertyValue(subBlock, property, translation.language, translation.codePage) <
        0) {
        return "";
    }
    LPVOID text = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, subBlock, &text, &length) || text == nullptr) {
        return "";
    }
    LOG_AT(kLogInfo, kCollectName, "Value : %s", static_cast<const char*>(text));
    return static_cast<const char*>(text);
}

// The twelve strings of one translation. Null when the JVM refused (an exception is pending).
jobjectArray TranslationStrings(JNIEnv* env, const void* block, Translation translation) {
    jobjectArray strings = JniNewStringArray(env, kResultLength);
    if (strings == nullptr) {
        return nullptr;
    }
    char subBlock[kSubBlockSize];
    bool stored = true;
    for (jsize i = 0; i < kPropertyCount && stored; ++i) {
        const char* value = PropertyValue(block, kPropertyNames[i], translation, subBlock);
        stored = JniStoreStringInArray(env, strings, i, value);
    }
    stored = stored &&
             JniStoreStringInArray(env, strings, kPropertyCount,
                                   LookupLanguageName(translation.language)) &&
             JniStoreStringInArray(env, strings, kPropertyCount + 1,
                                   LookupCodePageName(translation.codePage));
    if (!stored) {
        JniDeleteLocalRef(env, strings);
        return nullptr;
    }
    return strings;
}

// The translation pairs as the resource lists them, or the default pair when it has no list.
// The pairs are copied out, since the list need not be aligned in the block.
size_t ReadTranslations(const void* block, const char* path, Translation** pairs) {
    LPVOID list = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, "\\VarFileInfo\\Translation", &list, &length) || list == nullptr) {
        LOG_AT(kLogError, kCollectName,
               "Could not read the list of languages and code pages for file . %s.", path);
        LOG_AT(kLogInfo, kCollectName, "Setting to default language and code page");
        list = const_cast<Translation*>(&kDefaultTranslation);
        length = sizeof(Translation);
    }
    size_t count = length / sizeof(Translation);
    *pairs = static_cast<Translation*>(LibraryMalloc(count > 0 ? count * sizeof(Translation) : 1));
    if (*pairs == nullptr) {
        LOG_AT(kLogError, kCollectName, "Not enough memory");
        return 0;
    }
    for (size_t i = 0; i < count; ++i) {
        const BYTE* pair = static_cast<const BYTE*>(list) + i * sizeof(Translation);
        (*pairs)[i].language = static_cast<WORD>(pair[0] | pair[1] << 8);
        (*pairs)[i].codePage = static_cast<WORD>(pair[2] | pair[3] << 8);
    }
    return count;
}

// One array per translation, appended in the resource's order. Null when the JVM refused (an
// exception is then pending) or, logged, when there was no memory to copy the pairs out.
jobject CollectTranslations(JNIEnv* env, const void* block, const char* path) {
    Translation* pairs = nullptr;
    size_t count = ReadTranslations(block, path, &pairs);
    ScopedMalloc heldPairs(pairs);
    jmethodID add = nullptr;
    jobject vector = pairs != nullptr ? JniNewVector(env, &add) : nullptr;
    for (size_t i = 0; i < count && vector != nullptr; ++i) {
        jobjectArray strings = TranslationStrings(env, block, pairs[i]);
        if (strings == nullptr || !JniAppend(env, vector, add, strings)) {
            JniDeleteLocalRef(env, vector);
            vector = nullptr;
        }
    }
    return vector;
}

// The version block of a file, or null after logging why there is none.
void* ReadVersionBlock(const char* path) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) {
        LOG_AT(kLogDetail, kCollectName, "No info: %s", path);
        return nullptr;
    }
    if (size > kLargestVersionBlock) {
        size = kLargestVersionBlock;
    }
    void* block = LibraryMalloc(size);
    if (block == nullptr) {
        LOG_AT(kLogError, kCollectName, "Not enough memory");
        return nullptr;
    }
    ScopedMalloc held(block);
    if (!GetFileVersionInfoA(path, 0, size, block)) {
        LOG_SYSTEM_ERROR(kCollectName);
        LOG_AT(kLogError, kCollectName, "Error getting version info: %s", path);
        return nullptr;
    }
    return held.release();
}

} // namespace

HRESULT GetFormattedPropertyValue(char* buffer, const char* propertyName, WORD language,
                                  WORD codePage) {
    // The property name is a constant of ours, but it goes in as an argument, never as part of
    // the format, so that no name can inject a conversion.
    int wanted =
        snprintf(buffer, kSubBlockSize, "\\StringFileInfo\\%04x%04x\\%s",
                 static_cast<unsigned>(language), static_cast<unsigned>(codePage), propertyName);
    if (wanted < 0 || static_cast<size_t>(wanted) >= kSubBlockSize) {
        if (wanted < 0) {
            buffer[0] = '\0';
        }
        LOG_AT(kLogError, kFormatPropertyName, "StringCchPrintf : STRSAFE_E_INSUFFICIENT_BUFFER");
        return STRSAFE_E_INSUFFICIENT_BUFFER;
    }
    LOG_AT(kLogInfo, kFormatPropertyName, "Formatted string : '%s'", buffer);
    return S_OK;
}

JNIEXPORT jobject JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent_collectVersionInformationForFile(
    JNIEnv* env, jobject, jstring fileName) {
    if (fileName == nullptr) {
        LOG_ASSERT_FAILED(kCollectName, "fileName != NULL");
        return nullptr;
    }
    ScopedAnsiChars path(env, fileName);
    if (path.unconvertible()) {
        LOG_AT(kLogError, kCollectName, "%s", kTextOutsideAnsiCodePage);
        return nullptr;
    }
    if (path.chars() == nullptr || path.chars()[0] == '\0') {
        LOG_AT(kLogError, kCollectName, "Empty filename");
        return nullptr;
    }
    LOG_AT(kLogDetail, kCollectName, "Seeking: %s", path.chars());
    ScopedMalloc block(ReadVersionBlock(path.chars()));
    if (!block.held()) {
        return nullptr;
    }
    return CollectTranslations(env, block.get(), path.chars());
}
