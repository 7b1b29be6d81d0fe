// The access and share modes of every open file handle, per file (device + inode), so that an
// open, delete or rename that Windows would refuse with ERROR_SHARING_VIOLATION is refused here
// too. Callers hold the lock across the check and the change it guards.
//
// Linux keeps no share modes, and the list below is this process's own. So that a file held open
// by another process refuses what Windows would refuse, each handle also marks its file with
// shared OFD locks on bytes far past any data: one byte per access it holds, one per access it
// does not share. An open, delete or move looks for another handle's mark before it goes on. The
// look and the marking are two steps, so two processes opening one file at the same instant may
// both pass, where Windows decides that atomically.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

#include <mutex>

// Access reduced to what share modes govern.
enum ShareAccess : DWORD {
    kShareAccessRead = 1,
    kShareAccessWrite = 2,
    kShareAccessDelete = 4,
};

struct ShareRecord {
    unsigned long long device;
    unsigned long long inode;
    DWORD access;       // ShareAccess bits
    DWORD share;        // FILE_SHARE_* bits
    int markDescriptor; // a descriptor of its own that holds the marks, or -1
    ShareRecord* next;
    ShareRecord* previous;
};

// The marks sit from here on; byte-range locks that callers take stay below.
constexpr long long kShareMarkBase = 0x7FFFFFFFFFFFFF00LL;

// GENERIC_* and DELETE rights -> ShareAccess bits.
DWORD ShareAccessOf(DWORD desiredAccess);

std::mutex& ShareTableLock();

// Whether an open with this access and share mode conflicts with a handle open on the file.
bool ShareConflictsLocked(unsigned long long device, unsigned long long inode, DWORD access,
                          DWORD share);

void ShareAddLocked(ShareRecord* record);

// Whether a handle of another process holds the regular file at path in a way that refuses this
// access or share mode.
bool ShareConflictsAcrossProcesses(const char* path, DWORD access, DWORD share);

// Marks the file that descriptor (just opened for the record's handle) names. Marking is best
// effort: a file that takes no locks is simply not seen by other processes.
void ShareMarkAcrossProcesses(ShareRecord* record, int descriptor);

// Takes the lock itself. The marks go when the handle's descriptors close.
void ShareRemove(ShareRecord* record);
