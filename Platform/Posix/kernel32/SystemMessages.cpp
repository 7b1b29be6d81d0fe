// The built-in text table is generated from the one list of codes, sorted as that list is, so
// that a lookup is a binary search.
#include "Platform/Posix/kernel32/SystemMessages.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/common/MessageTables.h"
#include "Platform/Posix/common/PeResources.h"
#include "Platform/Posix/common/WinError.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

namespace {

struct SystemMessage {
    DWORD code;
    const char* text;
};

#define PALLWICK_SYSTEM_MESSAGE(name, code, text) {static_cast<DWORD>(name), text},
constexpr SystemMessage kSystemMessages[] = {PALLWICK_WIN32_ERRORS(PALLWICK_SYSTEM_MESSAGE)};
#undef PALLWICK_SYSTEM_MESSAGE

constexpr size_t kSystemMessageCount = sizeof(kSystemMessages) / sizeof(kSystemMessages[0]);

constexpr bool IsSortedByCode() {
    for (size_t i = 1; i < kSystemMessageCount; ++i) {
        if (kSystemMessages[i - 1].code >= kSystemMessages[i].code) {
            return false;
        }
    }
    return true;
}
static_assert(IsSortedByCode(), "the error list must stay sorted by code, without duplicates");

// More languages than Windows has locales.
constexpr DWORD kMostLanguages = 256;
// A table is copied whole out of the file; Windows' own are a few hundred kilobytes.
constexpr DWORD kLargestTable = 16 * 1024 * 1024;

// The system DLL of one image, open for its message table. The table of each language is read out
// of the file the first time a lookup needs it.
struct ImageMessageFile {
    char prefix[kPathCapacity]; // the image's folder
    bool isVolume;
    int descriptor;
    PeResources resources;
    // 0: the file holds no message table.
    DWORD languageCount;
    WORD languages[kMostLanguages];
    BYTE* tables[kMostLanguages];
    DWORD tableSizes[kMostLanguages];
};

// Constant-initialised, so it holds before any static initialiser has run.
std::mutex g_imageFileLock;
// The system DLL of the image of the last lookup, kept until a lookup names another image;
// guarded by g_imageFileLock.
ImageMessageFile* g_imageFile = nullptr;

void CloseImageMessageFile(ImageMessageFile* file) {
    for (DWORD i = 0; i < file->languageCount; ++i) {
        free(file->tables[i]);
    }
    PeResourcesRelease(&file->resources);
    if (file->descriptor >= 0) {
        close(file->descriptor);
    }
    free(file);
}

// Opens the image's system DLL and reads which languages its message table exists in; an image
// without the file, or whose file is no PE file or holds no table, opens with none. Fails only when
// the file is there but cannot be read.
DWORD OpenImageMessageFile(const char* prefix, bool isVolume, ImageMessageFile** result) {
    ImageMessageFile* file =
        static_cast<ImageMessageFile*>(LayerCalloc(1, sizeof(ImageMessageFile)));
    if (file == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    snprintf(file->prefix, sizeof file->prefix, "%s", prefix);
    file->isVolume = isVolume;
    file->descriptor = -1;
    char path[kPathCapacity];
    if (!SystemMessageFile(prefix, isVolume, path, sizeof path)) {
        *result = file;
        return ERROR_SUCCESS;
    }
    file->descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat info;
    if (file->descriptor < 0 || fstat(file->descriptor, &info) != 0) {
        DWORD error = Win32ErrorFromErrno(errno);
        CloseImageMessageFile(file);
        return error;
    }
    PeTakeReadError();
    PeSource source = PeSourceOfImageFile(file->descriptor, static_cast<ULONGLONG>(info.st_size));
    DWORD count = 0;
    DWORD error = PeResourcesOpen(&source, &file->resources);
    if (error == ERROR_SUCCESS) {
        error =
            PeResourceLanguages(&file->resources, PeId(RT_MESSAGETABLE), PeId(kMessageTableName),
                                file->languages, kMostLanguages, &count);
    }
    int readError = PeTakeReadError();
    if (readError != 0 || error == ERROR_NOT_ENOUGH_MEMORY) {
        CloseImageMessageFile(file);
        return readError != 0 ? Win32ErrorFromErrno(readError) : error;
    }
    file->languageCount =
        error == ERROR_SUCCESS ? (count < kMostLanguages ? count : kMostLanguages) : 0;
    if (file->languageCount == 0) {
        close(file->descriptor);
        file->descriptor = -1;
    }
    *result = file;
    return ERROR_SUCCESS;
}

// The table of languages[index], read out of the file the first time.
DWORD TableOf(ImageMessageFile* file, DWORD index, const BYTE** table, DWORD* size) {
    if (file->tables[index] == nullptr) {
        PeResourceData data;
        PeTakeReadError();
        DWORD error = PeFindResource(&file->resources, PeId(RT_MESSAGETABLE),
                                     PeId(kMessageTableName), file->languages[index], &data);
        if (error != ERROR_SUCCESS) {
            int readError = PeTakeReadError();
            return readError != 0 ? Win32ErrorFromErrno(readError) : error;
        }
        if (data.size > kLargestTable) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        // One byte more: an empty table must not read as no memory, as malloc(0) may answer null.
        BYTE* bytes = static_cast<BYTE*>(LayerMalloc(static_cast<size_t>(data.size) + 1));
        if (bytes == nullptr) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        if (PeReadResource(&file->resources, &data, bytes, data.size) != data.size) {
            int readError = PeTakeReadError();
            free(bytes);
            return readError != 0 ? Win32ErrorFromErrno(readError) : ERROR_RESOURCE_DATA_NOT_FOUND;
        }
        file->tables[index] = bytes;
        file->tableSizes[index] = data.size;
    }
    *table = file->tables[index];
    *size = file->tableSizes[index];
    return ERROR_SUCCESS;
}

DWORD FileMessageText(ImageMessageFile* file, DWORD id, DWORD languageId, std::string* text) {
    WORD language = 0;
    if (!MessageTableLanguage(file->languages, file->languageCount, languageId, &language)) {
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    }
    DWORD index = 0;
    while (file->languages[index] != language) {
        ++index;
    }
    const BYTE* table = nullptr;
    DWORD size = 0;
    DWORD error = TableOf(file, index, &table, &size);
    MessageTableText entry;
    if (error == ERROR_SUCCESS) {
        error = MessageTableFind(table, size, id, &entry);
    }
    if (error == ERROR_SUCCESS) {
        *text = MessageTableAnsiText(table, entry);
    }
    return error;
}

bool IsEnglishOrNeutral(DWORD languageId) {
    WORD primary = PRIMARYLANGID(languageId);
    return languageId == 0 || primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

DWORD BuiltInText(DWORD id, DWORD languageId, std::string* text) {
    const char* found = SystemMessageText(id);
    if (found == nullptr) {
        return ERROR_MR_MID_NOT_FOUND;
    }
    if (!IsEnglishOrNeutral(languageId)) {
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    }
    *text = found;
    return ERROR_SUCCESS;
}

// An HRESULT that carries a Win32 error (severity error, facility Win32) stands for that error.
DWORD FoldedId(DWORD id) {
    constexpr DWORD kSeverityError = 0x80000000u;
    constexpr DWORD kFacilityWin32 = 7;
    bool win32Error = (id & kSeverityError) != 0 && ((id >> 16) & 0x1FFF) == kFacilityWin32;
    return win32Error ? (id & 0xFFFF) : id;
}

} // namespace

const char* SystemMessageText(DWORD code) {
    size_t low = 0;
    size_t high = kSystemMessageCount;
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (kSystemMessages[middle].code < code) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    bool found = low < kSystemMessageCount && kSystemMessages[low].code == code;
    return found ? kSystemMessages[low].text : nullptr;
}

DWORD FindSystemMessage(DWORD id, DWORD languageId, std::string* text) {
    id = FoldedId(id);
    char prefix[kPathCapacity];
    bool isVolume = false;
    if (!MachineImageFolder(prefix, sizeof prefix, &isVolume)) {
        return BuiltInText(id, languageId, text);
    }
    DWORD error = ERROR_SUCCESS;
    bool hasTable = false;
    {
        // The text is copied out under the lock: a copy that runs out of memory throws, and
        // the lock's holder lets it go all the same.
        std::lock_guard<std::mutex> lock(g_imageFileLock);
        if (g_imageFile != nullptr &&
            (strcmp(g_imageFile->prefix, prefix) != 0 || g_imageFile->isVolume != isVolume)) {
            CloseImageMessageFile(g_imageFile);
            g_imageFile = nullptr;
        }
        if (g_imageFile == nullptr) {
            error = OpenImageMessageFile(prefix, isVolume, &g_imageFile);
        }
        hasTable = error == ERROR_SUCCESS && g_imageFile->languageCount > 0;
        if (hasTable) {
            error = FileMessageText(g_imageFile, id, languageId, text);
        }
    }
    return error == ERROR_SUCCESS && !hasTable ? BuiltInText(id, languageId, text) : error;
}

void SystemMessagesResetForTests() {
    std::lock_guard<std::mutex> lock(g_imageFileLock);
    if (g_imageFile != nullptr) {
        CloseImageMessageFile(g_imageFile);
        g_imageFile = nullptr;
    }
}
