// Layer-internal: lets tests of the agent's retry loops run in virtual time.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

// Virtual time for tests of retry loops: while started, GetTickCount reads a virtual millisecond
// clock, and Sleep advances it at once instead of waiting.
void TestClockStart(DWORD startTicks);
void TestClockStop();
