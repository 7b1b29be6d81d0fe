// Which subkeys of the EventLog key are logs. The event log service keeps keys of its own there
// beside the logs (Parameters with its ServiceDll, State with the last computer name), and
// OpenEventLogA of a name that is not a log opens Application: listing such a key would report
// every Application record again under a name that is no log.
#pragma once

#include "Platform/Win32.h"

// Whether the subkey called name is a log: it has sources, holds no value at all (a log that was
// only registered), or holds a value that the service reads for a log. A subkey that cannot be
// looked into, and the empty name of one that could not be enumerated, count as logs, so that no
// real log is ever left out.
bool IsEventLogKey(HKEY eventLogKey, const char* name);
