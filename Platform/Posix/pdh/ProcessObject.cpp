// Process: one instance per /proc/<pid>, named by its image without extension, then _Total.
#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/pdh/PerfReaders.h"
#include "Platform/Posix/pdh/ProcText.h"

#include <algorithm>
#include <ctype.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

namespace {

enum ProcessCounter : size_t {
    kIdProcess,
    kCreatingProcessId,
    kProcessorTime,
    kWorkingSet,
    kPrivateBytes,
    kVirtualBytes,
    kThreadCount,
    kHandleCount,
    kElapsedTime,
    kProcessCounterCount
};

struct ProcessClock {
    double ticksPerSecond;
    double pageSize;
    double uptimeSeconds;
};

bool IsPidName(const char* name) {
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

// Windows names a process by its image without ".exe"; Linux names carry no extension of that
// kind (a "python3.11" keeps its dot), so only that one is dropped.
std::string InstanceName(const std::string& command) {
    size_t length = command.size();
    if (length > 4 && strcasecmp(command.c_str() + length - 4, ".exe") == 0) {
        return command.substr(0, length - 4);
    }
    return command;
}

// The kernel keeps 15 characters of a command; a longer image name comes from the command line's
// first word when that starts with the kept part (a process may have renamed itself otherwise).
constexpr size_t kKernelCommandLength = 15;

std::string FullCommand(const char* pid, const std::string& command) {
    if (command.size() < kKernelCommandLength) {
        return command;
    }
    char relative[64];
    snprintf(relative, sizeof(relative), "%s/cmdline", pid);
    std::string line;
    if (!ReadProcText(relative, &line)) {
        return command;
    }
    std::string first = line.substr(0, line.find('\0'));
    size_t slash = first.rfind('/');
    std::string image = slash == std::string::npos ? first : first.substr(slash + 1);
    return image.size() > command.size() && image.compare(0, command.size(), command) == 0
               ? image
               : command;
}

double CountDescriptors(const char* pid) {
    char relative[64];
    char path[kPathCapacity];
    snprintf(relative, sizeof(relative), "%s/fd", pid);
    if (!ProcPath(relative, path, sizeof(path))) {
        return 0;
    }
    DIR* folder = PosixOpendir(path);
    if (folder == nullptr) {
        return 0;
    }
    double count = 0;
    while (struct dirent* entry = PosixReaddir(folder)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(folder);
    return count;
}

// The fields after the command, whose parentheses may hold spaces and parentheses themselves.
bool ReadProcessStat(const char* pid, std::string* command, std::vector<std::string>* fields) {
    char relative[64];
    snprintf(relative, sizeof(relative), "%s/stat", pid);
    std::string text;
    if (!ReadProcText(relative, &text)) {
        return false;
    }
    size_t open = text.find('(');
    size_t close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return false;
    }
    *command = text.substr(open + 1, close - open - 1);
    *fields = ProcFields(text.substr(close + 1));
    return fields->size() > 19;
}

std::vector<double> ReadStatm(const char* pid) {
    char relative[64];
    snprintf(relative, sizeof(relative), "%s/statm", pid);
    std::string text;
    std::vector<double> pages;
    if (ReadProcText(relative, &text)) {
        for (const std::string& field : ProcFields(text)) {
            pages.push_back(strtod(field.c_str(), nullptr));
        }
    }
    pages.resize(7, 0.0);
    return pages;
}

// False when the process has gone between the listing and the read.
bool ReadProcessInstance(const char* pid, const ProcessClock& clock, PerfInstance* instance) {
    std::string command;
    std::vector<std::string> stat;
    if (!ReadProcessStat(pid, &command, &stat)) {
        return false;
    }
    auto number = [&stat](size_t index) { return strtod(stat[index].c_str(), nullptr); };
    std::vector<double> statm = ReadStatm(pid);
    double cpu100ns = (number(11) + number(12)) * 1e7 / clock.ticksPerSecond;
    double started = number(19) / clock.ticksPerSecond;
    instance->name = InstanceName(FullCommand(pid, command));
    instance->values.assign(kProcessCounterCount, 0.0);
    instance->values[kIdProcess] = strtod(pid, nullptr);
    instance->values[kCreatingProcessId] = number(1);
    instance->values[kProcessorTime] = cpu100ns;
    instance->values[kWorkingSet] = statm[1] * clock.pageSize;
    instance->values[kPrivateBytes] = statm[5] * clock.pageSize;
    instance->values[kVirtualBytes] = statm[0] * clock.pageSize;
    instance->values[kThreadCount] = number(17);
    instance->values[kHandleCount] = CountDescriptors(pid);
    instance->values[kElapsedTime] =
        clock.uptimeSeconds > started ? clock.uptimeSeconds - started : 0.0;
    return true;
}

// _Total sums what adds up; its ID Process and Creating Process ID are 0, as Windows gives them.
PerfInstance TotalInstance(const std::vector<PerfInstance>& instances) {
    PerfInstance total;
    total.name = "_Total";
    total.values.assign(kProcessCounterCount, 0.0);
    for (const PerfInstance& instance : instances) {
        for (size_t i = kProcessorTime; i < kProcessCounterCount; ++i) {
            total.values[i] += instance.values[i];
        }
    }
    total.values[kElapsedTime] = 0;
    for (const PerfInstance& instance : instances) {
        if (instance.values[kElapsedTime] > total.values[kElapsedTime]) {
            total.values[kElapsedTime] = instance.values[kElapsedTime];
        }
    }
    return total;
}

} // namespace

std::vector<PerfCounterInfo> ProcessCounters() {
    return {{"ID Process", CounterKind::Raw},
            {"Creating Process ID", CounterKind::Raw},
            {"% Processor Time", CounterKind::TimePercent},
            {"Working Set", CounterKind::Raw},
            {"Private Bytes", CounterKind::Raw},
            {"Virtual Bytes", CounterKind::Raw},
            {"Thread Count", CounterKind::Raw},
            {"Handle Count", CounterKind::Raw},
            {"Elapsed Time", CounterKind::Elapsed}};
}

// Processes in pid order (the listing's order, sorted), each read once per snapshot.
PerfSnapshot ReadProcessObject() {
    std::string uptime;
    char root[kPathCapacity];
    if (!ReadProcText("uptime", &uptime) || !ProcPath("", root, sizeof(root))) {
        return PerfSnapshot{false, PerfSampleTime100ns(), {}};
    }
    DIR* folder = PosixOpendir(root);
    if (folder == nullptr) {
        return PerfSnapshot{false, PerfSampleTime100ns(), {}};
    }
    std::vector<long> pids;
    while (struct dirent* entry = PosixReaddir(folder)) {
        if (IsPidName(entry->d_name)) {
            pids.push_back(strtol(entry->d_name, nullptr, 10));
        }
    }
    closedir(folder);
    std::sort(pids.begin(), pids.end());
    long ticks = sysconf(_SC_CLK_TCK);
    long page = sysconf(_SC_PAGESIZE);
    ProcessClock clock{ticks > 0 ? static_cast<double>(ticks) : 100.0,
                       page > 0 ? static_cast<double>(page) : 4096.0,
                       strtod(uptime.c_str(), nullptr)};
    PerfSnapshot snapshot{true, PerfSampleTime100ns(), {}};
    for (long pid : pids) {
        char name[32];
        snprintf(name, sizeof(name), "%ld", pid);
        PerfInstance instance;
        if (ReadProcessInstance(name, clock, &instance)) {
            snapshot.instances.push_back(std::move(instance));
        }
    }
    snapshot.instances.push_back(TotalInstance(snapshot.instances));
    return snapshot;
}
