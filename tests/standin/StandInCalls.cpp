// Members: finding methods and fields by name and signature, constructing objects, calling
// methods (virtually, or not) and reading and writing fields, each through the slot of the
// member's own type.
#include "tests/standin/StandInTable.h"

#include "tests/standin/StandInClasses.h"
#include "tests/standin/StandInObjects.h"
#include "tests/standin/StandInRefs.h"

#include <stdarg.h>
#include <string.h>

namespace standin {
namespace {

// Where a call's arguments come from: a va_list or a jvalue array.
struct ArgumentSource {
    va_list* list;
    const jvalue* array;
};

// A call checked and its arguments read, ready to run.
struct PreparedCall {
    bool ready = false;
    const Method* method = nullptr;
    Object* self = nullptr;
    std::vector<Value> arguments;
};

// The slot family a descriptor belongs to: 'L' for every reference type.
char FamilyOf(const std::string& descriptor) {
    return descriptor[0] == '[' ? 'L' : descriptor[0];
}

const char* TypeName(char family) {
    switch (family) {
    case 'Z':
        return "boolean";
    case 'B':
        return "byte";
    case 'C':
        return "char";
    case 'S':
        return "short";
    case 'I':
        return "int";
    case 'J':
        return "long";
    case 'F':
        return "float";
    case 'D':
        return "double";
    case 'V':
        return "void";
    default:
        return "an object";
    }
}

jvalue ReadPrimitive(char family, ArgumentSource source, size_t index) {
    if (source.array != nullptr) {
        return source.array[index];
    }
    jvalue value{};
    switch (family) {
    case 'Z':
        value.z = static_cast<jboolean>(va_arg(*source.list, int));
        break;
    case 'B':
        value.b = static_cast<jbyte>(va_arg(*source.list, int));
        break;
    case 'C':
        value.c = static_cast<jchar>(va_arg(*source.list, int));
        break;
    case 'S':
        value.s = static_cast<jshort>(va_arg(*source.list, int));
        break;
    case 'I':
        value.i = va_arg(*source.list, jint);
        break;
    case 'J':
        value.j = va_arg(*source.list, jlong);
        break;
    case 'F':
        value.f = static_cast<jfloat>(va_arg(*source.list, double));
        break;
    case 'D':
        value.d = va_arg(*source.list, double);
        break;
    default:
        value.l = va_arg(*source.list, jobject);
        break;
    }
    return value;
}

bool ReadArguments(State& state, const Method& method, ArgumentSource source, const char* function,
                   std::vector<Value>* arguments) {
    if (source.list == nullptr && source.array == nullptr && !method.parameters.empty()) {
        RecordBreach(state, function, "null arguments");
        return false;
    }
    for (size_t i = 0; i < method.parameters.size(); ++i) {
        const std::string& parameter = method.parameters[i];
        Value value;
        value.primitive = ReadPrimitive(FamilyOf(parameter), source, i);
        if (FamilyOf(parameter) == 'L') {
            if (!Resolve(state, value.primitive.l, function, &value.object)) {
                return false;
            }
            value.primitive = jvalue{};
            if (!IsInstance(value.object, ClassOfDescriptor(state, parameter))) {
                RecordBreach(state, function,
                             "argument " + std::to_string(i + 1) + " of " + method.name +
                                 method.signature + " is an object of " +
                                 DottedName(value.object->klass));
                return false;
            }
        }
        arguments->push_back(value);
    }
    return true;
}

bool ResolveMethod(State& state, jmethodID id, const char* function, const Method** method) {
    if (id == nullptr || state.methodIds.count(id) == 0) {
        RecordBreach(state, function,
                     id == nullptr ? "null method ID" : "not a method ID of this stand-in");
        return false;
    }
    *method = reinterpret_cast<const Method*>(id);
    return true;
}

bool ResolveField(State& state, jfieldID id, const char* function, const Field** field) {
    if (id == nullptr || state.fieldIds.count(id) == 0) {
        RecordBreach(state, function,
                     id == nullptr ? "null field ID" : "not a field ID of this stand-in");
        return false;
    }
    *field = reinterpret_cast<const Field*>(id);
    return true;
}

std::string MethodName(const Method* method) {
    return DottedName(method->owner) + "." + method->name + method->signature;
}

enum class Dispatch { Virtual, Nonvirtual, Static };

// What a call is made on: an object (and, non-virtually, the class whose method runs), or the
// class of a static method.
bool ResolveReceiver(State& state, const char* function, Dispatch dispatch, jobject obj,
                     jclass clazz, Object** self, Class** klass) {
    *self = nullptr;
    *klass = nullptr;
    if (dispatch != Dispatch::Static && !ResolveNonNull(state, obj, function, "object", self)) {
        return false;
    }
    return dispatch == Dispatch::Virtual || ResolveClass(state, clazz, function, klass);
}

bool MethodFits(State& state, const char* function, Dispatch dispatch, const Method* method,
                const Object* self, const Class* klass, char family) {
    if (method->isStatic != (dispatch == Dispatch::Static)) {
        RecordBreach(state, function,
                     MethodName(method) + (method->isStatic ? " is static" : " is not static"));
        return false;
    }
    if ((self != nullptr && !IsAssignable(self->klass, method->owner)) ||
        (klass != nullptr && !IsAssignable(klass, method->owner))) {
        const Class* receiver = self != nullptr ? self->klass : klass;
        RecordBreach(state, function,
                     MethodName(method) + " called on " + (self != nullptr ? "an object of " : "") +
                         DottedName(receiver));
        return false;
    }
    if (FamilyOf(method->returnType) != family) {
        RecordBreach(state, function,
                     MethodName(method) + " returns " + TypeName(FamilyOf(method->returnType)));
        return false;
    }
    return true;
}

// The checks every call makes, and its arguments read.
PreparedCall Prepare(JNIEnv* env, const char* function, char family, Dispatch dispatch, jobject obj,
                     jclass clazz, jmethodID id, ArgumentSource source) {
    State& state = StateOf(env);
    PreparedCall call;
    Class* klass;
    if (!EnterFallibleSlot(state, function) ||
        !ResolveReceiver(state, function, dispatch, obj, clazz, &call.self, &klass) ||
        !ResolveMethod(state, id, function, &call.method) ||
        !MethodFits(state, function, dispatch, call.method, call.self, klass, family) ||
        !ReadArguments(state, *call.method, source, function, &call.arguments)) {
        return call;
    }
    if (dispatch == Dispatch::Virtual) {
        call.method = Overrider(call.self->klass, call.method);
    }
    if (IsNativeMethod(call.method)) {
        RecordBreach(state, function,
                     MethodName(call.method) + " is native: the host calls the library's export");
        return call;
    }
    if (call.method->body == nullptr) {
        RecordBreach(state, function,
                     MethodName(call.method) + " is abstract: no implementation to run");
        return call;
    }
    call.ready = true;
    return call;
}

template <typename R> R Convert(State& state, const Value& value, const char* function);

template <> jobject Convert<jobject>(State& state, const Value& value, const char* function) {
    return NewLocalRef(state, value.object, function);
}
template <> jboolean Convert<jboolean>(State&, const Value& value, const char*) {
    return value.primitive.z;
}
template <> jbyte Convert<jbyte>(State&, const Value& value, const char*) {
    return value.primitive.b;
}
template <> jchar Convert<jchar>(State&, const Value& value, const char*) {
    return value.primitive.c;
}
template <> jshort Convert<jshort>(State&, const Value& value, const char*) {
    return value.primitive.s;
}
template <> jint Convert<jint>(State&, const Value& value, const char*) {
    return value.primitive.i;
}
template <> jlong Convert<jlong>(State&, const Value& value, const char*) {
    return value.primitive.j;
}
template <> jfloat Convert<jfloat>(State&, const Value& value, const char*) {
    return value.primitive.f;
}
template <> jdouble Convert<jdouble>(State&, const Value& value, const char*) {
    return value.primitive.d;
}
template <> void Convert<void>(State&, const Value&, const char*) {}

template <typename R> R Finish(JNIEnv* env, PreparedCall& call, const char* function) {
    State& state = StateOf(env);
    if (!call.ready) {
        return Convert<R>(state, Value{}, function);
    }
    Value result = Invoke(state, call.method, call.self, std::move(call.arguments));
    return Convert<R>(state, result, function);
}

// Each Call<Type>Method slot in its three forms: virtual, non-virtual and static.
#define STANDIN_CALL_TYPES(X)                                                                      \
    X(Object, jobject, 'L')                                                                        \
    X(Boolean, jboolean, 'Z')                                                                      \
    X(Byte, jbyte, 'B')                                                                            \
    X(Char, jchar, 'C')                                                                            \
    X(Short, jshort, 'S')                                                                          \
    X(Int, jint, 'I')                                                                              \
    X(Long, jlong, 'J')                                                                            \
    X(Float, jfloat, 'F')                                                                          \
    X(Double, jdouble, 'D')                                                                        \
    X(Void, void, 'V')

// The three forms of one call slot: Name(...), NameV(va_list), NameA(const jvalue*).
#define STANDIN_CALL_FORMS(Name, jtype, family, dispatch, receiver, receiverArgs)                  \
    jtype JNICALL Name(JNIEnv* env, receiver, jmethodID methodID, ...) {                           \
        va_list args;                                                                              \
        va_start(args, methodID);                                                                  \
        PreparedCall call = Prepare(env, __func__, family, dispatch, receiverArgs, methodID,       \
                                    ArgumentSource{&args, nullptr});                               \
        va_end(args);                                                                              \
        return Finish<jtype>(env, call, __func__);                                                 \
    }                                                                                              \
    jtype JNICALL Name##V(JNIEnv* env, receiver, jmethodID methodID, va_list args) {               \
        va_list copy;                                                                              \
        va_copy(copy, args);                                                                       \
        PreparedCall call = Prepare(env, __func__, family, dispatch, receiverArgs, methodID,       \
                                    ArgumentSource{&copy, nullptr});                               \
        va_end(copy);                                                                              \
        return Finish<jtype>(env, call, __func__);                                                 \
    }                                                                                              \
    jtype JNICALL Name##A(JNIEnv* env, receiver, jmethodID methodID, const jvalue* args) {         \
        PreparedCall call = Prepare(env, __func__, family, dispatch, receiverArgs, methodID,       \
                                    ArgumentSource{nullptr, args});                                \
        return Finish<jtype>(env, call, __func__);                                                 \
    }

#define STANDIN_OBJECT jobject obj
#define STANDIN_OBJECT_AND_CLASS jobject obj, jclass clazz
#define STANDIN_CLASS jclass clazz
#define STANDIN_CALL_SLOTS(Type, jtype, family)                                                    \
    STANDIN_CALL_FORMS(Call##Type##Method, jtype, family, Dispatch::Virtual, STANDIN_OBJECT,       \
                       STANDIN_PASS(obj, nullptr))                                                 \
    STANDIN_CALL_FORMS(CallNonvirtual##Type##Method, jtype, family, Dispatch::Nonvirtual,          \
                       STANDIN_OBJECT_AND_CLASS, STANDIN_PASS(obj, clazz))                         \
    STANDIN_CALL_FORMS(CallStatic##Type##Method, jtype, family, Dispatch::Static, STANDIN_CLASS,   \
                       STANDIN_PASS(nullptr, clazz))
#define STANDIN_PASS(object, klass) object, klass
STANDIN_CALL_TYPES(STANDIN_CALL_SLOTS)
#undef STANDIN_CALL_SLOTS
#undef STANDIN_PASS
#undef STANDIN_CLASS
#undef STANDIN_OBJECT_AND_CLASS
#undef STANDIN_OBJECT
#undef STANDIN_CALL_FORMS

PreparedCall PrepareConstruction(JNIEnv* env, const char* function, jclass clazz, jmethodID id,
                                 ArgumentSource source) {
    State& state = StateOf(env);
    PreparedCall call;
    Class* klass;
    if (!EnterFallibleSlot(state, function) || !ResolveClass(state, clazz, function, &klass) ||
        !ResolveMethod(state, id, function, &call.method)) {
        return call;
    }
    if (call.method->name != "<init>" || call.method->owner != klass) {
        RecordBreach(state, function,
                     MethodName(call.method) + " is not a constructor of " + DottedName(klass));
        return call;
    }
    if (!ReadArguments(state, *call.method, source, function, &call.arguments)) {
        return call;
    }
    if (klass->isAbstract) {
        Raise(state, "java/lang/InstantiationException", DottedName(klass));
        return call;
    }
    call.self = NewInstance(state, klass);
    call.ready = true;
    return call;
}

jobject Construct(JNIEnv* env, PreparedCall& call, const char* function) {
    State& state = StateOf(env);
    if (!call.ready) {
        return nullptr;
    }
    Invoke(state, call.method, call.self, std::move(call.arguments));
    return state.pending != nullptr ? nullptr : NewLocalRef(state, call.self, function);
}

jobject JNICALL NewObject(JNIEnv* env, jclass clazz, jmethodID methodID, ...) {
    va_list args;
    va_start(args, methodID);
    PreparedCall call =
        PrepareConstruction(env, __func__, clazz, methodID, ArgumentSource{&args, nullptr});
    va_end(args);
    return Construct(env, call, __func__);
}

jobject JNICALL NewObjectV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args) {
    va_list copy;
    va_copy(copy, args);
    PreparedCall call =
        PrepareConstruction(env, __func__, clazz, methodID, ArgumentSource{&copy, nullptr});
    va_end(copy);
    return Construct(env, call, __func__);
}

jobject JNICALL NewObjectA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args) {
    PreparedCall call =
        PrepareConstruction(env, __func__, clazz, methodID, ArgumentSource{nullptr, args});
    return Construct(env, call, __func__);
}

// The arguments both ID slots and their static twins check. No class of the stand-in has a static
// field, so GetStaticFieldID finds none, as the JVM finds none by these names.
bool LookUpArguments(State& state, jclass clazz, const char* name, const char* sig,
                     const char* function, Class** klass) {
    if (!EnterFallibleSlot(state, function) || !ResolveClass(state, clazz, function, klass)) {
        return false;
    }
    if (name == nullptr || sig == nullptr) {
        RecordBreach(state, function, name == nullptr ? "null name" : "null signature");
        return false;
    }
    return true;
}

jmethodID FindMethodId(JNIEnv* env, jclass clazz, const char* name, const char* sig, bool isStatic,
                       const char* function) {
    State& state = StateOf(env);
    Class* klass;
    if (!LookUpArguments(state, clazz, name, sig, function, &klass)) {
        return nullptr;
    }
    const Method* method = FindMethod(state, klass, name, sig, isStatic);
    if (method == nullptr) {
        std::string descriptor = klass->elementType != 0 ? klass->name : "L" + klass->name + ";";
        Raise(state, "java/lang/NoSuchMethodError",
              std::string(isStatic ? "static " : "") + descriptor + "." + name + sig);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(const_cast<Method*>(method));
}

jfieldID FindFieldId(JNIEnv* env, jclass clazz, const char* name, const char* sig, bool isStatic,
                     const char* function) {
    State& state = StateOf(env);
    Class* klass;
    if (!LookUpArguments(state, clazz, name, sig, function, &klass)) {
        return nullptr;
    }
    const Field* field = isStatic ? nullptr : FindField(klass, name, sig);
    if (field == nullptr) {
        Raise(state, "java/lang/NoSuchFieldError", DottedName(klass) + "." + name + " " + sig);
        return nullptr;
    }
    return reinterpret_cast<jfieldID>(const_cast<Field*>(field));
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return FindMethodId(env, clazz, name, sig, false, __func__);
}

jmethodID JNICALL GetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return FindMethodId(env, clazz, name, sig, true, __func__);
}

jfieldID JNICALL GetFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return FindFieldId(env, clazz, name, sig, false, __func__);
}

jfieldID JNICALL GetStaticFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return FindFieldId(env, clazz, name, sig, true, __func__);
}

// The field's storage in the object, or null with the breach recorded.
Value* FieldSlot(JNIEnv* env, const char* function, char family, jobject obj, jfieldID id) {
    State& state = StateOf(env);
    Object* object;
    const Field* field;
    if (!EnterSlot(state, function, false) ||
        !ResolveNonNull(state, obj, function, "object", &object) ||
        !ResolveField(state, id, function, &field)) {
        return nullptr;
    }
    std::string name = DottedName(field->owner) + "." + field->name;
    if (!IsAssignable(object->klass, field->owner)) {
        RecordBreach(state, function,
                     name + " read or written on an object of " + DottedName(object->klass));
        return nullptr;
    }
    if (FamilyOf(field->type) != family) {
        RecordBreach(state, function, name + " is " + TypeName(FamilyOf(field->type)));
        return nullptr;
    }
    return &object->fields[field->slot];
}

template <typename T> void Store(Value& slot, T value) {
    slot.primitive = jvalue{};
    memcpy(&slot.primitive, &value, sizeof value);
}

#define STANDIN_FIELD_TYPES(X)                                                                     \
    X(Boolean, jboolean, 'Z')                                                                      \
    X(Byte, jbyte, 'B')                                                                            \
    X(Char, jchar, 'C')                                                                            \
    X(Short, jshort, 'S')                                                                          \
    X(Int, jint, 'I')                                                                              \
    X(Long, jlong, 'J')                                                                            \
    X(Float, jfloat, 'F')                                                                          \
    X(Double, jdouble, 'D')

#define STANDIN_FIELD_SLOTS(Type, jtype, family)                                                   \
    jtype JNICALL Get##Type##Field(JNIEnv* env, jobject obj, jfieldID fieldID) {                   \
        Value* slot = FieldSlot(env, __func__, family, obj, fieldID);                              \
        return Convert<jtype>(StateOf(env), slot == nullptr ? Value{} : *slot, __func__);          \
    }                                                                                              \
    void JNICALL Set##Type##Field(JNIEnv* env, jobject obj, jfieldID fieldID, jtype val) {         \
        Value* slot = FieldSlot(env, __func__, family, obj, fieldID);                              \
        if (slot != nullptr) {                                                                     \
            Store(*slot, val);                                                                     \
        }                                                                                          \
    }
STANDIN_FIELD_TYPES(STANDIN_FIELD_SLOTS)
#undef STANDIN_FIELD_SLOTS

jobject JNICALL GetObjectField(JNIEnv* env, jobject obj, jfieldID fieldID) {
    Value* slot = FieldSlot(env, __func__, 'L', obj, fieldID);
    return slot == nullptr ? nullptr : NewLocalRef(StateOf(env), slot->object, __func__);
}

void JNICALL SetObjectField(JNIEnv* env, jobject obj, jfieldID fieldID, jobject val) {
    State& state = StateOf(env);
    Value* slot = FieldSlot(env, __func__, 'L', obj, fieldID);
    Object* value;
    if (slot == nullptr || !Resolve(state, val, __func__, &value)) {
        return;
    }
    const Field* field = reinterpret_cast<const Field*>(fieldID);
    if (!IsInstance(value, ClassOfDescriptor(state, field->type))) {
        RecordBreach(state, __func__,
                     DottedName(field->owner) + "." + field->name + " cannot hold an object of " +
                         DottedName(value->klass));
        return;
    }
    slot->object = value;
}

} // namespace

void FillCallSlots(JNINativeInterface_& table) {
    table.GetMethodID = GetMethodID;
    table.GetStaticMethodID = GetStaticMethodID;
    table.GetFieldID = GetFieldID;
    table.GetStaticFieldID = GetStaticFieldID;
    table.NewObject = NewObject;
    table.NewObjectV = NewObjectV;
    table.NewObjectA = NewObjectA;
    table.GetObjectField = GetObjectField;
    table.SetObjectField = SetObjectField;
#define STANDIN_FILL(Type, jtype, family)                                                          \
    table.Call##Type##Method = Call##Type##Method;                                                 \
    table.Call##Type##MethodV = Call##Type##MethodV;                                               \
    table.Call##Type##MethodA = Call##Type##MethodA;                                               \
    table.CallNonvirtual##Type##Method = CallNonvirtual##Type##Method;                             \
    table.CallNonvirtual##Type##MethodV = CallNonvirtual##Type##MethodV;                           \
    table.CallNonvirtual##Type##MethodA = CallNonvirtual##Type##MethodA;                           \
    table.CallStatic##Type##Method = CallStatic##Type##Method;                                     \
    table.CallStatic##Type##MethodV = CallStatic##Type##MethodV;                                   \
    table.CallStatic##Type##MethodA = CallStatic##Type##MethodA;
    STANDIN_CALL_TYPES(STANDIN_FILL)
#undef STANDIN_FILL
#define STANDIN_FILL(Type, jtype, family)                                                          \
    table.Get##Type##Field = Get##Type##Field;                                                     \
    table.Set##Type##Field = Set##Type##Field;
    STANDIN_FIELD_TYPES(STANDIN_FILL)
#undef STANDIN_FILL
}

} // namespace standin
