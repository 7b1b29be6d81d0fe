#include "bench/BenchSupport.h"

#include "Common/DiagnosticLog.h"
#include "bench/HeapCounting.h"
#include "tests/support/EmbeddedJvm.h"

#include <jvmti.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <utility>

namespace {

JNIEnv* benchEnv = nullptr;

struct Pair {
    std::string exported;
    std::string floor;
    double goal;
};
std::vector<Pair> pairs;
std::map<std::string, std::function<int64_t(JNIEnv*)>> resultSizes;
std::vector<std::string> notes;

struct Measured {
    double seconds = 0;     // real time per iteration, the least of its repetitions
    int64_t peakBytes = -1; // of the memory run
};

// The memory run of every benchmark: at most 16 iterations, after the timed ones, on the thread
// that runs the benchmark.
class PeakHeapManager : public benchmark::MemoryManager {
  public:
    void Start() override { HeapCountingStart(); }
    void Stop(Result* result) override { Stop(*result); }
    void Stop(Result& result) override {
        HeapTally tally = HeapCountingStop();
        result.num_allocs = tally.allocations;
        result.max_bytes_used = tally.overflowed ? -1 : tally.peakBytes;
        result.total_allocated_bytes = tally.allocatedBytes;
        result.net_heap_growth = tally.liveBytes;
    }
};

// Keeps each benchmark's time and peak heap, to put the pairs side by side afterwards. Of several
// repetitions the fastest stands: what else the machine does can only add time to a repetition,
// and on a shared machine a repetition of the same work took up to twice as long as another.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.iterations > 0 && run.run_type == Run::RT_Iteration && !run.error_occurred) {
                Measured& measured = results[run.benchmark_name()];
                double seconds = run.real_accumulated_time / (double)run.iterations;
                if (measured.seconds <= 0 || seconds < measured.seconds) {
                    measured.seconds = seconds;
                }
                // Only the last repetition's memory result is still there to read: the library
                // keeps a benchmark's results in a vector that each repetition appends to.
                if (run.memory_result != nullptr &&
                    (run.repetitions <= 1 || run.repetition_index == run.repetitions - 1)) {
                    measured.peakBytes = run.memory_result->max_bytes_used;
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Measured> results;
};

// The first number among the arguments of a benchmark's name: "ReadRecords/1000" is 1000,
// "LogRecords/threads:4" is 4. Empty when there is none.
std::string InputOf(const std::string& name) {
    for (size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
        size_t start = slash + 1;
        size_t colon = name.find(':', start);
        size_t end = name.find('/', start);
        if (colon != std::string::npos && colon < end) {
            start = colon + 1;
        }
        std::string argument = name.substr(start, end == std::string::npos ? end : end - start);
        if (!argument.empty() && argument.find_first_not_of("0123456789") == std::string::npos) {
            if (name.find("threads:") == slash + 1) {
                return argument + (argument == "1" ? " thread" : " threads");
            }
            return argument;
        }
    }
    return "";
}

std::string FamilyOf(const std::string& name) {
    return name.substr(0, name.find('/'));
}

std::string Seconds(double seconds) {
    char text[32];
    if (seconds >= 1) {
        snprintf(text, sizeof text, "%.2f s", seconds);
    } else if (seconds >= 1e-3) {
        snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    } else if (seconds >= 1e-6) {
        snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
    } else {
        snprintf(text, sizeof text, "%.1f ns", seconds * 1e9);
    }
    return text;
}

std::string Bytes(int64_t bytes) {
    char text[32];
    if (bytes < 0) {
        return "-";
    }
    if (bytes >= 10 * 1024 * 1024) {
        snprintf(text, sizeof text, "%.1f MiB", (double)bytes / (1024.0 * 1024.0));
    } else if (bytes >= 10 * 1024) {
        snprintf(text, sizeof text, "%.1f KiB", (double)bytes / 1024.0);
    } else {
        snprintf(text, sizeof text, "%lld B", (long long)bytes);
    }
    return text;
}

// Growth is linear when it stays within this much of the ratio of the input sizes: timings of
// seconds on a shared machine wander by more than a few percent.
constexpr double kLinearSlack = 1.25;

// The goal of a pair as the summary prints it: a growth pair is judged against linear growth.
std::string GoalOf(const Pair& pair, double* goal) {
    char text[32];
    if (FamilyOf(pair.exported) != FamilyOf(pair.floor)) {
        *goal = pair.goal;
        snprintf(text, sizeof text, "%.1f", pair.goal);
        return text;
    }
    // Two shapes of the same work (one key of many values against many keys of few) should take
    // alike: their arguments are not sizes.
    double large = atof(InputOf(pair.exported).c_str());
    double small = atof(InputOf(pair.floor).c_str());
    bool sizes = large > 0 && small > 0;
    double linear = sizes ? large / small : 1;
    *goal = linear * kLinearSlack;
    snprintf(text, sizeof text, sizes ? "linear %.0f" : "alike %.0f", linear);
    return text;
}

// One line of the summary per pair, tab-separated: benchmark, input size, export, floor, ratio,
// goal, peak heap of the export and of the floor, the export's result size, and whether the
// ratio is within its goal. scripts/bench gathers the lines of every binary into one table.
std::string Summary(const std::map<std::string, Measured>& results, const char* binary) {
    std::string lines;
    for (const Pair& pair : pairs) {
        auto exported = results.find(pair.exported);
        auto floor = results.find(pair.floor);
        if (exported == results.end() || floor == results.end() || floor->second.seconds <= 0) {
            continue;
        }
        double goal = 0;
        std::string goalText = GoalOf(pair, &goal);
        double ratio = exported->second.seconds / floor->second.seconds;
        auto measure = resultSizes.find(pair.exported);
        int64_t resultBytes = measure != resultSizes.end() ? measure->second(benchEnv) : -1;
        std::string input = InputOf(pair.exported);
        char line[1024];
        snprintf(line, sizeof line, "%s\t%s\t%s\t%s\t%s\t%.2f\t%s\t%s\t%s\t%s\t%s\n", binary,
                 pair.exported.c_str(), input.empty() ? "-" : input.c_str(),
                 Seconds(exported->second.seconds).c_str(), Seconds(floor->second.seconds).c_str(),
                 ratio, goalText.c_str(), Bytes(exported->second.peakBytes).c_str(),
                 Bytes(floor->second.peakBytes).c_str(), Bytes(resultBytes).c_str(),
                 ratio <= goal ? "yes" : "NO");
        lines += line;
    }
    return lines;
}

jvmtiEnv* Jvmti() {
    static jvmtiEnv* jvmti = nullptr;
    static bool tried = false;
    if (!tried && benchEnv != nullptr) {
        tried = true;
        JavaVM* vm = nullptr;
        jvmtiCapabilities tagging = {};
        tagging.can_tag_objects = 1;
        if (benchEnv->GetJavaVM(&vm) != JNI_OK ||
            vm->GetEnv((void**)&jvmti, JVMTI_VERSION_1_2) != JNI_OK ||
            jvmti->AddCapabilities(&tagging) != JVMTI_ERROR_NONE) {
            jvmti = nullptr;
        }
    }
    return jvmti;
}

struct HeapWalk {
    jlong mark; // tags the objects of this walk, so that one shared by several fields counts once
    jlong bytes;
};

// Follows what an object holds (its fields and elements), not its class or what is static.
jint JNICALL CountReached(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo*, jlong, jlong,
                          jlong size, jlong* tag, jlong*, jint, void* walkData) {
    auto* walk = (HeapWalk*)walkData;
    if ((kind != JVMTI_HEAP_REFERENCE_FIELD && kind != JVMTI_HEAP_REFERENCE_ARRAY_ELEMENT) ||
        *tag == walk->mark) {
        return 0;
    }
    *tag = walk->mark;
    walk->bytes += size;
    return JVMTI_VISIT_OBJECTS;
}

// The object and everything its fields and elements reach, each counted once; a primitive array
// reaches nothing.
int64_t ReachedBytes(jvmtiEnv* jvmti, jobject object, jlong own) {
    static jlong walks = 0;
    HeapWalk walk = {++walks, 0};
    jvmti->SetTag(object, walk.mark);
    jvmtiHeapCallbacks callbacks = {};
    callbacks.heap_reference_callback = CountReached;
    if (jvmti->FollowReferences(0, nullptr, object, &callbacks, &walk) != JVMTI_ERROR_NONE) {
        return -1;
    }
    return own + walk.bytes;
}

} // namespace

JNIEnv* BenchJniEnv() {
    return benchEnv;
}

std::string BenchPrefix() {
    const char* prefix = getenv("WINEPREFIX");
    return prefix != nullptr ? prefix : "";
}

void BenchPair(const std::string& exportBenchmark, const std::string& floorBenchmark, double goal) {
    pairs.push_back({exportBenchmark, floorBenchmark, goal});
}

int64_t BenchJavaBytes(JNIEnv* env, jobject object) {
    jvmtiEnv* jvmti = env == benchEnv ? Jvmti() : nullptr;
    jlong own = 0;
    if (jvmti == nullptr || object == nullptr ||
        jvmti->GetObjectSize(object, &own) != JVMTI_ERROR_NONE) {
        return -1;
    }
    // Strings and arrays, which most results are, are summed here: a heap walk stops the JVM at a
    // safepoint each time, which over thousands of calls takes minutes.
    jclass stringClass = env->FindClass("java/lang/String");
    jclass objectArrayClass = env->FindClass("[Ljava/lang/Object;");
    int64_t bytes = -1;
    if (env->IsInstanceOf(object, stringClass)) {
        jobject characters =
            env->GetObjectField(object, env->GetFieldID(stringClass, "value", "[B"));
        jlong arrayBytes = 0;
        if (characters != nullptr &&
            jvmti->GetObjectSize(characters, &arrayBytes) == JVMTI_ERROR_NONE) {
            bytes = own + arrayBytes;
        }
        env->DeleteLocalRef(characters);
    } else if (env->IsInstanceOf(object, objectArrayClass)) {
        bytes = own;
        jsize length = env->GetArrayLength((jarray)object);
        for (jsize i = 0; i < length && bytes >= 0; ++i) {
            jobject element = env->GetObjectArrayElement((jobjectArray)object, i);
            int64_t elementBytes = element != nullptr ? BenchJavaBytes(env, element) : 0;
            bytes = elementBytes >= 0 ? bytes + elementBytes : -1;
            env->DeleteLocalRef(element);
        }
    } else {
        bytes = ReachedBytes(jvmti, object, own);
    }
    env->DeleteLocalRef(objectArrayClass);
    env->DeleteLocalRef(stringClass);
    return bytes;
}

void BenchResultSize(const std::string& exportBenchmark,
                     std::function<int64_t(JNIEnv* env)> measure) {
    resultSizes[exportBenchmark] = std::move(measure);
}

namespace {

const char* BinaryName(char** argv) {
    return strrchr(argv[0], '/') != nullptr ? strrchr(argv[0], '/') + 1 : argv[0];
}

// The notes as summary lines: "note", the binary, the text; scripts/bench prints them beneath
// the table.
std::string NoteLines(const char* binary) {
    std::string lines;
    for (const std::string& note : notes) {
        lines += std::string("note\t") + binary + "\t" + note + "\n";
    }
    return lines;
}

void AppendToSummaryFile(const std::string& lines) {
    const char* summaryPath = getenv("PALLWICK_BENCH_SUMMARY");
    FILE* summary = summaryPath != nullptr ? fopen(summaryPath, "a") : nullptr;
    if (summary != nullptr) {
        fputs(lines.c_str(), summary);
        fclose(summary);
    }
}

} // namespace

void BenchNote(const std::string& text) {
    notes.push_back(text);
}

int SkipBenchmarks(char** argv, const std::string& reason) {
    notes.push_back("skipped: " + reason);
    std::string lines = NoteLines(BinaryName(argv));
    fputs(lines.c_str(), stdout);
    AppendToSummaryFile(lines);
    return 0;
}

int RunBenchmarks(int argc, char** argv) {
    const char* binary = BinaryName(argv);
    benchmark::Initialize(&argc, argv);
    benchEnv = CreateEmbeddedJvm(false, nullptr);
    if (benchEnv == nullptr) {
        return 1;
    }
    // The log as the library keeps it in production: open, at the default level.
    OpenLogFile("bench.LOG");
    PeakHeapManager peakHeap;
    benchmark::RegisterMemoryManager(&peakHeap);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::RegisterMemoryManager(nullptr);
    printf("\nbinary\tbenchmark\tinput\texport\tfloor\tratio\tgoal\texport peak heap\tfloor peak "
           "heap\tresult\twithin\n");
    std::string lines = Summary(reporter.results, binary) + NoteLines(binary);
    fputs(lines.c_str(), stdout);
    AppendToSummaryFile(lines);
    CloseLogFile();
    return 0;
}
