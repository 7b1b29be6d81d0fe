// The performance objects the layer's PDH serves, read from this host's /proc (under the layer's
// proc root) and statfs: each object's English name and counters as Windows spells them, and a
// reader that takes one snapshot of the object's sources, shared by every counter of a collection.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"
#include "Platform/Posix/common/Win32Types.h"

#include <string>
#include <vector>

// How a formatted value comes from the raw values of two samples.
enum class CounterKind {
    Raw,         // the value as read
    RawFraction, // 100 * value / base of one sample (LogicalDisk % Free Space)
    Rate,        // delta(value) / delta(seconds); needs two samples
    TickPercent, // 100 * delta(value) / delta(base), ticks of the instance's own time (Processor)
    TimePercent, // 100 * delta(value in 100ns) / delta(time in 100ns); needs two samples (Process)
    Elapsed,     // seconds up to the sample time, worked out when the sample is read
};

struct PerfCounterInfo {
    const char* name;
    CounterKind kind;
};

// values[i] belongs to counters[i] of the object; `base` is the denominator of the instance's
// TickPercent and RawFraction counters (a processor's total ticks, a disk's size in blocks).
struct PerfInstance {
    std::string name;
    std::string parent;
    std::vector<double> values;
    double base = 0;
};

struct PerfSnapshot {
    bool ok;
    ULONGLONG time100ns; // a monotonic sample time, for rates
    std::vector<PerfInstance> instances;
};

struct PerfObjectInfo {
    const char* name; // "Processor", "Memory", "Process", "System", "LogicalDisk"
    std::vector<PerfCounterInfo> counters;
    bool hasInstances;      // Memory and System have none: their one instance has an empty name
    PerfSnapshot (*read)(); // one read of the object's sources
};

const std::vector<PerfObjectInfo>& PerfObjects();

// Case-insensitive, as PDH matches object names; null when there is no such object.
const PerfObjectInfo* FindPerfObject(const char* name);

// The index of a counter of `object` by name, case-insensitive; -1 when it has none.
int FindPerfCounter(const PerfObjectInfo& object, const char* name);

// The formatted value of counter `index` of `instance` from two snapshots (previous may be null
// for a first collection): false when it needs two collections (a rate) and there is one.
bool PerfFormattedValue(const PerfObjectInfo& object, size_t index, const PerfInstance& now,
                        const PerfInstance* previous, ULONGLONG elapsed100ns, double* value);
