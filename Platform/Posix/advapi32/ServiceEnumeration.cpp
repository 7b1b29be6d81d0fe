#include "Platform/Posix/advapi32/ServiceEnumeration.h"

#include "Platform/Posix/advapi32/ServiceRuntime.h"
#include "Platform/Posix/advapi32/ServiceTexts.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <stdlib.h>
#include <string.h>

namespace {

bool InGroup(const ServiceRecord& record, const char* group) {
    if (group == nullptr) {
        return true;
    }
    const char* own = record.group != nullptr ? record.group : "";
    return group[0] == '\0' ? own[0] == '\0' : CompareNames(own, group) == 0;
}

bool Matches(DWORD state, DWORD wantedState) {
    bool active = state != SERVICE_STOPPED;
    return (wantedState & (active ? SERVICE_ACTIVE : SERVICE_INACTIVE)) != 0;
}

// Takes over the record's display name.
bool Append(ServiceList* list, const char* name, ServiceRecord* record, DWORD state) {
    if (list->count == list->capacity) {
        size_t capacity = list->capacity == 0 ? 64 : list->capacity * 2;
        void* grown = LayerRealloc(list->items, capacity * sizeof(ListedService));
        if (grown == nullptr) {
            return false;
        }
        list->items = static_cast<ListedService*>(grown);
        list->capacity = capacity;
    }
    char* copy = LayerStrdup(name);
    if (copy == nullptr) {
        return false;
    }
    list->items[list->count++] = {copy, record->display, record->type, state};
    record->display = nullptr;
    return true;
}

DWORD ConsiderKey(HKEY root, const char* name, const Filter& filter, ServiceList* list) {
    ServiceRecord record;
    DWORD error = ReadRecord(root, name, &record);
    if (error != ERROR_SUCCESS) {
        return error == ERROR_SERVICE_DOES_NOT_EXIST ? ERROR_SUCCESS : error;
    }
    DWORD state = CurrentState(name);
    bool wanted = (record.type & filter.types) != 0 && Matches(state, filter.states) &&
                  InGroup(record, filter.group);
    bool stored =
        !wanted || (ResolveDisplayName(&record.display) && Append(list, name, &record, state));
    FreeRecord(&record);
    return stored ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

int CompareListed(const void* a, const void* b) {
    return CompareNames(static_cast<const ListedService*>(a)->name,
                        static_cast<const ListedService*>(b)->name);
}

DWORD EntrySize(const ListedService& item) {
    DWORD size = sizeof(ENUM_SERVICE_STATUS_PROCESSA) + static_cast<DWORD>(strlen(item.name)) + 1;
    return item.display != nullptr ? size + static_cast<DWORD>(strlen(item.display)) + 1 : size;
}

char* PlaceString(char** back, const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    size_t size = strlen(text) + 1;
    *back -= size;
    memcpy(*back, text, size);
    return *back;
}

void FillEntry(ENUM_SERVICE_STATUS_PROCESSA* entry, const ListedService& item, char** back) {
    memset(entry, 0, sizeof *entry);
    entry->lpServiceName = PlaceString(back, item.name);
    entry->lpDisplayName = PlaceString(back, item.display);
    SERVICE_STATUS_PROCESS& status = entry->ServiceStatusProcess;
    status.dwServiceType = item.type;
    status.dwCurrentState = item.state;
    status.dwWin32ExitCode = item.state == SERVICE_STOPPED ? ERROR_SERVICE_NEVER_STARTED : 0;
}

} // namespace

void FreeList(ServiceList* list) {
    for (size_t i = 0; i < list->count; ++i) {
        free(list->items[i].name);
        free(list->items[i].display);
    }
    free(list->items);
}

// A machine without the services key has no services; any other error of the registry stops
// the walk and fails the enumeration, which would otherwise list fewer services as if that were
// all of them.
DWORD CollectServices(const Filter& filter, ServiceList* list) {
    memset(list, 0, sizeof *list);
    HKEY root = nullptr;
    DWORD error = OpenServicesRoot(KEY_READ, &root);
    if (error != ERROR_SUCCESS) {
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    char name[kMaxServiceName];
    for (DWORD index = 0; error == ERROR_SUCCESS; ++index) {
        DWORD length = sizeof name;
        LONG listed = RegEnumKeyExA(root, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (listed == ERROR_NO_MORE_ITEMS) {
            break;
        }
        error = listed == ERROR_SUCCESS ? ConsiderKey(root, name, filter, list)
                                        : static_cast<DWORD>(listed);
    }
    RegCloseKey(root);
    if (error == ERROR_SUCCESS && list->count > 1) {
        qsort(list->items, list->count, sizeof(ListedService), CompareListed);
    }
    return error;
}

// Entries from the front of the buffer, their strings from its back, as many as fit.
BOOL FillEntries(const ServiceList& list, const EnumOut& out) {
    size_t first = out.resume != nullptr ? *out.resume : 0;
    char* back = reinterpret_cast<char*>(out.buffer) + (out.buffer != nullptr ? out.size : 0);
    ENUM_SERVICE_STATUS_PROCESSA* entries =
        reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSA*>(out.buffer);
    DWORD placed = 0;
    size_t next = first;
    for (; next < list.count; ++next, ++placed) {
        size_t room = static_cast<size_t>(back - reinterpret_cast<char*>(entries + placed));
        if (out.buffer == nullptr || EntrySize(list.items[next]) > room) {
            break;
        }
        FillEntry(&entries[placed], list.items[next], &back);
    }
    *out.returned = placed;
    DWORD missing = 0;
    for (size_t i = next; i < list.count; ++i) {
        missing += EntrySize(list.items[i]);
    }
    *out.needed = missing;
    if (out.resume != nullptr) {
        *out.resume = next < list.count ? static_cast<DWORD>(next) : 0;
    }
    return next < list.count ? FailWith(ERROR_MORE_DATA) : TRUE;
}
