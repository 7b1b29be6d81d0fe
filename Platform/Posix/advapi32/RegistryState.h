// The registry's one tree and the lock that guards it. The tree is built at first use from the
// registry files of the machine image and dropped whole by a reset.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/RegistryTree.h"

// Wine's user: HKEY_CURRENT_USER is this key of HKEY_USERS.
inline constexpr char16_t kCurrentUserPath[] = u"User\\S-1-5-21-0-0-0-1000";

struct RegistryState {
    RegKeyPtr root;
    RegKeyPtr performance; // HKEY_PERFORMANCE_*: no real key, always empty
    // The key HKEY_CURRENT_USER stands for, below root.
    std::u16string currentUser = kCurrentUserPath;
    // A Windows volume's registry is read from its hive files and never written.
    bool readOnly = false;
};

// Holds the registry lock for one call, loading the tree first if it is not there.
class RegistryLock {
  public:
    explicit RegistryLock(bool write);
    ~RegistryLock();
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

    // Null only when the tree could not be built.
    RegistryState* State() const;
};
