#include "Platform/Posix/advapi32/ServiceTexts.h"

#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/LayerMemory.h"
#include "Platform/Posix/common/PeResources.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/common/WinError.h"
#include "Platform/Posix/kernel32/Environment.h"
#include "Platform/ScopedResource.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

namespace {

// The layer's one user interface language (US English, as Wine's default locale), then its
// language without the region, as the loader falls back before it takes any language there is.
const char* const kLanguageFolders[] = {"en-US", "en"};
// Windows' locale names are at most 84 characters (LOCALE_NAME_MAX_LENGTH with its terminator).
constexpr size_t kLanguageNameCapacity = 85;

// "@<file>,-<id>": the file as written and the id. A comment after ';' is no part of either; the
// file is what comes before the last comma, so that a comma in a folder's name stays in it.
bool ParseIndirect(const char* stored, char* file, size_t fileSize, WORD* id) {
    if (stored == nullptr || stored[0] != '@') {
        return false;
    }
    const char* body = stored + 1;
    const char* end = strchr(body, ';');
    size_t length = end != nullptr ? static_cast<size_t>(end - body) : strlen(body);
    const char* comma = nullptr;
    for (size_t i = 0; i < length; ++i) {
        if (body[i] == ',') {
            comma = body + i;
        }
    }
    if (comma == nullptr || comma == body || comma[1] != '-') {
        return false;
    }
    DWORD value = 0;
    const char* digit = comma + 2;
    const char* last = body + length;
    if (digit == last) {
        return false;
    }
    for (; digit < last; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return false;
        }
        value = value * 10 + static_cast<DWORD>(*digit - '0');
        if (value > 0xFFFF) {
            return false;
        }
    }
    size_t fileLength = static_cast<size_t>(comma - body);
    if (fileLength >= fileSize) {
        return false;
    }
    memcpy(file, body, fileLength);
    file[fileLength] = '\0';
    *id = static_cast<WORD>(value);
    return true;
}

// The file's DOS path: variables expanded as the process's environment gives them; a bare file
// name is the system folder's, where the loader finds it first.
bool ResolveFilePath(const char* written, char* path, size_t pathSize) {
    char expanded[kPathCapacity];
    DWORD needed = ExpandEnvironmentStringsA(written, expanded, sizeof expanded);
    if (needed == 0 || needed > sizeof expanded) {
        return false;
    }
    if (strpbrk(expanded, "\\/:") != nullptr) {
        int fitted = snprintf(path, pathSize, "%s", expanded);
        return fitted >= 0 && static_cast<size_t>(fitted) < pathSize;
    }
    char system[kPathCapacity];
    needed = ExpandEnvironmentStringsA("%SystemRoot%\\system32", system, sizeof system);
    if (needed == 0 || needed > sizeof system) {
        return false;
    }
    int fitted = snprintf(path, pathSize, "%s\\%s", system, expanded);
    return fitted >= 0 && static_cast<size_t>(fitted) < pathSize;
}

struct OpenPe {
    int descriptor;
    bool opened;
    PeResources resources;
};

struct OpenPeReleaser {
    void operator()(OpenPe* pe) const {
        if (pe->opened) {
            PeResourcesRelease(&pe->resources);
        }
        if (pe->descriptor >= 0) {
            close(pe->descriptor);
        }
        free(pe);
    }
};
using ScopedPe = ScopedResource<OpenPe*, OpenPeReleaser>;

struct FolderReleaser {
    void operator()(DIR* folder) const { closedir(folder); }
};
using ScopedFolder = ScopedResource<DIR*, FolderReleaser>;

// A failed read of the file says so, rather than "not found".
DWORD WithReadError(DWORD error) {
    int readError = PeTakeReadError();
    return readError != 0 ? Win32ErrorFromErrno(readError) : error;
}

DWORD OpenPeFile(const char* dosPath, ScopedPe* pe) {
    OpenPe* opened = static_cast<OpenPe*>(LayerCalloc(1, sizeof(OpenPe)));
    if (opened == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    opened->descriptor = -1;
    pe->reset(opened);
    ULONGLONG size = 0;
    DWORD error = PeOpenFile(dosPath, &opened->descriptor, &size);
    if (error != ERROR_SUCCESS) {
        opened->descriptor = -1;
        return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error;
    }
    PeSource source = PeSourceOfDescriptor(opened->descriptor, size);
    PeTakeReadError();
    error = PeResourcesOpen(&source, &opened->resources);
    opened->opened = error == ERROR_SUCCESS;
    return WithReadError(error);
}

// A language-neutral file carries its loader configuration as resource 1 of type "MUI".
bool KeepsLanguageFiles(const PeResources* resources) {
    WORD language = 0;
    DWORD count = 0;
    return PeResourceLanguages(resources, PeName{0, "MUI"}, PeId(1), &language, 1, &count) ==
           ERROR_SUCCESS;
}

// String id of one file: ERROR_FILE_NOT_FOUND when the file is not there.
DWORD StringOfFile(const char* dosPath, WORD id, char** text, bool* languageNeutral) {
    ScopedPe pe;
    DWORD error = OpenPeFile(dosPath, &pe);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    const PeResources* resources = &pe.get()->resources;
    if (languageNeutral != nullptr) {
        *languageNeutral = KeepsLanguageFiles(resources);
    }
    PeStringData data;
    error = WithReadError(PeFindString(resources, id, &data));
    if (error != ERROR_SUCCESS) {
        return error;
    }
    *text = PeReadAnsiString(resources, &data);
    return *text != nullptr ? ERROR_SUCCESS : WithReadError(ERROR_NOT_ENOUGH_MEMORY);
}

bool IsAbsentResource(DWORD error) {
    return error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND ||
           error == ERROR_RESOURCE_NAME_NOT_FOUND || error == ERROR_RESOURCE_LANG_NOT_FOUND;
}

// The file's folder and name, split at its last separator.
bool SplitPath(const char* dosPath, char* folder, size_t folderSize, const char** name) {
    const char* last = nullptr;
    for (const char* p = dosPath; *p != '\0'; ++p) {
        if (IsDosSeparator(*p)) {
            last = p;
        }
    }
    if (last == nullptr || static_cast<size_t>(last - dosPath) >= folderSize) {
        return false;
    }
    memcpy(folder, dosPath, static_cast<size_t>(last - dosPath));
    folder[last - dosPath] = '\0';
    *name = last + 1;
    return true;
}

bool LanguageFilePath(const char* folder, const char* language, const char* name, char* out,
                      size_t outSize) {
    int fitted = snprintf(out, outSize, "%s\\%s\\%s.mui", folder, language, name);
    return fitted >= 0 && static_cast<size_t>(fitted) < outSize;
}

// When the layer's own languages have no language file, the loader takes one there is: the
// first language folder beside the file, in the order of their names, that holds one.
bool FirstOtherLanguage(const char* folder, const char* name, char* language) {
    char unixFolder[kPathCapacity];
    if (!DosPathToUnix(folder, unixFolder, sizeof unixFolder)) {
        return false;
    }
    ScopedFolder listing(PosixOpendir(unixFolder));
    if (!listing.held()) {
        return false;
    }
    language[0] = '\0';
    while (struct dirent* entry = PosixReaddir(listing.get())) {
        const char* candidate = entry->d_name;
        bool ours = false;
        for (const char* known : kLanguageFolders) {
            ours = ours || strcasecmp(candidate, known) == 0;
        }
        if (ours || candidate[0] == '.' || strlen(candidate) >= kLanguageNameCapacity ||
            (language[0] != '\0' && strcasecmp(candidate, language) >= 0)) {
            continue;
        }
        char relative[kPathCapacity], found[kPathCapacity];
        int fitted = snprintf(relative, sizeof relative, "%s/%s.mui", candidate, name);
        if (fitted >= 0 && static_cast<size_t>(fitted) < sizeof relative &&
            UnixPathBelowIgnoringCase(unixFolder, relative, found, sizeof found) &&
            access(found, R_OK) == 0) {
            memcpy(language, candidate, strlen(candidate) + 1); // its length checked above
        }
    }
    return language[0] != '\0';
}

// String id of the first language file there is, in the loader's order of languages; *found
// tells whether there was one, whose answer is then the answer.
DWORD StringOfLanguageFiles(const char* dosPath, WORD id, char** text, bool* found) {
    *found = false;
    char folder[kPathCapacity];
    const char* name = nullptr;
    if (!SplitPath(dosPath, folder, sizeof folder, &name)) {
        return ERROR_FILE_NOT_FOUND;
    }
    char path[kPathCapacity];
    for (const char* language : kLanguageFolders) {
        if (!LanguageFilePath(folder, language, name, path, sizeof path)) {
            return ERROR_FILE_NOT_FOUND;
        }
        DWORD error = StringOfFile(path, id, text, nullptr);
        if (error != ERROR_FILE_NOT_FOUND) {
            *found = true;
            return error;
        }
    }
    char other[kLanguageNameCapacity];
    if (!FirstOtherLanguage(folder, name, other) ||
        !LanguageFilePath(folder, other, name, path, sizeof path)) {
        return ERROR_FILE_NOT_FOUND;
    }
    DWORD error = StringOfFile(path, id, text, nullptr);
    *found = error != ERROR_FILE_NOT_FOUND;
    return error;
}

} // namespace

DWORD LoadIndirectText(const char* stored, char** text) {
    *text = nullptr;
    char written[kPathCapacity];
    WORD id = 0;
    if (!ParseIndirect(stored, written, sizeof written, &id)) {
        return ERROR_SUCCESS;
    }
    char path[kPathCapacity];
    if (!ResolveFilePath(written, path, sizeof path)) {
        return ERROR_MUI_FILE_NOT_FOUND;
    }
    bool languageNeutral = false;
    DWORD error = StringOfFile(path, id, text, &languageNeutral);
    if (error == ERROR_FILE_NOT_FOUND) {
        return ERROR_MUI_FILE_NOT_FOUND;
    }
    if (!IsAbsentResource(error)) {
        return error;
    }
    // Strings the file itself lacks are looked for in its language files.
    bool found = false;
    DWORD languageError = StringOfLanguageFiles(path, id, text, &found);
    if (found || languageError == ERROR_NOT_ENOUGH_MEMORY) {
        return languageError;
    }
    return languageNeutral ? ERROR_MUI_FILE_NOT_FOUND : error;
}

bool ResolveDisplayName(char** display) {
    char* loaded = nullptr;
    DWORD error = LoadIndirectText(*display, &loaded);
    if (error == ERROR_NOT_ENOUGH_MEMORY) {
        return false;
    }
    if (loaded != nullptr) {
        free(*display);
        *display = loaded;
    }
    return true;
}
