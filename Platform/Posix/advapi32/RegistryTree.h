// The registry's in-memory tree: keys with case-preserving names, subkeys kept sorted as Windows
// enumerates them, values in the order they were first set. Callers hold the registry lock.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

#include <time.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct RegValue {
    std::u16string name;
    std::u16string folded; // upper-case name: the lookup key
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct RegKey : std::enable_shared_from_this<RegKey> {
    std::u16string name;
    std::u16string folded;
    RegKey* parent = nullptr; // null for the tree's root and for deleted keys
    // Sorted by folded name; plain pointers, so that an insertion moves them as one block.
    std::vector<RegKey*> subkeys;
    // Owns the subkeys, in no order; childSlot is a key's place in its parent's list.
    std::vector<std::shared_ptr<RegKey>> children;
    size_t childSlot = 0;
    std::vector<RegValue> values;
    // Folded name to place in values, kept only while the key holds many values: a key of
    // thousands of values would otherwise make each lookup, and so each read, a walk over them.
    std::unordered_map<std::u16string, size_t> valueIndex;
    std::u16string className;
    // What RegQueryInfoKeyA reports, kept up to date by every change below (under the registry's
    // write lock), so that a query costs the same however many subkeys and values the key holds.
    size_t maxSubkeyName = 0;
    size_t maxSubkeyClass = 0;
    size_t maxValueName = 0;
    size_t maxValueData = 0;
    ULONGLONG lastWrite = 0; // FILETIME ticks
    bool isLink = false;
    bool deleted = false;
};

using RegKeyPtr = std::shared_ptr<RegKey>;

// Windows' limits: a key name of 255 units, a value name of 16,383, 512 levels of keys.
constexpr size_t kMaxKeyNameUnits = 255;
constexpr size_t kMaxValueNameUnits = 16383;
constexpr unsigned kMaxKeyDepth = 512;

// The link value that names a link key's target, "\Registry\..." in UTF-16.
extern const char16_t kSymbolicLinkValueName[];

// Now, and a POSIX time, as a FILETIME count of 100 ns ticks since 1601.
ULONGLONG RegistryNow();
ULONGLONG RegistryTimeOf(const struct timespec& time);

RegKeyPtr RegKeyNew(const std::u16string& name, ULONGLONG lastWrite);

// The subkey of that name, or null with *index at the place where it would be inserted.
RegKey* RegFindSubkey(const RegKey& key, const std::u16string& folded, size_t* index);

// Adds a subkey at index (as RegFindSubkey gave it); null beyond the depth limit.
RegKey* RegInsertSubkey(RegKey& parent, size_t index, const std::u16string& name,
                        ULONGLONG lastWrite);

// For a loader that adds keys in any order: a subkey that the parent owns but does not yet list,
// and, later, such subkeys (sorted by folded name, none of them listed yet) merged into the
// parent's sorted list at once. Until then lookups and enumerations do not see them.
RegKey* RegAddUnlistedSubkey(RegKey& parent, const std::u16string& name, ULONGLONG lastWrite);
void RegListSubkeys(RegKey& parent, const std::vector<RegKey*>& added);

// Unlinks the subkey at index and marks it deleted; open handles keep it alive.
void RegRemoveSubkey(RegKey& parent, size_t index);

// Sets a key's class, which its parent's maxima count.
void RegSetClass(RegKey& key, const std::u16string& className);

// Marks a whole tree deleted and cuts its parent links, for a tree that is being dropped.
void RegMarkTreeDeleted(RegKey& key);

RegValue* RegFindValue(RegKey& key, const std::u16string& folded);

// Sets or replaces a value; new names go last. False when the data was identical already.
bool RegStoreValue(RegKey& key, const std::u16string& name, DWORD type, const BYTE* data,
                   size_t size);
// The same for data the caller gives up, which is kept without a copy.
bool RegStoreValue(RegKey& key, const std::u16string& name, DWORD type, std::vector<BYTE>&& data);

bool RegDeleteValueNamed(RegKey& key, const std::u16string& folded);

unsigned RegKeyDepth(const RegKey& key);

// The next path element starting at *position: backslash runs between elements are skipped.
// Returns false at the end of the path.
bool RegNextPathToken(const std::u16string& path, size_t* position, std::u16string* token);

// Where a link key leads, looked up from the registry root; the key itself when it is no link;
// null for a link whose target is missing or that loops.
RegKey* RegFollowLink(RegKey& registryRoot, RegKey* key);
