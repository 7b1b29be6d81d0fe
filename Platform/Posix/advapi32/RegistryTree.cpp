#include "Platform/Posix/advapi32/RegistryTree.h"

#include "Platform/Posix/common/Utf16Text.h"

#include <string.h>
#include <time.h>

#include <algorithm>
#include <iterator>

const char16_t kSymbolicLinkValueName[] = u"SymbolicLinkValue";

namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000ULL;

size_t Larger(size_t a, size_t b) {
    return a > b ? a : b;
}

// After a removal the maxima may shrink: only then are they counted again.
void RecountSubkeyMaxima(RegKey& key) {
    key.maxSubkeyName = 0;
    key.maxSubkeyClass = 0;
    for (const RegKey* subkey : key.subkeys) {
        key.maxSubkeyName = Larger(key.maxSubkeyName, subkey->name.size());
        key.maxSubkeyClass = Larger(key.maxSubkeyClass, subkey->className.size());
    }
}

void RecountValueMaxima(RegKey& key) {
    key.maxValueName = 0;
    key.maxValueData = 0;
    for (const RegValue& value : key.values) {
        key.maxValueName = Larger(key.maxValueName, value.name.size());
        key.maxValueData = Larger(key.maxValueData, value.data.size());
    }
}
// Below this many values a scan finds a name as quickly as an index would, and costs no memory.
constexpr size_t kIndexedValueCount = 32;

void IndexValues(RegKey& key) {
    key.valueIndex.clear();
    if (key.values.size() < kIndexedValueCount) {
        return;
    }
    key.valueIndex.reserve(key.values.size());
    for (size_t i = 0; i < key.values.size(); ++i) {
        key.valueIndex.emplace(key.values[i].folded, i);
    }
}

// A value appended last: indexed with the others, or the index made once there are enough.
void IndexAppendedValue(RegKey& key) {
    if (!key.valueIndex.empty()) {
        key.valueIndex.emplace(key.values.back().folded, key.values.size() - 1);
    } else if (key.values.size() >= kIndexedValueCount) {
        IndexValues(key);
    }
}
constexpr ULONGLONG kSecondsFrom1601To1970 = 11644473600ULL;
constexpr int kMaxLinkHops = 16;

// Windows orders names by their upper-case forms, unit by unit, a shorter prefix first.
bool FoldedLess(const std::u16string& a, const std::u16string& b) {
    return a < b;
}

RegKey* FollowLinkHops(RegKey& registryRoot, RegKey* key, int hops);

// "\Registry\Machine\..." to the key it names, links on the way followed.
RegKey* ResolveLinkTarget(RegKey& registryRoot, const std::u16string& target, int hops) {
    static const std::u16string kRootPrefix = u"\\REGISTRY\\";
    if (target.size() <= kRootPrefix.size() ||
        UpcaseName(target.substr(0, kRootPrefix.size())) != kRootPrefix) {
        return nullptr;
    }
    std::u16string path = target.substr(kRootPrefix.size());
    RegKey* key = &registryRoot;
    size_t position = 0;
    std::u16string token;
    while (key != nullptr && RegNextPathToken(path, &position, &token)) {
        size_t index = 0;
        key = RegFindSubkey(*key, UpcaseName(token), &index);
        if (key != nullptr) {
            key = FollowLinkHops(registryRoot, key, hops + 1);
        }
    }
    return key;
}

RegKey* FollowLinkHops(RegKey& registryRoot, RegKey* key, int hops) {
    if (!key->isLink) {
        return key;
    }
    if (hops > kMaxLinkHops) {
        return nullptr;
    }
    RegValue* link = RegFindValue(*key, UpcaseName(kSymbolicLinkValueName));
    if (link == nullptr) {
        return nullptr;
    }
    std::u16string target(link->data.size() / 2, u'\0');
    if (!target.empty()) {
        memcpy(&target[0], link->data.data(), target.size() * 2);
    }
    return ResolveLinkTarget(registryRoot, target, hops);
}

} // namespace

ULONGLONG RegistryNow() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return RegistryTimeOf(now);
}

ULONGLONG RegistryTimeOf(const struct timespec& time) {
    ULONGLONG seconds = static_cast<ULONGLONG>(time.tv_sec) + kSecondsFrom1601To1970;
    return seconds * kTicksPerSecond + static_cast<ULONGLONG>(time.tv_nsec) / 100;
}

RegKeyPtr RegKeyNew(const std::u16string& name, ULONGLONG lastWrite) {
    RegKeyPtr key = std::make_shared<RegKey>();
    key->name = name;
    key->folded = UpcaseName(name);
    key->lastWrite = lastWrite;
    return key;
}

RegKey* RegFindSubkey(const RegKey& key, const std::u16string& folded, size_t* index) {
    size_t low = 0;
    size_t high = key.subkeys.size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        const std::u16string& candidate = key.subkeys[middle]->folded;
        if (FoldedLess(candidate, folded)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    *index = low;
    bool found = low < key.subkeys.size() && key.subkeys[low]->folded == folded;
    return found ? key.subkeys[low] : nullptr;
}

RegKey* RegAddUnlistedSubkey(RegKey& parent, const std::u16string& name, ULONGLONG lastWrite) {
    if (RegKeyDepth(parent) + 1 > kMaxKeyDepth) {
        return nullptr;
    }
    RegKeyPtr key = RegKeyNew(name, lastWrite);
    key->parent = &parent;
    key->childSlot = parent.children.size();
    parent.children.push_back(key);
    parent.maxSubkeyName = Larger(parent.maxSubkeyName, name.size());
    return key.get();
}

RegKey* RegInsertSubkey(RegKey& parent, size_t index, const std::u16string& name,
                        ULONGLONG lastWrite) {
    RegKey* key = RegAddUnlistedSubkey(parent, name, lastWrite);
    if (key != nullptr) {
        parent.subkeys.insert(parent.subkeys.begin() + static_cast<ptrdiff_t>(index), key);
    }
    return key;
}

void RegListSubkeys(RegKey& parent, const std::vector<RegKey*>& added) {
    std::vector<RegKey*> merged;
    merged.reserve(parent.subkeys.size() + added.size());
    std::merge(parent.subkeys.begin(), parent.subkeys.end(), added.begin(), added.end(),
               std::back_inserter(merged),
               [](const RegKey* a, const RegKey* b) { return FoldedLess(a->folded, b->folded); });
    parent.subkeys.swap(merged);
    RecountSubkeyMaxima(parent);
}

void RegRemoveSubkey(RegKey& parent, size_t index) {
    RegKey& key = *parent.subkeys[index];
    key.deleted = true;
    key.parent = nullptr;
    parent.subkeys.erase(parent.subkeys.begin() + static_cast<ptrdiff_t>(index));
    // The last child takes the freed slot; open handles keep the removed key alive.
    size_t slot = key.childSlot;
    RegKeyPtr removed = parent.children[slot];
    parent.children[slot] = parent.children.back();
    parent.children[slot]->childSlot = slot;
    parent.children.pop_back();
    RecountSubkeyMaxima(parent);
}

void RegSetClass(RegKey& key, const std::u16string& className) {
    size_t previous = key.className.size();
    key.className = className;
    if (key.parent == nullptr) {
        return;
    }
    // Only a class that shrank can lower the parent's maximum: a load that gives each of a
    // million keys its class would otherwise count all their siblings a million times.
    if (className.size() >= previous) {
        key.parent->maxSubkeyClass = Larger(key.parent->maxSubkeyClass, className.size());
    } else {
        RecountSubkeyMaxima(*key.parent);
    }
}

void RegMarkTreeDeleted(RegKey& key) {
    // Iterative: a deep tree must not exhaust the stack.
    std::vector<RegKey*> pending{&key};
    while (!pending.empty()) {
        RegKey* current = pending.back();
        pending.pop_back();
        current->deleted = true;
        current->parent = nullptr;
        for (RegKey* subkey : current->subkeys) {
            pending.push_back(subkey);
        }
    }
}

RegValue* RegFindValue(RegKey& key, const std::u16string& folded) {
    if (!key.valueIndex.empty()) {
        auto found = key.valueIndex.find(folded);
        return found != key.valueIndex.end() ? &key.values[found->second] : nullptr;
    }
    for (RegValue& value : key.values) {
        if (value.folded == folded) {
            return &value;
        }
    }
    return nullptr;
}

bool RegStoreValue(RegKey& key, const std::u16string& name, DWORD type, const BYTE* data,
                   size_t size) {
    return RegStoreValue(key, name, type, std::vector<BYTE>(data, data + size));
}

bool RegStoreValue(RegKey& key, const std::u16string& name, DWORD type, std::vector<BYTE>&& data) {
    std::u16string folded = UpcaseName(name);
    RegValue* value = RegFindValue(key, folded);
    size_t size = data.size();
    if (value != nullptr && value->type == type && value->data == data) {
        return false;
    }
    if (value == nullptr) {
        key.values.emplace_back();
        value = &key.values.back();
        value->name = name;
        value->folded = folded;
        IndexAppendedValue(key);
    }
    size_t previousSize = value->data.size();
    value->type = type;
    value->data = std::move(data);
    if (size < previousSize && previousSize == key.maxValueData) {
        RecountValueMaxima(key);
    } else {
        key.maxValueName = Larger(key.maxValueName, name.size());
        key.maxValueData = Larger(key.maxValueData, size);
    }
    return true;
}

bool RegDeleteValueNamed(RegKey& key, const std::u16string& folded) {
    RegValue* found = RegFindValue(key, folded);
    if (found == nullptr) {
        return false;
    }
    key.values.erase(key.values.begin() + (found - key.values.data()));
    IndexValues(key);
    RecountValueMaxima(key);
    return true;
}

unsigned RegKeyDepth(const RegKey& key) {
    unsigned depth = 0;
    for (const RegKey* current = key.parent; current != nullptr; current = current->parent) {
        ++depth;
    }
    return depth;
}

bool RegNextPathToken(const std::u16string& path, size_t* position, std::u16string* token) {
    size_t start = *position;
    while (start < path.size() && path[start] == u'\\') {
        ++start;
    }
    if (start >= path.size()) {
        *position = start;
        return false;
    }
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) {
        end = path.size();
    }
    token->assign(path, start, end - start);
    *position = end;
    return true;
}

RegKey* RegFollowLink(RegKey& registryRoot, RegKey* key) {
    return FollowLinkHops(registryRoot, key, 0);
}
