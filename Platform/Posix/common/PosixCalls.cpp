#include "Platform/Posix/common/PosixCalls.h"

#include "Platform/Posix/common/FaultPlan.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int PosixOpen(const char* path, int flags, mode_t mode) {
    return PosixFaultAllows(PosixCall::Open) ? open(path, flags, mode) : -1;
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
    return PosixFaultAllows(PosixCall::Rename) ? rename(source, target) : -1;
}

int PosixRenameat2(int sourceFolder, const char* source, int targetFolder, const char* target,
                   unsigned flags) {
    if (!PosixFaultAllows(PosixCall::Renameat2)) {
        return -1;
    }
    return renameat2(sourceFolder, source, targetFolder, target, flags);
}

int PosixLink(const char* source, const char* target) {
    return PosixFaultAllows(PosixCall::Link) ? link(source, target) : -1;
}

int PosixUnlink(const char* path) {
    return PosixFaultAllows(PosixCall::Unlink) ? unlink(path) : -1;
}

int PosixMkdir(const char* path, mode_t mode) {
    return PosixFaultAllows(PosixCall::Mkdir) ? mkdir(path, mode) : -1;
}

int PosixRmdir(const char* path) {
    return PosixFaultAllows(PosixCall::Rmdir) ? rmdir(path) : -1;
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
    return PosixFaultAllows(PosixCall::Chmod) ? chmod(path, mode) : -1;
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
