// Queries and counters. A collection reads each object a query's counters name once, whatever
// the number of its counters, and each counter keeps its previous sample for rates. Paths,
// snapshots and lists live in standard containers: memory that runs out under them fails the
// call with PDH_MEMORY_ALLOCATION_FAILURE, with every reference it took given back.
#include "Platform/Posix/pdh/Pdh.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/common/LayerMemory.h"
#include "Platform/Posix/common/WinError.h"
#include "Platform/Posix/kernel32/Environment.h"
#include "Platform/Posix/pdh/PdhPaths.h"
#include "Platform/Posix/pdh/PdhTestHooks.h"
#include "Platform/Posix/pdh/PerfObjects.h"
#include "Platform/ScopedResource.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <strings.h>
#include <vector>

namespace {

std::atomic<bool> g_shortBufferIsAnError{false};
std::atomic<bool> g_listsLeftUnclosed{false};

struct PdhCounterObject;

struct ListedCounter {
    HANDLE handle;
    PdhCounterObject* counter;
};

struct PdhQueryObject {
    HandleObject header;
    std::mutex lock;                     // guards counters and every counter's samples
    std::vector<ListedCounter> counters; // in the order they were added
};

struct PdhCounterObject {
    HandleObject header;
    PdhQueryObject* query; // holds a reference
    const PerfObjectInfo* object;
    size_t counter;
    std::string parent;
    std::string instance;
    DWORD index;
    unsigned collections = 0;
    bool found = false;       // the instance was there at the last collection
    bool hadPrevious = false; // ... and at the one before
    PerfInstance now;
    PerfInstance previous;
    ULONGLONG nowTime = 0;
    ULONGLONG previousTime = 0;
};

void DestroyQuery(HandleObject* object) {
    delete reinterpret_cast<PdhQueryObject*>(object);
}

void DestroyCounter(HandleObject* object) {
    auto* counter = reinterpret_cast<PdhCounterObject*>(object);
    HandleObjectRelease(&counter->query->header);
    delete counter;
}

template <typename T> struct ReferenceReleaser {
    void operator()(T* object) const { HandleObjectRelease(&object->header); }
};
using ScopedQueryReference = ScopedResource<PdhQueryObject*, ReferenceReleaser<PdhQueryObject>>;

std::string LocalMachine() {
    char name[256] = {};
    DWORD size = sizeof(name);
    if (GetComputerNameA(name, &size) == FALSE) {
        return "\\\\localhost";
    }
    return std::string("\\\\") + name;
}

bool IsLocalMachine(const std::string& machine) {
    return machine.empty() || strcasecmp(machine.c_str(), LocalMachine().c_str()) == 0 ||
           strcasecmp(machine.c_str(), "\\\\.") == 0 ||
           strcasecmp(machine.c_str(), "\\\\localhost") == 0;
}

// The index-th instance of that name (and parent, when the path gives one), as `#index` counts.
const PerfInstance* FindInstance(const PerfSnapshot& snapshot, const PerfObjectInfo& object,
                                 const std::string& parent, const std::string& name, DWORD index) {
    if (!object.hasInstances) {
        return snapshot.instances.empty() ? nullptr : &snapshot.instances.front();
    }
    DWORD seen = 0;
    for (const PerfInstance& instance : snapshot.instances) {
        if (strcasecmp(instance.name.c_str(), name.c_str()) != 0 ||
            (!parent.empty() && strcasecmp(instance.parent.c_str(), parent.c_str()) != 0)) {
            continue;
        }
        if (seen++ == index) {
            return &instance;
        }
    }
    return nullptr;
}

PDH_STATUS ResolvePath(const char* text, CounterPath* path, const PerfObjectInfo** object) {
    if (!ParseCounterPath(text, path)) {
        return static_cast<PDH_STATUS>(PDH_CSTATUS_BAD_COUNTERNAME);
    }
    if (!IsLocalMachine(path->machine)) {
        return static_cast<PDH_STATUS>(PDH_CSTATUS_NO_MACHINE);
    }
    *object = FindPerfObject(path->object.c_str());
    if (*object == nullptr) {
        return static_cast<PDH_STATUS>(PDH_CSTATUS_NO_OBJECT);
    }
    if ((*object)->hasInstances != path->hasInstance) {
        return static_cast<PDH_STATUS>(PDH_CSTATUS_NO_INSTANCE);
    }
    return ERROR_SUCCESS;
}

DWORD CounterType(CounterKind kind) {
    switch (kind) {
    case CounterKind::Raw:
        return 0x00010000; // PERF_COUNTER_RAWCOUNT
    case CounterKind::RawFraction:
        return 0x20020400; // PERF_RAW_FRACTION
    case CounterKind::Rate:
        return 0x10410400; // PERF_COUNTER_COUNTER
    case CounterKind::TickPercent:
    case CounterKind::TimePercent:
        return 0x20510500; // PERF_100NSEC_TIMER
    case CounterKind::Elapsed:
        return 0x30240500; // PERF_ELAPSED_TIME
    }
    return 0;
}

bool IsPercent(CounterKind kind) {
    return kind == CounterKind::RawFraction || kind == CounterKind::TickPercent ||
           kind == CounterKind::TimePercent;
}

PDH_STATUS FormatValue(double value, DWORD format, PPDH_FMT_COUNTERVALUE result) {
    if ((format & PDH_FMT_DOUBLE) != 0) {
        result->doubleValue = value;
    } else if ((format & PDH_FMT_LARGE) != 0) {
        result->largeValue = static_cast<LONGLONG>(value);
    } else if ((format & PDH_FMT_LONG) != 0) {
        // Out of LONG's range the value would be undefined; Windows wraps, a clamp is kinder.
        result->longValue = value >= 2147483647.0    ? 2147483647
                            : value <= -2147483648.0 ? (-2147483647 - 1)
                                                     : static_cast<LONG>(value);
    } else {
        return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    }
    result->CStatus = PDH_CSTATUS_VALID_DATA;
    return ERROR_SUCCESS;
}

// Lists the counter in its query; false when the list cannot grow.
bool ListCounter(PdhQueryObject* query, HANDLE handle, PdhCounterObject* counter) noexcept {
    std::lock_guard<std::mutex> guard(query->lock);
    try {
        query->counters.push_back(ListedCounter{handle, counter});
        return true;
    } catch (...) {
        return false;
    }
}

PDH_STATUS AddCounter(PDH_HQUERY hQuery, const char* text, PDH_HCOUNTER* result) {
    CounterPath path;
    const PerfObjectInfo* object = nullptr;
    PDH_STATUS status = ResolvePath(text, &path, &object);
    int counter = status == ERROR_SUCCESS ? FindPerfCounter(*object, path.counter.c_str()) : 0;
    if (status == ERROR_SUCCESS && counter < 0) {
        status = static_cast<PDH_STATUS>(PDH_CSTATUS_NO_COUNTER);
    }
    ScopedQueryReference query(HandleAcquireAs<PdhQueryObject>(hQuery, HandleKind::PdhQuery));
    if (!query.held()) {
        return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    auto* added = new (std::nothrow) PdhCounterObject();
    if (added == nullptr) {
        return static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
    }
    HandleObjectInit(&added->header, HandleKind::PdhCounter, DestroyCounter);
    added->object = object;
    added->counter = static_cast<size_t>(counter);
    added->parent = std::move(path.parent);
    added->instance = std::move(path.instance);
    added->index = path.index;
    added->query = query.release(); // the counter keeps the reference
    HANDLE handle = HandleInsert(&added->header);
    if (handle == nullptr) {
        return static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
    }
    if (!ListCounter(added->query, handle, added)) {
        HandleClose(handle, HandleKind::PdhCounter);
        return static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
    }
    *result = handle;
    return ERROR_SUCCESS;
}

// Reads each object the counters name once, then gives every counter its new sample; a copy of
// a sample that runs out of memory leaves that counter and those after it as they were.
PDH_STATUS CollectQuery(PdhQueryObject* query) {
    std::lock_guard<std::mutex> guard(query->lock);
    std::vector<std::pair<const PerfObjectInfo*, PerfSnapshot>> read;
    for (const ListedCounter& listed : query->counters) {
        PdhCounterObject* counter = listed.counter;
        const PerfSnapshot* snapshot = nullptr;
        for (const auto& done : read) {
            if (done.first == counter->object) {
                snapshot = &done.second;
            }
        }
        if (snapshot == nullptr) {
            read.emplace_back(counter->object, counter->object->read());
            snapshot = &read.back().second;
        }
        const PerfInstance* instance =
            snapshot->ok ? FindInstance(*snapshot, *counter->object, counter->parent,
                                        counter->instance, counter->index)
                         : nullptr;
        PerfInstance fresh = instance != nullptr ? *instance : PerfInstance();
        counter->hadPrevious = counter->found;
        counter->previous = std::move(counter->now);
        counter->previousTime = counter->nowTime;
        counter->found = instance != nullptr;
        counter->now = std::move(fresh);
        counter->nowTime = snapshot->time100ns;
        ++counter->collections;
    }
    return query->counters.empty() ? static_cast<PDH_STATUS>(PDH_NO_DATA) : ERROR_SUCCESS;
}

} // namespace

void PdhSetReleaseQuirksForTests(const PdhReleaseQuirks& quirks) {
    g_shortBufferIsAnError.store(quirks.shortBufferIsAnError);
    g_listsLeftUnclosed.store(quirks.listsLeftUnclosed);
}

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR szDataSource, DWORD_PTR, PDH_HQUERY* phQuery) {
    DWORD fault = FaultCheck(LayerCall::PdhOpenQueryA);
    if (fault != ERROR_SUCCESS) {
        return static_cast<PDH_STATUS>(fault);
    }
    if (phQuery == nullptr || (szDataSource != nullptr && szDataSource[0] != '\0')) {
        // Log files are not served: real-time data only.
        return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    }
    return GuardMemoryStatus(LayerCall::PdhOpenQueryA, [&]() -> PDH_STATUS {
        auto* query = new (std::nothrow) PdhQueryObject();
        if (query == nullptr) {
            return static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
        }
        HandleObjectInit(&query->header, HandleKind::PdhQuery, DestroyQuery);
        HANDLE handle = HandleInsert(&query->header);
        if (handle == nullptr) {
            return static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
        }
        *phQuery = handle;
        return ERROR_SUCCESS;
    });
}

PDH_STATUS WINAPI PdhAddCounterA(PDH_HQUERY hQuery, LPCSTR szFullCounterPath, DWORD_PTR,
                                 PDH_HCOUNTER* phCounter) {
    DWORD fault = FaultCheck(LayerCall::PdhAddCounterA);
    if (fault != ERROR_SUCCESS) {
        return static_cast<PDH_STATUS>(fault);
    }
    if (szFullCounterPath == nullptr || phCounter == nullptr) {
        return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    }
    return GuardMemoryStatus(LayerCall::PdhAddCounterA,
                             [&] { return AddCounter(hQuery, szFullCounterPath, phCounter); });
}

PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY hQuery) {
    DWORD fault = FaultCheck(LayerCall::PdhCollectQueryData);
    if (fault != ERROR_SUCCESS) {
        return static_cast<PDH_STATUS>(fault);
    }
    ScopedQueryReference query(HandleAcquireAs<PdhQueryObject>(hQuery, HandleKind::PdhQuery));
    if (!query.held()) {
        return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    }
    return GuardMemoryStatus(LayerCall::PdhCollectQueryData,
                             [&] { return CollectQuery(query.get()); });
}

PDH_STATUS WINAPI PdhGetFormattedCounterValue(PDH_HCOUNTER hCounter, DWORD dwFormat,
                                              LPDWORD lpdwType, PPDH_FMT_COUNTERVALUE pValue) {
    DWORD fault = FaultCheck(LayerCall::PdhGetFormattedCounterValue);
    if (fault != ERROR_SUCCESS) {
        return static_cast<PDH_STATUS>(fault);
    }
    if (pValue == nullptr) {
        return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    }
    PdhCounterObject* counter = HandleAcquireAs<PdhCounterObject>(hCounter, HandleKind::PdhCounter);
    if (counter == nullptr) {
        return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    }
    const PerfCounterInfo& info = counter->object->counters[counter->counter];
    if (lpdwType != nullptr) {
        *lpdwType = CounterType(info.kind);
    }
    PDH_STATUS status = static_cast<PDH_STATUS>(PDH_INVALID_DATA);
    {
        std::lock_guard<std::mutex> guard(counter->query->lock);
        double value = 0;
        if (counter->collections == 0) {
            pValue->CStatus = PDH_CSTATUS_INVALID_DATA;
        } else if (!counter->found) {
            pValue->CStatus = PDH_CSTATUS_NO_INSTANCE;
        } else if (!PerfFormattedValue(*counter->object, counter->counter, counter->now,
                                       counter->hadPrevious ? &counter->previous : nullptr,
                                       counter->nowTime - counter->previousTime, &value) ||
                   !std::isfinite(value)) {
            pValue->CStatus = PDH_CSTATUS_INVALID_DATA;
        } else {
            if (IsPercent(info.kind) && (dwFormat & PDH_FMT_NOCAP100) == 0 && value > 100.0) {
                value = 100.0;
            }
            status = FormatValue(value, dwFormat, pValue);
        }
    }
    HandleObjectRelease(&counter->header);
    return status;
}

// A release, as PdhCloseQuery: the fault plan never fails it.
PDH_STATUS WINAPI PdhRemoveCounter(PDH_HCOUNTER hCounter) {
    PdhCounterObject* counter = HandleAcquireAs<PdhCounterObject>(hCounter, HandleKind::PdhCounter);
    if (counter == nullptr) {
        return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    }
    bool listed = false;
    {
        PdhQueryObject* query = counter->query;
        std::lock_guard<std::mutex> guard(query->lock);
        for (size_t i = 0; i < query->counters.size(); ++i) {
            if (query->counters[i].handle == hCounter) {
                query->counters.erase(query->counters.begin() + static_cast<std::ptrdiff_t>(i));
                listed = true;
                break;
            }
        }
    }
    HandleObjectRelease(&counter->header);
    if (!listed || HandleClose(hCounter, HandleKind::PdhCounter) == FALSE) {
        return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    }
    return ERROR_SUCCESS;
}

PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY hQuery) {
    PdhQueryObject* query = HandleAcquireAs<PdhQueryObject>(hQuery, HandleKind::PdhQuery);
    if (query == nullptr) {
        return static_cast<PDH_STATUS>(PDH_INVALID_HANDLE);
    }
    std::vector<ListedCounter> counters;
    {
        std::lock_guard<std::mutex> guard(query->lock);
        counters.swap(query->counters);
    }
    HandleObjectRelease(&query->header);
    for (const ListedCounter& counter : counters) {
        HandleClose(counter.handle, HandleKind::PdhCounter);
    }
    return HandleClose(hQuery, HandleKind::PdhQuery) == FALSE
               ? static_cast<PDH_STATUS>(PDH_INVALID_HANDLE)
               : ERROR_SUCCESS;
}

namespace {

void ExpandInstances(const CounterPath& path, const PerfObjectInfo& object,
                     const std::string& machine, std::vector<std::string>* paths) {
    std::vector<size_t> counters;
    for (size_t i = 0; i < object.counters.size(); ++i) {
        if (WildcardMatches(path.counter.c_str(), object.counters[i].name)) {
            counters.push_back(i);
        }
    }
    auto addInstance = [&](const std::string& parent, const std::string& name, DWORD index) {
        for (size_t i : counters) {
            paths->push_back(MakeCounterPath(machine, object.name, object.hasInstances, parent,
                                             name, index, object.counters[i].name));
        }
    };
    if (!object.hasInstances) {
        addInstance("", "", 0);
        return;
    }
    PerfSnapshot snapshot = object.read();
    if (!snapshot.ok) {
        return;
    }
    std::vector<const PerfInstance*> seen;
    for (const PerfInstance& instance : snapshot.instances) {
        // Numbered as reading finds them back: by name, and by parent when the path gives one.
        DWORD index = 0;
        for (const PerfInstance* earlier : seen) {
            if (strcasecmp(earlier->name.c_str(), instance.name.c_str()) == 0 &&
                (path.parent.empty() || earlier->parent == instance.parent)) {
                ++index;
            }
        }
        seen.push_back(&instance);
        if (!WildcardMatches(path.instance.c_str(), instance.name.c_str()) ||
            (!path.parent.empty() &&
             !WildcardMatches(path.parent.c_str(), instance.parent.c_str())) ||
            (path.hasIndex && path.index != index)) {
            continue;
        }
        addInstance(path.parent.empty() ? "" : instance.parent, instance.name, index);
    }
}

PDH_STATUS ExpandPath(LPCSTR szWildCardPath, PZZSTR mszExpandedPathList,
                      LPDWORD pcchPathListLength) {
    CounterPath path;
    const PerfObjectInfo* object = nullptr;
    PDH_STATUS status = ResolvePath(szWildCardPath, &path, &object);
    if (status == static_cast<PDH_STATUS>(PDH_CSTATUS_BAD_COUNTERNAME)) {
        return static_cast<PDH_STATUS>(PDH_INVALID_PATH);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::string machine = path.machine.empty() ? LocalMachine() : path.machine;
    std::vector<std::string> paths;
    ExpandInstances(path, *object, machine, &paths);
    if (paths.empty()) {
        bool anyCounter = false;
        for (const PerfCounterInfo& counter : object->counters) {
            anyCounter = anyCounter || WildcardMatches(path.counter.c_str(), counter.name);
        }
        return static_cast<PDH_STATUS>(anyCounter ? PDH_CSTATUS_NO_INSTANCE
                                                  : PDH_CSTATUS_NO_COUNTER);
    }
    bool closed = !g_listsLeftUnclosed.load();
    size_t needed = closed ? 1 : 0;
    for (const std::string& expanded : paths) {
        needed += expanded.size() + 1;
    }
    if (needed > 0xFFFFFFFFu) {
        return static_cast<PDH_STATUS>(PDH_MEMORY_ALLOCATION_FAILURE);
    }
    if (mszExpandedPathList == nullptr || *pcchPathListLength < needed) {
        if (*pcchPathListLength != 0 && g_shortBufferIsAnError.load()) {
            return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
        }
        *pcchPathListLength = static_cast<DWORD>(needed);
        return static_cast<PDH_STATUS>(PDH_MORE_DATA);
    }
    char* out = mszExpandedPathList;
    for (const std::string& expanded : paths) {
        std::memcpy(out, expanded.c_str(), expanded.size() + 1);
        out += expanded.size() + 1;
    }
    if (closed) {
        *out = '\0';
    }
    *pcchPathListLength = static_cast<DWORD>(needed);
    return ERROR_SUCCESS;
}

} // namespace

PDH_STATUS WINAPI PdhExpandCounterPathA(LPCSTR szWildCardPath, PZZSTR mszExpandedPathList,
                                        LPDWORD pcchPathListLength) {
    DWORD fault = FaultCheck(LayerCall::PdhExpandCounterPathA);
    if (fault != ERROR_SUCCESS) {
        return static_cast<PDH_STATUS>(fault);
    }
    if (szWildCardPath == nullptr || pcchPathListLength == nullptr) {
        return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    }
    return GuardMemoryStatus(LayerCall::PdhExpandCounterPathA, [&] {
        return ExpandPath(szWildCardPath, mszExpandedPathList, pcchPathListLength);
    });
}

namespace {

PDH_STATUS ParsePath(LPCSTR szFullPathBuffer, PPDH_COUNTER_PATH_ELEMENTS_A pCounterPathElements,
                     LPDWORD pdwBufferSize) {
    CounterPath path;
    if (!ParseCounterPath(szFullPathBuffer, &path)) {
        return static_cast<PDH_STATUS>(PDH_INVALID_PATH);
    }
    if (path.machine.empty()) {
        path.machine = LocalMachine();
    }
    size_t needed = sizeof(PDH_COUNTER_PATH_ELEMENTS_A) + path.machine.size() + 1 +
                    path.object.size() + 1 + path.counter.size() + 1;
    if (path.hasInstance) {
        needed += path.instance.size() + 1;
    }
    if (path.hasParent) {
        needed += path.parent.size() + 1;
    }
    if (needed > 0xFFFFFFFFu) {
        return static_cast<PDH_STATUS>(PDH_INVALID_PATH);
    }
    if (pCounterPathElements == nullptr || *pdwBufferSize < needed) {
        if (*pdwBufferSize != 0 && g_shortBufferIsAnError.load()) {
            return static_cast<PDH_STATUS>(PDH_INVALID_PATH);
        }
        *pdwBufferSize = static_cast<DWORD>(needed);
        return static_cast<PDH_STATUS>(PDH_MORE_DATA);
    }
    char* text = reinterpret_cast<char*>(pCounterPathElements + 1);
    auto place = [&text](const std::string& part) {
        char* start = text;
        std::memcpy(text, part.c_str(), part.size() + 1);
        text += part.size() + 1;
        return start;
    };
    pCounterPathElements->szMachineName = place(path.machine);
    pCounterPathElements->szObjectName = place(path.object);
    pCounterPathElements->szInstanceName = path.hasInstance ? place(path.instance) : nullptr;
    // `(/0)` names a parent, an empty one: null stays for a path that names none, as
    // PdhMakeCounterPath reads the member, so that the parts make the same path again.
    pCounterPathElements->szParentInstance = path.hasParent ? place(path.parent) : nullptr;
    pCounterPathElements->dwInstanceIndex = path.index;
    pCounterPathElements->szCounterName = place(path.counter);
    *pdwBufferSize = static_cast<DWORD>(needed);
    return ERROR_SUCCESS;
}

} // namespace

PDH_STATUS WINAPI PdhParseCounterPathA(LPCSTR szFullPathBuffer,
                                       PPDH_COUNTER_PATH_ELEMENTS_A pCounterPathElements,
                                       LPDWORD pdwBufferSize, DWORD dwFlags) {
    DWORD fault = FaultCheck(LayerCall::PdhParseCounterPathA);
    if (fault != ERROR_SUCCESS) {
        return static_cast<PDH_STATUS>(fault);
    }
    if (szFullPathBuffer == nullptr || pdwBufferSize == nullptr || dwFlags != 0) {
        return static_cast<PDH_STATUS>(PDH_INVALID_ARGUMENT);
    }
    return GuardMemoryStatus(LayerCall::PdhParseCounterPathA, [&] {
        return ParsePath(szFullPathBuffer, pCounterPathElements, pdwBufferSize);
    });
}
