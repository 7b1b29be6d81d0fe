#include "tests/standin/JniFaultPlan.h"

namespace {

const char* ThrownBy(JniCall call) {
    switch (call) {
    case JniCall::FindClass:
        return "java/lang/NoClassDefFoundError";
    case JniCall::GetMethodID:
        return "java/lang/NoSuchMethodError";
    case JniCall::GetFieldID:
        return "java/lang/NoSuchFieldError";
    case JniCall::GetObjectArrayElement:
    case JniCall::SetIntArrayRegion:
    case JniCall::SetDoubleArrayRegion:
        return "java/lang/ArrayIndexOutOfBoundsException";
    case JniCall::SetObjectArrayElement:
        return "java/lang/ArrayStoreException";
    case JniCall::CallVoidMethod:
    case JniCall::CallIntMethod:
    case JniCall::CallBooleanMethod:
    case JniCall::CallObjectMethod:
        return "java/lang/RuntimeException";
    default:
        return "java/lang/OutOfMemoryError";
    }
}

} // namespace

void JniFaultPlan::Clear() {
    faults_.clear();
    calls_.fill(0);
    failures_ = 0;
}

int JniFaultPlan::Calls(JniCall call) const {
    if (call != JniCall::Any) {
        return calls_[static_cast<size_t>(call)];
    }
    int count = 0;
    for (int made : calls_) {
        count += made;
    }
    return count;
}

bool JniFaultPlan::Fails(JniCall call, const char* name, JniFailure* failure) {
    ++calls_[static_cast<size_t>(call)];
    for (JniFault& fault : faults_) {
        bool matches = (fault.call == JniCall::Any || fault.call == call) &&
                       (fault.name.empty() || (name != nullptr && fault.name == name));
        if (!matches) {
            continue;
        }
        if (fault.skip > 0) {
            --fault.skip;
            continue;
        }
        if (fault.times == 0) {
            continue;
        }
        if (fault.times > 0) {
            --fault.times;
        }
        ++failures_;
        failure->exception = fault.exception != nullptr ? fault.exception : ThrownBy(call);
        failure->message = name != nullptr ? name : "injected failure";
        return true;
    }
    return false;
}
