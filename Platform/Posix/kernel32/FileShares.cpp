#include "Platform/Posix/kernel32/FileShares.h"

#include "Platform/Posix/kernel32/Files.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

std::mutex g_shareLock;
ShareRecord* g_openFiles = nullptr;

// An access a handle wants is refused unless the other handle shares it.
bool Refuses(DWORD access, DWORD otherShare) {
    return ((access & kShareAccessRead) != 0 && (otherShare & FILE_SHARE_READ) == 0) ||
           ((access & kShareAccessWrite) != 0 && (otherShare & FILE_SHARE_WRITE) == 0) ||
           ((access & kShareAccessDelete) != 0 && (otherShare & FILE_SHARE_DELETE) == 0);
}

constexpr DWORD kShareAccessKinds[] = {kShareAccessRead, kShareAccessWrite, kShareAccessDelete};
constexpr DWORD kShareModeOfKind[] = {FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_DELETE};
constexpr int kKindCount = 3;

// The byte a handle marks when it holds access of one kind, and when it refuses to share it.
long long HeldMark(int kind) {
    return kShareMarkBase + kind;
}
long long RefusedMark(int kind) {
    return kShareMarkBase + kKindCount + kind;
}

// Another open file description marks the byte. A process-associated (classic) lock over it is
// someone's own locking of the whole file, not a mark.
bool MarkedElsewhere(int descriptor, long long byte) {
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = byte;
    probe.l_len = 1;
    if (fcntl(descriptor, F_OFD_GETLK, &probe) != 0) {
        return false;
    }
    return probe.l_type != F_UNLCK && probe.l_pid == -1;
}

void Mark(int descriptor, long long byte) {
    struct flock mark = {};
    mark.l_type = F_RDLCK;
    mark.l_whence = SEEK_SET;
    mark.l_start = byte;
    mark.l_len = 1;
    fcntl(descriptor, F_OFD_SETLK, &mark);
}

bool Readable(int descriptor) {
    int flags = fcntl(descriptor, F_GETFL);
    return flags >= 0 && (flags & O_ACCMODE) != O_WRONLY;
}

} // namespace

DWORD ShareAccessOf(DWORD desiredAccess) {
    DWORD access = 0;
    if ((desiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0) {
        access |= kShareAccessRead;
    }
    if ((desiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0) {
        access |= kShareAccessWrite;
    }
    if ((desiredAccess & (DELETE | GENERIC_ALL)) != 0) {
        access |= kShareAccessDelete;
    }
    return access;
}

std::mutex& ShareTableLock() {
    return g_shareLock;
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

// Raw open and close: a look that cannot be made refuses nothing, and the fault plan's counts
// stay those of the calls a Win32 function makes on what it names.
bool ShareConflictsAcrossProcesses(const char* path, DWORD access, DWORD share) {
    int descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        return false;
    }
    bool conflicts = false;
    for (int kind = 0; kind < kKindCount && !conflicts; ++kind) {
        conflicts =
            ((access & kShareAccessKinds[kind]) != 0 &&
             MarkedElsewhere(descriptor, RefusedMark(kind))) ||
            ((share & kShareModeOfKind[kind]) == 0 && MarkedElsewhere(descriptor, HeldMark(kind)));
    }
    close(descriptor);
    return conflicts;
}

void ShareMarkAcrossProcesses(ShareRecord* record, int descriptor) {
    record->markDescriptor = -1;
    int marking = descriptor;
    if (!Readable(descriptor)) {
        // A shared lock needs a descriptor open for reading; the handle's own may not be.
        char self[32];
        snprintf(self, sizeof self, "/proc/self/fd/%d", descriptor);
        record->markDescriptor = open(self, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        marking = record->markDescriptor;
        if (marking < 0) {
            return;
        }
    }
    for (int kind = 0; kind < kKindCount; ++kind) {
        if ((record->access & kShareAccessKinds[kind]) != 0) {
            Mark(marking, HeldMark(kind));
        }
        if ((record->share & kShareModeOfKind[kind]) == 0) {
            Mark(marking, RefusedMark(kind));
        }
    }
}

void ShareRemove(ShareRecord* record) {
    if (record->markDescriptor >= 0) {
        close(record->markDescriptor);
        record->markDescriptor = -1;
    }
    std::lock_guard<std::mutex> guard(g_shareLock);
    if (record->previous != nullptr) {
        record->previous->next = record->next;
    } else {
        g_openFiles = record->next;
    }
    if (record->next != nullptr) {
        record->next->previous = record->previous;
    }
}
