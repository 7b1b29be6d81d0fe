#include "Platform/Posix/kernel32/FileShares.h"

#include "Platform/Posix/kernel32/Files.h"

#include <pthread.h>

namespace {

pthread_mutex_t g_shareLock = PTHREAD_MUTEX_INITIALIZER;
ShareRecord* g_openFiles = nullptr;

// An access a handle wants is refused unless the other handle shares it.
bool Refuses(DWORD access, DWORD otherShare) {
    return ((access & kShareAccessRead) != 0 && (otherShare & FILE_SHARE_READ) == 0) ||
           ((access & kShareAccessWrite) != 0 && (otherShare & FILE_SHARE_WRITE) == 0) ||
           ((access & kShareAccessDelete) != 0 && (otherShare & FILE_SHARE_DELETE) == 0);
}

} // namespace

DWORD ShareAccessOf(DWORD desiredAccess) {
    DWORD access = 0;
    if ((desiredAccess & (GENERIC_READ | GENERIC_ALL)) != 0) {
        access |= kShareAccessRead;
    }
    if ((desiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0) {
        access |= kShareAccessWrite;
    }
    if ((desiredAccess & (DELETE | GENERIC_ALL)) != 0) {
        access |= kShareAccessDelete;
    }
    return access;
}

void ShareLock() {
    pthread_mutex_lock(&g_shareLock);
}

void ShareUnlock() {
    pthread_mutex_unlock(&g_shareLock);
}

bool ShareConflictsLocked(unsigned long long device, unsigned long long inode, DWORD access,
                          DWORD share) {
    for (ShareRecord* open = g_openFiles; open != nullptr; open = open->next) {
        if (open->device != device || open->inode != inode) {
            continue;
        }
        if (Refuses(access, open->share) || Refuses(open->access, share)) {
            return true;
        }
    }
    return false;
}

void ShareAddLocked(ShareRecord* record) {
    record->previous = nullptr;
    record->next = g_openFiles;
    if (g_openFiles != nullptr) {
        g_openFiles->previous = record;
    }
    g_openFiles = record;
}

void ShareRemove(ShareRecord* record) {
    ShareLock();
    if (record->previous != nullptr) {
        record->previous->next = record->next;
    } else {
        g_openFiles = record->next;
    }
    if (record->next != nullptr) {
        record->next->previous = record->previous;
    }
    ShareUnlock();
}
