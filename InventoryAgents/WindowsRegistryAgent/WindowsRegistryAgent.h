// Registry keys named by full path, such as HKLM\SOFTWARE\Microsoft or
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft: child keys, child values, values, last-write times and
// the existence check of a key or value that an earlier collection reported.
#pragma once

#include "Platform/Win32.h"

#include <jni.h>

// The predefined root key of a long or abbreviated root name, compared case-sensitively over the
// whole string; null for a null, empty or unknown name.
HKEY GetPredefinedKeyHandle(const char* rootName);

// Splits a path in place: leading backslashes are skipped, the root name runs to the next
// backslash (overwritten with NUL), and everything after it is the subkey path, verbatim. The root
// name is null when the path holds nothing but backslashes; the subkey path is null when nothing
// follows the root name.
void SplitKeyPathInPlace(char* path, char** rootName, char** subkeyPath);

// A private copy of keyPath, split as above; the caller frees the copy. Null when out of memory.
char* SplitKeyPath(const char* keyPath, char** rootName, char** subkeyPath);

// Java milliseconds since 1970 of a FILETIME, truncated toward zero.
jlong FileTimeToJavaMillis(const FILETIME& time);
