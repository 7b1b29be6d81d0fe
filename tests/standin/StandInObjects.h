// The objects of the model: plain instances, strings kept as UTF-16, arrays, and the throwables
// that the stand-in raises where the JVM would.
#pragma once

#include "tests/standin/StandInModel.h"

#include <stddef.h>

#include <string>

namespace standin {

// Modified UTF-8 as JNI defines it: U+0000 as C0 80, every UTF-16 unit (each half of a surrogate
// pair too) as one to three bytes.
std::string ToModifiedUtf8(const std::u16string& text, size_t start, size_t count);
// Decodes as HotSpot 17 does: the string has as many characters as bytes that are no
// continuation byte (10xxxxxx); they are decoded in turn, a byte that starts no well-formed one-,
// two- or three-byte sequence standing for the character of its own value (a stray continuation
// byte too, which pushes the last characters out). "\x80x" gives U+0080 alone; four-byte UTF-8
// gives its lead byte alone; overlong forms (C0 80) decode.
std::u16string FromModifiedUtf8(const char* bytes);
// Standard UTF-8 for messages and printing: pairs joined, lone surrogates as U+FFFD.
std::string ToUtf8(const std::u16string& text);
std::u16string FromAscii(const std::string& text);

Object* NewInstance(State& state, Class* klass);
Object* NewString(State& state, std::u16string text);
bool IsString(State& state, const Object* object);
// A new array of klass (an array class). Null, with NegativeArraySizeException or
// OutOfMemoryError pending, when the length is negative or too large for the stand-in's heap.
Object* NewArray(State& state, Class* klass, jsize length);
size_t ElementSize(char elementType);

// Raises className(message) as the pending exception, replacing one that is pending.
void Raise(State& state, const char* className, const std::string& message);

// Assignment compatibility of a value of class from to a variable of class to.
bool IsAssignable(const Class* from, const Class* to);
// True for null, and for a klass the stand-in does not know (null).
bool IsInstance(const Object* object, const Class* klass);
// java.lang.String, java.lang.Object, [I as Class.getName() gives them.
std::string DottedName(const Class* klass);

} // namespace standin
