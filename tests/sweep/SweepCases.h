// The fault sweeps' scenarios: one small call of each export that reaches the depth of its work,
// on a machine that holds a little of every kind of inventory.
#pragma once

#include "tests/standin/JniStandIn.h"

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

// Calls the export as the JVM calls a native method; the result comes back to the host's frame.
// An exception left pending is noted in the session and cleared, as the Java caller would see it
// thrown.
jobject CallNative(SweepSession& session, const std::function<jobject()>& body);

struct SweepCase {
    const char* name;
    // Before and after the call, outside any fault (either may be null).
    void (*before)(SweepSession& session);
    // The export's call, whose result comes back as one line of text.
    std::string (*call)(SweepSession& session);
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
