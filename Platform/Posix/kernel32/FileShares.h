// The access and share modes of every open file handle, per file (device + inode), so that an
// open, delete or rename that Windows would refuse with ERROR_SHARING_VIOLATION is refused here
// too. Callers hold the lock across the check and the change it guards.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

// Access reduced to what share modes govern.
enum ShareAccess : DWORD {
    kShareAccessRead = 1,
    kShareAccessWrite = 2,
    kShareAccessDelete = 4,
};

struct ShareRecord {
    unsigned long long device;
    unsigned long long inode;
    DWORD access; // ShareAccess bits
    DWORD share;  // FILE_SHARE_* bits
    ShareRecord* next;
    ShareRecord* previous;
};

// GENERIC_* and DELETE rights -> ShareAccess bits.
DWORD ShareAccessOf(DWORD desiredAccess);

void ShareLock();
void ShareUnlock();

// Whether an open with this access and share mode conflicts with a handle open on the file.
bool ShareConflictsLocked(unsigned long long device, unsigned long long inode, DWORD access,
                          DWORD share);

void ShareAddLocked(ShareRecord* record);

// Takes the lock itself.
void ShareRemove(ShareRecord* record);
