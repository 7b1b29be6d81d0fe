#include "Platform/Posix/common/PosixCalls.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/MachineImage.h"

#include <fcntl.h>
#include <stdio.h>
#include <errno.h>
#include <unistd.h>

namespace {

// Every change to a file or folder passes here, so that nothing below a Windows volume is ever
// written, whichever function asked: it fails as on read-only media.
bool RefusedOnVolume(const char* path) {
    if (path == nullptr || !IsOnWindowsVolume(path)) {
        return false;
    }
    errno = EROFS;
    return true;
}

bool Writes(int flags) {
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0;
}

} // namespace

int PosixOpen(const char* path, int flags, mode_t mode) {
    if (!PosixFaultAllows(PosixCall::Open) || (Writes(flags) && RefusedOnVolume(path))) {
        return -1;
    }
    return open(path, flags, mode);
}

ssize_t PosixRead(int descriptor, void* buffer, size_t count) {
    return PosixFaultAllows(PosixCall::Read) ? read(descriptor, buffer, count) : -1;
}

ssize_t PosixPread(int descriptor, void* buffer, size_t count, off_t offset) {
    return PosixFaultAllows(PosixCall::Pread) ? pread(descriptor, buffer, count, offset) : -1;
}

ssize_t PosixWrite(int descriptor, const void* buffer, size_t count) {
    return PosixFaultAllows(PosixCall::Write) ? write(descriptor, buffer, count) : -1;
}

ssize_t PosixPwrite(int descriptor, const void* buffer, size_t count, off_t offset) {
    return PosixFaultAllows(PosixCall::Pwrite) ? pwrite(descriptor, buffer, count, offset) : -1;
}

int PosixFtruncate(int descriptor, off_t length) {
    return PosixFaultAllows(PosixCall::Ftruncate) ? ftruncate(descriptor, length) : -1;
}

off_t PosixLseek(int descriptor, off_t offset, int whence) {
    return PosixFaultAllows(PosixCall::Lseek) ? lseek(descriptor, offset, whence) : -1;
}

int PosixFsync(int descriptor) {
    return PosixFaultAllows(PosixCall::Fsync) ? fsync(descriptor) : -1;
}

int PosixRename(const char* source, const char* target) {
    if (!PosixFaultAllows(PosixCall::Rename) || RefusedOnVolume(source) ||
        RefusedOnVolume(target)) {
        return -1;
    }
    return rename(source, target);
}

int PosixRenameat2(int sourceFolder, const char* source, int targetFolder, const char* target,
                   unsigned flags) {
    if (!PosixFaultAllows(PosixCall::Renameat2)) {
        return -1;
    }
    // Paths relative to a folder descriptor other than the current directory are the layer's own
    // scratch names; a volume is reached only through absolute paths.
    if ((sourceFolder == AT_FDCWD && RefusedOnVolume(source)) ||
        (targetFolder == AT_FDCWD && RefusedOnVolume(target))) {
        return -1;
    }
    return renameat2(sourceFolder, source, targetFolder, target, flags);
}

int PosixLink(const char* source, const char* target) {
    if (!PosixFaultAllows(PosixCall::Link) || RefusedOnVolume(target)) {
        return -1;
    }
    return link(source, target);
}

int PosixUnlink(const char* path) {
    if (!PosixFaultAllows(PosixCall::Unlink) || RefusedOnVolume(path)) {
        return -1;
    }
    return unlink(path);
}

int PosixMkdir(const char* path, mode_t mode) {
    if (!PosixFaultAllows(PosixCall::Mkdir) || RefusedOnVolume(path)) {
        return -1;
    }
    return mkdir(path, mode);
}

int PosixRmdir(const char* path) {
    if (!PosixFaultAllows(PosixCall::Rmdir) || RefusedOnVolume(path)) {
        return -1;
    }
    return rmdir(path);
}

int PosixStat(const char* path, struct stat* info) {
    return PosixFaultAllows(PosixCall::Stat) ? stat(path, info) : -1;
}

int PosixLstat(const char* path, struct stat* info) {
    return PosixFaultAllows(PosixCall::Lstat) ? lstat(path, info) : -1;
}

int PosixFstat(int descriptor, struct stat* info) {
    return PosixFaultAllows(PosixCall::Fstat) ? fstat(descriptor, info) : -1;
}

int PosixStatfs(const char* path, struct statfs* info) {
    return PosixFaultAllows(PosixCall::Statfs) ? statfs(path, info) : -1;
}

int PosixChmod(const char* path, mode_t mode) {
    if (!PosixFaultAllows(PosixCall::Chmod) || RefusedOnVolume(path)) {
        return -1;
    }
    return chmod(path, mode);
}

int PosixFchmod(int descriptor, mode_t mode) {
    return PosixFaultAllows(PosixCall::Fchmod) ? fchmod(descriptor, mode) : -1;
}

DIR* PosixOpendir(const char* path) {
    return PosixFaultAllows(PosixCall::Opendir) ? opendir(path) : nullptr;
}

struct dirent* PosixReaddir(DIR* folder) {
    return PosixFaultAllows(PosixCall::Readdir) ? readdir(folder) : nullptr;
}

int PosixNanosleep(const struct timespec* request, struct timespec* remaining) {
    if (!PosixFaultAllows(PosixCall::Nanosleep)) {
        *remaining = *request;
        return -1;
    }
    return nanosleep(request, remaining);
}
