// Java text as the host prints it: one stable ASCII form, the same whichever build or env made
// the string, so that two runs can be compared line by line.
#pragma once

#include <jni.h>

#include <stddef.h>

#include <string>

// The UTF-16 units quoted: printable ASCII as it is, except '"' and '\' which get a backslash;
// every other character (control characters, non-ASCII) as \u{XXXX} of its code point, at
// least four upper-case hex digits. A surrogate pair is one code point; a lone surrogate is
// printed as its own unit.
std::string QuoteUtf16(const jchar* units, size_t count);

// A Java string in that form, "null" for a null reference. Characters the env refuses are
// "<refused>", with the exception left pending for the caller.
std::string JavaStringText(JNIEnv* env, jstring text);
