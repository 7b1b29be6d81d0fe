#include "Platform/Posix/advapi32/RegistryState.h"

#include "Platform/Posix/advapi32/RegistryFile.h"
#include "Platform/Posix/advapi32/RegistryHive.h"
#include "Platform/Posix/advapi32/RegistryPaths.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/common/PosixCalls.h"

#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <new>

namespace {

// Constant-initialised: usable before any static initialiser has run.
pthread_rwlock_t g_lock = PTHREAD_RWLOCK_INITIALIZER;
RegistryState* g_state = nullptr;

// The keys a file loads into (HKEY_LOCAL_MACHINE, a user's key) hold no time of their own in it:
// they were last written when the file was, which every process that reads the file agrees on.
ULONGLONG FileSavedTime(const char* path) {
    struct stat info;
    return PosixStat(path, &info) == 0 ? RegistryTimeOf(info.st_mtim) : RegistryNow();
}

void LoadPrefixFile(RegistryState& state, const char* prefix, const char* file,
                    const char16_t* basePath) {
    char path[PATH_MAX];
    int written = snprintf(path, sizeof path, "%s/%s", prefix, file);
    RegKey* base = CreatePath(*state.root, *state.root, basePath, FileSavedTime(path));
    if (base != nullptr && written > 0 && static_cast<size_t>(written) < sizeof path) {
        RegistryLoadFile(path, *base, *state.root);
    }
}

RegistryState* BuildState(RegistryState* state) {
    ULONGLONG now = RegistryNow();
    state->root = RegKeyNew(u"", now);
    state->performance = RegKeyNew(u"PerfData", now);
    CreatePath(*state->root, *state->root, u"DynData", now);
    char volume[PATH_MAX];
    char resolved[PATH_MAX];
    if (WindowsVolumeFolder(volume, sizeof volume)) {
        state->readOnly = true;
        // A volume that is not there has no hives: every key below the roots is missing.
        if (realpath(volume, resolved) != nullptr) {
            RegistryLoadVolume(resolved, *state->root, &state->currentUser);
        } else {
            CreatePath(*state->root, *state->root, u"Machine", now);
            CreatePath(*state->root, *state->root, u"User\\.DEFAULT", now);
            state->currentUser = u"User\\.DEFAULT";
        }
        return state;
    }
    char prefix[PATH_MAX];
    bool hasPrefix = WinePrefixFolder(prefix, sizeof prefix);
    if (hasPrefix) {
        LoadPrefixFile(*state, prefix, "system.reg", u"Machine");
        LoadPrefixFile(*state, prefix, "userdef.reg", u"User\\.Default");
        LoadPrefixFile(*state, prefix, "user.reg", kCurrentUserPath);
    } else {
        CreatePath(*state->root, *state->root, u"Machine", now);
        CreatePath(*state->root, *state->root, kCurrentUserPath, now);
    }
    return state;
}

// Null when memory runs out; the lock is held, so nothing may be thrown past the caller.
RegistryState* LoadState() noexcept {
    RegistryState* state = new (std::nothrow) RegistryState;
    if (state == nullptr) {
        return nullptr;
    }
    try {
        return BuildState(state);
    } catch (...) {
        if (state->root != nullptr) {
            RegMarkTreeDeleted(*state->root);
        }
        delete state;
        return nullptr;
    }
}

void DropState() {
    if (g_state != nullptr) {
        RegMarkTreeDeleted(*g_state->root);
        delete g_state;
        g_state = nullptr;
    }
}

void Lock(bool write) {
    if (write) {
        pthread_rwlock_wrlock(&g_lock);
    } else {
        pthread_rwlock_rdlock(&g_lock);
    }
}

} // namespace

RegistryLock::RegistryLock(bool write) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Lock(write);
        if (g_state != nullptr) {
            return;
        }
        pthread_rwlock_unlock(&g_lock);
        Lock(true);
        if (g_state == nullptr) {
            g_state = LoadState();
        }
        pthread_rwlock_unlock(&g_lock);
    }
    Lock(write);
}

RegistryLock::~RegistryLock() {
    pthread_rwlock_unlock(&g_lock);
}

RegistryState* RegistryLock::State() const {
    return g_state;
}

void RegistryResetForTests() {
    pthread_rwlock_wrlock(&g_lock);
    DropState();
    pthread_rwlock_unlock(&g_lock);
}
