// Processor, Memory, System and LogicalDisk: the host-wide objects, each from one read of its
// /proc files (or one statfs per drive).
#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/pdh/PerfReaders.h"
#include "Platform/Posix/pdh/ProcText.h"

#include <ctype.h>
#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statfs.h>

namespace {

constexpr double kKibibyte = 1024.0;
constexpr double kMebibyte = 1024.0 * 1024.0;

PerfSnapshot FailedSnapshot() {
    return PerfSnapshot{false, PerfSampleTime100ns(), {}};
}

double FieldNumber(const std::vector<std::string>& fields, size_t index) {
    return index < fields.size() ? strtod(fields[index].c_str(), nullptr) : 0.0;
}

// A cpu line's ticks: user nice system idle iowait irq softirq steal (guest time is already in
// user). Waiting for I/O is idle time, as Windows counts a processor waiting on a disk.
PerfInstance ProcessorInstance(const std::string& name, const std::vector<std::string>& fields,
                               double interrupts) {
    double user = FieldNumber(fields, 1) + FieldNumber(fields, 2);
    double privileged = FieldNumber(fields, 3) + FieldNumber(fields, 6) + FieldNumber(fields, 7);
    double idle = FieldNumber(fields, 4) + FieldNumber(fields, 5);
    double total = user + privileged + idle + FieldNumber(fields, 8);
    PerfInstance instance;
    instance.name = name;
    instance.values = {total - idle, user, privileged, idle, interrupts};
    instance.base = total;
    return instance;
}

// Each processor's interrupts from /proc/interrupts: the per-processor columns of every line.
std::vector<double> InterruptsPerProcessor(size_t processors) {
    std::vector<double> counts(processors, 0.0);
    std::string text;
    if (!ReadProcText("interrupts", &text)) {
        return counts;
    }
    std::vector<std::string> lines = ProcLines(text);
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> fields = ProcFields(lines[i]);
        for (size_t cpu = 0; cpu < processors && cpu + 1 < fields.size(); ++cpu) {
            const std::string& field = fields[cpu + 1];
            if (field.empty() || !isdigit(static_cast<unsigned char>(field[0]))) {
                break;
            }
            counts[cpu] += strtod(field.c_str(), nullptr);
        }
    }
    return counts;
}

bool IsProcessorLine(const std::vector<std::string>& fields) {
    return !fields.empty() && fields[0].compare(0, 3, "cpu") == 0;
}

} // namespace

std::vector<PerfCounterInfo> ProcessorCounters() {
    return {{"% Processor Time", CounterKind::TickPercent},
            {"% User Time", CounterKind::TickPercent},
            {"% Privileged Time", CounterKind::TickPercent},
            {"% Idle Time", CounterKind::TickPercent},
            {"Interrupts/sec", CounterKind::Rate}};
}

// Instances 0 … n-1, then _Total from the summary line; interrupts of _Total are /proc/stat's
// intr total, which also holds those no processor column shows.
PerfSnapshot ReadProcessorObject() {
    std::string text;
    if (!ReadProcText("stat", &text)) {
        return FailedSnapshot();
    }
    PerfSnapshot snapshot{true, PerfSampleTime100ns(), {}};
    std::vector<std::vector<std::string>> processorLines;
    std::vector<std::string> totalLine;
    double totalInterrupts = 0;
    for (const std::string& line : ProcLines(text)) {
        std::vector<std::string> fields = ProcFields(line);
        if (IsProcessorLine(fields) && fields[0] == "cpu") {
            totalLine = fields;
        } else if (IsProcessorLine(fields)) {
            processorLines.push_back(fields);
        } else if (!fields.empty() && fields[0] == "intr") {
            totalInterrupts = FieldNumber(fields, 1);
        }
    }
    if (totalLine.empty()) {
        return FailedSnapshot();
    }
    std::vector<double> interrupts = InterruptsPerProcessor(processorLines.size());
    for (size_t i = 0; i < processorLines.size(); ++i) {
        snapshot.instances.push_back(
            ProcessorInstance(processorLines[i][0].substr(3), processorLines[i], interrupts[i]));
    }
    snapshot.instances.push_back(ProcessorInstance("_Total", totalLine, totalInterrupts));
    return snapshot;
}

std::vector<PerfCounterInfo> MemoryCounters() {
    return {{"Available Bytes", CounterKind::Raw}, {"Available MBytes", CounterKind::Raw},
            {"Committed Bytes", CounterKind::Raw}, {"Commit Limit", CounterKind::Raw},
            {"Pages/sec", CounterKind::Rate},      {"Cache Bytes", CounterKind::Raw}};
}

// Commit Limit is memory plus swap, as Windows' is memory plus paging files (not Linux's
// CommitLimit, which depends on the overcommit ratio). Pages/sec counts the pages read to resolve
// hard faults (major faults) and written to swap: vmstat's pgmajfault + pswpout.
PerfSnapshot ReadMemoryObject() {
    std::string meminfo;
    if (!ReadProcText("meminfo", &meminfo)) {
        return FailedSnapshot();
    }
    std::string vmstat;
    ReadProcText("vmstat", &vmstat);
    double available = 0, committed = 0, total = 0, swap = 0, cached = 0, buffers = 0;
    double majorFaults = 0, swappedOut = 0;
    if (!ProcKeyValue(meminfo, "MemAvailable", &available) &&
        !ProcKeyValue(meminfo, "MemFree", &available)) {
        return FailedSnapshot();
    }
    ProcKeyValue(meminfo, "Committed_AS", &committed);
    ProcKeyValue(meminfo, "MemTotal", &total);
    ProcKeyValue(meminfo, "SwapTotal", &swap);
    ProcKeyValue(meminfo, "Cached", &cached);
    ProcKeyValue(meminfo, "Buffers", &buffers);
    ProcKeyValue(vmstat, "pgmajfault", &majorFaults);
    ProcKeyValue(vmstat, "pswpout", &swappedOut);
    PerfInstance instance;
    instance.values = {available * kKibibyte,
                       static_cast<double>(static_cast<ULONGLONG>(available / kKibibyte)),
                       committed * kKibibyte,
                       (total + swap) * kKibibyte,
                       majorFaults + swappedOut,
                       (cached + buffers) * kKibibyte};
    return PerfSnapshot{true, PerfSampleTime100ns(), {instance}};
}

std::vector<PerfCounterInfo> SystemCounters() {
    return {{"Processes", CounterKind::Raw},
            {"Threads", CounterKind::Raw},
            {"System Up Time", CounterKind::Elapsed},
            {"Context Switches/sec", CounterKind::Rate},
            {"Processor Queue Length", CounterKind::Raw}};
}

namespace {

bool IsProcessFolderName(const char* name) {
    if (name[0] == '\0') {
        return false;
    }
    for (const char* c = name; *c != '\0'; ++c) {
        if (!isdigit(static_cast<unsigned char>(*c))) {
            return false;
        }
    }
    return true;
}

double CountProcesses() {
    char root[kPathCapacity];
    if (!ProcPath("", root, sizeof(root))) {
        return 0;
    }
    DIR* folder = PosixOpendir(root);
    if (folder == nullptr) {
        return 0;
    }
    double count = 0;
    while (struct dirent* entry = PosixReaddir(folder)) {
        count += IsProcessFolderName(entry->d_name) ? 1 : 0;
    }
    closedir(folder);
    return count;
}

} // namespace

// Threads from loadavg's "running/total" field: every task the scheduler holds, in one read
// rather than one per process.
PerfSnapshot ReadSystemObject() {
    std::string stat, uptime, loadavg;
    if (!ReadProcText("stat", &stat) || !ReadProcText("uptime", &uptime)) {
        return FailedSnapshot();
    }
    ReadProcText("loadavg", &loadavg);
    double contextSwitches = 0, running = 0;
    ProcKeyValue(stat, "ctxt", &contextSwitches);
    ProcKeyValue(stat, "procs_running", &running);
    std::vector<std::string> loadFields = ProcFields(loadavg);
    double threads = 0;
    if (loadFields.size() > 3) {
        const char* slash = strchr(loadFields[3].c_str(), '/');
        threads = slash != nullptr ? strtod(slash + 1, nullptr) : 0;
    }
    PerfInstance instance;
    instance.values = {CountProcesses(), threads, strtod(uptime.c_str(), nullptr), contextSwitches,
                       running};
    return PerfSnapshot{true, PerfSampleTime100ns(), {instance}};
}

std::vector<PerfCounterInfo> LogicalDiskCounters() {
    return {{"% Free Space", CounterKind::RawFraction}, {"Free Megabytes", CounterKind::Raw}};
}

// Drives in letter order, named "C:" as Windows names them, then _Total. Free space is what the
// caller may use (f_bavail) and the size is what it sees (used + available), so that the root
// reserve counts neither as free nor as size, as disk-usage tools report it.
PerfSnapshot ReadLogicalDiskObject() {
    PerfSnapshot snapshot{true, PerfSampleTime100ns(), {}};
    double totalFree = 0, totalSize = 0, totalFreeMegabytes = 0;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        char folder[kPathCapacity];
        struct statfs info;
        if (!DriveRootFolder(letter, folder, sizeof(folder)) || PosixStatfs(folder, &info) != 0 ||
            info.f_blocks == 0) {
            continue;
        }
        double blockSize = static_cast<double>(info.f_bsize);
        double free = static_cast<double>(info.f_bavail) * blockSize;
        double used = static_cast<double>(info.f_blocks - info.f_bfree) * blockSize;
        PerfInstance instance;
        instance.name = std::string(1, static_cast<char>(toupper(letter))) + ":";
        double freeMegabytes = static_cast<double>(static_cast<ULONGLONG>(free / kMebibyte));
        instance.values = {free, freeMegabytes};
        instance.base = used + free;
        totalFree += free;
        totalSize += used + free;
        totalFreeMegabytes += freeMegabytes;
        snapshot.instances.push_back(instance);
    }
    PerfInstance total;
    total.name = "_Total";
    total.values = {totalFree, totalFreeMegabytes};
    total.base = totalSize;
    snapshot.instances.push_back(total);
    return snapshot;
}
