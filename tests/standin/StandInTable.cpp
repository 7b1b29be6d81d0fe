#include "tests/standin/StandInTable.h"

#include "tests/standin/StandInClasses.h"
#include "tests/standin/StandInObjects.h"
#include "tests/standin/StandInRefs.h"

#include <stdio.h>

// Each slot carries its JNI name, which __func__ gives to the breaches it records.
namespace standin {
namespace {

// HotSpot's largest local frame (MaxJNILocalCapacity).
constexpr jint kLargestLocalCapacity = 65536;

jint JNICALL GetVersion(JNIEnv* env) {
    State& state = StateOf(env);
    if (!EnterSlot(state, __func__, false)) {
        return 0;
    }
    return JNI_VERSION_10;
}

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
    State& state = StateOf(env);
    if (!EnterFallibleSlot(state, __func__)) {
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

jclass JNICALL GetSuperclass(JNIEnv* env, jclass sub) {
    State& state = StateOf(env);
    Class* klass;
    if (!EnterSlot(state, __func__, false) || !ResolveClass(state, sub, __func__, &klass)) {
        return nullptr;
    }
    if (klass->isInterface || klass->super == nullptr) {
        return nullptr;
    }
    return static_cast<jclass>(NewLocalRef(state, klass->super->mirror, __func__));
}

jboolean JNICALL IsAssignableFrom(JNIEnv* env, jclass sub, jclass sup) {
    State& state = StateOf(env);
    Class* from;
    Class* to;
    if (!EnterSlot(state, __func__, false) || !ResolveClass(state, sub, __func__, &from) ||
        !ResolveClass(state, sup, __func__, &to)) {
        return JNI_FALSE;
    }
    return IsAssignable(from, to) ? JNI_TRUE : JNI_FALSE;
}

bool IsThrowable(State& state, const Class* klass) {
    return IsAssignable(klass, LookUpClass(state, "java/lang/Throwable"));
}

jint JNICALL Throw(JNIEnv* env, jthrowable obj) {
    State& state = StateOf(env);
    Object* throwable;
    if (!EnterSlot(state, __func__, false) ||
        !ResolveNonNull(state, obj, __func__, "throwable", &throwable)) {
        return JNI_ERR;
    }
    if (!IsThrowable(state, throwable->klass)) {
        RecordBreach(state, __func__, "not a throwable: " + DottedName(throwable->klass));
        return JNI_ERR;
    }
    state.pending = throwable;
    return JNI_OK;
}

jint JNICALL ThrowNew(JNIEnv* env, jclass clazz, const char* msg) {
    State& state = StateOf(env);
    Class* klass;
    if (!EnterSlot(state, __func__, false) || !ResolveClass(state, clazz, __func__, &klass)) {
        return JNI_ERR;
    }
    if (!IsThrowable(state, klass) || klass->isAbstract) {
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
    Object* text =
        Invoke(state, Overrider(throwable->klass, ObjectToStringMethod(state)), throwable, {})
            .object;
    fprintf(stderr, "Exception in thread \"main\" %s\n", ToUtf8(text->text).c_str());
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

// The JVM would end the process; the stand-in records it and returns.
void JNICALL FatalError(JNIEnv* env, const char* msg) {
    State& state = StateOf(env);
    if (EnterSlot(state, __func__, false)) {
        RecordBreach(state, __func__, msg == nullptr ? "(null)" : msg);
    }
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

jobject JNICALL NewGlobalRef(JNIEnv* env, jobject lobj) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterSlot(state, __func__, false) || !Resolve(state, lobj, __func__, &object)) {
        return nullptr;
    }
    return standin::NewGlobalRef(state, object, RefKind::Global);
}

void JNICALL DeleteGlobalRef(JNIEnv* env, jobject gref) {
    State& state = StateOf(env);
    if (EnterSlot(state, __func__, true)) {
        DeleteRef(state, gref, RefKind::Global, __func__);
    }
}

void JNICALL DeleteLocalRef(JNIEnv* env, jobject obj) {
    State& state = StateOf(env);
    if (EnterSlot(state, __func__, true)) {
        DeleteRef(state, obj, RefKind::Local, __func__);
    }
}

jweak JNICALL NewWeakGlobalRef(JNIEnv* env, jobject obj) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterSlot(state, __func__, false) || !Resolve(state, obj, __func__, &object)) {
        return nullptr;
    }
    return standin::NewGlobalRef(state, object, RefKind::WeakGlobal);
}

void JNICALL DeleteWeakGlobalRef(JNIEnv* env, jweak ref) {
    State& state = StateOf(env);
    if (EnterSlot(state, __func__, true)) {
        DeleteRef(state, ref, RefKind::WeakGlobal, __func__);
    }
}

jboolean JNICALL IsSameObject(JNIEnv* env, jobject obj1, jobject obj2) {
    State& state = StateOf(env);
    Object* first;
    Object* second;
    if (!EnterSlot(state, __func__, false) || !Resolve(state, obj1, __func__, &first) ||
        !Resolve(state, obj2, __func__, &second)) {
        return JNI_FALSE;
    }
    return first == second ? JNI_TRUE : JNI_FALSE;
}

jobject JNICALL NewLocalRef(JNIEnv* env, jobject ref) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterSlot(state, __func__, false) || !Resolve(state, ref, __func__, &object)) {
        return nullptr;
    }
    return standin::NewLocalRef(state, object, __func__);
}

jint JNICALL EnsureLocalCapacity(JNIEnv* env, jint capacity) {
    State& state = StateOf(env);
    if (!EnterSlot(state, __func__, false)) {
        return JNI_ERR;
    }
    if (capacity < 0) {
        RecordBreach(state, __func__, "negative capacity");
        return JNI_ERR;
    }
    if (capacity > kLargestLocalCapacity) {
        return JNI_ERR;
    }
    EnsureCapacity(state, size_t(capacity));
    return JNI_OK;
}

jobjectRefType JNICALL GetObjectRefType(JNIEnv* env, jobject obj) {
    State& state = StateOf(env);
    if (!EnterSlot(state, __func__, false)) {
        return JNIInvalidRefType;
    }
    return RefTypeOf(state, obj, __func__);
}

jobject JNICALL AllocObject(JNIEnv* env, jclass clazz) {
    State& state = StateOf(env);
    Class* klass;
    if (!EnterSlot(state, __func__, false) || !ResolveClass(state, clazz, __func__, &klass)) {
        return nullptr;
    }
    if (klass->isAbstract || klass->elementType != 0) {
        Raise(state, "java/lang/InstantiationException", DottedName(klass));
        return nullptr;
    }
    return standin::NewLocalRef(state, NewInstance(state, klass), __func__);
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject obj) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterSlot(state, __func__, false) ||
        !ResolveNonNull(state, obj, __func__, "object", &object)) {
        return nullptr;
    }
    return static_cast<jclass>(standin::NewLocalRef(state, object->klass->mirror, __func__));
}

jboolean JNICALL IsInstanceOf(JNIEnv* env, jobject obj, jclass clazz) {
    State& state = StateOf(env);
    Object* object;
    Class* klass;
    if (!EnterSlot(state, __func__, false) || !Resolve(state, obj, __func__, &object) ||
        !ResolveClass(state, clazz, __func__, &klass)) {
        return JNI_FALSE;
    }
    return IsInstance(object, klass) ? JNI_TRUE : JNI_FALSE;
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

#define STANDIN_NOT_PROVIDED(X)                                                                    \
    X(DefineClass)                                                                                 \
    X(FromReflectedMethod)                                                                         \
    X(FromReflectedField)                                                                          \
    X(ToReflectedMethod)                                                                           \
    X(ToReflectedField)                                                                            \
    X(GetStaticObjectField)                                                                        \
    X(GetStaticBooleanField)                                                                       \
    X(GetStaticByteField)                                                                          \
    X(GetStaticCharField)                                                                          \
    X(GetStaticShortField)                                                                         \
    X(GetStaticIntField)                                                                           \
    X(GetStaticLongField)                                                                          \
    X(GetStaticFloatField)                                                                         \
    X(GetStaticDoubleField)                                                                        \
    X(SetStaticObjectField)                                                                        \
    X(SetStaticBooleanField)                                                                       \
    X(SetStaticByteField)                                                                          \
    X(SetStaticCharField)                                                                          \
    X(SetStaticShortField)                                                                         \
    X(SetStaticIntField)                                                                           \
    X(SetStaticLongField)                                                                          \
    X(SetStaticFloatField)                                                                         \
    X(SetStaticDoubleField)                                                                        \
    X(NewDirectByteBuffer)                                                                         \
    X(GetDirectBufferAddress)                                                                      \
    X(GetDirectBufferCapacity)                                                                     \
    X(GetModule)

#define STANDIN_REFUSED(X)                                                                         \
    X(RegisterNatives)                                                                             \
    X(UnregisterNatives)                                                                           \
    X(MonitorEnter)                                                                                \
    X(MonitorExit)

#define STANDIN_SLOT_NAME(slot) constexpr char k##slot[] = #slot;
STANDIN_NOT_PROVIDED(STANDIN_SLOT_NAME)
STANDIN_REFUSED(STANDIN_SLOT_NAME)
#undef STANDIN_SLOT_NAME

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
    table.GetVersion = GetVersion;
    table.FindClass = FindClass;
    table.GetSuperclass = GetSuperclass;
    table.IsAssignableFrom = IsAssignableFrom;
    table.Throw = Throw;
    table.ThrowNew = ThrowNew;
    table.ExceptionOccurred = ExceptionOccurred;
    table.ExceptionDescribe = ExceptionDescribe;
    table.ExceptionClear = ExceptionClear;
    table.ExceptionCheck = ExceptionCheck;
    table.FatalError = FatalError;
    table.PushLocalFrame = PushLocalFrame;
    table.PopLocalFrame = PopLocalFrame;
    table.NewGlobalRef = NewGlobalRef;
    table.DeleteGlobalRef = DeleteGlobalRef;
    table.DeleteLocalRef = DeleteLocalRef;
    table.NewWeakGlobalRef = NewWeakGlobalRef;
    table.DeleteWeakGlobalRef = DeleteWeakGlobalRef;
    table.IsSameObject = IsSameObject;
    table.NewLocalRef = NewLocalRef;
    table.EnsureLocalCapacity = EnsureLocalCapacity;
    table.GetObjectRefType = GetObjectRefType;
    table.AllocObject = AllocObject;
    table.GetObjectClass = GetObjectClass;
    table.IsInstanceOf = IsInstanceOf;
    table.GetJavaVM = GetJavaVM;
#define STANDIN_FILL(slot) table.slot = NotProvidedSlot<k##slot>(table.slot);
    STANDIN_NOT_PROVIDED(STANDIN_FILL)
#undef STANDIN_FILL
#define STANDIN_FILL(slot) table.slot = RefusedSlot<k##slot>(table.slot);
    STANDIN_REFUSED(STANDIN_FILL)
#undef STANDIN_FILL
}

const JNINativeInterface_* FunctionTable() {
    static const JNINativeInterface_ table = [] {
        JNINativeInterface_ filled{}; // the four reserved slots stay null, as the JVM has them
        FillCoreSlots(filled);
        FillDataSlots(filled);
        FillCallSlots(filled);
        return filled;
    }();
    return &table;
}

} // namespace standin
