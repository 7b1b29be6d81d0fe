#include "InventoryAgents/WindowsPerfMonAgent/PathListBounds.h"

#include <limits.h>
#include <string.h>

size_t CountMultiStringEntries(const char* list, size_t size) {
    size_t count = 0;
    for (size_t offset = 0; offset < size && list[offset] != '\0';
         offset = NextMultiStringEntry(list, size, offset)) {
        ++count;
    }
    return count;
}

size_t NextMultiStringEntry(const char* list, size_t size, size_t offset) {
    if (offset >= size) {
        return size;
    }
    const void* end = memchr(list + offset, '\0', size - offset);
    return end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - list) + 1 : size;
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
