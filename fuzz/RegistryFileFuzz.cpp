// The registry text loader over a whole file, below HKEY_LOCAL_MACHINE's place in a fresh tree,
// and the tree it leaves (RegistryTreeCheck.h).
#include "Platform/Posix/advapi32/RegistryFile.h"
#include "Platform/Posix/advapi32/RegistryPaths.h"

#include "fuzz/FuzzSupport.h"
#include "fuzz/RegistryTreeCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ULONGLONG now = RegistryNow();
    RegKeyPtr root = RegKeyNew(u"", now);
    RegKey* machine = CreatePath(*root, *root, u"Machine", now);
    FuzzCheck(machine != nullptr, "an empty tree takes the machine key");
    RegistryLoadText(reinterpret_cast<const char*>(data), size, *machine, *root);
    CheckRegistryTree(*root);
    return 0;
}
