// Sampling a list of concrete counter paths: one value per path, from a second pass when the
// caller asks for a delay.
#pragma once

#include <jni.h>

// The double[] of the paths' values, -1.0 where a path could not be sampled; null on failure.
jdoubleArray SampleCounterValues(JNIEnv* env, jobjectArray expandedPaths, jint delaySeconds);
