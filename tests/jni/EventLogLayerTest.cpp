// The event log exports against a layer that fails on purpose: built on Linux only, since Windows
// has no fault plan.
#include "tests/jni/EventLogFixture.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"

namespace {

// Each fallible layer call of a read and of a check fails in turn: the export still answers
// what it may, raises nothing and leaves nothing open.
TEST_F(EventLogTest, EveryLayerFailureOfAReadAndACheckInTurn) {
    ReportedEvent event;
    event.id = 1000;
    event.category = 1;
    event.strings = {"%%1100", "x"};
    event.system = true;
    ReportMachineEvent(event);
    const std::string key = ReadAll().at(0).at(0);

    jlong handle = Open();
    FaultPlanClear();
    ASSERT_TRUE(Read(handle).has_value());
    unsigned long long readCalls = FaultPlanCallCount();
    EXPECT_NE(0, Close(handle));
    FaultPlanClear();
    ASSERT_TRUE(Check(key));
    unsigned long long checkCalls = FaultPlanCallCount();
    ASSERT_GT(readCalls, 5u);

    for (unsigned long long k = 1; k <= readCalls; ++k) {
        handle = Open();
        size_t open = HandleOpenCount();
        FaultPlanClear();
        FaultPlanFailNthCall(k, ERROR_ACCESS_DENIED);
        EventRecordTexts record = Read(handle);
        FaultPlanClear();
        EXPECT_TRUE(!record.has_value() || record->size() == 9u) << "call " << k;
        EXPECT_EQ(open, HandleOpenCount()) << "call " << k;
        EXPECT_NE(0, Close(handle));
    }
    for (unsigned long long k = 1; k <= checkCalls; ++k) {
        size_t open = HandleOpenCount();
        FaultPlanClear();
        FaultPlanFailNthCall(k, ERROR_ACCESS_DENIED);
        Check(key);
        FaultPlanClear();
        EXPECT_EQ(open, HandleOpenCount()) << "call " << k;
    }
    EXPECT_FALSE(env->ExceptionCheck());
}

} // namespace
