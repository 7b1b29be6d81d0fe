// What the performance counter exports share: the log source and the bounds on what PDH may ask
// the agent to allocate.
#pragma once

#include "Common/ScopedResource.h"
#include "Platform/Win32.h"

#include "InventoryAgents/WindowsPerfmonAgent/PathListBounds.h"

#define LOG_SOURCE "InventoryAgents\\WindowsPerfMonAgent\\WindowsPerfMonAgent"

// A retry takes the size PDH reports; a size past this is a PDH fault, not a list to allocate.
constexpr DWORD kLargestPdhBuffer = 16u * 1024u * 1024u;

// The value a path that could not be sampled gets.
constexpr double kFailedCounterValue = -1.0;
