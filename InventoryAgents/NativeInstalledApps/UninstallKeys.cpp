#include "InventoryAgents/NativeInstalledApps/UninstallKeys.h"

#include "Common/DiagnosticLog.h"
#include "Common/JniSupport.h"
#include "Common/RegistryErrorLog.h"
#include "Common/ScopedResource.h"
#include "InventoryAgents/NativeInstalledApps/InstalledAppsLogSource.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"

#include <mutex>

namespace {

const char kCheckInstanceName[] =
    "Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_checkInstance";
const char kGetHandleForSubkeyName[] = "GetHandleForSubkey";

enum KeySlot { kSoftwareSlot, kMicrosoftSlot, kWindowsSlot, kCurrentVersionSlot, kUninstallSlot };
constexpr int kSlotCount = 5;

struct KeySlotInfo {
    const char* name;
    const char* operation;
    const char* failure;
};

const KeySlotInfo kKeySlots[kSlotCount] = {
    {"Software", "GetHandleForSoftwareSubkey",
     "Could not get handle for ' HKEY_LOCAL_MACHINE/Software' key."},
    {"Microsoft", "GetHandleForMicrosoftSubkey",
     "Could not get handle for ' HKEY_LOCAL_MACHINE/Software/Microsoft' key."},
    {"Windows", "GetHandleForWindowsSubkey",
     "Could not get handle for ' HKEY_LOCAL_MACHINE/Software/Microsoft/Windows' key."},
    {"CurrentVersion", "GetHandleForCurrentVersionSubkey",
     "Could not get handle for ' HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion' "
     "key."},
    {"Uninstall", "GetHandleForUninstallSubkey",
     "Could not get handle for ' "
     "HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion/Uninstall' key."},
};

HKEY InstalledAppsKeyCache[kSlotCount] = {};

// The slots are filled and closed under the lock; the users are the KeyCacheUse holders.
std::mutex g_keyCacheLock;
int g_keyCacheUsers = 0;
bool g_keyCacheCloseRequested = false;

void CloseKeyCache() {
    // Parents before children, as they were opened.
    for (HKEY& key : InstalledAppsKeyCache) {
        if (key != nullptr) {
            RegCloseKey(key);
            key = nullptr;
        }
    }
}

// A null parent fails like an open under it would, so that every slot below a failed one still
// logs its own message.
void OpenSlot(int slot) {
    const KeySlotInfo& info = kKeySlots[slot];
    HKEY parent = slot == kSoftwareSlot ? HKEY_LOCAL_MACHINE : InstalledAppsKeyCache[slot - 1];
    ScopedRegKey key;
    LONG status = parent != nullptr
                      ? RegOpenKeyExA(parent, info.name, 0, KEY_ALL_ACCESS, key.receive())
                      : static_cast<LONG>(ERROR_INVALID_HANDLE);
    if (status != ERROR_SUCCESS) {
        key.release();
        LOG_AT(kLogError, info.operation, "%s", info.failure);
        LOG_REGISTRY_ERROR(info.operation, status);
    }
    InstalledAppsKeyCache[slot] = key.release();
}

// A filled slot always has filled ancestors, so the chain resumes below the deepest filled one.
HKEY SlotHandle(int slot) {
    std::lock_guard<std::mutex> guard(g_keyCacheLock);
    if (InstalledAppsKeyCache[slot] == nullptr) {
        int first = slot;
        while (first > kSoftwareSlot && InstalledAppsKeyCache[first - 1] == nullptr) {
            --first;
        }
        for (int open = first; open <= slot; ++open) {
            OpenSlot(open);
        }
    }
    return InstalledAppsKeyCache[slot];
}

} // namespace

KeyCacheUse::KeyCacheUse() {
    std::lock_guard<std::mutex> guard(g_keyCacheLock);
    ++g_keyCacheUsers;
}

KeyCacheUse::~KeyCacheUse() {
    std::lock_guard<std::mutex> guard(g_keyCacheLock);
    if (--g_keyCacheUsers == 0 && g_keyCacheCloseRequested) {
        g_keyCacheCloseRequested = false;
        CloseKeyCache();
    }
}

HKEY GetHandleForSoftwareSubkey() {
    return SlotHandle(kSoftwareSlot);
}

HKEY GetHandleForMicrosoftSubkey() {
    return SlotHandle(kMicrosoftSlot);
}

HKEY GetHandleForWindowsSubkey() {
    return SlotHandle(kWindowsSlot);
}

HKEY GetHandleForCurrentVersionSubkey() {
    return SlotHandle(kCurrentVersionSlot);
}

HKEY GetHandleForUninstallSubkey() {
    return SlotHandle(kUninstallSlot);
}

HKEY OpenProgramSubkey(HKEY uninstall, const char* subkeyName) {
    ScopedRegKey subkey;
    LONG status = RegOpenKeyExA(uninstall, subkeyName, 0, KEY_ALL_ACCESS, subkey.receive());
    if (status != ERROR_SUCCESS || !subkey.held()) {
        LOG_AT(kLogError, kGetHandleForSubkeyName,
               "Could not successfully open handle for subkey %s", subkeyName);
        LOG_REGISTRY_ERROR(kGetHandleForSubkeyName, status);
        return nullptr;
    }
    return subkey.release();
}

HKEY GetHandleForSubkey(const char* subkeyName) {
    if (subkeyName == nullptr) {
        LOG_AT(kLogError, kGetHandleForSubkeyName, "UniqueInstance id found NULL");
        return nullptr;
    }
    KeyCacheUse use;
    HKEY uninstall = GetHandleForUninstallSubkey();
    if (uninstall == nullptr) {
        LOG_AT(kLogError, kGetHandleForSubkeyName,
               "Cann't find handle for '%s' as handle for Uninstall subkey was null.", subkeyName);
        return nullptr;
    }
    return OpenProgramSubkey(uninstall, subkeyName);
}

JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_checkInstance(
    JNIEnv* env, jobject, jstring uniqueInstanceId) {
    LOG_AT(kLogInfo, kCheckInstanceName, "Entered the method");
    if (uniqueInstanceId == nullptr) {
        LOG_AT(kLogError, kCheckInstanceName,
               "UniqueInstance id passed to native method was null.");
        return JNI_FALSE;
    }
    ScopedRegKey subkey;
    {
        // Characters the JVM refused make a null id, which GetHandleForSubkey reports itself.
        ScopedAnsiChars id(env, uniqueInstanceId);
        // No subkey the collection reported has a name outside the ANSI code page.
        if (id.unconvertible()) {
            LOG_AT(kLogError, kCheckInstanceName, "%s", kTextOutsideAnsiCodePage);
            return JNI_FALSE;
        }
        LOG_AT(kLogInfo, kCheckInstanceName,
               "Trying to find registry handle for uniqueinstance ID '%s'",
               id.chars() != nullptr ? id.chars() : "(null)");
        subkey.reset(GetHandleForSubkey(id.chars()));
    }
    if (!subkey.held()) {
        LOG_AT(kLogInfo, kCheckInstanceName, "Registry handle for uniqueInstanceId not found");
        LOG_AT(kLogInfo, kCheckInstanceName, "Exiting the method");
        return JNI_FALSE;
    }
    LOG_AT(kLogInfo, kCheckInstanceName, "Registry handle for uniqueInstanceId successfully found");
    LOG_AT(kLogInfo, kCheckInstanceName, "Exiting the method");
    return JNI_TRUE;
}

JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_releaseResources(JNIEnv*,
                                                                                    jobject) {
    std::lock_guard<std::mutex> guard(g_keyCacheLock);
    if (g_keyCacheUsers > 0) {
        g_keyCacheCloseRequested = true;
    } else {
        CloseKeyCache();
    }
    return JNI_TRUE;
}
