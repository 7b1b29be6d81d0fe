#include "Platform/Posix/kernel32/Files.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/kernel32/FileAttributes.h"
#include "Platform/Posix/kernel32/FileShares.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Another process may swap the file between our look and our open; retry that many times.
constexpr int kOpenAttempts = 3;

struct FileObject {
    HandleObject header; // first: the handle table sees a FileObject as its header
    int descriptor;
    DWORD desiredAccess;
    ShareRecord share;
};

struct OpenRequest {
    const char* path;
    DWORD desiredAccess;
    DWORD shareMode;
    DWORD disposition;
    DWORD flagsAndAttributes;
};

void DestroyFile(HandleObject* object) {
    FileObject* file = reinterpret_cast<FileObject*>(object);
    ShareRemove(&file->share);
    close(file->descriptor);
    free(file);
}

FileObject* AcquireFile(HANDLE handle) {
    return HandleAcquireAs<FileObject>(handle, HandleKind::File);
}

void ReleaseFile(FileObject* file) {
    HandleObjectRelease(&file->header);
}

bool CanRead(const FileObject* file) {
    return (file->share.access & kShareAccessRead) != 0;
}

bool CanWrite(const FileObject* file) {
    return (file->share.access & kShareAccessWrite) != 0;
}

// Windows marks a file read-only by attribute; here the owner's write bit stands for it. Root
// ignores mode bits, so they are checked here rather than left to open().
bool IsReadOnly(const struct stat& info) {
    return !S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0;
}

bool Truncates(DWORD disposition) {
    return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

// A handle that may append but not write data writes only at the end of the file, wherever its
// pointer stands, and each write lands there whole even when other processes append too.
bool AppendsOnly(DWORD desiredAccess) {
    return (desiredAccess & FILE_APPEND_DATA) != 0 &&
           (desiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0;
}

int OpenFlags(DWORD desiredAccess) {
    DWORD access = ShareAccessOf(desiredAccess);
    int flags = O_CLOEXEC | O_NOCTTY | (AppendsOnly(desiredAccess) ? O_APPEND : 0);
    if ((access & kShareAccessRead) != 0 && (access & kShareAccessWrite) != 0) {
        return flags | O_RDWR;
    }
    return flags | ((access & kShareAccessWrite) != 0 ? O_WRONLY : O_RDONLY);
}

// Why Windows would refuse to open this existing file, or 0.
DWORD RefusalOfExisting(const OpenRequest& request, const struct stat& info) {
    if (request.disposition == CREATE_NEW) {
        return ERROR_FILE_EXISTS;
    }
    if (S_ISDIR(info.st_mode)) {
        return ERROR_ACCESS_DENIED;
    }
    DWORD access = ShareAccessOf(request.desiredAccess);
    if (IsReadOnly(info) && ((access & kShareAccessWrite) != 0 || Truncates(request.disposition))) {
        return ERROR_ACCESS_DENIED;
    }
    if (ShareConflictsLocked(info.st_dev, info.st_ino, access, request.shareMode) ||
        (S_ISREG(info.st_mode) &&
         ShareConflictsAcrossProcesses(request.path, access, request.shareMode))) {
        return ERROR_SHARING_VIOLATION;
    }
    return ERROR_SUCCESS;
}

// Wraps an open descriptor in a FileObject and records its share mode; closes it on failure.
FileObject* RegisterOpenFileLocked(int descriptor, const OpenRequest& request) {
    struct stat info;
    FileObject* file = static_cast<FileObject*>(LayerCalloc(1, sizeof(FileObject)));
    if (file == nullptr || PosixFstat(descriptor, &info) != 0) {
        FailWith(file == nullptr ? ERROR_NOT_ENOUGH_MEMORY : Win32ErrorFromErrno(errno));
        free(file);
        close(descriptor);
        return nullptr;
    }
    HandleObjectInit(&file->header, HandleKind::File, DestroyFile);
    file->descriptor = descriptor;
    file->desiredAccess = request.desiredAccess;
    file->share.device = info.st_dev;
    file->share.inode = info.st_ino;
    file->share.access = ShareAccessOf(request.desiredAccess);
    file->share.share = request.shareMode;
    ShareMarkAcrossProcesses(&file->share, descriptor);
    ShareAddLocked(&file->share);
    return file;
}

// Opens an existing file; -1 with errno set on failure.
int OpenExisting(const OpenRequest& request) {
    int flags = OpenFlags(request.desiredAccess) | (Truncates(request.disposition) ? O_TRUNC : 0);
    return PosixOpen(request.path, flags);
}

int CreateMissing(const OpenRequest& request) {
    int descriptor =
        PosixOpen(request.path, OpenFlags(request.desiredAccess) | O_CREAT | O_EXCL, 0666);
    if (descriptor >= 0 && (request.flagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        // Windows creates it read-only yet grants this handle the access it asked for.
        struct stat info;
        if (PosixFstat(descriptor, &info) == 0) {
            PosixFchmod(descriptor, info.st_mode & ~static_cast<mode_t>(0222));
        }
    }
    return descriptor;
}

// The open itself, under the share lock so that the check and the record are one step.
FileObject* OpenLocked(const OpenRequest& request, bool* existed) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        struct stat info;
        *existed = PosixStat(request.path, &info) == 0;
        if (!*existed && errno != ENOENT) {
            FailWith(Win32ErrorFromPathErrno(errno, request.path));
            return nullptr;
        }
        if (*existed) {
            DWORD refusal = RefusalOfExisting(request, info);
            if (refusal != ERROR_SUCCESS) {
                FailWith(refusal);
                return nullptr;
            }
        } else if (request.disposition == OPEN_EXISTING ||
                   request.disposition == TRUNCATE_EXISTING) {
            FailWith(Win32ErrorFromPathErrno(ENOENT, request.path));
            return nullptr;
        }
        int descriptor = *existed ? OpenExisting(request) : CreateMissing(request);
        if (descriptor >= 0) {
            return RegisterOpenFileLocked(descriptor, request);
        }
        bool raced = (*existed && errno == ENOENT) ||
                     (!*existed && errno == EEXIST && request.disposition != CREATE_NEW);
        if (!raced) {
            FailWith(Win32ErrorFromPathErrno(errno, request.path));
            return nullptr;
        }
    }
    FailWith(ERROR_SHARING_VIOLATION);
    return nullptr;
}

// Moves count bytes through step(offset) until all are moved or the end of the file; Windows
// moves no short counts on files. A step that moves nothing ends it rather than spinning.
template <typename Step>
BOOL MoveFully(bool permitted, const void* buffer, DWORD count, DWORD* done, Step step) {
    if (!permitted) {
        return FailWith(ERROR_ACCESS_DENIED);
    }
    if (BufferMissing(buffer, count)) {
        return FALSE;
    }
    DWORD total = 0;
    while (total < count) {
        ssize_t moved = step(total);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved < 0) {
            *done = total;
            return FailWith(Win32ErrorFromErrno(errno));
        }
        if (moved == 0) {
            break;
        }
        total += static_cast<DWORD>(moved);
    }
    *done = total;
    return TRUE;
}

BOOL ReadFully(FileObject* file, void* buffer, DWORD count, DWORD* done) {
    return MoveFully(CanRead(file), buffer, count, done, [&](DWORD offset) {
        return PosixRead(file->descriptor, static_cast<char*>(buffer) + offset, count - offset);
    });
}

BOOL WriteFully(FileObject* file, const void* buffer, DWORD count, DWORD* done) {
    return MoveFully(CanWrite(file), buffer, count, done, [&](DWORD offset) {
        return PosixWrite(file->descriptor, static_cast<const char*>(buffer) + offset,
                          count - offset);
    });
}

// The new file position, or a Win32 error code.
DWORD MoveFilePosition(FileObject* file, long long distance, DWORD method, long long* position) {
    long long base = 0;
    if (method == FILE_CURRENT) {
        off_t current = PosixLseek(file->descriptor, 0, SEEK_CUR);
        if (current < 0) {
            return Win32ErrorFromErrno(errno);
        }
        base = current;
    } else if (method == FILE_END) {
        struct stat info;
        if (PosixFstat(file->descriptor, &info) != 0) {
            return Win32ErrorFromErrno(errno);
        }
        base = info.st_size;
    } else if (method != FILE_BEGIN) {
        return ERROR_INVALID_PARAMETER;
    }
    long long target = 0;
    if (__builtin_add_overflow(base, distance, &target)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (target < 0) {
        return ERROR_NEGATIVE_SEEK;
    }
    if (PosixLseek(file->descriptor, static_cast<off_t>(target), SEEK_SET) < 0) {
        return Win32ErrorFromErrno(errno);
    }
    *position = target;
    return ERROR_SUCCESS;
}

// Refusals Windows gives before deleting or renaming an existing file: an open handle that does
// not share delete access, in this process or another.
DWORD SharingRefusalOfRemoval(const char* path, const struct stat& info) {
    bool blocked = ShareConflictsLocked(info.st_dev, info.st_ino, kShareAccessDelete, kShareAll) ||
                   (S_ISREG(info.st_mode) &&
                    ShareConflictsAcrossProcesses(path, kShareAccessDelete, kShareAll));
    return blocked ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

DWORD DeleteLocked(const char* path) {
    struct stat info;
    if (PosixLstat(path, &info) != 0) {
        return Win32ErrorFromPathErrno(errno, path);
    }
    if (S_ISDIR(info.st_mode) || IsReadOnly(info)) {
        return ERROR_ACCESS_DENIED;
    }
    DWORD refusal = SharingRefusalOfRemoval(path, info);
    if (refusal != ERROR_SUCCESS) {
        return refusal;
    }
    return PosixUnlink(path) == 0 ? ERROR_SUCCESS : Win32ErrorFromPathErrno(errno, path);
}

// Copies data from one descriptor to another; a Win32 error code or 0.
DWORD CopyDescriptor(int from, int to) {
    char buffer[16384];
    for (;;) {
        ssize_t got = PosixRead(from, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0 ? ERROR_SUCCESS : Win32ErrorFromErrno(errno);
        }
        for (ssize_t written = 0; written < got;) {
            ssize_t put = PosixWrite(to, buffer + written, static_cast<size_t>(got - written));
            if (put < 0 && errno != EINTR) {
                return Win32ErrorFromErrno(errno);
            }
            written += put > 0 ? put : 0;
        }
    }
}

// MoveFileA moves a file to another volume by copying it, as Windows does.
DWORD MoveAcrossDevices(const char* source, const char* target, const struct stat& info) {
    int from = PosixOpen(source, O_RDONLY | O_CLOEXEC);
    if (from < 0) {
        return Win32ErrorFromPathErrno(errno, source);
    }
    int to = PosixOpen(target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
    if (to < 0) {
        int openError = errno;
        close(from);
        return Win32ErrorFromPathErrno(openError, target, ERROR_ALREADY_EXISTS);
    }
    DWORD error = CopyDescriptor(from, to);
    close(from);
    if (close(to) != 0 && error == ERROR_SUCCESS) {
        error = Win32ErrorFromErrno(errno);
    }
    if (error == ERROR_SUCCESS && PosixUnlink(source) != 0) {
        error = Win32ErrorFromPathErrno(errno, source);
    }
    if (error != ERROR_SUCCESS) {
        // Undoing the copy is a release: a planned failure must not leave half a file behind.
        unlink(target);
    }
    return error;
}

// rename() that never replaces the target, also where the file system lacks RENAME_NOREPLACE.
int RenameWithoutReplacing(const char* source, const char* target, const struct stat& info) {
    if (PosixRenameat2(AT_FDCWD, source, AT_FDCWD, target, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    if (!S_ISDIR(info.st_mode) && PosixLink(source, target) == 0) {
        return PosixUnlink(source);
    }
    struct stat existing;
    if (PosixLstat(target, &existing) == 0) {
        errno = EEXIST;
        return -1;
    }
    return PosixRename(source, target);
}

DWORD MoveLocked(const char* source, const char* target) {
    struct stat info;
    if (PosixLstat(source, &info) != 0) {
        return Win32ErrorFromPathErrno(errno, source);
    }
    DWORD refusal = SharingRefusalOfRemoval(source, info);
    if (refusal != ERROR_SUCCESS) {
        return refusal;
    }
    struct stat existing;
    if (PosixLstat(target, &existing) == 0) {
        return ERROR_ALREADY_EXISTS;
    }
    if (RenameWithoutReplacing(source, target, info) == 0) {
        return ERROR_SUCCESS;
    }
    if (errno == EXDEV && S_ISREG(info.st_mode)) {
        return MoveAcrossDevices(source, target, info);
    }
    return Win32ErrorFromPathErrno(errno, target, ERROR_ALREADY_EXISTS);
}

// ReadFile and WriteFile alike: the caller's count is cleared first and holds what was moved,
// also after a failure half-way.
template <typename Move>
BOOL Transfer(LayerCall call, HANDLE handle, LPDWORD count, LPOVERLAPPED overlapped, Move move) {
    DWORD done = 0;
    if (count != nullptr) {
        *count = 0;
    }
    if (!FaultAllows(call)) {
        return FALSE;
    }
    if (overlapped != nullptr) {
        return FailWith(ERROR_NOT_SUPPORTED);
    }
    FileObject* file = AcquireFile(handle);
    if (file == nullptr) {
        return FALSE;
    }
    BOOL succeeded = move(file, &done);
    ReleaseFile(file);
    if (count != nullptr) {
        *count = done;
    }
    return succeeded;
}

// The byte range of LockFileEx and UnlockFileEx as a POSIX one, below the share marks. False
// for a range that starts among them.
bool LockRangeOf(const OVERLAPPED* at, DWORD lengthLow, DWORD lengthHigh, short type,
                 struct flock* range) {
    unsigned long long start = (static_cast<unsigned long long>(at->OffsetHigh) << 32) | at->Offset;
    unsigned long long length = (static_cast<unsigned long long>(lengthHigh) << 32) | lengthLow;
    unsigned long long limit = static_cast<unsigned long long>(kShareMarkBase);
    if (start >= limit) {
        return false;
    }
    *range = {};
    range->l_type = type;
    range->l_whence = SEEK_SET;
    range->l_start = static_cast<off_t>(start);
    range->l_len = static_cast<off_t>(length < limit - start ? length : limit - start);
    return true;
}

// One OFD lock call on a handle's descriptor, as Windows reports its outcome.
DWORD ApplyLock(HANDLE handle, int command, struct flock* range) {
    FileObject* file = AcquireFile(handle);
    if (file == nullptr) {
        return GetLastError();
    }
    int result;
    do {
        result = fcntl(file->descriptor, command, range);
    } while (result != 0 && errno == EINTR);
    int lockError = errno;
    ReleaseFile(file);
    if (result == 0) {
        return ERROR_SUCCESS;
    }
    if (lockError == EAGAIN || lockError == EACCES) {
        return ERROR_LOCK_VIOLATION;
    }
    return lockError == EBADF ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(lockError);
}

// The fstat of a handle's file, handed with its descriptor to use while the handle is held: a
// Win32 error code or 0.
template <typename Use> DWORD StatOpenFile(HANDLE handle, Use use) {
    FileObject* file = AcquireFile(handle);
    if (file == nullptr) {
        return GetLastError();
    }
    struct stat info;
    DWORD error = ERROR_SUCCESS;
    if (PosixFstat(file->descriptor, &info) == 0) {
        use(file->descriptor, info);
    } else {
        error = Win32ErrorFromErrno(errno);
    }
    ReleaseFile(file);
    return error;
}

constexpr long long kSecondsFrom1601To1970 = 11644473600LL;

// A time before 1601 is the earliest FILETIME.
FILETIME FileTimeOf(const struct timespec& time) {
    long long seconds = static_cast<long long>(time.tv_sec) + kSecondsFrom1601To1970;
    unsigned long long ticks = seconds < 0
                                   ? 0
                                   : static_cast<unsigned long long>(seconds) * 10000000ULL +
                                         static_cast<unsigned long long>(time.tv_nsec) / 100;
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(ticks);
    result.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return result;
}

void FillFileInformation(int descriptor, const struct stat& info, BY_HANDLE_FILE_INFORMATION* out) {
    unsigned long long device = static_cast<unsigned long long>(info.st_dev);
    unsigned long long index = static_cast<unsigned long long>(info.st_ino);
    unsigned long long size = static_cast<unsigned long long>(info.st_size);
    out->dwFileAttributes = AttributesOfOpenFile(descriptor, info);
    out->ftCreationTime = FileTimeOf(info.st_ctim);
    out->ftLastAccessTime = FileTimeOf(info.st_atim);
    out->ftLastWriteTime = FileTimeOf(info.st_mtim);
    out->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    out->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out->nFileSizeLow = static_cast<DWORD>(size);
    out->nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
    out->nFileIndexHigh = static_cast<DWORD>(index >> 32);
    out->nFileIndexLow = static_cast<DWORD>(index);
}

} // namespace

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    if (!FaultAllows(LayerCall::CreateFileA)) {
        return INVALID_HANDLE_VALUE;
    }
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    if (lpFileName == nullptr || lpFileName[0] == '\0') {
        FailWith(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
        FailWith(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    char path[kPathCapacity];
    if (!DosPathToUnix(lpFileName, path, sizeof(path))) {
        return INVALID_HANDLE_VALUE;
    }
    OpenRequest request = {path, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                           dwFlagsAndAttributes};
    bool existed = false;
    FileObject* file = nullptr;
    {
        std::lock_guard<std::mutex> guard(ShareTableLock());
        file = OpenLocked(request, &existed);
    }
    if (file == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = HandleInsert(&file->header);
    if (handle == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    bool reportsExisting =
        dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(existed && reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    return Transfer(LayerCall::ReadFile, hFile, lpNumberOfBytesRead, lpOverlapped,
                    [&](FileObject* file, DWORD* done) {
                        return ReadFully(file, lpBuffer, nNumberOfBytesToRead, done);
                    });
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    return Transfer(LayerCall::WriteFile, hFile, lpNumberOfBytesWritten, lpOverlapped,
                    [&](FileObject* file, DWORD* done) {
                        return WriteFully(file, lpBuffer, nNumberOfBytesToWrite, done);
                    });
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    if (!FaultAllows(LayerCall::SetFilePointer)) {
        return INVALID_SET_FILE_POINTER;
    }
    // With a high part the two halves form one 64-bit distance; without, the low part is signed.
    long long distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        unsigned long long high = static_cast<DWORD>(*lpDistanceToMoveHigh);
        distance = static_cast<long long>((high << 32) | static_cast<DWORD>(lDistanceToMove));
    }
    FileObject* file = AcquireFile(hFile);
    if (file == nullptr) {
        return INVALID_SET_FILE_POINTER;
    }
    long long position = 0;
    DWORD error = MoveFilePosition(file, distance, dwMoveMethod, &position);
    ReleaseFile(file);
    if (error != ERROR_SUCCESS) {
        FailWith(error);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<unsigned long long>(position) >> 32);
    }
    DWORD low = static_cast<DWORD>(position);
    // A real position whose low part looks like the failure value must not carry a stale error.
    if (low == INVALID_SET_FILE_POINTER) {
        SetLastError(ERROR_SUCCESS);
    }
    return low;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    if (!FaultAllows(LayerCall::GetFileSize)) {
        return INVALID_FILE_SIZE;
    }
    unsigned long long size = 0;
    DWORD error = StatOpenFile(hFile, [&](int, const struct stat& info) {
        size = static_cast<unsigned long long>(info.st_size);
    });
    if (error != ERROR_SUCCESS) {
        FailWith(error);
        return INVALID_FILE_SIZE;
    }
    if (lpFileSizeHigh != nullptr) {
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    DWORD low = static_cast<DWORD>(size);
    if (low == INVALID_FILE_SIZE) {
        SetLastError(ERROR_SUCCESS);
    }
    return low;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    if (!FaultAllows(LayerCall::FlushFileBuffers)) {
        return FALSE;
    }
    FileObject* file = AcquireFile(hFile);
    if (file == nullptr) {
        return FALSE;
    }
    DWORD error = ERROR_SUCCESS;
    if (!CanWrite(file)) {
        error = ERROR_ACCESS_DENIED;
    } else if (PosixFsync(file->descriptor) != 0) {
        error = Win32ErrorFromErrno(errno);
    }
    ReleaseFile(file);
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

BOOL WINAPI LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD dwReserved, DWORD nNumberOfBytesToLockLow,
                       DWORD nNumberOfBytesToLockHigh, LPOVERLAPPED lpOverlapped) {
    if (!FaultAllows(LayerCall::LockFileEx)) {
        return FALSE;
    }
    if (dwReserved != 0 || lpOverlapped == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    short type = (dwFlags & LOCKFILE_EXCLUSIVE_LOCK) != 0 ? F_WRLCK : F_RDLCK;
    struct flock range;
    if (!LockRangeOf(lpOverlapped, nNumberOfBytesToLockLow, nNumberOfBytesToLockHigh, type,
                     &range)) {
        return FailWith(ERROR_NOT_SUPPORTED);
    }
    if (range.l_len == 0) {
        return TRUE; // POSIX would read a zero length as "to the end of every file"
    }
    int command = (dwFlags & LOCKFILE_FAIL_IMMEDIATELY) != 0 ? F_OFD_SETLK : F_OFD_SETLKW;
    DWORD error = ApplyLock(hFile, command, &range);
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

BOOL WINAPI UnlockFileEx(HANDLE hFile, DWORD dwReserved, DWORD nNumberOfBytesToUnlockLow,
                         DWORD nNumberOfBytesToUnlockHigh, LPOVERLAPPED lpOverlapped) {
    if (dwReserved != 0 || lpOverlapped == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    struct flock range;
    if (!LockRangeOf(lpOverlapped, nNumberOfBytesToUnlockLow, nNumberOfBytesToUnlockHigh, F_UNLCK,
                     &range)) {
        return FailWith(ERROR_NOT_SUPPORTED);
    }
    if (range.l_len == 0) {
        return TRUE;
    }
    DWORD error = ApplyLock(hFile, F_OFD_SETLK, &range);
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile,
                                       LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    if (!FaultAllows(LayerCall::GetFileInformationByHandle)) {
        return FALSE;
    }
    if (BufferMissing(lpFileInformation, sizeof(*lpFileInformation))) {
        return FALSE;
    }
    DWORD error = StatOpenFile(hFile, [&](int descriptor, const struct stat& info) {
        FillFileInformation(descriptor, info, lpFileInformation);
    });
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    return HandleCloseKernelObject(hObject);
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    if (!FaultAllows(LayerCall::MoveFileA)) {
        return FALSE;
    }
    char source[kPathCapacity];
    char target[kPathCapacity];
    if (!DosPathToUnix(lpExistingFileName, source, sizeof(source)) ||
        !DosPathToUnix(lpNewFileName, target, sizeof(target))) {
        return FALSE;
    }
    DWORD error = ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> guard(ShareTableLock());
        error = MoveLocked(source, target);
    }
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    if (!FaultAllows(LayerCall::DeleteFileA)) {
        return FALSE;
    }
    char path[kPathCapacity];
    if (!DosPathToUnix(lpFileName, path, sizeof(path))) {
        return FALSE;
    }
    DWORD error = ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> guard(ShareTableLock());
        error = DeleteLocked(path);
    }
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

} // extern "C"
