// What a loaded registry tree must be, whatever file it came from: every key where its parent
// lists it, in order, with the sizes that RegQueryInfoKeyA reports covering what the key holds.
#pragma once

#include "Platform/Posix/advapi32/RegistryTree.h"

#include "fuzz/FuzzSupport.h"

inline void CheckRegistryKey(const RegKey& key, unsigned depth) {
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
        CheckRegistryKey(*subkey, depth + 1);
    }
    FuzzCheck(key.subkeys.size() == key.children.size(), "every child is listed once");
}

inline void CheckRegistryTree(const RegKey& root) {
    CheckRegistryKey(root, 0);
}
