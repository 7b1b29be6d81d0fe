// The fault sweeps' scenarios: small calls of each export that reach the depth of its work, on a
// machine that holds a little of every kind of inventory, and the host's own calls on the texts
// of its tables (Scenarios.h).
#pragma once

#include "tests/standin/JniStandIn.h"
#include "tests/support/ExportCatalogue.h"

#include <jni.h>

#include <functional>
#include <string>
#include <vector>

// What a scenario runs with: the stand-in and what it keeps between its three steps.
struct SweepSession {
    JniStandIn& standIn;
    JNIEnv* env;
    jlong handle = 0;             // an event log handle opened before the call and closed after it
    std::string pendingException; // the class of the exception the export left pending, or ""
};

struct SweepCase {
    const char* name;
    Export which; // the export the call sweeps
    // Before and after the call, outside any fault (either may be null).
    void (*before)(SweepSession& session);
    // The export's call (made as the host makes it, ExportCall.h), whose result comes back as
    // text.
    std::function<std::string(SweepSession& session)> call;
    void (*after)(SweepSession& session);
    // The texts of the results the export gives on a failure.
    std::vector<std::string> failures;
    // Whether a result other than the clean one and the failures is one the export may give when
    // one of its calls failed (an item left out, a field left empty); null: none is.
    bool (*degraded)(const std::string& clean, const std::string& result);
};

const std::vector<SweepCase>& SweepCases();

// Writes the machine's inventory through the Win32 API: installed programs, services, an event
// log with its message files, registry keys and values.
void PrepareSweepMachine();
// Takes it away again, for a machine image that outlives the run; false when some stays.
bool ClearSweepMachine();
