#include "Platform/Posix/pdh/PerfObjects.h"

#include <strings.h>

namespace {

PerfSnapshot EmptySnapshot() {
    return PerfSnapshot{true, 0, {}};
}

} // namespace

const std::vector<PerfObjectInfo>& PerfObjects() {
    static const std::vector<PerfObjectInfo> objects = {
        {"Processor", {}, true, EmptySnapshot},   {"Memory", {}, false, EmptySnapshot},
        {"Process", {}, true, EmptySnapshot},     {"System", {}, false, EmptySnapshot},
        {"LogicalDisk", {}, true, EmptySnapshot},
    };
    return objects;
}

const PerfObjectInfo* FindPerfObject(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (const PerfObjectInfo& object : PerfObjects()) {
        if (strcasecmp(object.name, name) == 0) {
            return &object;
        }
    }
    return nullptr;
}

int FindPerfCounter(const PerfObjectInfo& object, const char* name) {
    if (name == nullptr) {
        return -1;
    }
    for (size_t i = 0; i < object.counters.size(); ++i) {
        if (strcasecmp(object.counters[i].name, name) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool PerfFormattedValue(const PerfObjectInfo&, size_t, const PerfInstance&, const PerfInstance*,
                        ULONGLONG, double*) {
    return false;
}
