// JNI's rules over references, local frames, chars and elements handed out, threads and pending
// exceptions. Every breach is recorded as one line that starts with the JNI function's name; the
// stand-in never aborts.
#pragma once

#include "tests/standin/StandInModel.h"

#include <string>

namespace standin {

void RecordBreach(State& state, const char* function, const std::string& what);

// Begins every slot of the table. False when the call comes from a thread other than the
// stand-in's: the slot then returns its zero result without touching the state. A call other
// than the exception-safe ones made with an exception pending is a breach, and goes on.
bool EnterSlot(State& state, const char* function, bool exceptionSafe);

// EnterSlot for a call that a JVM may fail: inside a native method each such call counts against
// the fault plan of the env it was made through, and one the plan fails leaves the plan's exception
// pending instead; false then, and the slot returns its zero result. name is the class or member
// the call names, or null.
bool EnterFallibleSlot(JNIEnv* env, const char* function, JniCall call, const char* name = nullptr);

// The object a reference stands for. A null reference gives true and null; a deleted, popped or
// foreign one gives false with the breach recorded.
bool Resolve(State& state, jobject reference, const char* function, Object** object);

// A new local reference in the current frame (null for null); counts against its capacity.
jobject NewLocalRef(State& state, Object* object, const char* function);
void DeleteLocalReference(State& state, jobject reference, const char* function);

void PushFrame(State& state, bool limited, size_t capacity, bool native);
// Drops the top frame: its references lapse.
void PopFrame(State& state);

// Chars or elements handed out: buffer is owned by the pin until released.
void AddPin(State& state, Object* object, void* buffer, PinKind kind, const char* function);
// The pin of buffer for object, removed into *pin; false with the breach recorded when buffer was
// not handed out for it or was released already. The caller frees the buffer it gets.
bool TakePin(State& state, Object* object, const void* buffer, PinKind kind, const char* function,
             Pin* pin);
// Reports every pin the current native method got and did not release, and frees them.
void ReportUnreleasedPins(State& state, const char* function);

} // namespace standin
