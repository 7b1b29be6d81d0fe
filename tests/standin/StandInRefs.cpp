#include "tests/standin/StandInRefs.h"

#include "tests/standin/StandInClasses.h"
#include "tests/standin/StandInObjects.h"

#include <stdlib.h>

#include <algorithm>

namespace standin {
namespace {

// References are numbers in a range no x86-64 pointer reaches (non-canonical addresses), so that
// a foreign pointer never passes for one. Each stand-in has its own serial within the range, and
// a number is never handed out twice, so that a deleted reference stays recognisable.
constexpr uintptr_t kReferenceTag = 0x7A00000000000000u;
constexpr uintptr_t kTagMask = 0xFF00000000000000u;
constexpr int kSerialShift = 44;
constexpr uintptr_t kSerialMask = 0xFFFu;

uintptr_t SerialOf(uintptr_t token) {
    return (token >> kSerialShift) & kSerialMask;
}

const char* PinSource(PinKind kind) {
    switch (kind) {
    case PinKind::StringChars:
        return "string chars";
    case PinKind::StringUtfChars:
        return "string UTF chars";
    case PinKind::ArrayElements:
        return "array elements";
    }
    return "";
}

void CountInFrame(State& state, Frame& frame, uintptr_t token, const char* function) {
    frame.references.push_back(token);
    ++frame.live;
    if (frame.limited && frame.live > frame.capacity && !frame.overflowReported) {
        frame.overflowReported = true;
        RecordBreach(state, function,
                     "more than " + std::to_string(frame.capacity) +
                         " local references live in one frame");
    }
}

uintptr_t NextToken(State& state) {
    return kReferenceTag | ((state.serial & kSerialMask) << kSerialShift) |
           (state.nextReference++ << 3);
}

} // namespace

void RecordBreach(State& state, const char* function, const std::string& what) {
    std::lock_guard<std::mutex> guard(state.breachLock);
    state.breaches.push_back(std::string(function) + ": " + what);
}

bool EnterSlot(State& state, const char* function, bool exceptionSafe) {
    if (std::this_thread::get_id() != state.owner) {
        RecordBreach(state, function, "called from a thread other than the stand-in's");
        return false;
    }
    if (!exceptionSafe && state.pending != nullptr) {
        RecordBreach(state, function, "called with an exception pending");
    }
    return true;
}

bool EnterFallibleSlot(JNIEnv* env, const char* function, JniCall call, const char* name) {
    State& state = StateOf(env);
    JniFailure failure;
    if (!EnterSlot(state, function, false)) {
        return false;
    }
    if (state.nativeDepth == 0 || !FaultsOf(env).Fails(call, name, &failure)) {
        return true; // the host's own calls never fail
    }
    if (LookUpClass(state, failure.exception) == nullptr) {
        RecordBreach(state, function, std::string("no class ") + failure.exception + " to throw");
        failure.exception = "java/lang/OutOfMemoryError";
    }
    Raise(state, failure.exception, failure.message);
    return false;
}

bool Resolve(State& state, jobject reference, const char* function, Object** object) {
    *object = nullptr;
    if (reference == nullptr) {
        return true;
    }
    auto token = reinterpret_cast<uintptr_t>(reference);
    auto found = state.references.find(token);
    if (found == state.references.end()) {
        bool otherStandIn = (token & kTagMask) == kReferenceTag && SerialOf(token) != state.serial;
        RecordBreach(state, function,
                     otherStandIn ? "a reference of another stand-in"
                                  : "not a reference this stand-in made");
        return false;
    }
    if (found->second.life == RefLife::Deleted) {
        RecordBreach(state, function, "a reference used after it was deleted");
        return false;
    }
    if (found->second.life == RefLife::Popped) {
        RecordBreach(state, function, "a local reference of a frame already popped");
        return false;
    }
    *object = found->second.object;
    return true;
}

jobject NewLocalRef(State& state, Object* object, const char* function) {
    if (object == nullptr) {
        return nullptr;
    }
    uintptr_t token = NextToken(state);
    state.references[token] = Reference{object, RefLife::Live};
    CountInFrame(state, state.frames.back(), token, function);
    return reinterpret_cast<jobject>(token);
}

void DeleteLocalReference(State& state, jobject reference, const char* function) {
    Object* object;
    if (reference == nullptr || !Resolve(state, reference, function, &object)) {
        return;
    }
    auto token = reinterpret_cast<uintptr_t>(reference);
    state.references[token].life = RefLife::Deleted;
    for (auto frame = state.frames.rbegin(); frame != state.frames.rend(); ++frame) {
        // A reference deleted is most often one made a moment ago: search from the newest.
        auto at = std::find(frame->references.rbegin(), frame->references.rend(), token);
        if (at != frame->references.rend()) {
            frame->references.erase(std::next(at).base());
            --frame->live;
            return;
        }
    }
}

void PushFrame(State& state, bool limited, size_t capacity, bool native) {
    Frame frame;
    frame.limited = limited;
    frame.capacity = capacity;
    frame.native = native;
    state.frames.push_back(std::move(frame));
    if (native) {
        ++state.nativeDepth;
    }
}

void PopFrame(State& state) {
    Frame& frame = state.frames.back();
    for (uintptr_t token : frame.references) {
        state.references[token].life = RefLife::Popped;
    }
    if (frame.native) {
        --state.nativeDepth;
    }
    state.frames.pop_back();
}

void AddPin(State& state, Object* object, void* buffer, PinKind kind, const char* function) {
    state.releasedBuffers.erase(buffer);
    state.pins.push_back(Pin{buffer, object, kind, function, state.nativeDepth});
}

bool TakePin(State& state, Object* object, const void* buffer, PinKind kind, const char* function,
             Pin* pin) {
    auto found = std::find_if(state.pins.begin(), state.pins.end(), [&](const Pin& candidate) {
        return candidate.buffer == buffer && candidate.object == object && candidate.kind == kind;
    });
    if (found == state.pins.end()) {
        RecordBreach(state, function,
                     state.releasedBuffers.count(buffer) != 0
                         ? "released twice"
                         : "a pointer not handed out for this object");
        return false;
    }
    *pin = *found;
    state.pins.erase(found);
    state.releasedBuffers.insert(buffer);
    return true;
}

void ReportUnreleasedPins(State& state, const char* function) {
    auto kept = std::stable_partition(state.pins.begin(), state.pins.end(), [&](const Pin& pin) {
        return pin.nativeDepth < state.nativeDepth;
    });
    for (auto pin = kept; pin != state.pins.end(); ++pin) {
        RecordBreach(state, function,
                     std::string(PinSource(pin->kind)) + " from " + pin->function +
                         " not released");
        free(pin->buffer);
    }
    state.pins.erase(kept, state.pins.end());
}

} // namespace standin
