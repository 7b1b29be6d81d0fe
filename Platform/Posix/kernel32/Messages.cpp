#include "Platform/Posix/kernel32/Messages.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/MessageTables.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/kernel32/DataFileModules.h"
#include "Platform/Posix/kernel32/Memory.h"
#include "Platform/Posix/kernel32/MessageExpansion.h"
#include "Platform/Posix/kernel32/SystemMessages.h"
#include "Platform/Posix/common/LayerMemory.h"
#include "Platform/ScopedResource.h"

#include <errno.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

constexpr DWORD kSupportedFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                  FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                                  FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr DWORD kMostLanguages = 256;

// Widths between none and FORMAT_MESSAGE_MAX_WIDTH_MASK wrap the text at that column, which no
// caller needs: they are refused rather than answered unwrapped.
bool WidthSupported(DWORD flags) {
    DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    return width == 0 || width == FORMAT_MESSAGE_MAX_WIDTH_MASK;
}

DWORD FindMessageTable(const PeResources* resources, DWORD languageId, PeResourceData* table) {
    WORD languages[kMostLanguages];
    DWORD count = 0;
    DWORD error = PeResourceLanguages(resources, PeId(RT_MESSAGETABLE), PeId(kMessageTableName),
                                      languages, kMostLanguages, &count);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    WORD language = 0;
    if (!MessageTableLanguage(languages, count < kMostLanguages ? count : kMostLanguages,
                              languageId, &language)) {
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    }
    return PeFindResource(resources, PeId(RT_MESSAGETABLE), PeId(kMessageTableName), language,
                          table);
}

// A message table's bytes where they lie, mapped from the file as Windows maps a data file: a
// table may claim gigabytes, and only the pages a lookup walks are ever read.
class MappedTable {
  public:
    MappedTable(const PeResources* resources, const PeResourceData& table) {
        const PeSource& source = resources->source;
        if (source.descriptor < 0) {
            bytes_ = source.memory + table.offset;
            return;
        }
        // A file cut short since it was opened would fault where the table was: it is not
        // mapped. (Windows keeps a mapped file from shrinking; here the window is this call.)
        struct stat info;
        if (PosixFstat(source.descriptor, &info) != 0) {
            error_ = errno;
            return;
        }
        if (static_cast<ULONGLONG>(info.st_size) < table.offset + table.size) {
            error_ = EIO;
            return;
        }
        ULONGLONG pageSize = static_cast<ULONGLONG>(sysconf(_SC_PAGESIZE));
        ULONGLONG start = table.offset - table.offset % pageSize;
        length_ = static_cast<size_t>(table.offset - start + table.size);
        void* mapping = table.size == 0 ? MAP_FAILED
                                        : mmap(nullptr, length_, PROT_READ, MAP_PRIVATE,
                                               source.descriptor, static_cast<off_t>(start));
        if (mapping != MAP_FAILED) {
            mapping_ = mapping;
            bytes_ = static_cast<const BYTE*>(mapping) + (table.offset - start);
        } else if (table.size != 0) {
            error_ = errno;
        }
    }
    ~MappedTable() {
        if (mapping_ != nullptr) {
            munmap(mapping_, length_);
        }
    }
    MappedTable(const MappedTable&) = delete;
    MappedTable& operator=(const MappedTable&) = delete;
    // Null when the table is empty or could not be mapped.
    const BYTE* bytes() const { return bytes_; }
    // Why the table could not be mapped (an errno), or 0.
    int error() const { return error_; }

  private:
    void* mapping_ = nullptr;
    size_t length_ = 0;
    const BYTE* bytes_ = nullptr;
    int error_ = 0;
};

struct ModuleReferenceReleaser {
    void operator()(DataFileModule* module) const { DataFileModuleRelease(module); }
};
using ScopedModuleReference = ScopedResource<DataFileModule*, ModuleReferenceReleaser>;

// *readError gets the errno of a table that is there but could not be read.
DWORD ModuleMessageText(const PeResources* resources, DWORD messageId, DWORD languageId,
                        std::string* text, int* readError) {
    PeResourceData found;
    DWORD error = FindMessageTable(resources, languageId, &found);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    MappedTable table(resources, found);
    if (table.bytes() == nullptr) {
        *readError = table.error();
        return table.error() != 0 ? Win32ErrorFromErrno(table.error()) : ERROR_MR_MID_NOT_FOUND;
    }
    MessageTableText entry;
    error = MessageTableFind(table.bytes(), found.size, messageId, &entry);
    if (error == ERROR_SUCCESS) {
        *text = MessageTableAnsiText(table.bytes(), entry);
    }
    return error;
}

// Only modules loaded as data files have their resources at hand. The host program, the shared
// objects the layer did not load and freed modules have none it can read, as Windows finds no
// resource section in a program built without one.
DWORD DataFileMessageText(LPCVOID source, DWORD messageId, DWORD languageId, std::string* text,
                          int* readError) {
    HMODULE module = static_cast<HMODULE>(const_cast<void*>(source));
    ScopedModuleReference loaded(IsDataFileModule(module) ? DataFileModuleAcquire(module)
                                                          : nullptr);
    if (!loaded.held()) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    DWORD error = loaded.get()->resourcesError;
    if (error == ERROR_SUCCESS) {
        error = ModuleMessageText(&loaded.get()->resources, messageId, languageId, text, readError);
    }
    return error;
}

// The text of a message in the language asked for, from the module first and then the system's
// table, as the flags name them, or the Win32 code of why the last source asked has none.
DWORD FindMessageText(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                      std::string* text) {
    DWORD error = ERROR_MR_MID_NOT_FOUND;
    if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0) {
        PeTakeReadError();
        int mapError = 0;
        error = DataFileMessageText(source, messageId, languageId, text, &mapError);
        if (error == ERROR_SUCCESS) {
            return error;
        }
        // A module that could not be read may well hold the message: the system's text of the
        // same number would stand in for it as a wrong answer.
        int readError = PeTakeReadError();
        if (mapError != 0) {
            return error;
        }
        if (readError != 0) {
            return Win32ErrorFromErrno(readError);
        }
    }
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
        error = FindSystemMessage(messageId, languageId, text);
    }
    return error;
}

// Into the caller's buffer, which Windows leaves untouched when the text does not fit, or into
// a local buffer of at least nSize bytes whose address goes to *(char**)lpBuffer.
DWORD DeliverText(const std::string& text, DWORD flags, LPSTR lpBuffer, DWORD nSize) {
    size_t needed = text.size() + 1;
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0) {
        if (static_cast<size_t>(nSize) < needed) {
            return ERROR_INSUFFICIENT_BUFFER;
        }
        memcpy(lpBuffer, text.c_str(), needed);
        return ERROR_SUCCESS;
    }
    size_t size = needed > nSize ? needed : nSize;
    char* allocated = static_cast<char*>(LocalAlloc(LMEM_FIXED, size));
    if (allocated == nullptr) {
        return GetLastError();
    }
    memcpy(allocated, text.c_str(), needed);
    memcpy(lpBuffer, &allocated, sizeof(allocated));
    return ERROR_SUCCESS;
}

// FormatMessageA's work once its arguments are checked: the text's length, or 0 with the last
// error set.
DWORD FormatText(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                 DWORD size, va_list* argumentList) {
    std::string message;
    DWORD error = FindMessageText(flags, source, messageId, languageId, &message);
    std::string text;
    if (error == ERROR_SUCCESS) {
        // Only an argument array is read: a va_list leaves inserts unexpanded, and refused.
        const DWORD_PTR* arguments = (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0
                                         ? reinterpret_cast<const DWORD_PTR*>(argumentList)
                                         : nullptr;
        error = ExpandMessageText(message, (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != 0,
                                  (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0, arguments, &text);
    }
    if (error == ERROR_SUCCESS) {
        error = DeliverText(text, flags, buffer, size);
    }
    if (error != ERROR_SUCCESS) {
        FailWith(error);
        return 0;
    }
    return static_cast<DWORD>(text.size());
}

} // namespace

extern "C" {

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    if (!FaultAllows(LayerCall::FormatMessageA)) {
        return 0;
    }
    if (lpBuffer == nullptr ||
        (dwFlags & (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE)) == 0 ||
        (dwFlags & ~kSupportedFlags) != 0 || !WidthSupported(dwFlags)) {
        FailWith(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        char* none = nullptr;
        memcpy(lpBuffer, &none, sizeof(none));
    }
    // The buffer handed out is allocated last, so that no text runs out of memory once it is.
    return GuardMemoryLastError(LayerCall::FormatMessageA, DWORD(0), [&] {
        return FormatText(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize, Arguments);
    });
}

} // extern "C"
