#include "tests/standin/JniStandIn.h"

#include "tests/standin/StandInClasses.h"
#include "tests/standin/StandInModel.h"
#include "tests/standin/StandInRefs.h"
#include "tests/standin/StandInTable.h"

#include <stdlib.h>

#include <atomic>

using namespace standin;

namespace {

// The references JNI guarantees a native method.
constexpr size_t kNativeMethodCapacity = 16;

std::atomic<uint32_t> g_standInCount{0};

} // namespace

JniStandIn::JniStandIn() : state_(new State) {
    state_->block.env.functions = FunctionTable();
    state_->block.state = state_.get();
    state_->block.faults = &state_->faults;
    state_->serial = ++g_standInCount;
    state_->owner = std::this_thread::get_id();
    BuildClasses(*state_);
    PushFrame(*state_, false, 0, false); // the host's own frame: no limit
}

JniStandIn::~JniStandIn() {
    for (const Pin& pin : state_->pins) {
        free(pin.buffer);
    }
}

JNIEnv* JniStandIn::env() {
    return &state_->block.env;
}

void JniStandIn::EnterNativeMethod() {
    if (EnterSlot(*state_, "EnterNativeMethod", true)) {
        PushFrame(*state_, true, kNativeMethodCapacity, true);
    }
}

jobject JniStandIn::LeaveNativeMethod(jobject result) {
    State& state = *state_;
    const char* function = "LeaveNativeMethod";
    if (!EnterSlot(state, function, true)) {
        return nullptr;
    }
    if (state.nativeDepth == 0) {
        RecordBreach(state, function, "no native method entered");
        return nullptr;
    }
    Object* object;
    bool valid = Resolve(state, result, function, &object);
    ReportUnreleasedPins(state, function);
    while (!state.frames.back().native) {
        PopFrame(state);
    }
    PopFrame(state);
    return valid ? NewLocalRef(state, object, function) : nullptr;
}

void JniStandIn::FailNthFallibleCall(unsigned long long k) {
    state_->faults.Clear();
    if (k != 0) {
        JniFault fault(JniCall::Any, "", static_cast<int>(k - 1));
        fault.exception = "java/lang/OutOfMemoryError";
        state_->faults.Fail(fault);
    }
}

unsigned long long JniStandIn::FallibleCallCount() const {
    return static_cast<unsigned long long>(state_->faults.Calls());
}

JniStandIn::FailingEnv::FailingEnv(JNIEnv* standInEnv, JniFaultPlan& plan)
    : block_(new EnvBlock{*standInEnv, &StateOf(standInEnv), &plan}) {}

JniStandIn::FailingEnv::~FailingEnv() = default;

JNIEnv* JniStandIn::FailingEnv::env() {
    return &block_->env;
}

std::vector<std::string> JniStandIn::TakeBreaches() {
    std::lock_guard<std::mutex> guard(state_->breachLock);
    std::vector<std::string> taken;
    taken.swap(state_->breaches);
    return taken;
}
