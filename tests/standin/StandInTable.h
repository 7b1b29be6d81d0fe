// The JNI function table of the stand-in: every slot of the JDK's jni.h reports itself as a breach
// (StandInSlots.h, generated from it) until its area fills it with what the library and its hosts
// call: classes, exceptions and references (StandInTable.cpp), strings and arrays
// (StandInData.cpp), members and calls (StandInCalls.cpp).
#pragma once

#include "tests/standin/StandInModel.h"

namespace standin {

// The one table every stand-in's JNIEnv points at.
const JNINativeInterface_* FunctionTable();

void FillCoreSlots(JNINativeInterface_& table);
void FillDataSlots(JNINativeInterface_& table);
void FillCallSlots(JNINativeInterface_& table);

// What a slot's argument stands for, each false with the breach recorded when it is not so.
// A null argument is a breach too: JNI forbids it in every place these are used.
bool ResolveNonNull(State& state, jobject reference, const char* function, const char* what,
                    Object** object);
bool ResolveClass(State& state, jclass reference, const char* function, Class** klass);
// A Java string argument: a live reference to a java.lang.String.
bool ResolveString(State& state, jstring reference, const char* function, Object** string);

} // namespace standin
