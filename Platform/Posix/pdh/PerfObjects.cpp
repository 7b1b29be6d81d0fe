#include "Platform/Posix/pdh/PerfObjects.h"

#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/pdh/PerfReaders.h"

#include <limits.h>

#include <strings.h>

namespace {

constexpr double k100nsPerSecond = 1e7;

double Delta(const PerfInstance& now, const PerfInstance& previous, size_t index) {
    return now.values[index] - previous.values[index];
}

} // namespace

const std::vector<PerfObjectInfo>& PerfObjects() {
    static const std::vector<PerfObjectInfo> objects = {
        {"Processor", ProcessorCounters(), true, ReadProcessorObject},
        {"Memory", MemoryCounters(), false, ReadMemoryObject},
        {"Process", ProcessCounters(), true, ReadProcessObject},
        {"System", SystemCounters(), false, ReadSystemObject},
        {"LogicalDisk", LogicalDiskCounters(), true, ReadLogicalDiskObject},
    };
    return objects;
}

const PerfObjectInfo* FindPerfObject(const char* name) {
    // A Windows volume is a machine that is not running: it has no performance objects, and
    // the host's figures are not its own.
    char volume[PATH_MAX];
    if (name == nullptr || WindowsVolumeFolder(volume, sizeof volume)) {
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

// A counter that went backwards (a reset, a reused pid) or an interval without time gives 0, not a
// negative or infinite rate.
bool PerfFormattedValue(const PerfObjectInfo& object, size_t index, const PerfInstance& now,
                        const PerfInstance* previous, ULONGLONG elapsed100ns, double* value) {
    if (index >= object.counters.size() || index >= now.values.size() || value == nullptr) {
        return false;
    }
    CounterKind kind = object.counters[index].kind;
    if (kind == CounterKind::Raw || kind == CounterKind::Elapsed) {
        *value = now.values[index];
        return true;
    }
    if (kind == CounterKind::RawFraction) {
        *value = now.base > 0 ? 100.0 * now.values[index] / now.base : 0.0;
        return true;
    }
    if (previous == nullptr || index >= previous->values.size()) {
        return false;
    }
    double delta = Delta(now, *previous, index);
    double span = 0;
    if (kind == CounterKind::TickPercent) {
        span = now.base - previous->base;
        delta *= 100.0;
    } else if (kind == CounterKind::TimePercent) {
        span = static_cast<double>(elapsed100ns);
        delta *= 100.0;
    } else {
        span = static_cast<double>(elapsed100ns) / k100nsPerSecond;
    }
    *value = delta > 0 && span > 0 ? delta / span : 0.0;
    return true;
}
