#include "Platform/Posix/common/MachineImage.h"

#include "Platform/Posix/common/DosPaths.h"

#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool WindowsVolumeFolder(char* out, size_t outSize) {
    const char* volume = getenv("PALLWICK_WINDOWS_ROOT");
    return volume != nullptr && volume[0] != '\0' && CopyBounded(out, outSize, volume);
}

bool MachineImageFolder(char* out, size_t outSize, bool* isVolume) {
    *isVolume = WindowsVolumeFolder(out, outSize);
    return *isVolume || WinePrefixFolder(out, outSize);
}

bool IsOnWindowsVolume(const char* path) {
    char volume[PATH_MAX];
    char root[PATH_MAX];
    if (!WindowsVolumeFolder(volume, sizeof volume)) {
        return false;
    }
    // A volume that cannot be resolved has nothing below it that a write could reach.
    if (realpath(volume, root) == nullptr) {
        return false;
    }
    char absolute[PATH_MAX];
    if (path[0] != '/') {
        char current[PATH_MAX];
        if (getcwd(current, sizeof current) == nullptr) {
            return true; // unknown: refused, as the volume must stay unchanged
        }
        int written = snprintf(absolute, sizeof absolute, "%s/%s", current, path);
        if (written < 0 || static_cast<size_t>(written) >= sizeof absolute) {
            return true;
        }
        path = absolute;
    }
    // The paths the layer writes have their links resolved and their dots folded; the parent's
    // real path covers a link on the way all the same.
    char parent[PATH_MAX];
    if (!CopyBounded(parent, sizeof parent, path)) {
        return true;
    }
    char* slash = strrchr(parent, '/');
    if (slash != nullptr && slash != parent) {
        *slash = '\0';
    }
    char resolvedParent[PATH_MAX];
    const char* candidates[] = {path,
                                realpath(parent, resolvedParent) != nullptr ? resolvedParent : ""};
    size_t rootLength = strlen(root);
    for (const char* candidate : candidates) {
        if (strncmp(candidate, root, rootLength) == 0 &&
            (candidate[rootLength] == '/' || candidate[rootLength] == '\0' || rootLength == 1)) {
            return true;
        }
    }
    return false;
}

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
    char volume[PATH_MAX];
    if (WindowsVolumeFolder(volume, sizeof volume)) {
        return lower == 'c' && ResolvedFolder(volume, out, outSize);
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

bool SystemMessageFile(const char* image, bool isVolume, char* out, size_t outSize) {
    const char* names[] = {"kernelbase.dll", "kernel32.dll"};
    for (const char* name : names) {
        char relative[64];
        snprintf(relative, sizeof relative, "windows/system32/%s", name);
        bool exists = false;
        if (isVolume) {
            // A volume keeps Windows' own case ("Windows/System32"); names match ignoring it.
            exists = UnixPathBelowIgnoringCase(image, relative, out, outSize);
        } else {
            // C: is the dosdevices link where there is one, else drive_c.
            char link[PATH_MAX + 16];
            struct stat linkInfo;
            int written = snprintf(link, sizeof(link), "%s/dosdevices/c:", image);
            bool linked = written >= 0 && static_cast<size_t>(written) < sizeof(link) &&
                          lstat(link, &linkInfo) == 0;
            written = snprintf(out, outSize, "%s/%s/%s", image,
                               linked ? "dosdevices/c:" : "drive_c", relative);
            exists = written >= 0 && static_cast<size_t>(written) < outSize;
        }
        struct stat info;
        if (exists && stat(out, &info) == 0 && S_ISREG(info.st_mode)) {
            return true;
        }
    }
    return false;
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
