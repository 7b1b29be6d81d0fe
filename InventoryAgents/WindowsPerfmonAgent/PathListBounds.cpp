#include "InventoryAgents/WindowsPerfmonAgent/PathListBounds.h"

#include <limits.h>
#include <string.h>

size_t CountMultiStringEntries(const char* list, size_t size) {
    size_t count = 0;
    size_t offset = 0;
    while (offset < size && list[offset] != '\0') {
        const void* end = memchr(list + offset, '\0', size - offset);
        ++count;
        if (end == nullptr) {
            break;
        }
        offset = (size_t)(static_cast<const char*>(end) - list) + 1;
    }
    return count;
}

int DelayMilliseconds(int delaySeconds) {
    if (delaySeconds <= 0) {
        return 0;
    }
    if (delaySeconds > INT_MAX / 1000) {
        return INT_MAX;
    }
    return delaySeconds * 1000;
}
