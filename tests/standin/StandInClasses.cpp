#include "tests/standin/StandInClasses.h"

#include "tests/standin/StandInObjects.h"
#include "tests/support/ExportCatalogue.h"

#include <stdio.h>

#include <algorithm>

namespace standin {
namespace {

// A member of a class as the table gives it: a method when its signature has parentheses
// (abstract when it has no body), else a field.
struct MemberEntry {
    const char* name;
    const char* signature;
    MethodBody body;
    bool isStatic = false;
};

enum ClassFlags { kPlain = 0, kAbstract = 1, kInterface = 2, kThrowable = 4 };

struct ClassEntry {
    std::string name;
    const char* super; // null for java/lang/Object and interfaces
    std::vector<const char*> interfaces;
    int flags;
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

Value Text(Call& call, const std::string& text) {
    return Reference(NewString(call.state, FromModifiedUtf8(text.c_str())));
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

// String.valueOf(object) in modified UTF-8: "null", or what the object's toString() returns.
std::string TextOf(State& state, Object* object) {
    if (object == nullptr) {
        return "null";
    }
    Object* text =
        Invoke(state, Overrider(object->klass, ObjectToStringMethod(state)), object, {}).object;
    return text == nullptr ? "null" : ToModifiedUtf8(text->text, 0, text->text.size());
}

std::string Hex(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
    return text;
}

Value ObjectInit(Call&) {
    return Nothing();
}

Value ObjectGetClass(Call& call) {
    return Reference(call.self->klass->mirror);
}

Value ObjectHashCode(Call& call) {
    return Int(static_cast<jint>(call.self->identity));
}

Value ObjectEquals(Call& call) {
    return Boolean(call.self == call.arguments[0].object);
}

Value ObjectToString(Call& call) {
    return Text(call, DottedName(call.self->klass) + "@" + Hex(call.self->identity));
}

Value ClassGetName(Call& call) {
    return Text(call, DottedName(call.self->mirrored));
}

Value StringLength(Call& call) {
    return Int(static_cast<jint>(call.self->text.size()));
}

Value StringIsEmpty(Call& call) {
    return Boolean(call.self->text.empty());
}

Value StringEquals(Call& call) {
    Object* other = call.arguments[0].object;
    return Boolean(IsString(call.state, other) && other->text == call.self->text);
}

Value StringHashCode(Call& call) {
    uint32_t hash = 0;
    for (char16_t unit : call.self->text) {
        hash = 31 * hash + unit;
    }
    return Int(static_cast<jint>(hash));
}

Value StringToString(Call& call) {
    return Reference(call.self);
}

Value ThrowableInitMessage(Call& call) {
    FieldNamed(call, "detailMessage").object = call.arguments[0].object;
    return Nothing();
}

Value ThrowableGetMessage(Call& call) {
    return FieldNamed(call, "detailMessage");
}

Value ThrowableToString(Call& call) {
    Object* message = FieldNamed(call, "detailMessage").object;
    std::string text = DottedName(call.self->klass);
    if (message != nullptr) {
        text += ": " + ToModifiedUtf8(message->text, 0, message->text.size());
    }
    return Text(call, text);
}

Value ListAdd(Call& call) {
    call.self->elements.push_back(call.arguments[0].object);
    return Boolean(true);
}

Value ListAddElement(Call& call) {
    call.self->elements.push_back(call.arguments[0].object);
    return Nothing();
}

Value ListSize(Call& call) {
    return Int(static_cast<jint>(call.self->elements.size()));
}

Value ListIsEmpty(Call& call) {
    return Boolean(call.self->elements.empty());
}

Value ListClear(Call& call) {
    call.self->elements.clear();
    return Nothing();
}

// Vector's backing array: ten slots, doubled whenever it is full.
jint VectorCapacity(const Object* vector) {
    size_t capacity = 10;
    while (capacity < vector->elements.size()) {
        capacity *= 2;
    }
    return static_cast<jint>(capacity);
}

// Vector.get and elementAt check only the upper bound; a negative index fails on the array.
bool VectorIndexOk(Call& call, jint index, const std::string& tooLarge) {
    if (index >= static_cast<jint>(call.self->elements.size())) {
        Raise(call.state, "java/lang/ArrayIndexOutOfBoundsException", tooLarge);
        return false;
    }
    if (index < 0) {
        Raise(call.state, "java/lang/ArrayIndexOutOfBoundsException",
              "Index " + std::to_string(index) + " out of bounds for length " +
                  std::to_string(VectorCapacity(call.self)));
        return false;
    }
    return true;
}

Value VectorGet(Call& call) {
    jint index = call.arguments[0].primitive.i;
    if (!VectorIndexOk(call, index, "Array index out of range: " + std::to_string(index))) {
        return Nothing();
    }
    return Reference(call.self->elements[size_t(index)]);
}

Value VectorElementAt(Call& call) {
    jint index = call.arguments[0].primitive.i;
    std::string tooLarge =
        std::to_string(index) + " >= " + std::to_string(call.self->elements.size());
    if (!VectorIndexOk(call, index, tooLarge)) {
        return Nothing();
    }
    return Reference(call.self->elements[size_t(index)]);
}

// AbstractList.add: the list cannot grow.
Value UnsupportedAdd(Call& call) {
    RaiseWithoutMessage(call.state, "java/lang/UnsupportedOperationException");
    return Nothing();
}

Value EmptyListGet(Call& call) {
    Raise(call.state, "java/lang/IndexOutOfBoundsException",
          "Index: " + std::to_string(call.arguments[0].primitive.i));
    return Nothing();
}

// Collections.emptyList(): one immutable list for the life of the stand-in.
Value CollectionsEmptyList(Call& call) {
    if (call.state.emptyList == nullptr) {
        call.state.emptyList =
            NewInstance(call.state, LookUpClass(call.state, "java/util/Collections$EmptyList"));
    }
    return Reference(call.state.emptyList);
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

Value CollectionToString(Call& call) {
    std::string text = "[";
    for (size_t i = 0; i < call.self->elements.size(); ++i) {
        Object* element = call.self->elements[i];
        text += (i == 0 ? "" : ", ");
        text += element == call.self ? "(this Collection)" : TextOf(call.state, element);
    }
    return Text(call, text + "]");
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

Value AttributeValueToString(Call& call) {
    return Text(call, std::to_string(FieldNamed(call, "masterCode").primitive.i) + "=" +
                          TextOf(call.state, FieldNamed(call, "attributeValue").object) + " @" +
                          TextOf(call.state, FieldNamed(call, "uniqueInstanceId").object));
}

Value ServiceToString(Call& call) {
    auto text = [&](const char* name) { return TextOf(call.state, FieldNamed(call, name).object); };
    return Text(call, text("name") + " [" + text("displayName") +
                          "] type=" + std::to_string(FieldNamed(call, "type").primitive.i) +
                          " start=" + text("startupType") + " status=" + text("status") +
                          " path=" + text("binaryPath") + " account=" + text("startName") +
                          " description=" + text("description"));
}

// A native method of an agent class: its body is the library's export, which a host calls
// directly; a call through JNI is refused (see IsNativeMethod).
Value NativeMethod(Call&) {
    return Nothing();
}

constexpr char kString[] = "Ljava/lang/String;";

// Each class after its superclass and interfaces. Exceptions and errors get the two
// constructors every Throwable subclass the JNI code raises has: () and (String).
const std::vector<ClassEntry>& ClassTable() {
    static const std::vector<ClassEntry> table = {
        {"java/lang/Object",
         nullptr,
         {},
         kPlain,
         {{"<init>", "()V", ObjectInit},
          {"getClass", "()Ljava/lang/Class;", ObjectGetClass},
          {"hashCode", "()I", ObjectHashCode},
          {"equals", "(Ljava/lang/Object;)Z", ObjectEquals},
          {"toString", "()Ljava/lang/String;", ObjectToString}}},
        {"java/io/Serializable", nullptr, {}, kInterface, {}},
        {"java/lang/Cloneable", nullptr, {}, kInterface, {}},
        {"java/lang/Comparable", nullptr, {}, kInterface, {}},
        {"java/lang/CharSequence", nullptr, {}, kInterface, {}},
        {"java/lang/Iterable", nullptr, {}, kInterface, {}},
        {"java/util/Collection",
         nullptr,
         {"java/lang/Iterable"},
         kInterface,
         {{"add", "(Ljava/lang/Object;)Z", nullptr},
          {"size", "()I", nullptr},
          {"isEmpty", "()Z", nullptr},
          {"clear", "()V", nullptr}}},
        {"java/util/List",
         nullptr,
         {"java/util/Collection"},
         kInterface,
         {{"get", "(I)Ljava/lang/Object;", nullptr}}},
        {"java/util/RandomAccess", nullptr, {}, kInterface, {}},
        {"java/lang/Class",
         "java/lang/Object",
         {"java/io/Serializable"},
         kPlain,
         {{"getName", "()Ljava/lang/String;", ClassGetName}}},
        {"java/lang/String",
         "java/lang/Object",
         {"java/io/Serializable", "java/lang/Comparable", "java/lang/CharSequence"},
         kPlain,
         {{"<init>", "()V", ObjectInit},
          {"length", "()I", StringLength},
          {"isEmpty", "()Z", StringIsEmpty},
          {"equals", "(Ljava/lang/Object;)Z", StringEquals},
          {"hashCode", "()I", StringHashCode},
          {"toString", "()Ljava/lang/String;", StringToString}}},
        {"java/lang/Throwable",
         "java/lang/Object",
         {"java/io/Serializable"},
         kThrowable,
         {{"detailMessage", kString, nullptr},
          {"getMessage", "()Ljava/lang/String;", ThrowableGetMessage},
          {"getLocalizedMessage", "()Ljava/lang/String;", ThrowableGetMessage},
          {"toString", "()Ljava/lang/String;", ThrowableToString}}},
        {"java/lang/Exception", "java/lang/Throwable", {}, kThrowable, {}},
        {"java/lang/Error", "java/lang/Throwable", {}, kThrowable, {}},
        {"java/lang/RuntimeException", "java/lang/Exception", {}, kThrowable, {}},
        {"java/lang/NullPointerException", "java/lang/RuntimeException", {}, kThrowable, {}},
        {"java/lang/IllegalArgumentException", "java/lang/RuntimeException", {}, kThrowable, {}},
        {"java/lang/ClassCastException", "java/lang/RuntimeException", {}, kThrowable, {}},
        {"java/lang/UnsupportedOperationException",
         "java/lang/RuntimeException",
         {},
         kThrowable,
         {}},
        {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException", {}, kThrowable, {}},
        {"java/lang/ArrayIndexOutOfBoundsException",
         "java/lang/IndexOutOfBoundsException",
         {},
         kThrowable,
         {}},
        {"java/lang/StringIndexOutOfBoundsException",
         "java/lang/IndexOutOfBoundsException",
         {},
         kThrowable,
         {}},
        {"java/lang/ArrayStoreException", "java/lang/RuntimeException", {}, kThrowable, {}},
        {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException", {}, kThrowable, {}},
        {"java/lang/ReflectiveOperationException", "java/lang/Exception", {}, kThrowable, {}},
        {"java/lang/InstantiationException",
         "java/lang/ReflectiveOperationException",
         {},
         kThrowable,
         {}},
        {"java/lang/LinkageError", "java/lang/Error", {}, kThrowable, {}},
        {"java/lang/NoClassDefFoundError", "java/lang/LinkageError", {}, kThrowable, {}},
        {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError", {}, kThrowable, {}},
        {"java/lang/NoSuchMethodError",
         "java/lang/IncompatibleClassChangeError",
         {},
         kThrowable,
         {}},
        {"java/lang/NoSuchFieldError",
         "java/lang/IncompatibleClassChangeError",
         {},
         kThrowable,
         {}},
        {"java/lang/VirtualMachineError", "java/lang/Error", {}, kThrowable | kAbstract, {}},
        {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError", {}, kThrowable, {}},
        {"java/util/AbstractCollection",
         "java/lang/Object",
         {"java/util/Collection"},
         kAbstract,
         {{"toString", "()Ljava/lang/String;", CollectionToString}}},
        {"java/util/AbstractList",
         "java/util/AbstractCollection",
         {"java/util/List"},
         kAbstract,
         {{"add", "(Ljava/lang/Object;)Z", UnsupportedAdd}}},
        {"java/util/Collections",
         "java/lang/Object",
         {},
         kPlain,
         {{"emptyList", "()Ljava/util/List;", CollectionsEmptyList, true}}},
        {"java/util/Collections$EmptyList",
         "java/util/AbstractList",
         {"java/util/RandomAccess", "java/io/Serializable"},
         kPlain,
         {{"size", "()I", ListSize},
          {"isEmpty", "()Z", ListIsEmpty},
          {"get", "(I)Ljava/lang/Object;", EmptyListGet}}},
        {"java/util/Vector",
         "java/util/AbstractList",
         {"java/util/List", "java/util/RandomAccess", "java/lang/Cloneable",
          "java/io/Serializable"},
         kPlain,
         {{"<init>", "()V", ObjectInit},
          {"add", "(Ljava/lang/Object;)Z", ListAdd},
          {"addElement", "(Ljava/lang/Object;)V", ListAddElement},
          {"size", "()I", ListSize},
          {"isEmpty", "()Z", ListIsEmpty},
          {"get", "(I)Ljava/lang/Object;", VectorGet},
          {"elementAt", "(I)Ljava/lang/Object;", VectorElementAt},
          {"clear", "()V", ListClear},
          {"removeAllElements", "()V", ListClear}}},
        {"com/quorvane/inventory/InventoryAttributeValue",
         "java/lang/Object",
         {},
         kPlain,
         {{"masterCode", "I", nullptr},
          {"attributeValue", kString, nullptr},
          {"uniqueInstanceId", kString, nullptr},
          {"<init>", "()V", ObjectInit},
          {"setMasterCode", "(I)V", SetMasterCode},
          {"setAttributeValue", "(Ljava/lang/String;)V", SetAttributeValue},
          {"setUniqueInstanceId", "(Ljava/lang/String;)V", SetUniqueInstanceId},
          {"getMasterCode", "()I", GetMasterCode},
          {"getAttributeValue", "()Ljava/lang/String;", GetAttributeValue},
          {"getUniqueInstanceId", "()Ljava/lang/String;", GetUniqueInstanceId},
          {"toString", "()Ljava/lang/String;", AttributeValueToString}}},
        {"com/quorvane/inventory/inventoryagent/Service",
         "java/lang/Object",
         {},
         kPlain,
         {{"name", kString, nullptr},
          {"displayName", kString, nullptr},
          {"binaryPath", kString, nullptr},
          {"startupType", kString, nullptr},
          {"description", kString, nullptr},
          {"status", kString, nullptr},
          {"type", "I", nullptr},
          {"startName", kString, nullptr},
          {"<init>", "()V", ObjectInit},
          {"toString", "()Ljava/lang/String;", ServiceToString}}},
        {"com/quorvane/inventory/inventoryagent/InventoryResultVector",
         "java/lang/Object",
         {},
         kPlain,
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
            agent = agents.insert(
                agents.end(),
                {name, "java/lang/Object", {}, kPlain, {{"<init>", "()V", ObjectInit}}});
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
    klass.isAbstract = (entry.flags & (kAbstract | kInterface)) != 0;
    klass.isInterface = (entry.flags & kInterface) != 0;
    klass.super = entry.super == nullptr ? nullptr : state.classByName.at(entry.super);
    for (const char* implemented : entry.interfaces) {
        klass.interfaces.push_back(state.classByName.at(implemented));
    }
    klass.fieldCount = klass.super == nullptr ? 0 : klass.super->fieldCount;
    if ((entry.flags & kThrowable) != 0) {
        AddMethod(state, klass, "<init>", "()V", ObjectInit);
        AddMethod(state, klass, "<init>", "(Ljava/lang/String;)V", ThrowableInitMessage);
    }
    for (const MemberEntry& member : entry.members) {
        if (member.signature[0] != '(') {
            AddField(state, klass, member.name, member.signature);
        } else {
            AddMethod(state, klass, member.name, member.signature, member.body);
            klass.methods.back().isStatic = member.isStatic;
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

const Method* FindInInterfaces(const Class* klass, const std::string& name,
                               const std::string& signature) {
    for (const Class* owner = klass; owner != nullptr; owner = owner->super) {
        for (const Class* implemented : owner->interfaces) {
            const Method* found = FindDeclared(implemented, name, signature);
            if (found == nullptr) {
                found = FindInInterfaces(implemented, name, signature);
            }
            if (found != nullptr) {
                return found;
            }
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
    klass.interfaces = {state.classByName.at("java/lang/Cloneable"),
                        state.classByName.at("java/io/Serializable")};
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

const Method* FindMethod(State& state, const Class* klass, const std::string& name,
                         const std::string& signature, bool isStatic) {
    const Method* found = FindDeclared(klass, name, signature);
    for (const Class* owner = klass->super;
         found == nullptr && owner != nullptr && name != "<init>"; owner = owner->super) {
        found = FindDeclared(owner, name, signature);
    }
    if (found == nullptr && name != "<init>") {
        found = FindInInterfaces(klass, name, signature);
    }
    if (found == nullptr && klass->isInterface) {
        found = FindDeclared(LookUpClass(state, "java/lang/Object"), name, signature);
    }
    return found != nullptr && found->isStatic == isStatic ? found : nullptr;
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

const Method* Overrider(const Class* actual, const Method* method) {
    if (method->name == "<init>" || method->isStatic) {
        return method;
    }
    for (const Class* owner = actual; owner != nullptr; owner = owner->super) {
        const Method* found = FindDeclared(owner, method->name, method->signature);
        if (found != nullptr && found->body != nullptr) {
            return found;
        }
    }
    return method;
}

bool IsNativeMethod(const Method* method) {
    return method->body == NativeMethod;
}

const Method* ObjectToStringMethod(State& state) {
    return FindDeclared(LookUpClass(state, "java/lang/Object"), "toString", "()Ljava/lang/String;");
}

Value Invoke(State& state, const Method* method, Object* self, std::vector<Value> arguments) {
    Call call{state, self, std::move(arguments)};
    return method->body(call);
}

void SetThrowableMessage(State& state, Object* throwable, Object* message) {
    const Field* field =
        FindField(LookUpClass(state, "java/lang/Throwable"), "detailMessage", "Ljava/lang/String;");
    throwable->fields[field->slot].object = message;
}

} // namespace standin
