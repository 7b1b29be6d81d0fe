// One run of scenarios: the env, the library's exports, and the one way an export is called.
#pragma once

#include "tests/host/ExportLibrary.h"
#include "tests/host/HostEnv.h"

#include <jni.h>

#include <functional>

struct Session {
    HostEnv& host;
    JNIEnv* env;
    const ExportLibrary& exports;
    int breaches;
    jobject agent; // the receiving object a scenario may keep for its calls
};

// Calls an export as the JVM calls a native method: in a native frame of its own, its result
// handed back to the caller's frame. Then prints the exception the export left pending as
// "exception <class name>" (and clears it, as the Java caller would see it thrown) and the
// breaches of JNI's rules noticed, as "breach <text>". call returns the export's result for an
// object result, null otherwise (a primitive result is kept by call itself).
jobject CallExport(Session& session, const std::function<jobject()>& call);

// Prints the breaches noticed since the last look, counting them in the session.
void PrintBreaches(Session& session);

// Runs body in a local frame of the host's own, so that what it makes lapses when it ends.
void InHostFrame(Session& session, jint capacity, const std::function<void()>& body);
