#include "Platform/Posix/common/Failures.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

namespace {

DWORD Win32ErrorFromErrnoTable(int err) {
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case EBUSY:
        return ERROR_BUSY;
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ESPIPE:
        return ERROR_SEEK_ON_DEVICE;
    case EPIPE:
        return ERROR_BROKEN_PIPE;
    case ELOOP:
        return ERROR_CANT_RESOLVE_FILENAME;
    case EIO:
        return ERROR_IO_DEVICE;
    case EFAULT:
        return ERROR_NOACCESS;
    case ENOSYS:
    case EOPNOTSUPP:
        return ERROR_NOT_SUPPORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

// Whether the folder that would hold unixPath exists, which tells Windows' two "not found"
// codes apart.
bool ParentFolderExists(const char* unixPath) {
    const char* lastSlash = strrchr(unixPath, '/');
    if (lastSlash == nullptr) {
        return true;
    }
    if (lastSlash == unixPath) {
        return true;
    }
    char parent[4096];
    size_t length = static_cast<size_t>(lastSlash - unixPath);
    if (length >= sizeof(parent)) {
        return false;
    }
    memcpy(parent, unixPath, length);
    parent[length] = '\0';
    struct stat info;
    // Raw: this only names a failure already had, and a plan must not change which code it gets.
    return stat(parent, &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

DWORD Win32ErrorFromErrno(int err, DWORD existsCode) {
    if (err == EEXIST) {
        return existsCode;
    }
    return Win32ErrorFromErrnoTable(err);
}

DWORD Win32ErrorFromPathErrno(int err, const char* unixPath, DWORD existsCode) {
    if (err == ENOENT && unixPath != nullptr && !ParentFolderExists(unixPath)) {
        return ERROR_PATH_NOT_FOUND;
    }
    return Win32ErrorFromErrno(err, existsCode);
}

BOOL FailWith(DWORD code) {
    SetLastError(code);
    return FALSE;
}

bool BufferMissing(const void* buffer, DWORD size) {
    if (buffer == nullptr && size != 0) {
        SetLastError(ERROR_NOACCESS);
        return true;
    }
    return false;
}
