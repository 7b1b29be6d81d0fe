#include "Platform/Posix/advapi32/RegistryPaths.h"

#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/common/Utf16Text.h"

#include <string.h>

namespace {

// The A functions convert a key path into a fixed buffer of 261 UTF-16 units first, as Wine
// does: a longer path fails before the registry is looked at.
constexpr size_t kMaxKeyPathBytes = 260;

} // namespace

std::u16string AnsiName(LPCSTR name) {
    return name == nullptr ? std::u16string() : AnsiToUtf16(name, strlen(name));
}

// A key path as the A functions take it; ERROR_MORE_DATA when it is too long to convert.
LONG KeyPathFromAnsi(LPCSTR name, std::u16string* path) {
    if (name != nullptr && strlen(name) > kMaxKeyPathBytes) {
        return ERROR_MORE_DATA;
    }
    *path = AnsiName(name);
    return ERROR_SUCCESS;
}

// Walks path below start as Windows opens it: every key on the way that is a link is followed,
// the last one unless openLink asks for the link itself.
LONG FindPath(RegKey& registryRoot, RegKey& start, const std::u16string& path, bool openLink,
              RegKey** found) {
    if (!path.empty() && path[0] == u'\\') {
        return ERROR_BAD_PATHNAME;
    }
    RegKey* key = &start;
    size_t position = 0;
    std::u16string token;
    bool first = true;
    while (RegNextPathToken(path, &position, &token)) {
        if (!first && (key = RegFollowLink(registryRoot, key)) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        size_t index = 0;
        if ((key = RegFindSubkey(*key, UpcaseName(token), &index)) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        first = false;
    }
    if (!openLink && (key = RegFollowLink(registryRoot, key)) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    *found = key;
    return ERROR_SUCCESS;
}

// Creates the keys of path that are missing; *created tells whether the last one was.
LONG CreatePathChecked(RegKey& registryRoot, RegKey& start, const std::u16string& path,
                       ULONGLONG time, RegKey** result, bool* created) {
    if (!path.empty() && path[0] == u'\\') {
        return ERROR_BAD_PATHNAME;
    }
    RegKey* key = &start;
    size_t position = 0;
    std::u16string token;
    *created = false;
    while (RegNextPathToken(path, &position, &token)) {
        if (token.size() > kMaxKeyNameUnits) {
            return ERROR_INVALID_PARAMETER;
        }
        size_t index = 0;
        RegKey* subkey = RegFindSubkey(*key, UpcaseName(token), &index);
        *created = subkey == nullptr;
        if (subkey == nullptr && (subkey = RegInsertSubkey(*key, index, token, time)) != nullptr) {
            key->lastWrite = time;
        }
        if (subkey == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        if ((key = RegFollowLink(registryRoot, subkey)) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    *result = key;
    return ERROR_SUCCESS;
}

RegKey* CreatePath(RegKey& registryRoot, RegKey& start, const std::u16string& path,
                   ULONGLONG time) {
    RegKey* key = nullptr;
    bool created = false;
    return CreatePathChecked(registryRoot, start, path, time, &key, &created) == ERROR_SUCCESS
               ? key
               : nullptr;
}
