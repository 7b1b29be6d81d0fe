// Counter paths as callers pass them: PdhParseCounterPathA and PdhExpandCounterPathA, each asked
// first for its size, then given a buffer one byte short, then the size it asked for, as the
// performance counter agent retries. The objects are read from a small proc root of two
// processors and three processes (two of the same name), so expansion always has instances.
#include "Platform/Posix/Win32Layer.h"

#include "fuzz/FuzzSupport.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

// Paths longer than this are no counter any caller names.
constexpr size_t kLongestPath = 4096;

void WriteProcFile(const std::string& path, const std::string& text) {
    if (!WriteFuzzFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
        abort();
    }
}

void WriteProcess(const std::string& proc, int pid, const char* command) {
    std::string folder = proc + "/" + std::to_string(pid);
    mkdir(folder.c_str(), 0700);
    WriteProcFile(folder + "/stat", std::to_string(pid) + " (" + command +
                                        ") S 1 0 0 0 0 0 0 0 0 0 30 20 0 0 0 0 2 0 100 0 0\n");
    WriteProcFile(folder + "/statm", "1000 100 10 5 0 300 0\n");
}

// True when the text at p ends inside [p, end).
bool EndsBefore(const char* p, const char* end) {
    return p != nullptr && p < end && memchr(p, '\0', size_t(end - p)) != nullptr;
}

void Parse(const char* path) {
    DWORD size = 0;
    if (PdhParseCounterPathA(path, nullptr, &size, 0) != static_cast<PDH_STATUS>(PDH_MORE_DATA)) {
        return;
    }
    FuzzCheck(size > sizeof(PDH_COUNTER_PATH_ELEMENTS_A), "the size holds the elements");
    std::vector<char> buffer(size);
    auto* elements = reinterpret_cast<PDH_COUNTER_PATH_ELEMENTS_A*>(buffer.data());
    DWORD shortSize = size - 1;
    FuzzCheck(PdhParseCounterPathA(path, elements, &shortSize, 0) ==
                      static_cast<PDH_STATUS>(PDH_MORE_DATA) &&
                  shortSize == size,
              "a buffer one byte short is refused with the size");
    FuzzCheck(PdhParseCounterPathA(path, elements, &size, 0) == ERROR_SUCCESS,
              "the size asked for is enough");
    const char* end = buffer.data() + buffer.size();
    FuzzCheck(EndsBefore(elements->szMachineName, end) && EndsBefore(elements->szObjectName, end) &&
                  EndsBefore(elements->szCounterName, end),
              "the parts lie inside the buffer");
    FuzzCheck(elements->szInstanceName == nullptr || EndsBefore(elements->szInstanceName, end),
              "the instance lies inside the buffer");
    FuzzCheck(elements->szParentInstance == nullptr || EndsBefore(elements->szParentInstance, end),
              "the parent lies inside the buffer");
}

void Expand(const char* path) {
    DWORD length = 0;
    if (PdhExpandCounterPathA(path, nullptr, &length) != static_cast<PDH_STATUS>(PDH_MORE_DATA)) {
        return;
    }
    FuzzCheck(length >= 2, "a list holds a path and its end");
    std::vector<char> list(length, 'x');
    DWORD shortLength = length - 1;
    FuzzCheck(PdhExpandCounterPathA(path, list.data(), &shortLength) ==
                      static_cast<PDH_STATUS>(PDH_MORE_DATA) &&
                  shortLength == length,
              "a list one byte short is refused with the length");
    DWORD asked = length;
    FuzzCheck(PdhExpandCounterPathA(path, list.data(), &asked) == ERROR_SUCCESS,
              "the length asked for is enough");
    FuzzCheck(list[length - 1] == '\0' && list[length - 2] == '\0', "the list ends in two NULs");
    for (size_t at = 0; at + 1 < length; at += strlen(&list[at]) + 1) {
        Parse(&list[at]);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string proc = FuzzPrefix("") + "/proc";
    WriteProcFile(proc + "/stat", "cpu  100 0 50 800 50 0 0 0 0 0\n"
                                  "cpu0 60 0 30 400 10 0 0 0 0 0\n"
                                  "cpu1 40 0 20 400 40 0 0 0 0 0\n"
                                  "intr 5000 1 2\nctxt 9000\nprocesses 77\nprocs_running 3\n");
    WriteProcFile(proc + "/meminfo", "MemTotal: 4194304 kB\nMemFree: 1000 kB\n"
                                     "MemAvailable: 2097152 kB\nCached: 3072 kB\n");
    WriteProcFile(proc + "/uptime", "1000.50 1500.00\n");
    WriteProcFile(proc + "/loadavg", "0.10 0.20 0.30 2/345 999\n");
    WriteProcess(proc, 1, "init");
    WriteProcess(proc, 20, "app");
    WriteProcess(proc, 21, "app");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kLongestPath) {
        return 0;
    }
    std::string path(reinterpret_cast<const char*>(data), size);
    Parse(path.c_str());
    Expand(path.c_str());
    return 0;
}
