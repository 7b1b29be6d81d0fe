// The POSIX calls a Win32 call makes on the files and folders it names (and the folders on their
// way, searched for a name's case) and on a drive's root, and the waits of Sleep, each asking the
// fault plan first: a planned failure returns what the call returns on failure, with the planned
// errno, and does nothing else. The layer calls these instead of the raw functions, so that its
// errno mapping is what a test of a full disk or a failing device reaches. Raw on purpose: the
// prefix's own files (drive map, registry files, the system DLL whose message table FormatMessageA
// keeps), realpath and getcwd (no wrapper), the host's device flags under /sys, the parent check
// that names a failure already had, and the undoing of a half-made copy.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <time.h>

int PosixOpen(const char* path, int flags, mode_t mode = 0);
ssize_t PosixRead(int descriptor, void* buffer, size_t count);
ssize_t PosixPread(int descriptor, void* buffer, size_t count, off_t offset);
ssize_t PosixWrite(int descriptor, const void* buffer, size_t count);
ssize_t PosixPwrite(int descriptor, const void* buffer, size_t count, off_t offset);
off_t PosixLseek(int descriptor, off_t offset, int whence);
int PosixFsync(int descriptor);
int PosixFtruncate(int descriptor, off_t length);
int PosixRename(const char* source, const char* target);
int PosixRenameat2(int sourceFolder, const char* source, int targetFolder, const char* target,
                   unsigned flags);
int PosixLink(const char* source, const char* target);
int PosixUnlink(const char* path);
int PosixMkdir(const char* path, mode_t mode);
int PosixRmdir(const char* path);
int PosixStat(const char* path, struct stat* info);
int PosixLstat(const char* path, struct stat* info);
int PosixFstat(int descriptor, struct stat* info);
int PosixStatfs(const char* path, struct statfs* info);
int PosixChmod(const char* path, mode_t mode);
int PosixFchmod(int descriptor, mode_t mode);
DIR* PosixOpendir(const char* path);
// Null at the end of the folder with errno untouched, as readdir; a planned failure sets errno.
struct dirent* PosixReaddir(DIR* folder);

// A wait of Sleep: a planned failure is a signal that cuts it short at once (EINTR), with
// *remaining as the whole request.
int PosixNanosleep(const struct timespec* request, struct timespec* remaining);
