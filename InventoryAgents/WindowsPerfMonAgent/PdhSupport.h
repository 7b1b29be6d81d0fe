// What the performance counter exports share: the log source and the value of a failed path.
#pragma once

#include "Common/ScopedResource.h"
#include "Platform/Win32.h"

#include "InventoryAgents/WindowsPerfMonAgent/PathListBounds.h"

#define LOG_SOURCE "InventoryAgents\\WindowsPerfMonAgent\\WindowsPerfMonAgent"

// The value a path that could not be sampled gets.
constexpr double kFailedCounterValue = -1.0;
