// Writing a log through its handle, as the event log service writes it: the file held alone
// while a record is appended (the first write creates it with the key's size and retention), or
// while it is cleared, after a copy of it as it stood where one is asked for.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/EventLogHandles.h"

// Appends one record of the handle's source: ReportEventA's parts, less the record's number and
// times, which the log gives it as it is written.
DWORD AppendToLog(const EventLogHandle* log, EvtNewRecord parts);

// Empties the log, after copying its file as it stands to backup (a DOS path) unless that is
// null or empty.
DWORD ClearLog(const EventLogHandle* log, const char* backup);
