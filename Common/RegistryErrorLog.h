// The record of a failed registry call. The registry functions return their error instead of
// setting the thread's last error, so the status is made the last error before the system-error
// record is written; otherwise the record would name whatever failed earlier.
#pragma once

#include "Platform/Win32.h"

#include <stdint.h>

void LogRegistryError(const char* source, const char* function, uint32_t line, LONG status);

// The logging site of one source file: define LOG_SOURCE before using it.
#define LOG_REGISTRY_ERROR(function, status)                                                       \
    LogRegistryError(LOG_SOURCE, (function), __LINE__, (status))
