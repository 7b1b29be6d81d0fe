// The data behind the stand-in's function table: classes and their members, objects, the
// references a caller holds to them, local frames, chars and elements handed out, breaches.
// Objects live as long as the stand-in: references, not objects, are what JNI's rules are about.
#pragma once

#include "tests/standin/JniStandIn.h"

#include <jni.h>
#include <stdint.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace standin {

struct Object;
struct Class;
struct Call;

// A Java value: a primitive in primitive, a reference in object.
struct Value {
    jvalue primitive{};
    Object* object = nullptr;
};

// The body of a method of a modelled class.
using MethodBody = Value (*)(Call& call);

struct Method {
    Class* owner = nullptr;
    std::string name;
    std::string signature;
    std::vector<std::string> parameters; // descriptors
    std::string returnType;              // descriptor
    MethodBody body = nullptr;
};

struct Field {
    Class* owner = nullptr;
    std::string name;
    std::string type; // descriptor
    size_t slot = 0;  // index into Object::fields, inherited fields first
};

struct Class {
    std::string name; // internal form: java/lang/String, [I, [Ljava/lang/String;
    Class* super = nullptr;
    char elementType = 0;          // arrays: the element descriptor's first character
    Class* elementClass = nullptr; // arrays of references
    std::deque<Method> methods;    // deques: identifiers point into them
    std::deque<Field> fields;
    size_t fieldCount = 0; // inherited included
    Object* mirror = nullptr;
};

struct Object {
    Class* klass = nullptr;
    uint32_t identity = 0;            // hashCode()
    std::u16string text;              // java.lang.String
    std::vector<Object*> elements;    // Object[], the vectors' items
    std::vector<unsigned char> bytes; // primitive arrays
    jsize length = 0;                 // arrays
    std::vector<Value> fields;
    Class* mirrored = nullptr; // java.lang.Class: the class it stands for
};

// A call of a modelled method.
struct Call {
    JniStandIn::State& state;
    Object* self;
    std::vector<Value> arguments;
};

// A local reference: the only kind the library and its hosts make.
enum class RefLife { Live, Deleted, Popped };

struct Reference {
    Object* object = nullptr;
    RefLife life = RefLife::Live;
};

struct Frame {
    bool limited = false; // the host's outermost frame has no limit
    bool native = false;  // the frame EnterNativeMethod made
    size_t capacity = 0;
    size_t live = 0;
    bool overflowReported = false;
    std::vector<uintptr_t> references;
};

enum class PinKind { StringChars, StringUtfChars, ArrayElements };

// Chars or array elements handed out and not yet released.
struct Pin {
    void* buffer = nullptr;
    Object* object = nullptr;
    PinKind kind = PinKind::StringChars;
    const char* function = "";
    size_t nativeDepth = 0;
};

// A JNIEnv handed out, with the way back to its stand-in and the fault plan its calls meet.
struct EnvBlock {
    JNIEnv env;
    JniStandIn::State* state;
    JniFaultPlan* faults;
};

} // namespace standin

struct JniStandIn::State {
    standin::EnvBlock block{};
    uint32_t serial = 0;
    std::thread::id owner;

    std::mutex breachLock; // a call from a foreign thread records its breach and nothing else
    std::vector<std::string> breaches;

    std::deque<standin::Class> classes;
    std::unordered_map<std::string, standin::Class*> classByName;
    std::unordered_set<const void*> methodIds;
    std::unordered_set<const void*> fieldIds;

    std::vector<std::unique_ptr<standin::Object>> heap;
    uint32_t nextIdentity = 0x1b6d3586;

    std::unordered_map<uintptr_t, standin::Reference> references;
    uint64_t nextReference = 1;
    std::vector<standin::Frame> frames;
    size_t nativeDepth = 0;

    std::vector<standin::Pin> pins;
    std::unordered_set<const void*> releasedBuffers;

    // What the calls that native methods make through env() meet.
    JniFaultPlan faults;

    standin::Object* pending = nullptr; // the pending exception
};

namespace standin {
using State = JniStandIn::State;

inline State& StateOf(JNIEnv* env) {
    return *reinterpret_cast<EnvBlock*>(env)->state;
}

inline JniFaultPlan& FaultsOf(JNIEnv* env) {
    return *reinterpret_cast<EnvBlock*>(env)->faults;
}
} // namespace standin
