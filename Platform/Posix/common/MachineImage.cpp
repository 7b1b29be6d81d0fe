#include "Platform/Posix/common/MachineImage.h"

#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace {

bool CopyBounded(char* out, size_t outSize, const char* text) {
    size_t length = strlen(text);
    if (length + 1 > outSize) {
        return false;
    }
    memcpy(out, text, length + 1);
    return true;
}

// The drive map is the machine's configuration, looked up by nearly every path a call maps; its
// stat and lstat stay raw so that a planned failure hits the call's own file, not every drive.
bool IsFolder(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// The resolved form of an existing folder.
bool ResolvedFolder(const char* path, char* out, size_t outSize) {
    char resolved[PATH_MAX];
    if (realpath(path, resolved) == nullptr || !IsFolder(resolved)) {
        return false;
    }
    return CopyBounded(out, outSize, resolved);
}

} // namespace

bool WinePrefixFolder(char* out, size_t outSize) {
    const char* prefix = getenv("WINEPREFIX");
    if (prefix != nullptr && prefix[0] != '\0') {
        return CopyBounded(out, outSize, prefix);
    }
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        return false;
    }
    int written = snprintf(out, outSize, "%s/.wine", home);
    return written >= 0 && static_cast<size_t>(written) < outSize;
}

bool DriveRootFolder(char letter, char* out, size_t outSize, bool* linked) {
    if (linked != nullptr) {
        *linked = false;
    }
    char lower = static_cast<char>(tolower(static_cast<unsigned char>(letter)));
    if (lower < 'a' || lower > 'z') {
        return false;
    }
    char prefix[PATH_MAX];
    char path[PATH_MAX + 32];
    if (WinePrefixFolder(prefix, sizeof(prefix))) {
        struct stat info;
        int written = snprintf(path, sizeof(path), "%s/dosdevices/%c:", prefix, lower);
        bool fits = written >= 0 && static_cast<size_t>(written) < sizeof(path);
        if (fits && lstat(path, &info) == 0) {
            if (linked != nullptr) {
                *linked = true;
            }
            return ResolvedFolder(path, out, outSize);
        }
        if (lower == 'c') {
            written = snprintf(path, sizeof(path), "%s/drive_c", prefix);
            fits = written >= 0 && static_cast<size_t>(written) < sizeof(path);
            return fits && ResolvedFolder(path, out, outSize);
        }
    }
    return lower == 'z' && CopyBounded(out, outSize, "/");
}

bool SystemMessageFile(const char* prefix, char* out, size_t outSize) {
    // C: is the dosdevices link where there is one, else drive_c.
    auto found = [&](const char* root, const char* name) {
        int written = snprintf(out, outSize, "%s/%s/windows/system32/%s", prefix, root, name);
        struct stat info;
        return written >= 0 && static_cast<size_t>(written) < outSize && stat(out, &info) == 0 &&
               S_ISREG(info.st_mode);
    };
    char link[PATH_MAX + 16];
    struct stat linkInfo;
    int written = snprintf(link, sizeof(link), "%s/dosdevices/c:", prefix);
    const char* root =
        written >= 0 && static_cast<size_t>(written) < sizeof(link) && lstat(link, &linkInfo) == 0
            ? "dosdevices/c:"
            : "drive_c";
    return found(root, "kernelbase.dll") || found(root, "kernel32.dll");
}

const char* ProcRootFolder() {
    const char* root = getenv("PALLWICK_PROC_ROOT");
    return root != nullptr && root[0] != '\0' ? root : "/proc";
}

bool ProcPath(const char* relative, char* out, size_t outSize) {
    const char* root = ProcRootFolder();
    size_t rootLength = strlen(root);
    bool rootEndsInSlash = rootLength > 0 && root[rootLength - 1] == '/';
    int written = snprintf(out, outSize, "%s%s%s", root, rootEndsInSlash ? "" : "/", relative);
    return written >= 0 && static_cast<size_t>(written) < outSize;
}
