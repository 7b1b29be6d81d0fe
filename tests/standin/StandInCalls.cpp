// Members: finding methods and fields by name and signature, constructing objects, calling
// methods and reading and writing fields, each through the slot of the member's own type. C++
// callers reach the va_list forms of the calls (jni.h's Call<Type>Method and NewObject pass their
// arguments on as one), so only those are provided.
#include "tests/standin/StandInTable.h"

#include "tests/standin/StandInClasses.h"
#include "tests/standin/StandInObjects.h"
#include "tests/standin/StandInRefs.h"

#include <stdarg.h>

namespace standin {
namespace {

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

jvalue ReadPrimitive(char family, va_list* list) {
    jvalue value{};
    switch (family) {
    case 'Z':
        value.z = static_cast<jboolean>(va_arg(*list, int));
        break;
    case 'B':
        value.b = static_cast<jbyte>(va_arg(*list, int));
        break;
    case 'C':
        value.c = static_cast<jchar>(va_arg(*list, int));
        break;
    case 'S':
        value.s = static_cast<jshort>(va_arg(*list, int));
        break;
    case 'I':
        value.i = va_arg(*list, jint);
        break;
    case 'J':
        value.j = va_arg(*list, jlong);
        break;
    case 'F':
        value.f = static_cast<jfloat>(va_arg(*list, double));
        break;
    case 'D':
        value.d = va_arg(*list, double);
        break;
    default:
        value.l = va_arg(*list, jobject);
        break;
    }
    return value;
}

// The arguments of a call, read from a copy of the caller's va_list.
bool ReadArguments(State& state, const Method& method, va_list args, const char* function,
                   std::vector<Value>* arguments) {
    va_list list;
    va_copy(list, args);
    bool read = true;
    for (size_t i = 0; read && i < method.parameters.size(); ++i) {
        const std::string& parameter = method.parameters[i];
        Value value;
        value.primitive = ReadPrimitive(FamilyOf(parameter), &list);
        if (FamilyOf(parameter) == 'L') {
            read = Resolve(state, value.primitive.l, function, &value.object);
            value.primitive = jvalue{};
            if (read && !IsInstance(value.object, ClassOfDescriptor(state, parameter))) {
                RecordBreach(state, function,
                             "argument " + std::to_string(i + 1) + " of " + method.name +
                                 method.signature + " is an object of " +
                                 DottedName(value.object->klass));
                read = false;
            }
        }
        arguments->push_back(value);
    }
    va_end(list);
    return read;
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

// That the method found can run on the object with a result of the slot's type.
bool MethodFits(State& state, const char* function, const Method* method, const Object* self,
                char family) {
    if (!IsAssignable(self->klass, method->owner)) {
        RecordBreach(state, function,
                     MethodName(method) + " called on an object of " + DottedName(self->klass));
        return false;
    }
    if (FamilyOf(method->returnType) != family) {
        RecordBreach(state, function,
                     MethodName(method) + " returns " + TypeName(FamilyOf(method->returnType)));
        return false;
    }
    return true;
}

// The name a fault in a call of the method is matched by; null for no method of this stand-in.
const char* FaultName(State& state, jmethodID id) {
    return state.methodIds.count(id) != 0 ? reinterpret_cast<const Method*>(id)->name.c_str()
                                          : nullptr;
}

// The checks every call makes, and its arguments read.
PreparedCall Prepare(JNIEnv* env, const char* function, JniCall kind, char family, jobject obj,
                     jmethodID id, va_list args) {
    State& state = StateOf(env);
    PreparedCall call;
    if (!EnterFallibleSlot(env, function, kind, FaultName(state, id)) ||
        !ResolveNonNull(state, obj, function, "object", &call.self) ||
        !ResolveMethod(state, id, function, &call.method) ||
        !MethodFits(state, function, call.method, call.self, family) ||
        !ReadArguments(state, *call.method, args, function, &call.arguments)) {
        return call;
    }
    if (IsNativeMethod(call.method)) {
        RecordBreach(state, function,
                     MethodName(call.method) + " is native: the host calls the library's export");
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
template <> jint Convert<jint>(State&, const Value& value, const char*) {
    return value.primitive.i;
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

// The Call<Type>MethodV slots of the result types the library and its hosts use.
#define STANDIN_CALL_TYPES(X)                                                                      \
    X(Object, jobject, 'L')                                                                        \
    X(Boolean, jboolean, 'Z')                                                                      \
    X(Int, jint, 'I')                                                                              \
    X(Void, void, 'V')

#define STANDIN_CALL_SLOT(Type, jtype, family)                                                     \
    jtype JNICALL Call##Type##MethodV(JNIEnv* env, jobject obj, jmethodID methodID,                \
                                      va_list args) {                                              \
        PreparedCall call =                                                                        \
            Prepare(env, __func__, JniCall::Call##Type##Method, family, obj, methodID, args);      \
        return Finish<jtype>(env, call, __func__);                                                 \
    }
STANDIN_CALL_TYPES(STANDIN_CALL_SLOT)
#undef STANDIN_CALL_SLOT

jobject JNICALL NewObjectV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args) {
    State& state = StateOf(env);
    const char* function = __func__;
    Class* klass;
    const Method* constructor;
    std::vector<Value> arguments;
    if (!EnterFallibleSlot(env, function, JniCall::NewObject) ||
        !ResolveClass(state, clazz, function, &klass) ||
        !ResolveMethod(state, methodID, function, &constructor)) {
        return nullptr;
    }
    if (constructor->name != "<init>" || constructor->owner != klass) {
        RecordBreach(state, function,
                     MethodName(constructor) + " is not a constructor of " + DottedName(klass));
        return nullptr;
    }
    if (!ReadArguments(state, *constructor, args, function, &arguments)) {
        return nullptr;
    }
    Object* self = NewInstance(state, klass);
    Invoke(state, constructor, self, std::move(arguments));
    return state.pending != nullptr ? nullptr : NewLocalRef(state, self, function);
}

// The arguments both ID slots check.
bool LookUpArguments(JNIEnv* env, JniCall call, jclass clazz, const char* name, const char* sig,
                     const char* function, Class** klass) {
    State& state = StateOf(env);
    if (!EnterFallibleSlot(env, function, call, name) ||
        !ResolveClass(state, clazz, function, klass)) {
        return false;
    }
    if (name == nullptr || sig == nullptr) {
        RecordBreach(state, function, name == nullptr ? "null name" : "null signature");
        return false;
    }
    return true;
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    State& state = StateOf(env);
    Class* klass;
    if (!LookUpArguments(env, JniCall::GetMethodID, clazz, name, sig, __func__, &klass)) {
        return nullptr;
    }
    const Method* method = FindMethod(klass, name, sig);
    if (method == nullptr) {
        std::string descriptor = klass->elementType != 0 ? klass->name : "L" + klass->name + ";";
        Raise(state, "java/lang/NoSuchMethodError", descriptor + "." + name + sig);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(const_cast<Method*>(method));
}

jfieldID JNICALL GetFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    State& state = StateOf(env);
    Class* klass;
    if (!LookUpArguments(env, JniCall::GetFieldID, clazz, name, sig, __func__, &klass)) {
        return nullptr;
    }
    const Field* field = FindField(klass, name, sig);
    if (field == nullptr) {
        Raise(state, "java/lang/NoSuchFieldError", DottedName(klass) + "." + name + " " + sig);
        return nullptr;
    }
    return reinterpret_cast<jfieldID>(const_cast<Field*>(field));
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

jint JNICALL GetIntField(JNIEnv* env, jobject obj, jfieldID fieldID) {
    Value* slot = FieldSlot(env, __func__, 'I', obj, fieldID);
    return slot == nullptr ? 0 : slot->primitive.i;
}

void JNICALL SetIntField(JNIEnv* env, jobject obj, jfieldID fieldID, jint val) {
    Value* slot = FieldSlot(env, __func__, 'I', obj, fieldID);
    if (slot != nullptr) {
        slot->primitive = jvalue{};
        slot->primitive.i = val;
    }
}

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
    table.GetFieldID = GetFieldID;
    table.NewObjectV = NewObjectV;
    table.GetObjectField = GetObjectField;
    table.SetObjectField = SetObjectField;
    table.GetIntField = GetIntField;
    table.SetIntField = SetIntField;
#define STANDIN_FILL(Type, jtype, family) table.Call##Type##MethodV = Call##Type##MethodV;
    STANDIN_CALL_TYPES(STANDIN_FILL)
#undef STANDIN_FILL
}

} // namespace standin
