// Layer-internal entry points of the event log, for tests.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

// While set, ReportEventA leaves its log as a service that stopped abruptly does: the records
// and the end-of-file record written, the header still dirty with the offsets it had before.
void EventLogLeaveDirtyForTests(bool leaveDirty);
