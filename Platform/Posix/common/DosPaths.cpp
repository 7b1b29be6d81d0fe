#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/PosixCalls.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/common/Utf16Text.h"

#include <ctype.h>
#include <limits.h>
#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool HasDrivePrefix(const char* path) {
    return isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// "\\?\unix" names the host's own root, as Wine names a Unix path that no drive contains. A
// Windows volume has no Z: for the host, and the host process's own files (its program, this
// library, its log) are still somewhere: this is how they are named there.
constexpr char kUnixRoot[] = "\\\\?\\unix";
constexpr size_t kUnixRootLength = sizeof kUnixRoot - 1;

bool IsUnixRootPath(const char* path) {
    return strncmp(path, "\\\\?\\", 4) == 0 && strncasecmp(path + 4, "unix", 4) == 0 &&
           (path[kUnixRootLength] == '\0' || IsDosSeparator(path[kUnixRootLength]));
}

// Appends text to out[0..*length), keeping it terminated; false if it would not fit.
bool AppendBounded(char* out, size_t outSize, size_t* length, const char* text, size_t textLength) {
    if (*length + textLength + 1 > outSize) {
        return false;
    }
    memcpy(out + *length, text, textLength);
    *length += textLength;
    out[*length] = '\0';
    return true;
}

bool AppendString(char* out, size_t outSize, size_t* length, const char* text) {
    return AppendBounded(out, outSize, length, text, strlen(text));
}

bool CopyString(char* out, size_t outSize, const char* text) {
    size_t length = 0;
    if (outSize == 0) {
        return false;
    }
    out[0] = '\0';
    return AppendString(out, outSize, &length, text);
}

// Joins a DOS base folder and a relative remainder with one backslash.
bool JoinDos(const char* base, const char* rest, char* out, size_t outSize) {
    size_t length = 0;
    out[0] = '\0';
    if (!AppendString(out, outSize, &length, base)) {
        return false;
    }
    if (length > 0 && !IsDosSeparator(out[length - 1]) &&
        !AppendString(out, outSize, &length, "\\")) {
        return false;
    }
    return AppendString(out, outSize, &length, rest);
}

// "X:..." with a root, before folding; the current directory fills in what the path leaves out.
bool AbsoluteDosPath(const char* dos, char* out, size_t outSize) {
    char current[kPathCapacity];
    if ((HasDrivePrefix(dos) && IsDosSeparator(dos[2])) || IsUnixRootPath(dos)) {
        return CopyString(out, outSize, dos) ? true : FailWith(ERROR_FILENAME_EXCED_RANGE);
    }
    if (IsDosSeparator(dos[0]) && IsDosSeparator(dos[1])) {
        // "\\?\C:\x" and "\\.\C:\x" name a drive path; anything else is a network path.
        if ((dos[2] == '?' || dos[2] == '.') && IsDosSeparator(dos[3]) && HasDrivePrefix(dos + 4)) {
            return AbsoluteDosPath(dos + 4, out, outSize);
        }
        return FailWith(ERROR_BAD_NETPATH);
    }
    if (!CurrentDosDirectory(current, sizeof(current))) {
        return false;
    }
    bool fits;
    if (HasDrivePrefix(dos)) {
        // Drive-relative: Windows keeps no per-drive directory for us, so another drive's is
        // its root.
        char drive = static_cast<char>(toupper(static_cast<unsigned char>(dos[0])));
        char root[4] = {drive, ':', '\\', '\0'};
        fits = JoinDos(current[0] == drive ? current : root, dos + 2, out, outSize);
    } else if (IsDosSeparator(dos[0])) {
        char root[4] = {current[0], ':', '\\', '\0'};
        fits = JoinDos(root, dos + 1, out, outSize);
    } else {
        fits = JoinDos(current, dos, out, outSize);
    }
    return fits ? true : FailWith(ERROR_FILENAME_EXCED_RANGE);
}

bool IsUnixSeparator(char c) {
    return c == '/';
}

// Folds the separators, "." and ".." of path after its root (its first rootLength bytes, already
// in out) into out, with separator between components; ".." never climbs above the root. out may
// be path itself: folding never writes ahead of where it reads.
bool FoldComponents(const char* path, size_t rootLength, bool (*isSeparator)(char), char separator,
                    char* out, size_t outSize) {
    size_t length = rootLength;
    const char* cursor = path + rootLength;
    while (*cursor != '\0') {
        while (isSeparator(*cursor)) {
            ++cursor;
        }
        const char* start = cursor;
        while (*cursor != '\0' && !isSeparator(*cursor)) {
            ++cursor;
        }
        size_t componentLength = static_cast<size_t>(cursor - start);
        if (componentLength == 0 || (componentLength == 1 && start[0] == '.')) {
            continue;
        }
        if (componentLength == 2 && start[0] == '.' && start[1] == '.') {
            while (length > rootLength && out[length - 1] != separator) {
                --length;
            }
            length = length > rootLength ? length - 1 : rootLength;
            continue;
        }
        if (length + 1 + componentLength + 1 > outSize) {
            return false;
        }
        out[length++] = separator;
        memmove(out + length, start, componentLength);
        length += componentLength;
    }
    if (length == rootLength) {
        if (length + 2 > outSize) {
            return false;
        }
        out[length++] = separator;
    }
    out[length] = '\0';
    return true;
}

// Folds separators, "." and ".." of an absolute "X:..." path into out.
bool FoldDosPath(const char* absolute, char* out, size_t outSize) {
    if (outSize < kUnixRootLength + 2) {
        return FailWith(ERROR_FILENAME_EXCED_RANGE);
    }
    if (IsUnixRootPath(absolute)) {
        memcpy(out, kUnixRoot, kUnixRootLength);
        return FoldComponents(absolute, kUnixRootLength, IsDosSeparator, '\\', out, outSize)
                   ? true
                   : FailWith(ERROR_FILENAME_EXCED_RANGE);
    }
    out[0] = static_cast<char>(toupper(static_cast<unsigned char>(absolute[0])));
    out[1] = ':';
    return FoldComponents(absolute, 2, IsDosSeparator, '\\', out, outSize)
               ? true
               : FailWith(ERROR_FILENAME_EXCED_RANGE);
}

// Whether two UTF-8 names are one to Windows, which compares them ignoring case; a byte that is
// no UTF-8 matches nothing, as no DOS name can name it.
bool SameNameIgnoringCase(const char* left, const char* right) {
    size_t leftLeft = strlen(left);
    size_t rightLeft = strlen(right);
    while (leftLeft > 0 && rightLeft > 0) {
        char32_t leftPoint = 0;
        char32_t rightPoint = 0;
        size_t leftUsed = DecodeUtf8(left, leftLeft, &leftPoint);
        size_t rightUsed = DecodeUtf8(right, rightLeft, &rightPoint);
        if (leftUsed == 0 || rightUsed == 0) {
            return false;
        }
        bool bothInPlane = leftPoint <= 0xFFFF && rightPoint <= 0xFFFF;
        if (bothInPlane ? UpcaseUnit(static_cast<char16_t>(leftPoint)) !=
                              UpcaseUnit(static_cast<char16_t>(rightPoint))
                        : leftPoint != rightPoint) {
            return false;
        }
        left += leftUsed;
        leftLeft -= leftUsed;
        right += rightUsed;
        rightLeft -= rightUsed;
    }
    return leftLeft == 0 && rightLeft == 0;
}

// A DOS name component (ANSI code page) as the UTF-8 name Wine gives it on disk.
bool AnsiNameToUnix(const char* ansi, size_t ansiLength, char* out, size_t outSize) {
    size_t length = 0;
    for (size_t i = 0; i < ansiLength; ++i) {
        char encoded[3];
        size_t encodedLength =
            EncodeUtf8(AnsiByteToUnit(static_cast<unsigned char>(ansi[i])), encoded);
        if (length + encodedLength + 1 > outSize) {
            return false;
        }
        memcpy(out + length, encoded, encodedLength);
        length += encodedLength;
    }
    if (length + 1 > outSize) {
        return false;
    }
    out[length] = '\0';
    return true;
}

// Appends a UTF-8 Unix path as DOS text to out: each character as the ANSI code page holds it or
// its best fit, '?' for one it cannot hold and for each byte that is no UTF-8 (Wine reads such a
// byte as U+FFFD), and backslashes for slashes.
bool AppendUnixPathAsAnsi(char* out, size_t outSize, size_t* length, const char* unixPath) {
    size_t left = strlen(unixPath);
    while (left > 0) {
        char32_t point = 0;
        size_t used = DecodeUtf8(unixPath, left, &point);
        char converted[2] = {'?', '?'};
        size_t count = 1;
        if (used == 0) {
            used = 1;
        } else if (point == '/') {
            converted[0] = '\\';
        } else if (point <= 0xFFFF) {
            converted[0] = Utf16UnitToAnsi(static_cast<char16_t>(point));
        } else {
            count = 2; // a surrogate pair, of which the code page holds neither unit
        }
        if (!AppendBounded(out, outSize, length, converted, count)) {
            return false;
        }
        unixPath += used;
        left -= used;
    }
    return true;
}

// The name of an entry of folder equal to name ignoring case, copied into found (*matched tells
// whether one was). Returns 0, or the errno of a folder that could not be read: taking such a
// folder for one without a match would send a write to a second file beside the real one.
int FindEntryIgnoringCase(const char* folder, const char* name, char* found, size_t foundSize,
                          bool* matched) {
    *matched = false;
    DIR* directory = PosixOpendir(folder);
    if (directory == nullptr) {
        // A folder on the way that is missing or is a file has no entries to match.
        return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    }
    int failure = 0;
    for (;;) {
        errno = 0;
        struct dirent* entry = PosixReaddir(directory);
        if (entry == nullptr) {
            failure = errno;
            break;
        }
        if (SameNameIgnoringCase(entry->d_name, name)) {
            *matched = CopyString(found, foundSize, entry->d_name);
            break;
        }
    }
    closedir(directory);
    return failure;
}

// Appends one component to the Unix path in out, under the name it has on disk when an entry
// matches it ignoring case; *exists turns false once a component is missing.
DWORD AppendUnixComponent(char* out, size_t outSize, size_t* length, const char* component,
                          bool* exists) {
    size_t folderLength = *length;
    bool needsSlash = *length == 0 || out[*length - 1] != '/';
    if ((needsSlash && !AppendBounded(out, outSize, length, "/", 1)) ||
        !AppendString(out, outSize, length, component)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    struct stat info;
    if (!*exists || PosixLstat(out, &info) == 0) {
        return ERROR_SUCCESS;
    }
    char onDisk[256];
    out[folderLength] = '\0';
    bool matched = false;
    int failure = FindEntryIgnoringCase(folderLength == 0 ? "/" : out, component, onDisk,
                                        sizeof(onDisk), &matched);
    if (failure != 0) {
        return Win32ErrorFromErrno(failure);
    }
    *length = folderLength;
    if (needsSlash) {
        AppendBounded(out, outSize, length, "/", 1);
    }
    *exists = matched;
    return AppendString(out, outSize, length, matched ? onDisk : component)
               ? ERROR_SUCCESS
               : ERROR_FILENAME_EXCED_RANGE;
}

// Maps a folded "X:\a\b" path through the drive map.
bool MapFoldedPath(const char* folded, char* out, size_t outSize) {
    char root[kPathCapacity];
    bool unixRoot = IsUnixRootPath(folded);
    if (unixRoot) {
        CopyString(root, sizeof root, "/");
    } else if (!DriveRootFolder(folded[0], root, sizeof(root))) {
        return FailWith(ERROR_PATH_NOT_FOUND);
    }
    if (!CopyString(out, outSize, root)) {
        return FailWith(ERROR_FILENAME_EXCED_RANGE);
    }
    size_t length = strlen(out);
    bool exists = true;
    const char* cursor = folded + (unixRoot ? kUnixRootLength + 1 : 3);
    char component[kPathCapacity];
    while (*cursor != '\0') {
        const char* end = strchr(cursor, '\\');
        size_t componentLength =
            end == nullptr ? strlen(cursor) : static_cast<size_t>(end - cursor);
        if (!AnsiNameToUnix(cursor, componentLength, component, sizeof(component))) {
            return FailWith(ERROR_FILENAME_EXCED_RANGE);
        }
        DWORD error = AppendUnixComponent(out, outSize, &length, component, &exists);
        if (error != ERROR_SUCCESS) {
            return FailWith(error);
        }
        cursor = end == nullptr ? cursor + componentLength : end + 1;
    }
    return true;
}

// Folds "//", "." and ".." of an absolute Unix path in place, without looking at the disk.
void FoldUnixPath(char* path) {
    FoldComponents(path, 0, IsUnixSeparator, '/', path, strlen(path) + 2);
}

// Absolute, folded, and free of symbolic links as far as the path exists.
bool CanonicalUnixPath(const char* unixPath, char* out, size_t outSize) {
    char absolute[kPathCapacity];
    size_t length = 0;
    absolute[0] = '\0';
    if (unixPath[0] != '/') {
        if (getcwd(absolute, sizeof(absolute)) == nullptr) {
            return false;
        }
        length = strlen(absolute);
        if (!AppendString(absolute, sizeof(absolute), &length, "/")) {
            return false;
        }
    }
    if (!AppendString(absolute, sizeof(absolute), &length, unixPath)) {
        return false;
    }
    FoldUnixPath(absolute);
    char resolved[PATH_MAX];
    if (realpath(absolute, resolved) != nullptr) {
        return CopyString(out, outSize, resolved);
    }
    // A file that does not exist yet: resolve its folder and keep its name.
    char* lastSlash = strrchr(absolute, '/');
    if (lastSlash != absolute) {
        *lastSlash = '\0';
        if (realpath(absolute, resolved) != nullptr) {
            size_t resolvedLength = strlen(resolved);
            *lastSlash = '/';
            if (!AppendString(resolved, sizeof(resolved), &resolvedLength,
                              strcmp(resolved, "/") == 0 ? lastSlash + 1 : lastSlash)) {
                return false;
            }
            return CopyString(out, outSize, resolved);
        }
        *lastSlash = '/';
    }
    return CopyString(out, outSize, absolute);
}

bool IsInsideFolder(const char* path, const char* folder) {
    size_t folderLength = strlen(folder);
    if (folderLength == 1 && folder[0] == '/') {
        return true;
    }
    return strncmp(path, folder, folderLength) == 0 &&
           (path[folderLength] == '\0' || path[folderLength] == '/');
}

// The drive letter whose root is the longest one containing path (the first letter on a tie),
// and that root's length; Z: with the whole path when no drive contains it.
char DriveContaining(const char* path, size_t* rootLength) {
    char best = '\0';
    size_t bestLength = 0;
    char root[kPathCapacity];
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (!DriveRootFolder(letter, root, sizeof(root)) || !IsInsideFolder(path, root)) {
            continue;
        }
        size_t length = strcmp(root, "/") == 0 ? 0 : strlen(root);
        if (best == '\0' || length > bestLength) {
            best = letter;
            bestLength = length;
        }
    }
    *rootLength = bestLength;
    return best == '\0' ? 'Z' : best;
}

} // namespace

bool CurrentDosDirectory(char* out, size_t outSize) {
    char current[kPathCapacity];
    if (getcwd(current, sizeof(current)) == nullptr) {
        return FailWith(Win32ErrorFromErrno(errno));
    }
    return UnixPathToDos(current, out, outSize);
}

bool FullDosPath(const char* dos, char* out, size_t outSize) {
    if (dos == nullptr || dos[0] == '\0') {
        return FailWith(ERROR_PATH_NOT_FOUND);
    }
    char absolute[kPathCapacity];
    if (!AbsoluteDosPath(dos, absolute, sizeof(absolute))) {
        return false;
    }
    return FoldDosPath(absolute, out, outSize);
}

bool DosPathToUnix(const char* dos, char* out, size_t outSize) {
    char folded[kPathCapacity];
    if (!FullDosPath(dos, folded, sizeof(folded))) {
        return false;
    }
    return MapFoldedPath(folded, out, outSize);
}

bool UnixPathToDos(const char* unixPath, char* out, size_t outSize) {
    char canonical[kPathCapacity];
    if (unixPath == nullptr || unixPath[0] == '\0') {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (!CanonicalUnixPath(unixPath, canonical, sizeof(canonical))) {
        return FailWith(ERROR_FILENAME_EXCED_RANGE);
    }
    size_t rootLength = 0;
    char letter = DriveContaining(canonical, &rootLength);
    const char* rest = canonical + rootLength;
    while (*rest == '/') {
        ++rest;
    }
    char drive[kUnixRootLength + 2] = {letter, ':', '\\', '\0'};
    char root[kPathCapacity];
    if (rootLength == 0 && !DriveRootFolder(letter, root, sizeof root)) {
        // No drive holds the host's root (a Windows volume): the host's own name for it.
        memcpy(drive, kUnixRoot, kUnixRootLength);
        drive[kUnixRootLength] = '\\';
        drive[kUnixRootLength + 1] = '\0';
    }
    size_t length = 0;
    if (outSize == 0) {
        return FailWith(ERROR_FILENAME_EXCED_RANGE);
    }
    out[0] = '\0';
    if (!AppendString(out, outSize, &length, drive) ||
        !AppendUnixPathAsAnsi(out, outSize, &length, rest)) {
        return FailWith(ERROR_FILENAME_EXCED_RANGE);
    }
    return true;
}

bool UnixPathBelowIgnoringCase(const char* folder, const char* relative, char* out,
                               size_t outSize) {
    if (!CopyString(out, outSize, folder)) {
        return false;
    }
    size_t length = strlen(out);
    bool exists = true;
    char component[256];
    for (const char* cursor = relative; *cursor != '\0' && exists;) {
        const char* end = strchr(cursor, '/');
        size_t componentLength =
            end == nullptr ? strlen(cursor) : static_cast<size_t>(end - cursor);
        if (componentLength >= sizeof component) {
            return false;
        }
        memcpy(component, cursor, componentLength);
        component[componentLength] = '\0';
        if (AppendUnixComponent(out, outSize, &length, component, &exists) != ERROR_SUCCESS) {
            return false;
        }
        cursor = end == nullptr ? cursor + componentLength : end + 1;
    }
    struct stat info;
    return exists && PosixStat(out, &info) == 0;
}
