// A whole hive file (regf) through the layer's libregf adapter, below HKEY_LOCAL_MACHINE's place
// in a fresh tree, and the tree it leaves (RegistryTreeCheck.h). libregf reads from a path, so
// the input is handed over as an anonymous file.
#include "Platform/Posix/advapi32/RegistryHive.h"
#include "Platform/Posix/advapi32/RegistryPaths.h"

#include "fuzz/FuzzSupport.h"
#include "fuzz/RegistryTreeCheck.h"

#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int descriptor = memfd_create("hive", MFD_CLOEXEC);
    FuzzCheck(descriptor >= 0, "an anonymous file for the hive");
    FuzzCheck(write(descriptor, data, size) == static_cast<ssize_t>(size), "the hive written");
    char path[64];
    snprintf(path, sizeof path, "/proc/self/fd/%d", descriptor);
    ULONGLONG now = RegistryNow();
    RegKeyPtr root = RegKeyNew(u"", now);
    RegKey* machine = CreatePath(*root, *root, u"Machine", now);
    FuzzCheck(machine != nullptr, "an empty tree takes the machine key");
    RegistryLoadHive(path, *machine);
    CheckRegistryTree(*root);
    close(descriptor);
    return 0;
}
