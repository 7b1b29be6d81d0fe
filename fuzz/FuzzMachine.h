// The small machine the export-level targets run against: a registry with a few keys and values
// under HKEY_LOCAL_MACHINE\SOFTWARE\Fuzz, an Application log of three records from FuzzSource in
// C:\fuzz.evt, and that source's message file C:\messages.dll (messages 1 to 4, with inserts and
// parameter references), all made once per process in the fuzz prefix.
#pragma once

#include <jni.h>

#include <stddef.h>
#include <stdint.h>

#include <initializer_list>
#include <string>
#include <vector>

// Makes the machine (once) and returns the prefix's Unix path.
const std::string& FuzzMachine();

// A PE file of one resource section whose only resource is this message table, English (US).
std::vector<uint8_t> MessageTablePeFile(const uint8_t* table, size_t size);

using ExportCall = void (*)(JNIEnv*, jstring);

// An export of one text argument as such a call, its result dropped.
template <auto exportFunction> void CallOnText(JNIEnv* env, jstring text) {
    exportFunction(env, nullptr, text);
}

// Calls exports as the JVM calls native methods, through the JNI stand-in: each call, in a
// native method frame of its own, gets the environment and a Java string of the input's bytes
// (each byte one character, so that every input is a valid string); the stand-in's breaches of
// JNI's rules and a pending exception stop the run.
void CallWithJavaString(const uint8_t* data, size_t size, std::initializer_list<ExportCall> calls);
