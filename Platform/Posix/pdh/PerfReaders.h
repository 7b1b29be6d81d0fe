// The readers of the five objects and their counters, in the order the catalogue lists them.
#pragma once

#include "Platform/Posix/pdh/PerfObjects.h"

std::vector<PerfCounterInfo> ProcessorCounters();
PerfSnapshot ReadProcessorObject();
std::vector<PerfCounterInfo> MemoryCounters();
PerfSnapshot ReadMemoryObject();
std::vector<PerfCounterInfo> SystemCounters();
PerfSnapshot ReadSystemObject();
std::vector<PerfCounterInfo> LogicalDiskCounters();
PerfSnapshot ReadLogicalDiskObject();
std::vector<PerfCounterInfo> ProcessCounters();
PerfSnapshot ReadProcessObject();
