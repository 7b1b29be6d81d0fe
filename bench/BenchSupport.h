// What every benchmark binary shares: the embedded JVM, the diagnostic log opened as the library
// opens it at load, the peak heap of every benchmark (one extra run of it, its own thread's blocks
// counted by bench/HeapCounting), and the report of each export's time as a ratio to its floor
// measured in the same run, next to its peak heap and the size of its result.
#pragma once

#include <benchmark/benchmark.h>
#include <jni.h>

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

// The JNIEnv of the benchmark thread (the JVM runs without -Xcheck:jni, as in production).
JNIEnv* BenchJniEnv();

// The Unix folder of the machine image (WINEPREFIX), which the benchmark reads.
std::string BenchPrefix();

// The goal of an export: its time over its floor's.
constexpr double kExportGoal = 1.5;

// Names a pair: the export's benchmark and its floor twin. The report prints export / floor
// against the goal. Two sizes of one benchmark (the same name before the first '/') make a
// growth pair instead, read against the ratio of their input sizes.
void BenchPair(const std::string& exportBenchmark, const std::string& floorBenchmark,
               double goal = kExportGoal);

// The bytes a Java object takes in the JVM's heap with everything it reaches through its fields
// and elements (strings with their character arrays, vectors with their element arrays), as the
// JVM itself sizes each object; -1 when the JVM cannot tell.
int64_t BenchJavaBytes(JNIEnv* env, jobject object);

// How the size of an export benchmark's result is found: called once after the benchmarks have
// run, it calls the export and answers the bytes of the result that one call gives (where one
// iteration makes several calls, the largest of them).
void BenchResultSize(const std::string& exportBenchmark,
                     std::function<int64_t(JNIEnv* env)> measure);

// A line printed beneath the binary's pairs and kept with them in the summary, for what no pair
// shows: a one-time cost, or why the binary measured nothing.
void BenchNote(const std::string& text);

// Runs the registered benchmarks, then prints the summary of every pair and the notes, and
// appends them to the file that PALLWICK_BENCH_SUMMARY names, if any. Returns main's result.
int RunBenchmarks(int argc, char** argv);

// For a binary whose input is absent: runs nothing, and prints why, into the summary too, as a
// note. Returns main's result, success: an absent input is no failure of the library.
int SkipBenchmarks(char** argv, const std::string& reason);
