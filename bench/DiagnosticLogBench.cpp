// LogMessage at level 2 as the library writes in production (threshold 2, the default size limit,
// rotation included), by one thread and by four threads on one log, against the plain writer. The
// plain writer makes the same record (head, message and trailer, with the thread's identifier and
// the local time that every record carries: main checks that both give the same bytes) with one
// snprintf into a fixed buffer, then SetFilePointer to the end and one WriteFile. Where four
// threads share it, it holds a critical section around those, as the log holds its lock; every
// 256 records it asks its file's size and starts the file afresh at the log's size limit, as any
// writer must that keeps its file bounded. The floor holds nothing more. What the log adds is its
// own: the size asked on 128 records of every 256; the caller's last error kept; the record built
// in three formatting steps; the rotation to ".BAK" under its lock between processes. Its handle
// may only append, so a record needs no seek and no lock of its own between processes.
// Then a record below the threshold, in nanoseconds per call, made while another thread holds the
// log's lock (a call that took it would never return) and with the record counter unchanged
// (nothing was formatted). Each benchmark counts the allocations its threads make per record: the
// few there are come from rotations, which open files; main checks that records between two
// rotations make none.
#include "bench/BenchSupport.h"
#include "bench/HeapCounting.h"

#include "Common/DiagnosticLog.h"
#include "Platform/Win32.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>

namespace {

// A level-2 record of the installed software collection, as long as such records are.
constexpr char kSource[] = "InventoryAgents\\NativeInstalledApps\\NativeInstalledApps";
constexpr char kSourceBase[] = "NativeInstalledApps";
constexpr char kFunction[] =
    "Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues";
constexpr uint32_t kLine = 412;
#define RECORD_MESSAGE "Value found: %s = %s"
constexpr char kName[] = "DisplayVersion";
constexpr char kValue[] = "10.0.19041.1";

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string g_folder;

struct PlainWriter {
    HANDLE file;
    std::string path;
    CRITICAL_SECTION lock;
    uint32_t records;
};
PlainWriter g_plain;

HANDLE OpenPlainFile(DWORD disposition) {
    return CreateFileA(g_plain.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

void StartAfreshWhenFull() {
    if ((++g_plain.records & 0xFF) == 0 &&
        GetFileSize(g_plain.file, nullptr) >= kLogDefaultSizeLimit) {
        CloseHandle(g_plain.file);
        g_plain.file = OpenPlainFile(CREATE_ALWAYS);
    }
}

void PlainRecord(bool shared) {
    char record[kLogRecordBufferSize];
    if (shared) {
        EnterCriticalSection(&g_plain.lock);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    int length = snprintf(
        record, sizeof record,
        "~%s(): %X: Line: %u: " RECORD_MESSAGE "$$<%s><x %s %02d %02d:%02d:%02d.%03d %04d>"
        "<thread=%d>\r\n",
        kFunction, (unsigned)GetCurrentThreadId(), (unsigned)kLine, kName, kValue, kSourceBase,
        kMonths[(now.wMonth + 11) % 12], (int)now.wDay, (int)now.wHour, (int)now.wMinute,
        (int)now.wSecond, (int)now.wMilliseconds, (int)now.wYear, (int)kLogInfo);
    StartAfreshWhenFull();
    DWORD written = 0;
    SetFilePointer(g_plain.file, 0, nullptr, FILE_END);
    WriteFile(g_plain.file, record, (DWORD)length, &written, nullptr);
    if (shared) {
        LeaveCriticalSection(&g_plain.lock);
    }
}

void LogRecord() {
    LogMessage(kLogInfo, kSource, kFunction, kLine, RECORD_MESSAGE, kName, kValue);
}

std::string DosPath(const char* name) {
    return "Z:" + g_folder + "/" + name;
}

void OpenLogOfItsOwn(const benchmark::State&) {
    OpenLogFile(DosPath("Bench.LOG").c_str());
}

void OpenPlainWriter(const benchmark::State&) {
    g_plain.path = DosPath("Plain.LOG");
    g_plain.file = OpenPlainFile(OPEN_ALWAYS);
}

void ClosePlainWriter(const benchmark::State&) {
    CloseHandle(g_plain.file);
}

// The log as the other benchmarks keep it.
void ReopenBenchLog(const benchmark::State&) {
    OpenLogFile("bench.LOG");
}

void CountRecords(benchmark::State& state, uint64_t allocations) {
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs/record"] = benchmark::Counter(
        (double)allocations / (double)state.iterations(), benchmark::Counter::kAvgThreads);
}

void LogRecords(benchmark::State& state) {
    LogRecord(); // whatever a thread's first record sets up is not a record's cost
    uint64_t before = HeapAllocationsOfThisThread();
    for (auto _ : state) {
        LogRecord();
    }
    CountRecords(state, HeapAllocationsOfThisThread() - before);
}

void PlainRecords(benchmark::State& state) {
    bool shared = state.threads() > 1;
    PlainRecord(shared);
    uint64_t before = HeapAllocationsOfThisThread();
    for (auto _ : state) {
        PlainRecord(shared);
    }
    CountRecords(state, HeapAllocationsOfThisThread() - before);
}

// Holds the log's lock on a thread of its own until released.
class LockHolder {
  public:
    LockHolder() : thread_([this] { Hold(); }) {
        std::unique_lock<std::mutex> guard(mutex_);
        changed_.wait(guard, [this] { return held_; });
    }
    ~LockHolder() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            released_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

  private:
    void Hold() {
        EnterCriticalSection(&DiagnosticLog.logLock);
        std::unique_lock<std::mutex> guard(mutex_);
        held_ = true;
        changed_.notify_all();
        changed_.wait(guard, [this] { return released_; });
        LeaveCriticalSection(&DiagnosticLog.logLock);
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool released_ = false;
    std::thread thread_;
};

void RecordBelowThreshold(benchmark::State& state) {
    LockHolder holder;
    uint16_t counter = DiagnosticLog.recordCounter;
    uint64_t before = HeapAllocationsOfThisThread();
    for (auto _ : state) {
        LogMessage(kLogDetail, kSource, kFunction, kLine, "Seeking: %s", kName);
    }
    CountRecords(state, HeapAllocationsOfThisThread() - before);
    if (DiagnosticLog.recordCounter != counter) {
        state.SkipWithError("a record below the threshold was written");
    }
}

std::string FileText(const std::string& name) {
    std::ifstream file(g_folder + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The time aside (the two records are made a moment apart), the plain writer's record must be
// the log's byte for byte, or the floor would measure another record.
bool PlainWriterWritesTheLogsRecord() {
    OpenLogFile(DosPath("Check.LOG").c_str());
    LogRecord();
    CloseLogFile();
    g_plain.path = DosPath("CheckPlain.LOG");
    g_plain.file = OpenPlainFile(CREATE_ALWAYS);
    PlainRecord(false);
    CloseHandle(g_plain.file);
    std::string logged = FileText("Check.LOG");
    std::string plain = FileText("CheckPlain.LOG");
    size_t time = logged.find("<x ");
    size_t thread = logged.find("><thread=");
    bool same = !logged.empty() && time != std::string::npos && thread != std::string::npos &&
                logged.size() == plain.size() && logged.compare(0, time, plain, 0, time) == 0 &&
                logged.compare(thread, std::string::npos, plain, thread, std::string::npos) == 0;
    if (!same) {
        fprintf(stderr, "log:   %s\nplain: %s\n", logged.c_str(), plain.c_str());
    }
    return same;
}

// A rotation opens files, which allocates; away from one (a fresh log far below its limit, with
// the size checked on records 128 to 255 all the same) a record allocates nothing.
bool RecordsAllocateNothing() {
    OpenLogFile(DosPath("Allocations.LOG").c_str());
    LogRecord();
    uint64_t before = HeapAllocationsOfThisThread();
    for (int record = 0; record < 1000; ++record) {
        LogRecord();
    }
    uint64_t allocations = HeapAllocationsOfThisThread() - before;
    CloseLogFile();
    printf("allocations in 1,000 records between rotations: %llu\n",
           (unsigned long long)allocations);
    return allocations == 0;
}

// Export and floor in turn, so that what else the machine does weighs on both alike.
BENCHMARK(LogRecords)->Threads(1)->UseRealTime()->Setup(OpenLogOfItsOwn)->Teardown(ReopenBenchLog);
BENCHMARK(PlainRecords)
    ->Threads(1)
    ->UseRealTime()
    ->Setup(OpenPlainWriter)
    ->Teardown(ClosePlainWriter);
BENCHMARK(LogRecords)->Threads(4)->UseRealTime()->Setup(OpenLogOfItsOwn)->Teardown(ReopenBenchLog);
BENCHMARK(PlainRecords)
    ->Threads(4)
    ->UseRealTime()
    ->Setup(OpenPlainWriter)
    ->Teardown(ClosePlainWriter);
BENCHMARK(RecordBelowThreshold);

} // namespace

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "pallwick-logbench-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    g_folder = pattern;
    InitialiseLogLock();
    InitializeCriticalSection(&g_plain.lock);
    int result = 1;
    if (PlainWriterWritesTheLogsRecord() && RecordsAllocateNothing()) {
        BenchPair("LogRecords/real_time/threads:1", "PlainRecords/real_time/threads:1", 1.3);
        BenchPair("LogRecords/real_time/threads:4", "PlainRecords/real_time/threads:4", 1.3);
        result = RunBenchmarks(argc, argv);
    }
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
    return result;
}
