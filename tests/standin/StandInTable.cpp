#include "tests/standin/StandInTable.h"

#include "tests/standin/StandInClasses.h"
#include "tests/standin/StandInObjects.h"
#include "tests/standin/StandInRefs.h"

#include "StandInSlots.h"

#include <stdio.h>

// Each slot carries its JNI name, which __func__ gives to the breaches it records.
namespace standin {
namespace {

// HotSpot's largest local frame (MaxJNILocalCapacity).
constexpr jint kLargestLocalCapacity = 65536;

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
    State& state = StateOf(env);
    if (!EnterFallibleSlot(env, __func__, JniCall::FindClass, name)) {
        return nullptr;
    }
    if (name == nullptr) {
        RecordBreach(state, __func__, "null name");
        return nullptr;
    }
    Class* klass = LookUpClass(state, name);
    if (klass == nullptr) {
        Raise(state, "java/lang/NoClassDefFoundError", name);
        return nullptr;
    }
    return static_cast<jclass>(NewLocalRef(state, klass->mirror, __func__));
}

jint JNICALL ThrowNew(JNIEnv* env, jclass clazz, const char* msg) {
    State& state = StateOf(env);
    Class* klass;
    if (!EnterSlot(state, __func__, false) || !ResolveClass(state, clazz, __func__, &klass)) {
        return JNI_ERR;
    }
    if (!IsAssignable(klass, LookUpClass(state, "java/lang/Throwable"))) {
        RecordBreach(state, __func__, "not a throwable class: " + DottedName(klass));
        return JNI_ERR;
    }
    Object* throwable = NewInstance(state, klass);
    if (msg != nullptr) {
        SetThrowableMessage(state, throwable, NewString(state, FromModifiedUtf8(msg)));
    }
    state.pending = throwable;
    return JNI_OK;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
    State& state = StateOf(env);
    if (!EnterSlot(state, __func__, true)) {
        return nullptr;
    }
    return static_cast<jthrowable>(NewLocalRef(state, state.pending, __func__));
}

// As the JVM prints an uncaught exception's first line, to stderr, and clears it.
void JNICALL ExceptionDescribe(JNIEnv* env) {
    State& state = StateOf(env);
    if (!EnterSlot(state, __func__, true) || state.pending == nullptr) {
        return;
    }
    Object* throwable = state.pending;
    state.pending = nullptr;
    fprintf(stderr, "Exception in thread \"main\" %s\n",
            ToUtf8(ThrowableText(state, throwable)).c_str());
}

void JNICALL ExceptionClear(JNIEnv* env) {
    State& state = StateOf(env);
    if (!EnterSlot(state, __func__, true)) {
        return;
    }
    state.pending = nullptr;
}

jboolean JNICALL ExceptionCheck(JNIEnv* env) {
    State& state = StateOf(env);
    if (!EnterSlot(state, __func__, true)) {
        return JNI_FALSE;
    }
    return state.pending != nullptr ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL PushLocalFrame(JNIEnv* env, jint capacity) {
    State& state = StateOf(env);
    if (!EnterSlot(state, __func__, true)) {
        return JNI_ERR;
    }
    if (capacity < 0) {
        RecordBreach(state, __func__, "negative capacity");
        return JNI_ERR;
    }
    if (capacity > kLargestLocalCapacity) {
        return JNI_ERR;
    }
    PushFrame(state, true, size_t(capacity), false);
    return JNI_OK;
}

jobject JNICALL PopLocalFrame(JNIEnv* env, jobject result) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterSlot(state, __func__, true)) {
        return nullptr;
    }
    bool valid = Resolve(state, result, __func__, &object);
    if (state.frames.back().native || state.frames.size() == 1) {
        RecordBreach(state, __func__, "no frame pushed");
    } else {
        PopFrame(state);
    }
    return valid ? NewLocalRef(state, object, __func__) : nullptr;
}

void JNICALL DeleteLocalRef(JNIEnv* env, jobject obj) {
    State& state = StateOf(env);
    if (EnterSlot(state, __func__, true)) {
        DeleteLocalReference(state, obj, __func__);
    }
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject obj) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterSlot(state, __func__, false) ||
        !ResolveNonNull(state, obj, __func__, "object", &object)) {
        return nullptr;
    }
    return static_cast<jclass>(NewLocalRef(state, object->klass->mirror, __func__));
}

// A slot the library and its hosts have no use for: a breach naming it, and a zero result.
template <const char* kName, typename Slot> struct NotProvided;

template <const char* kName, typename R, typename... A>
struct NotProvided<kName, R(JNICALL*)(JNIEnv*, A...)> {
    static R JNICALL Slot(JNIEnv* env, A...) {
        Report(env);
        return R();
    }
    static void Report(JNIEnv* env) {
        State& state = StateOf(env);
        if (EnterSlot(state, kName, false)) {
            RecordBreach(state, kName, "not provided by the stand-in");
        }
    }
};

template <const char* kName, typename R, typename... A>
struct NotProvided<kName, R(JNICALL*)(JNIEnv*, A..., ...)> {
    static R JNICALL Slot(JNIEnv* env, A..., ...) {
        NotProvided<kName, R(JNICALL*)(JNIEnv*)>::Report(env);
        return R();
    }
};

template <const char* kName, typename Slot> Slot NotProvidedSlot(Slot) {
    return &NotProvided<kName, Slot>::Slot;
}

// Slots that answer with a status: a zero would read as JNI_OK.
template <const char* kName, typename R, typename... A>
R JNICALL RefusedWithError(JNIEnv* env, A...) {
    NotProvided<kName, R(JNICALL*)(JNIEnv*)>::Report(env);
    return JNI_ERR;
}

template <const char* kName, typename R, typename... A>
auto RefusedSlot(R(JNICALL*)(JNIEnv*, A...)) -> R(JNICALL*)(JNIEnv*, A...) {
    return &RefusedWithError<kName, R, A...>;
}

jint JNICALL GetJavaVM(JNIEnv* env, JavaVM** vm) {
    State& state = StateOf(env);
    if (EnterSlot(state, __func__, false)) {
        RecordBreach(state, __func__, "not provided by the stand-in");
    }
    if (vm != nullptr) {
        *vm = nullptr;
    }
    return JNI_ERR;
}

#define STANDIN_REFUSED(X)                                                                         \
    X(Throw)                                                                                       \
    X(EnsureLocalCapacity)                                                                         \
    X(RegisterNatives)                                                                             \
    X(UnregisterNatives)                                                                           \
    X(MonitorEnter)                                                                                \
    X(MonitorExit)

#define STANDIN_SLOT_NAME(slot) constexpr char k##slot[] = #slot;
STANDIN_JNI_SLOTS(STANDIN_SLOT_NAME)
#undef STANDIN_SLOT_NAME

// Every slot of the table reports itself until its area fills it.
void FillNotProvidedSlots(JNINativeInterface_& table) {
#define STANDIN_FILL(slot) table.slot = NotProvidedSlot<k##slot>(table.slot);
    STANDIN_JNI_SLOTS(STANDIN_FILL)
#undef STANDIN_FILL
#define STANDIN_FILL(slot) table.slot = RefusedSlot<k##slot>(table.slot);
    STANDIN_REFUSED(STANDIN_FILL)
#undef STANDIN_FILL
    table.GetJavaVM = GetJavaVM;
}

} // namespace

bool ResolveNonNull(State& state, jobject reference, const char* function, const char* what,
                    Object** object) {
    if (!Resolve(state, reference, function, object)) {
        return false;
    }
    if (*object == nullptr) {
        RecordBreach(state, function, std::string("null ") + what);
        return false;
    }
    return true;
}

bool ResolveClass(State& state, jclass reference, const char* function, Class** klass) {
    Object* mirror;
    *klass = nullptr;
    if (!ResolveNonNull(state, reference, function, "class", &mirror)) {
        return false;
    }
    if (mirror->mirrored == nullptr) {
        RecordBreach(state, function, "not a class: an object of " + DottedName(mirror->klass));
        return false;
    }
    *klass = mirror->mirrored;
    return true;
}

bool ResolveString(State& state, jstring reference, const char* function, Object** string) {
    if (!ResolveNonNull(state, reference, function, "string", string)) {
        return false;
    }
    if (!IsString(state, *string)) {
        RecordBreach(state, function, "not a string: an object of " + DottedName((*string)->klass));
        return false;
    }
    return true;
}

void FillCoreSlots(JNINativeInterface_& table) {
    table.FindClass = FindClass;
    table.ThrowNew = ThrowNew;
    table.ExceptionOccurred = ExceptionOccurred;
    table.ExceptionDescribe = ExceptionDescribe;
    table.ExceptionClear = ExceptionClear;
    table.ExceptionCheck = ExceptionCheck;
    table.PushLocalFrame = PushLocalFrame;
    table.PopLocalFrame = PopLocalFrame;
    table.DeleteLocalRef = DeleteLocalRef;
    table.GetObjectClass = GetObjectClass;
}

const JNINativeInterface_* FunctionTable() {
    static const JNINativeInterface_ table = [] {
        JNINativeInterface_ filled{}; // the four reserved slots stay null, as the JVM has them
        FillNotProvidedSlots(filled);
        FillCoreSlots(filled);
        FillDataSlots(filled);
        FillCallSlots(filled);
        return filled;
    }();
    return &table;
}

} // namespace standin
