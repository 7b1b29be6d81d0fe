// What every benchmark binary shares: the embedded JVM, the diagnostic log opened as the library
// opens it at load, and the report of each export's time as a ratio to its floor measured in the
// same run.
#pragma once

#include <benchmark/benchmark.h>
#include <jni.h>

#include <string>
#include <vector>

// The JNIEnv of the benchmark thread (the JVM runs without -Xcheck:jni, as in production).
JNIEnv* BenchJniEnv();

// The Unix folder of the machine image (WINEPREFIX), which the benchmark reads.
std::string BenchPrefix();

// Names a pair: the export's benchmark and its floor twin. The report prints export / floor.
void BenchPair(const std::string& exportBenchmark, const std::string& floorBenchmark);

// Runs the registered benchmarks, then prints the ratio of every pair. Returns main's result.
int RunBenchmarks(int argc, char** argv);
