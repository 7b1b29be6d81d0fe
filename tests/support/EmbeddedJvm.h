// The one JVM of a test or benchmark process, with the host classes (and the test's own) on its
// class path as PALLWICK_TEST_CLASS_PATH names them.
#pragma once

#include <jni.h>
#include <stdarg.h>
#include <stdio.h>

using JvmOutputHook = jint(JNICALL*)(FILE* stream, const char* format, va_list args);

// Creates the JVM and attaches the calling thread; null on failure, with the reason on stderr.
// With checkJni, -Xcheck:jni reports every misuse; outputHook, when given, receives everything
// the JVM prints.
JNIEnv* CreateEmbeddedJvm(bool checkJni, JvmOutputHook outputHook);
