#include "InventoryAgents/NativeInstalledApps/AttributeValueText.h"

#include "Common/AsciiCase.h"
#include "Common/DiagnosticLog.h"
#include "Common/LanguageNames.h"
#include "Common/ScopedResource.h"
#include "InventoryAgents/NativeInstalledApps/InstalledAppsLogSource.h"
#include "Platform/Win32.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kFindSizeOfBufferName[] = "findSizeOfBuffer";
const char kFindValueOfAttributeName[] = "FindValueOfAttribute";

// Room for "-2147483648" and its terminator.
constexpr int32_t kDwordTextSize = 12;

bool IsLanguage(const char* attribute) {
    return EqualsIgnoringAsciiCase(attribute, "Language");
}

// The capacity given is sizeof(DWORD) whatever the value's size, so a longer value fails the
// read instead of writing past the variable.
bool ReadDword(HKEY subkey, const char* attribute, DWORD* value) {
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(subkey, attribute, nullptr, nullptr, reinterpret_cast<LPBYTE>(&data),
                         &size) != ERROR_SUCCESS) {
        return false;
    }
    *value = data;
    return true;
}

const char* LanguageOf(DWORD value) {
    return LookupLanguageName(static_cast<uint16_t>(value & 0xFFFF));
}

// A string value's data with a terminator of our own one byte past it, since the registry keeps
// whatever bytes the writer gave. False when there is no memory or the read failed.
bool ReadTerminatedString(HKEY subkey, const char* attribute, DWORD dataSize, ScopedMalloc& text) {
    text.reset(LibraryMalloc(static_cast<size_t>(dataSize) + 1));
    char* chars = static_cast<char*>(text.get());
    if (chars == nullptr) {
        return false;
    }
    DWORD size = dataSize;
    if (RegQueryValueExA(subkey, attribute, nullptr, nullptr, reinterpret_cast<LPBYTE>(chars),
                         &size) != ERROR_SUCCESS) {
        return false;
    }
    chars[size <= dataSize ? size : dataSize] = '\0';
    return true;
}

int32_t ExpandedSize(HKEY subkey, const char* attribute, DWORD dataSize) {
    ScopedMalloc text;
    if (!ReadTerminatedString(subkey, attribute, dataSize, text)) {
        return -1;
    }
    DWORD length = ExpandEnvironmentStringsA(static_cast<char*>(text.get()), nullptr, 0);
    return length == 0 || length >= static_cast<DWORD>(INT32_MAX)
               ? -1
               : static_cast<int32_t>(length) + 1;
}

int32_t DwordSize(HKEY subkey, const char* attribute) {
    if (!IsLanguage(attribute)) {
        return kDwordTextSize;
    }
    DWORD value = 0;
    return ReadDword(subkey, attribute, &value)
               ? static_cast<int32_t>(strlen(LanguageOf(value))) + 1
               : -1;
}

// The registry's name of a type the attribute texts cannot show; null for a type it has no name
// for here.
const char* UnsupportedTypeName(DWORD type) {
    switch (type) {
    case REG_NONE:
        return "REG_NONE";
    case REG_LINK:
        return "REG_LINK";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_QWORD:
        return "REG_QWORD";
    default:
        return nullptr;
    }
}

int32_t UnsupportedTypeSize(DWORD type) {
    const char* name = UnsupportedTypeName(type);
    if (name != nullptr) {
        LOG_AT(kLogError, kFindSizeOfBufferName, "%s type not supported.", name);
    } else {
        LOG_AT(kLogError, kFindSizeOfBufferName, "Unknown type.");
    }
    return 0;
}

// The read is bounded by the buffer, not by the value's size now: a value that grew since the
// buffer was sized fails (and gives the empty text) rather than overrun it.
int32_t ReadString(HKEY subkey, const char* attribute, DWORD dataSize, char* buffer,
                   int32_t bufferSize) {
    DWORD capacity = dataSize < static_cast<DWORD>(bufferSize - 1)
                         ? dataSize
                         : static_cast<DWORD>(bufferSize - 1);
    DWORD size = capacity;
    if (RegQueryValueExA(subkey, attribute, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer),
                         &size) != ERROR_SUCCESS) {
        return -1;
    }
    buffer[size <= capacity ? size : capacity] = '\0';
    return 0;
}

int32_t ExpandString(HKEY subkey, const char* attribute, DWORD dataSize, char* buffer,
                     int32_t bufferSize) {
    ScopedMalloc text;
    if (!ReadTerminatedString(subkey, attribute, dataSize, text)) {
        return -1;
    }
    DWORD length = ExpandEnvironmentStringsA(static_cast<char*>(text.get()), buffer,
                                             static_cast<DWORD>(bufferSize));
    buffer[bufferSize - 1] = '\0';
    return length == 0 || length > static_cast<DWORD>(bufferSize) ? -1 : 0;
}

// Lower-case digit pairs with one blank between bytes, cut where the buffer ends.
int32_t FormatBinary(HKEY subkey, const char* attribute, DWORD dataSize, char* buffer,
                     int32_t bufferSize) {
    static const char kHexDigits[] = "0123456789abcdef";
    ScopedMalloc block(LibraryMalloc(dataSize > 0 ? dataSize : 1));
    const BYTE* data = static_cast<const BYTE*>(block.get());
    DWORD size = dataSize;
    if (data == nullptr ||
        RegQueryValueExA(subkey, attribute, nullptr, nullptr, static_cast<BYTE*>(block.get()),
                         &size) != ERROR_SUCCESS) {
        return -1;
    }
    size_t end = static_cast<size_t>(bufferSize) - 1;
    size_t at = 0;
    for (DWORD i = 0; i < size && i < dataSize; ++i) {
        if (at + (i > 0 ? 3 : 2) > end) {
            break;
        }
        if (i > 0) {
            buffer[at++] = ' ';
        }
        buffer[at++] = kHexDigits[data[i] >> 4];
        buffer[at++] = kHexDigits[data[i] & 0xF];
    }
    buffer[at] = '\0';
    buffer[end] = '\0';
    return 0;
}

int32_t FormatDword(HKEY subkey, const char* attribute, char* buffer, int32_t bufferSize) {
    DWORD value = 0;
    if (!ReadDword(subkey, attribute, &value)) {
        return -1;
    }
    if (IsLanguage(attribute)) {
        snprintf(buffer, static_cast<size_t>(bufferSize), "%s", LanguageOf(value));
    } else {
        snprintf(buffer, static_cast<size_t>(bufferSize), "%d",
                 static_cast<int>(static_cast<int32_t>(value)));
    }
    return 0;
}

} // namespace

int32_t findSizeOfBuffer(HKEY* subkey, const char* attributeName) {
    if (subkey == nullptr || attributeName == nullptr) {
        LOG_ASSERT_FAILED(kFindSizeOfBufferName, "subkey != NULL && attributeName != NULL");
        return -1;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(*subkey, attributeName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        LOG_AT(kLogError, kFindSizeOfBufferName, "Atttribute '%s' not found", attributeName);
        return -1;
    }
    switch (type) {
    case REG_SZ:
        return size < static_cast<DWORD>(INT32_MAX) ? static_cast<int32_t>(size) + 1 : -1;
    case REG_EXPAND_SZ:
        return ExpandedSize(*subkey, attributeName, size);
    case REG_BINARY:
        return size == 0                                   ? 1
               : size <= static_cast<DWORD>(INT32_MAX) / 4 ? static_cast<int32_t>(size) * 4
                                                           : -1;
    case REG_DWORD:
        return DwordSize(*subkey, attributeName);
    default:
        return UnsupportedTypeSize(type);
    }
}

int32_t FindValueOfAttribute(HKEY* subkey, const char* attributeName, char* buffer,
                             int32_t* bufferSize) {
    if (subkey == nullptr || *subkey == nullptr || attributeName == nullptr) {
        LOG_AT(kLogError, kFindValueOfAttributeName, "Handle for subkey '%s' was null",
               attributeName != nullptr ? attributeName : "(null)");
        return -1;
    }
    if (buffer == nullptr || bufferSize == nullptr || *bufferSize < 1) {
        LOG_ASSERT_FAILED(kFindValueOfAttributeName, "buffer != NULL && bufferSize != NULL");
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
