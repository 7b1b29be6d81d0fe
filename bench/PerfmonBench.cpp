// getCounterValues over 10, 100 and 1,000 Process counter paths with no delay, against its floor:
// one query opened for the call; for each path, in order, the array element and its UTF chars,
// PdhAddCounterA, PdhCollectQueryData of the whole query and PdhGetFormattedCounterValue of the
// new counter; then the double array and PdhCloseQuery. That is the sequence the export has to
// make, so the query grows by one counter per path and is collected once per path. At the
// default level the export writes two records per call ("Call to collect counter values" and
// "Total counter paths"), and so does the floor, through the floors' plain writer
// (bench/FloorLog.h) into a log of their own; whatever the export adds to that (its text
// conversion, the log's locks, its bookkeeping) is the ratio.
// Then one collection alone, PdhCollectQueryData of a query holding 1 to 1,000 counters of the
// Process object, or of Process and Processor: its cost should follow the objects read, since
// the layer reads each object's /proc files once per collection however many counters name it.
// The instances are children of this process, parked under a name of their own, so that the
// paths exist however few processes the host runs. Times are the bench thread's CPU time (user
// and kernel, where reading /proc spends most): on a shared machine the wall clock also counts
// the turns other processes take, which swamped the difference between export and floor.
#include "bench/BenchSupport.h"
#include "bench/FloorLog.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Under the kernel's 15 characters, so that the layer names the instance from the command alone.
constexpr char kChildName[] = "perfbench_idle";
constexpr size_t kLargestPathCount = 1000;
// Eight of Process's nine counters: "% Processor Time" is a rate, which one collection cannot
// give, so at delay 0 it fails and is logged in every path; the bench measures sampling, not
// the log.
constexpr size_t kCountersPerChild = 8;
constexpr int kChildCount = (int)((kLargestPathCount + kCountersPerChild - 1) / kCountersPerChild);
constexpr char kRateCounter[] = "\\% Processor Time";

std::vector<pid_t> g_children;
std::vector<std::string> g_processPaths;   // instance by instance, eight counters each
std::vector<std::string> g_processorPaths; // every counter of every processor

// Children that only wait, renamed before they tell the parent they are ready; each dies with
// the parent should the bench not reap it.
bool StartChildren() {
    int ready[2];
    if (pipe(ready) != 0) {
        return false;
    }
    pid_t parent = getpid();
    for (int i = 0; i < kChildCount; ++i) {
        pid_t child = fork();
        if (child == 0) {
            prctl(PR_SET_NAME, kChildName, 0, 0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
            if (getppid() != parent || write(ready[1], "r", 1) != 1) {
                _exit(1);
            }
            for (;;) {
                pause();
            }
        }
        if (child < 0) {
            break;
        }
        g_children.push_back(child);
    }
    close(ready[1]);
    char mark;
    size_t readyCount = 0;
    while (readyCount < g_children.size() && read(ready[0], &mark, 1) == 1) {
        ++readyCount;
    }
    close(ready[0]);
    return readyCount == (size_t)kChildCount;
}

void ReapChildren() {
    for (pid_t child : g_children) {
        kill(child, SIGKILL);
    }
    for (pid_t child : g_children) {
        waitpid(child, nullptr, 0);
    }
    g_children.clear();
}

// The concrete paths of a wildcard as the agent's own expansion hands them to the sampling.
std::vector<std::string> Expand(const char* wildcard) {
    std::vector<std::string> paths;
    DWORD length = 0;
    if (PdhExpandCounterPathA(wildcard, nullptr, &length) != (PDH_STATUS)PDH_MORE_DATA) {
        return paths;
    }
    std::vector<char> list(length);
    if (PdhExpandCounterPathA(wildcard, list.data(), &length) != ERROR_SUCCESS) {
        return paths;
    }
    for (const char* path = list.data(); *path != '\0'; path += strlen(path) + 1) {
        paths.emplace_back(path);
    }
    return paths;
}

bool EndsWith(const std::string& text, const char* tail) {
    size_t length = strlen(tail);
    return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

bool FindPaths() {
    std::string wildcard = std::string("\\Process(") + kChildName + "*)\\*";
    for (const std::string& path : Expand(wildcard.c_str())) {
        if (!EndsWith(path, kRateCounter)) {
            g_processPaths.push_back(path);
        }
    }
    g_processorPaths = Expand("\\Processor(*)\\*");
    if (g_processPaths.size() < kLargestPathCount || g_processorPaths.empty()) {
        fprintf(stderr, "%zu Process paths of %s and %zu Processor paths; need %zu and some\n",
                g_processPaths.size(), kChildName, g_processorPaths.size(), kLargestPathCount);
        return false;
    }
    g_processPaths.resize(kLargestPathCount);
    return true;
}

jobjectArray PathArray(JNIEnv* env, size_t count) {
    jclass stringClass = env->FindClass("java/lang/String");
    auto array = (jobjectArray)env->NewObjectArray((jsize)count, stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    for (size_t i = 0; i < count; ++i) {
        jstring path = env->NewStringUTF(g_processPaths[i].c_str());
        env->SetObjectArrayElement(array, (jsize)i, path);
        env->DeleteLocalRef(path);
    }
    return array;
}

std::vector<double> Values(JNIEnv* env, jdoubleArray values) {
    jsize count = values != nullptr ? env->GetArrayLength(values) : 0;
    std::vector<double> copy((size_t)count);
    if (count > 0) {
        env->GetDoubleArrayRegion(values, 0, count, copy.data());
    }
    return copy;
}

// The number of -1.0 (failed) values in a result; -1 for no result at all.
long FailedValues(JNIEnv* env, jdoubleArray values) {
    if (values == nullptr) {
        return -1;
    }
    long failed = 0;
    for (double value : Values(env, values)) {
        failed += value == -1.0 ? 1 : 0;
    }
    return failed;
}

double ThreadSeconds() {
    struct timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

void SkipUnlessAllSampled(benchmark::State& state, long failed) {
    if (failed != 0) {
        state.SkipWithError("some paths gave no value: the children are not all there");
    }
}

void GetCounterValues(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    jobjectArray paths = PathArray(env, (size_t)state.range(0));
    long failed = 0;
    for (auto _ : state) {
        double start = ThreadSeconds();
        jdoubleArray values =
            Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getCounterValues(
                env, nullptr, paths, 0);
        state.SetIterationTime(ThreadSeconds() - start);
        failed = FailedValues(env, values);
        env->DeleteLocalRef(values);
    }
    SkipUnlessAllSampled(state, failed);
    env->DeleteLocalRef(paths);
}

constexpr char kSource[] = "WindowsPerfMonAgent";

// The floor's side of a call, in the order the export must keep.
jdoubleArray FloorCounterValues(JNIEnv* env, jobjectArray paths) {
    jsize count = env->GetArrayLength(paths);
    PDH_HQUERY query = nullptr;
    if (PdhOpenQueryA(nullptr, 0, &query) != ERROR_SUCCESS) {
        return nullptr;
    }
    auto* values = (double*)malloc(((size_t)count + 1) * sizeof(double));
    if (values == nullptr) {
        PdhCloseQuery(query);
        return nullptr;
    }
    FloorRecord("Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_"
                "getCounterValues",
                kSource, 195, "Call to collect counter values");
    FloorRecord("collectCounterValues", kSource, 105, "Total counter paths = %d", (int)count);
    for (jsize i = 0; i < count; ++i) {
        auto element = (jstring)env->GetObjectArrayElement(paths, i);
        const char* path = env->GetStringUTFChars(element, nullptr);
        PDH_HCOUNTER counter = nullptr;
        PDH_FMT_COUNTERVALUE value = {};
        DWORD type = 0;
        values[i] = PdhAddCounterA(query, path, 0, &counter) == ERROR_SUCCESS &&
                            PdhCollectQueryData(query) == ERROR_SUCCESS &&
                            PdhGetFormattedCounterValue(counter, PDH_FMT_DOUBLE, &type, &value) ==
                                ERROR_SUCCESS
                        ? value.doubleValue
                        : -1.0;
        env->ReleaseStringUTFChars(element, path);
        env->DeleteLocalRef(element);
    }
    jdoubleArray result = env->NewDoubleArray(count);
    env->SetDoubleArrayRegion(result, 0, count, values);
    free(values);
    PdhCloseQuery(query);
    return result;
}

// A floor that read other instances than the export would measure other work: the counters that
// hold still (a process's own ID and its parent's) must read the same both ways.
bool FloorReadsExportInstances(JNIEnv* env, jobjectArray paths) {
    jdoubleArray exported =
        Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getCounterValues(
            env, nullptr, paths, 0);
    jdoubleArray floor = FloorCounterValues(env, paths);
    std::vector<double> exportValues = Values(env, exported);
    std::vector<double> floorValues = Values(env, floor);
    env->DeleteLocalRef(exported);
    env->DeleteLocalRef(floor);
    bool same = exportValues.size() == floorValues.size();
    for (size_t i = 0; same && i < exportValues.size(); ++i) {
        const std::string& path = g_processPaths[i];
        if (EndsWith(path, "\\ID Process") || EndsWith(path, "\\Creating Process ID")) {
            same = exportValues[i] == floorValues[i];
        }
    }
    return same;
}

void GetCounterValuesFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    jobjectArray paths = PathArray(env, (size_t)state.range(0));
    // Checked where it is cheap; the paths of a larger call are the same kind.
    if (state.range(0) <= 10 && !FloorReadsExportInstances(env, paths)) {
        state.SkipWithError("the floor read other instances than the export");
    }
    long failed = 0;
    for (auto _ : state) {
        double start = ThreadSeconds();
        jdoubleArray values = FloorCounterValues(env, paths);
        state.SetIterationTime(ThreadSeconds() - start);
        failed = FailedValues(env, values);
        env->DeleteLocalRef(values);
    }
    SkipUnlessAllSampled(state, failed);
    env->DeleteLocalRef(paths);
}

// A query of `count` counters: all of Process, or Process and Processor in turn.
PDH_HQUERY QueryOf(size_t count, bool twoObjects) {
    PDH_HQUERY query = nullptr;
    PdhOpenQueryA(nullptr, 0, &query);
    for (size_t i = 0; i < count; ++i) {
        const std::string& path = twoObjects && i % 2 == 1
                                      ? g_processorPaths[(i / 2) % g_processorPaths.size()]
                                      : g_processPaths[twoObjects ? i / 2 : i];
        PDH_HCOUNTER counter = nullptr;
        PdhAddCounterA(query, path.c_str(), 0, &counter);
    }
    return query;
}

unsigned long long ProcOpens() {
    return FaultPlanCallCountOf(PosixCall::Open) + FaultPlanCallCountOf(PosixCall::Opendir);
}

// The thread time of one collection of the query; false when it failed.
bool TimedCollection(PDH_HQUERY query, double* seconds) {
    double start = ThreadSeconds();
    bool collected = PdhCollectQueryData(query) == ERROR_SUCCESS;
    *seconds += ThreadSeconds() - start;
    return collected;
}

// The time of one collection, the /proc files and folders it opened (the same at every count of
// counters when each object is read once per collection), and its time over that of a query of
// one Process counter collected in turn with it, so that the host's processes, which every
// collection reads and which come and go, weigh on both sides alike.
void Collect(benchmark::State& state) {
    PDH_HQUERY query = QueryOf((size_t)state.range(0), state.range(1) == 2);
    PDH_HQUERY single = QueryOf(1, false);
    double seconds = 0, singleSeconds = 0;
    bool collected = TimedCollection(query, &seconds) && TimedCollection(single, &seconds);
    seconds = 0;
    unsigned long long opens = 0;
    for (auto _ : state) {
        collected = TimedCollection(single, &singleSeconds) && collected;
        unsigned long long opensBefore = ProcOpens();
        double before = seconds;
        collected = TimedCollection(query, &seconds) && collected;
        state.SetIterationTime(seconds - before);
        opens += ProcOpens() - opensBefore;
    }
    state.counters["opens/collection"] = (double)opens / (double)state.iterations();
    state.counters["vs 1 counter"] = singleSeconds > 0 ? seconds / singleSeconds : 0;
    if (!collected) {
        state.SkipWithError("the query could not be collected");
    }
    PdhCloseQuery(single);
    PdhCloseQuery(query);
}

void CollectShapes(benchmark::internal::Benchmark* bench) {
    bench->ArgNames({"counters", "objects"});
    for (long count : {1L, 10L, 100L, (long)kLargestPathCount}) {
        bench->Args({count, 1});
    }
    for (long count : {2L, 10L, 100L, (long)kLargestPathCount}) {
        bench->Args({count, 2});
    }
}

// Each export run next to its floor's, so that what the host does meanwhile (processes come and
// go, and every collection reads them all) weighs on both alike. At 1,000 paths a call makes a
// thousand collections: its one iteration lasts seconds.
BENCHMARK(GetCounterValues)->Arg(10)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(GetCounterValuesFloor)->Arg(10)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(GetCounterValues)->Arg(100)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(GetCounterValuesFloor)->Arg(100)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(GetCounterValues)
    ->Arg((long)kLargestPathCount)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(GetCounterValuesFloor)
    ->Arg((long)kLargestPathCount)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
// A fifth of a second of collections per shape keeps the whole run within a minute.
BENCHMARK(Collect)
    ->Apply(CollectShapes)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->MinTime(0.2);

int64_t ValuesBytes(JNIEnv* env, size_t count) {
    jobjectArray paths = PathArray(env, count);
    jdoubleArray values =
        Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getCounterValues(
            env, nullptr, paths, 0);
    int64_t bytes = BenchJavaBytes(env, values);
    env->DeleteLocalRef(values);
    env->DeleteLocalRef(paths);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    // Before the JVM starts its threads, which a fork would leave behind in a broken state.
    if (!StartChildren() || !FindPaths()) {
        ReapChildren();
        return 1;
    }
    for (const char* count : {"10", "100", "1000"}) {
        BenchPair(std::string("GetCounterValues/") + count + "/manual_time",
                  std::string("GetCounterValuesFloor/") + count + "/manual_time");
        BenchResultSize(std::string("GetCounterValues/") + count + "/manual_time",
                        [count](JNIEnv* env) { return ValuesBytes(env, (size_t)atoi(count)); });
    }
    OpenFloorLog("floor.LOG");
    int result = RunBenchmarks(argc, argv);
    ReapChildren();
    return result;
}
