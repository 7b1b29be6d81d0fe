#include "tests/standin/StandInClasses.h"

#include "tests/standin/StandInObjects.h"
#include "tests/support/ExportCatalogue.h"

#include <algorithm>

namespace standin {
namespace {

// A member of a class as the table gives it: a method when its signature has parentheses, else a
// field.
struct MemberEntry {
    const char* name;
    const char* signature;
    MethodBody body;
};

struct ClassEntry {
    std::string name;
    const char* super; // null for java/lang/Object
    std::vector<MemberEntry> members;
};

Value Nothing() {
    return Value{};
}

Value Boolean(bool value) {
    Value result;
    result.primitive.z = value ? JNI_TRUE : JNI_FALSE;
    return result;
}

Value Int(jint value) {
    Value result;
    result.primitive.i = value;
    return result;
}

Value Reference(Object* object) {
    Value result;
    result.object = object;
    return result;
}

Value Text(Call& call, const std::u16string& text) {
    return Reference(NewString(call.state, text));
}

Value& FieldNamed(Call& call, const char* name) {
    for (const Class* klass = call.self->klass; klass != nullptr; klass = klass->super) {
        for (const Field& field : klass->fields) {
            if (field.name == name) {
                return call.self->fields[field.slot];
            }
        }
    }
    static Value none;
    return none; // the table gives every body the fields it names
}

Value ObjectInit(Call&) {
    return Nothing();
}

Value ClassGetName(Call& call) {
    return Text(call, FromAscii(DottedName(call.self->mirrored)));
}

Value ThrowableToString(Call& call) {
    return Text(call, ThrowableText(call.state, call.self));
}

Value ListAdd(Call& call) {
    call.self->elements.push_back(call.arguments[0].object);
    return Boolean(true);
}

Value ListSize(Call& call) {
    return Int(static_cast<jint>(call.self->elements.size()));
}

// Vector's backing array: ten slots, doubled whenever it is full.
jint VectorCapacity(const Object* vector) {
    size_t capacity = 10;
    while (capacity < vector->elements.size()) {
        capacity *= 2;
    }
    return static_cast<jint>(capacity);
}

// Vector.get checks only the upper bound; a negative index fails on the backing array.
Value VectorGet(Call& call) {
    jint index = call.arguments[0].primitive.i;
    if (index >= static_cast<jint>(call.self->elements.size())) {
        Raise(call.state, "java/lang/ArrayIndexOutOfBoundsException",
              "Array index out of range: " + std::to_string(index));
        return Nothing();
    }
    if (index < 0) {
        Raise(call.state, "java/lang/ArrayIndexOutOfBoundsException",
              "Index " + std::to_string(index) + " out of bounds for length " +
                  std::to_string(VectorCapacity(call.self)));
        return Nothing();
    }
    return Reference(call.self->elements[size_t(index)]);
}

// ArrayList.get: Objects.checkIndex.
Value ResultVectorGet(Call& call) {
    jint index = call.arguments[0].primitive.i;
    jint size = static_cast<jint>(call.self->elements.size());
    if (index < 0 || index >= size) {
        Raise(call.state, "java/lang/IndexOutOfBoundsException",
              "Index " + std::to_string(index) + " out of bounds for length " +
                  std::to_string(size));
        return Nothing();
    }
    return Reference(call.self->elements[size_t(index)]);
}

Value SetMasterCode(Call& call) {
    FieldNamed(call, "masterCode") = call.arguments[0];
    return Nothing();
}

Value SetAttributeValue(Call& call) {
    FieldNamed(call, "attributeValue") = call.arguments[0];
    return Nothing();
}

Value SetUniqueInstanceId(Call& call) {
    FieldNamed(call, "uniqueInstanceId") = call.arguments[0];
    return Nothing();
}

Value GetMasterCode(Call& call) {
    return FieldNamed(call, "masterCode");
}

Value GetAttributeValue(Call& call) {
    return FieldNamed(call, "attributeValue");
}

Value GetUniqueInstanceId(Call& call) {
    return FieldNamed(call, "uniqueInstanceId");
}

// A native method of an agent class: its body is the library's export, which a host calls
// directly; a call through JNI is refused (see IsNativeMethod).
Value NativeMethod(Call&) {
    return Nothing();
}

constexpr char kString[] = "Ljava/lang/String;";

// Each class after its superclass: the members the library and its hosts look up, and the
// throwables the stand-in raises where the JVM would, under the superclasses the JDK gives them.
const std::vector<ClassEntry>& ClassTable() {
    static const std::vector<ClassEntry> table = {
        {"java/lang/Object", nullptr, {}},
        {"java/lang/Class",
         "java/lang/Object",
         {{"getName", "()Ljava/lang/String;", ClassGetName}}},
        {"java/lang/String", "java/lang/Object", {}},
        {"java/lang/Throwable",
         "java/lang/Object",
         {{"detailMessage", kString, nullptr},
          {"toString", "()Ljava/lang/String;", ThrowableToString}}},
        {"java/lang/Exception", "java/lang/Throwable", {}},
        {"java/lang/Error", "java/lang/Throwable", {}},
        {"java/lang/RuntimeException", "java/lang/Exception", {}},
        {"java/lang/NullPointerException", "java/lang/RuntimeException", {}},
        {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException", {}},
        {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException", {}},
        {"java/lang/ArrayStoreException", "java/lang/RuntimeException", {}},
        {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException", {}},
        {"java/lang/LinkageError", "java/lang/Error", {}},
        {"java/lang/NoClassDefFoundError", "java/lang/LinkageError", {}},
        {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError", {}},
        {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError", {}},
        {"java/lang/NoSuchFieldError", "java/lang/IncompatibleClassChangeError", {}},
        {"java/lang/VirtualMachineError", "java/lang/Error", {}},
        {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError", {}},
        {"java/util/Vector",
         "java/lang/Object",
         {{"<init>", "()V", ObjectInit},
          {"add", "(Ljava/lang/Object;)Z", ListAdd},
          {"size", "()I", ListSize},
          {"get", "(I)Ljava/lang/Object;", VectorGet}}},
        {"com/quorvane/inventory/InventoryAttributeValue",
         "java/lang/Object",
         {{"masterCode", "I", nullptr},
          {"attributeValue", kString, nullptr},
          {"uniqueInstanceId", kString, nullptr},
          {"<init>", "()V", ObjectInit},
          {"setMasterCode", "(I)V", SetMasterCode},
          {"setAttributeValue", "(Ljava/lang/String;)V", SetAttributeValue},
          {"setUniqueInstanceId", "(Ljava/lang/String;)V", SetUniqueInstanceId},
          {"getMasterCode", "()I", GetMasterCode},
          {"getAttributeValue", "()Ljava/lang/String;", GetAttributeValue},
          {"getUniqueInstanceId", "()Ljava/lang/String;", GetUniqueInstanceId}}},
        {"com/quorvane/inventory/inventoryagent/Service",
         "java/lang/Object",
         {{"name", kString, nullptr},
          {"displayName", kString, nullptr},
          {"binaryPath", kString, nullptr},
          {"startupType", kString, nullptr},
          {"description", kString, nullptr},
          {"status", kString, nullptr},
          {"type", "I", nullptr},
          {"startName", kString, nullptr},
          {"<init>", "()V", ObjectInit}}},
        {"com/quorvane/inventory/inventoryagent/InventoryResultVector",
         "java/lang/Object",
         {{"<init>", "()V", ObjectInit},
          {"size", "()I", ListSize},
          {"get", "(I)Ljava/lang/Object;", ResultVectorGet},
          {"add", "(Ljava/lang/Object;)Z", ListAdd}}},
    };
    return table;
}

// The agent classes, in the order the export catalogue first names them: a constructor and
// their native methods.
std::vector<ClassEntry> AgentClasses() {
    std::vector<ClassEntry> agents;
    for (const ExportEntry& entry : kExportCatalogue) {
        std::string name = std::string("com/quorvane/inventory/inventoryagent/") + entry.javaClass;
        auto agent = std::find_if(agents.begin(), agents.end(),
                                  [&](const ClassEntry& klass) { return klass.name == name; });
        if (agent == agents.end()) {
            agent = agents.insert(agents.end(),
                                  {name, "java/lang/Object", {{"<init>", "()V", ObjectInit}}});
        }
        agent->members.push_back({entry.method, entry.signature, NativeMethod});
    }
    return agents;
}

// One descriptor at text[at]; false when there is none.
bool ParseDescriptor(const std::string& text, size_t* at, std::string* descriptor) {
    size_t start = *at;
    while (*at < text.size() && text[*at] == '[') {
        ++*at;
    }
    if (*at >= text.size()) {
        return false;
    }
    char kind = text[*at];
    if (kind == 'L') {
        size_t end = text.find(';', *at);
        if (end == std::string::npos || end == *at + 1) {
            return false;
        }
        *at = end + 1;
    } else if (std::string("ZBCSIJFD").find(kind) != std::string::npos) {
        ++*at;
    } else {
        return false;
    }
    *descriptor = text.substr(start, *at - start);
    return true;
}

void AddMethod(State& state, Class& klass, const char* name, const char* signature,
               MethodBody body) {
    Method method;
    method.owner = &klass;
    method.name = name;
    method.signature = signature;
    method.body = body;
    ParseSignature(signature, &method.parameters, &method.returnType);
    klass.methods.push_back(std::move(method));
    state.methodIds.insert(&klass.methods.back());
}

void AddField(State& state, Class& klass, const char* name, const char* type) {
    klass.fields.push_back(Field{&klass, name, type, klass.fieldCount++});
    state.fieldIds.insert(&klass.fields.back());
}

Class& NewClass(State& state, const std::string& name) {
    state.classes.emplace_back();
    Class& klass = state.classes.back();
    klass.name = name;
    state.classByName[name] = &klass;
    return klass;
}

void BuildClass(State& state, const ClassEntry& entry) {
    Class& klass = NewClass(state, entry.name);
    klass.super = entry.super == nullptr ? nullptr : state.classByName.at(entry.super);
    klass.fieldCount = klass.super == nullptr ? 0 : klass.super->fieldCount;
    for (const MemberEntry& member : entry.members) {
        if (member.signature[0] != '(') {
            AddField(state, klass, member.name, member.signature);
        } else {
            AddMethod(state, klass, member.name, member.signature, member.body);
        }
    }
}

void GiveMirror(State& state, Class& klass) {
    klass.mirror = NewInstance(state, state.classByName.at("java/lang/Class"));
    klass.mirror->mirrored = &klass;
}

const Method* FindDeclared(const Class* klass, const std::string& name,
                           const std::string& signature) {
    for (const Method& method : klass->methods) {
        if (method.name == name && method.signature == signature) {
            return &method;
        }
    }
    return nullptr;
}

Class* MakeArrayClass(State& state, const std::string& name) {
    Class* element = ClassOfDescriptor(state, name.substr(1));
    bool primitive = name.size() == 2 && std::string("ZBCSIJFD").find(name[1]) != std::string::npos;
    if (element == nullptr && !primitive) {
        return nullptr;
    }
    Class& klass = NewClass(state, name);
    klass.super = state.classByName.at("java/lang/Object");
    klass.elementType = name[1];
    klass.elementClass = element;
    GiveMirror(state, klass);
    return &klass;
}

} // namespace

void BuildClasses(State& state) {
    for (const ClassEntry& entry : ClassTable()) {
        BuildClass(state, entry);
    }
    for (const ClassEntry& entry : AgentClasses()) {
        BuildClass(state, entry);
    }
    for (Class& klass : state.classes) {
        GiveMirror(state, klass);
    }
}

Class* LookUpClass(State& state, const std::string& name) {
    auto found = state.classByName.find(name);
    if (found != state.classByName.end()) {
        return found->second;
    }
    if (name.size() < 2 || name[0] != '[') {
        return nullptr;
    }
    size_t end = 1;
    std::string element;
    if (!ParseDescriptor(name, &end, &element) || end != name.size()) {
        return nullptr;
    }
    return MakeArrayClass(state, name);
}

Class* ClassOfDescriptor(State& state, const std::string& descriptor) {
    if (descriptor.size() > 2 && descriptor[0] == 'L' && descriptor.back() == ';') {
        return LookUpClass(state, descriptor.substr(1, descriptor.size() - 2));
    }
    if (descriptor.size() >= 2 && descriptor[0] == '[') {
        return LookUpClass(state, descriptor);
    }
    return nullptr;
}

bool ParseSignature(const std::string& signature, std::vector<std::string>* parameters,
                    std::string* returnType) {
    parameters->clear();
    if (signature.empty() || signature[0] != '(') {
        return false;
    }
    size_t at = 1;
    while (at < signature.size() && signature[at] != ')') {
        std::string descriptor;
        if (!ParseDescriptor(signature, &at, &descriptor)) {
            return false;
        }
        parameters->push_back(descriptor);
    }
    if (at >= signature.size()) {
        return false;
    }
    ++at;
    if (signature.substr(at) == "V") {
        *returnType = "V";
        return true;
    }
    return ParseDescriptor(signature, &at, returnType) && at == signature.size();
}

const Method* FindMethod(const Class* klass, const std::string& name,
                         const std::string& signature) {
    const Method* found = FindDeclared(klass, name, signature);
    for (const Class* owner = klass->super;
         found == nullptr && owner != nullptr && name != "<init>"; owner = owner->super) {
        found = FindDeclared(owner, name, signature);
    }
    return found;
}

const Field* FindField(const Class* klass, const std::string& name, const std::string& type) {
    for (const Class* owner = klass; owner != nullptr; owner = owner->super) {
        for (const Field& field : owner->fields) {
            if (field.name == name && field.type == type) {
                return &field;
            }
        }
    }
    return nullptr;
}

bool IsNativeMethod(const Method* method) {
    return method->body == NativeMethod;
}

Value Invoke(State& state, const Method* method, Object* self, std::vector<Value> arguments) {
    Call call{state, self, std::move(arguments)};
    return method->body(call);
}

namespace {

Value& DetailMessage(State& state, const Object* throwable) {
    const Field* field =
        FindField(LookUpClass(state, "java/lang/Throwable"), "detailMessage", "Ljava/lang/String;");
    return const_cast<Object*>(throwable)->fields[field->slot];
}

} // namespace

void SetThrowableMessage(State& state, Object* throwable, Object* message) {
    DetailMessage(state, throwable).object = message;
}

std::u16string ThrowableText(State& state, const Object* throwable) {
    std::u16string text = FromAscii(DottedName(throwable->klass));
    const Object* message = DetailMessage(state, throwable).object;
    return message == nullptr ? text : text + u": " + message->text;
}

} // namespace standin
