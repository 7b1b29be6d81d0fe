// Fault simulation of every export: a clean run of its scenario counts the calls that can fail,
// then one run per k fails the k-th of them. Through the layer (Linux, whose layer has the fault
// plan) each failed call gives the error its row in the plan names, beneath it each POSIX call
// fails with its row's errno, and each allocation of the agents, the common runtime and the
// layer is refused in turn; through JNI the k-th call that a JVM short of memory fails returns
// null with OutOfMemoryError pending. Every run must end without a crash or an exception, with
// the clean result or one the export gives on a failure, with every handle given back, no breach
// of JNI's rules and every log record whole.
#include "tests/sweep/SweepCases.h"

#include "tests/support/LogCapture.h"

#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>

#include <functional>
#include <set>

#if PALLWICK_SWEEP_LAYER
#include "Common/DiagnosticLog.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"
#include "tests/support/AllocationSeam.h"
#include "tests/support/TestPrefix.h"
#endif

namespace {

JniStandIn* g_standIn = nullptr;

// A failure text matches a result that is it, or starts with it and a blank (a result byte
// followed by what the collection got).
bool IsFailure(const SweepCase& sweepCase, const std::string& result) {
    for (const std::string& failure : sweepCase.failures) {
        if (result == failure || result.rfind(failure + " ", 0) == 0 ||
            result.rfind(failure + "\n", 0) == 0) {
            return true;
        }
    }
    return false;
}

// One run of a case: arm just before the export's call, disarm just after it.
struct SweepRun {
    std::string result;
    std::string pendingException;
    std::vector<std::string> breaches;
    std::string escaped; // what the export threw, or ""
};

SweepRun Play(const SweepCase& sweepCase, const std::function<void()>& arm,
              const std::function<void()>& disarm) {
    JNIEnv* env = g_standIn->env();
    SweepRun run;
    if (env->PushLocalFrame(64) != 0) {
        ADD_FAILURE() << "no local frame for the host";
        return run;
    }
    SweepSession session{*g_standIn, env, 0, ""};
    if (sweepCase.before != nullptr) {
        sweepCase.before(session);
    }
    session.pendingException.clear();
    arm();
    try {
        run.result = sweepCase.call(session);
    } catch (const std::exception& thrown) {
        run.escaped = thrown.what();
    } catch (...) {
        run.escaped = "an exception";
    }
    disarm();
    run.pendingException = session.pendingException;
    if (sweepCase.after != nullptr) {
        sweepCase.after(session);
    }
    env->PopLocalFrame(nullptr);
    run.breaches = g_standIn->TakeBreaches();
    return run;
}

class FaultSweep : public ::testing::TestWithParam<SweepCase> {
  protected:
    void SetUp() override { g_standIn->FailNthFallibleCall(0); }

    // The clean run's result, and how many calls it made that can fail (what they are, named).
    SweepRun CleanRun(const std::function<void()>& start,
                      const std::function<unsigned long long()>& count, unsigned long long* calls,
                      const char* what = "calls that can fail") {
        SweepRun clean = Play(GetParam(), start, [&] { *calls = count(); });
        printf("%s: %llu %s\n", GetParam().name, *calls, what);
        EXPECT_EQ(std::vector<std::string>{}, clean.breaches) << "clean run";
        EXPECT_EQ("", clean.pendingException) << "clean run";
        return clean;
    }

    void ExpectAllowed(const SweepRun& clean, const SweepRun& run, const std::string& where) {
        const SweepCase& sweepCase = GetParam();
        bool allowed =
            run.result == clean.result || IsFailure(sweepCase, run.result) ||
            (sweepCase.degraded != nullptr && sweepCase.degraded(clean.result, run.result));
        EXPECT_TRUE(allowed) << where << ": " << run.result << "\nclean: " << clean.result;
        EXPECT_EQ(std::vector<std::string>{}, run.breaches) << where;
        EXPECT_EQ("", run.escaped) << where << ": an exception passed the export";
    }
};

} // namespace

// Cases print by name in gtest's messages.
void PrintTo(const SweepCase& sweepCase, std::ostream* out) {
    *out << sweepCase.name;
}

namespace {

std::string CaseName(const ::testing::TestParamInfo<SweepCase>& info) {
    std::string name;
    for (const char* c = info.param.name; *c != '\0'; ++c) {
        name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    }
    return name;
}

// The k-th call that can fail of a native method fails as a JVM without memory fails it: the
// export gives its failure value and leaves the exception pending.
TEST_P(FaultSweep, EveryJniCallFailingInTurn) {
    LogCapture log("fault_sweep_jni_log");
    JniStandIn& standIn = *g_standIn;
    unsigned long long calls = 0;
    SweepRun clean = CleanRun([&] { standIn.FailNthFallibleCall(0); },
                              [&] { return standIn.FallibleCallCount(); }, &calls);
    for (unsigned long long k = 1; k <= calls; ++k) {
        std::string where = "JNI call " + std::to_string(k) + " of " + std::to_string(calls);
        SweepRun run = Play(
            GetParam(), [&] { standIn.FailNthFallibleCall(k); },
            [&] { standIn.FailNthFallibleCall(0); });
        ExpectAllowed(clean, run, where);
        EXPECT_TRUE(IsFailure(GetParam(), run.result)) << where << ": " << run.result;
        EXPECT_EQ("java.lang.OutOfMemoryError", run.pendingException) << where;
    }
    log.Records(); // every record whole
}

#if PALLWICK_SWEEP_LAYER
// Handles open other than the log's own, which a rotation replaces.
size_t HandlesOpenBesideTheLog() {
    return HandleOpenCount() - (DiagnosticLog.logFile != nullptr ? 1 : 0);
}

// Where the calls of a clean run went, area by area, as the plan's rows place them.
std::string CallsByArea() {
    unsigned long long byArea[static_cast<unsigned>(FaultArea::Count)] = {};
    for (unsigned call = 0; call < static_cast<unsigned>(LayerCall::Count); ++call) {
        LayerCall row = static_cast<LayerCall>(call);
        byArea[static_cast<unsigned>(LayerCallArea(row))] += FaultPlanCallCountOf(row);
    }
    std::string text;
    for (unsigned area = 0; area < static_cast<unsigned>(FaultArea::Count); ++area) {
        if (byArea[area] != 0) {
            text += std::string(text.empty() ? "" : ", ") +
                    FaultAreaName(static_cast<FaultArea>(area)) + " " +
                    std::to_string(byArea[area]);
        }
    }
    return text;
}

// The k-th call of the layer fails with the error its row names: the export gives the clean
// result, a failure or what it documents for an item it could not read, and leaves
// nothing open. A second pass rotates the log at every record that checks its size, so that the
// rotation's calls fail in turn too. (Level 0 would add a flush per record, an fsync that slows
// the sweep down many times over for a call whose failure the log ignores.)
TEST_P(FaultSweep, EveryLayerCallFailingInTurn) {
    for (uint32_t sizeLimit : {kLogDefaultSizeLimit, 1u}) {
        LogCapture log("fault_sweep_layer_log");
        log.SetThreshold(1);
        DiagnosticLog.sizeLimit = sizeLimit;
        unsigned long long calls = 0;
        size_t open = HandlesOpenBesideTheLog();
        SweepRun clean = CleanRun(FaultPlanClear, FaultPlanCallCount, &calls);
        printf("  %s\n", CallsByArea().c_str());
        for (unsigned long long k = 1; k <= calls; ++k) {
            std::string where = "layer call " + std::to_string(k) + " of " + std::to_string(calls) +
                                ", size limit " + std::to_string(sizeLimit);
            LayerCall failed = LayerCall::Count;
            SweepRun run = Play(
                GetParam(), [&] { FaultPlanFailNthCallAtWork(k); },
                [&] {
                    failed = FaultPlanLastFailedCall();
                    FaultPlanClear();
                });
            where += std::string(" (") + LayerCallName(failed) + ")";
            ExpectAllowed(clean, run, where);
            EXPECT_EQ("", run.pendingException) << where;
            EXPECT_EQ(open, HandlesOpenBesideTheLog()) << where;
            EXPECT_NE(nullptr, DiagnosticLog.logFile.load())
                << where << ": a failed rotation closed the log";
        }
        log.Records(); // every record whole
    }
}

// Beneath the files, folders and drives, the k-th POSIX call fails with its row's errno, as a
// disk that fails a read or a write (EIO), or a signal that cuts a wait short (EINTR): the Win32
// call above it fails with its mapped error, or goes on, and the export answers as above.
TEST_P(FaultSweep, EveryPosixCallFailingInTurn) {
    LogCapture log("fault_sweep_posix_log");
    log.SetThreshold(1);
    unsigned long long calls = 0;
    size_t open = HandlesOpenBesideTheLog();
    SweepRun clean = CleanRun(FaultPlanClear, FaultPlanPosixCallCount, &calls);
    for (unsigned long long k = 1; k <= calls; ++k) {
        std::string where = "POSIX call " + std::to_string(k) + " of " + std::to_string(calls);
        SweepRun run = Play(
            GetParam(), [&] { FaultPlanFailNthPosixCallAtWork(k); }, FaultPlanClear);
        ExpectAllowed(clean, run, where);
        EXPECT_EQ("", run.pendingException) << where;
        EXPECT_EQ(open, HandlesOpenBesideTheLog()) << where;
        EXPECT_NE(nullptr, DiagnosticLog.logFile.load())
            << where << ": a failed rotation closed the log";
    }
    log.Records();
}

// The records a run added to the log: those past where it stood before the run.
std::vector<LogRecord> RecordsSince(const LogCapture& log, size_t* seen) {
    std::string text = log.Text();
    if (text.size() < *seen) {
        *seen = 0; // the log rotated
    }
    std::string added = text.substr(*seen);
    *seen = text.size();
    std::vector<LogRecord> records;
    for (size_t start = 0, end; (end = added.find(">\r\n", start)) != std::string::npos;
         start = end + 3) {
        // ~function(): thread: Line: n: message$$<source><time><thread=level>
        std::string raw = added.substr(start, end + 1 - start);
        LogRecord record;
        size_t level = raw.rfind("<thread=");
        record.level = level != std::string::npos ? raw.substr(level + 8, 1) : "";
        size_t call = raw.find("(): ");
        record.function = call != std::string::npos ? raw.substr(1, call - 1) : "";
        size_t line = raw.find("Line: ");
        size_t message = line != std::string::npos ? raw.find(": ", line + 6) : std::string::npos;
        if (message != std::string::npos) {
            record.line = raw.substr(line + 6, message - line - 6);
            record.message = raw.substr(message + 2, raw.rfind("$$<") - message - 2);
        }
        records.push_back(record);
    }
    return records;
}

bool MentionsMemory(const std::string& message) {
    std::string lower;
    for (char c : message) {
        lower += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return lower.find("memory") != std::string::npos;
}

// The out-of-memory records the allocation passes reached, over every case of the run.
std::set<std::string> g_memoryRecordsReached;

// Whether the plan refused a block of the agents or the common runtime since the last run began:
// their own out-of-memory branches must leave a record where the export logs at all. (A block
// of the layer fails a Win32 call instead, which the export answers as it answers that call's
// failure: for some, such as a version resource that cannot be sized, without an error record.)
bool g_agentBlockRefused = false;

bool AgentAllocationAllowed(size_t bytes) {
    bool allowed = AllocationAllowed(bytes);
    g_agentBlockRefused = g_agentBlockRefused || !allowed;
    return allowed;
}

// The k-th allocation of the run is refused wherever it falls: a block of an agent or the common
// runtime (the agent's out-of-memory branch and its record), a block of the layer (a Win32 call
// that fails as short of memory), or one under a layer's containers (the same, through its
// guard). The export gives the clean result, or a failure (with an error record where an agent's
// own block was refused and the export logs at all); it leaves nothing open and lets no
// exception out. A second pass refuses every allocation
// from the k-th on, as memory that stays short, so that what copes with the first refusal must
// cope without memory too.
TEST_P(FaultSweep, EveryAllocationFailingInTurn) {
    for (bool andEveryLater : {false, true}) {
        LogCapture log("fault_sweep_allocation_log");
        log.SetThreshold(1);
        unsigned long long allocations = 0;
        size_t open = HandlesOpenBesideTheLog();
        size_t seen = 0;
        SweepRun clean =
            CleanRun(FaultPlanClear, FaultPlanAllocationCount, &allocations, "allocations");
        bool logs = !RecordsSince(log, &seen).empty();
        for (unsigned long long k = 1; k <= allocations; ++k) {
            std::string where = "allocation " + std::to_string(k) + " of " +
                                std::to_string(allocations) +
                                (andEveryLater ? " and every later one" : "");
            SweepRun run = Play(
                GetParam(),
                [&] {
                    g_agentBlockRefused = false;
                    FaultPlanFailNthAllocation(k, andEveryLater);
                },
                FaultPlanClear);
            ExpectAllowed(clean, run, where);
            EXPECT_EQ("", run.pendingException) << where;
            EXPECT_EQ(open, HandlesOpenBesideTheLog()) << where;
            bool errorRecord = false;
            for (const LogRecord& record : RecordsSince(log, &seen)) {
                errorRecord = errorRecord || record.level == "3";
                if (MentionsMemory(record.message)) {
                    g_memoryRecordsReached.insert(record.function + ", line " + record.line + ": " +
                                                  record.message);
                }
            }
            EXPECT_TRUE(!logs || !g_agentBlockRefused || run.result == clean.result || errorRecord)
                << where << ": " << run.result << " without an error record";
        }
        log.Records();
    }
}
#endif

INSTANTIATE_TEST_SUITE_P(Exports, FaultSweep, ::testing::ValuesIn(SweepCases()), CaseName);

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#if PALLWICK_SWEEP_LAYER
    TestPrefix prefix;
    SetAllocationHook(AgentAllocationAllowed);
#endif
    JniStandIn standIn;
    g_standIn = &standIn;
    PrepareSweepMachine();
    int status = RUN_ALL_TESTS();
#if PALLWICK_SWEEP_LAYER
    printf("out-of-memory records reached: %zu\n", g_memoryRecordsReached.size());
    for (const std::string& message : g_memoryRecordsReached) {
        printf("  %s\n", message.c_str());
    }
#endif
    if (!ClearSweepMachine()) {
        fprintf(stderr, "some of the sweep's services or keys stay on the machine\n");
        status = 1;
    }
    g_standIn = nullptr;
    return status;
}
