// The registry text loader over a whole file, below HKEY_LOCAL_MACHINE's place in a fresh tree,
// and the tree it leaves: every key where its parent lists it, in order, with the sizes that
// RegQueryInfoKeyA reports covering what the key holds.
#include "Platform/Posix/advapi32/RegistryFile.h"
#include "Platform/Posix/advapi32/RegistryPaths.h"

#include "fuzz/FuzzSupport.h"

namespace {

void CheckKey(const RegKey& key, unsigned depth) {
    FuzzCheck(depth <= kMaxKeyDepth + 2, "keys stay within the depth limit");
    for (const RegValue& value : key.values) {
        FuzzCheck(value.name.size() <= key.maxValueName, "longest value name covers every name");
        FuzzCheck(value.data.size() <= key.maxValueData, "largest value covers every value");
    }
    const RegKey* previous = nullptr;
    for (const RegKey* subkey : key.subkeys) {
        FuzzCheck(subkey->parent == &key, "a listed subkey knows its parent");
        FuzzCheck(subkey->name.size() <= key.maxSubkeyName, "longest key name covers every name");
        FuzzCheck(previous == nullptr || previous->folded < subkey->folded,
                  "subkeys are sorted and unique");
        previous = subkey;
        CheckKey(*subkey, depth + 1);
    }
    FuzzCheck(key.subkeys.size() == key.children.size(), "every child is listed once");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ULONGLONG now = RegistryNow();
    RegKeyPtr root = RegKeyNew(u"", now);
    RegKey* machine = CreatePath(*root, *root, u"Machine", now);
    FuzzCheck(machine != nullptr, "an empty tree takes the machine key");
    RegistryLoadText(reinterpret_cast<const char*>(data), size, *machine, *root);
    CheckKey(*root, 0);
    return 0;
}
