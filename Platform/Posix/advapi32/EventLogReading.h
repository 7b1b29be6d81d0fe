// Reading a log through its handle: the file opened beside other readers, its layout (kept by
// the handle while the file stays as it was), and whole records copied out in their ANSI form
// from the read position on, as ReadEventLogA hands them out.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/EventLogHandles.h"

// Whether the flags name one way of reading (sequential or seek) and one direction.
bool ReadFlagsValid(DWORD flags);

// ReadEventLogA's work, under the handle's position lock: the records read go into buffer, or
// *needed gets the size of the first one when it does not fit (ERROR_INSUFFICIENT_BUFFER).
DWORD ReadRecords(EventLogHandle* log, DWORD flags, DWORD seekTo, BYTE* buffer, DWORD capacity,
                  DWORD* bytesRead, DWORD* needed);

// The layout of the log's file as it stands now; a file not written yet is an empty log. Takes
// the handle's position lock, under which an .evtx log's image is kept.
DWORD ReadLogLayout(EventLogHandle* log, EvtLayout* layout);
