// Strings and arrays: the slots that make them, read them and hand out their chars and elements.
#include "tests/standin/StandInTable.h"

#include "tests/standin/StandInClasses.h"
#include "tests/standin/StandInObjects.h"
#include "tests/standin/StandInRefs.h"

#include <stdlib.h>
#include <string.h>

namespace standin {
namespace {

// A copy handed out: never an empty allocation, so that each one is a pointer of its own.
void* CopyOut(const void* data, size_t size) {
    void* buffer = malloc(size == 0 ? 1 : size);
    if (buffer != nullptr && size != 0) {
        memcpy(buffer, data, size);
    }
    return buffer;
}

void SetIsCopy(jboolean* isCopy) {
    if (isCopy != nullptr) {
        *isCopy = JNI_TRUE;
    }
}

// HotSpot's bounds check of an array region, with its messages.
bool ArrayRegionOk(State& state, const Object* array, jsize start, jsize len) {
    if (len < 0) {
        Raise(state, "java/lang/ArrayIndexOutOfBoundsException",
              "Length " + std::to_string(len) + " is negative");
        return false;
    }
    if (start < 0 || start > array->length - len) {
        Raise(state, "java/lang/ArrayIndexOutOfBoundsException",
              "Array region " + std::to_string(start) + ".." +
                  std::to_string(int64_t(start) + len) + " out of bounds for length " +
                  std::to_string(array->length));
        return false;
    }
    return true;
}

bool BufferOk(State& state, const void* buffer, jsize len, const char* function) {
    if (buffer == nullptr && len > 0) {
        RecordBreach(state, function, "null buffer");
        return false;
    }
    return true;
}

jstring NewStringRef(State& state, std::u16string text, const char* function) {
    return static_cast<jstring>(NewLocalRef(state, NewString(state, std::move(text)), function));
}

jstring JNICALL NewString(JNIEnv* env, const jchar* unicode, jsize len) {
    State& state = StateOf(env);
    if (!EnterFallibleSlot(env, __func__, JniCall::NewString) ||
        !BufferOk(state, unicode, len, __func__)) {
        return nullptr;
    }
    if (len < 0) {
        Raise(state, "java/lang/NegativeArraySizeException", std::to_string(len));
        return nullptr;
    }
    std::u16string text(size_t(len), u'\0');
    for (jsize i = 0; i < len; ++i) {
        text[size_t(i)] = static_cast<char16_t>(unicode[i]);
    }
    return NewStringRef(state, std::move(text), __func__);
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring str) {
    State& state = StateOf(env);
    Object* string;
    if (!EnterFallibleSlot(env, __func__, JniCall::GetStringLength) ||
        !ResolveString(state, str, __func__, &string)) {
        return 0;
    }
    return static_cast<jsize>(string->text.size());
}

const jchar* JNICALL GetStringChars(JNIEnv* env, jstring str, jboolean* isCopy) {
    State& state = StateOf(env);
    Object* string;
    if (!EnterFallibleSlot(env, __func__, JniCall::GetStringChars) ||
        !ResolveString(state, str, __func__, &string)) {
        return nullptr;
    }
    void* chars = CopyOut(string->text.data(), string->text.size() * sizeof(jchar));
    if (chars == nullptr) {
        Raise(state, "java/lang/OutOfMemoryError", "Java heap space");
        return nullptr;
    }
    AddPin(state, string, chars, PinKind::StringChars, __func__);
    SetIsCopy(isCopy);
    return static_cast<const jchar*>(chars);
}

void TakeBack(State& state, jobject owner, const void* buffer, PinKind kind, const char* function) {
    Object* object;
    Pin pin;
    if (!EnterSlot(state, function, true) ||
        !ResolveNonNull(state, owner, function, "object", &object)) {
        return;
    }
    if (TakePin(state, object, buffer, kind, function, &pin)) {
        free(pin.buffer);
    }
}

void JNICALL ReleaseStringChars(JNIEnv* env, jstring str, const jchar* chars) {
    TakeBack(StateOf(env), str, chars, PinKind::StringChars, __func__);
}

jstring JNICALL NewStringUTF(JNIEnv* env, const char* utf) {
    State& state = StateOf(env);
    if (!EnterFallibleSlot(env, __func__, JniCall::NewStringUTF)) {
        return nullptr;
    }
    if (utf == nullptr) {
        RecordBreach(state, __func__, "null bytes");
        return nullptr;
    }
    return NewStringRef(state, FromModifiedUtf8(utf), __func__);
}

const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring str, jboolean* isCopy) {
    State& state = StateOf(env);
    Object* string;
    if (!EnterFallibleSlot(env, __func__, JniCall::GetStringUTFChars) ||
        !ResolveString(state, str, __func__, &string)) {
        return nullptr;
    }
    std::string bytes = ToModifiedUtf8(string->text, 0, string->text.size());
    void* chars = CopyOut(bytes.c_str(), bytes.size() + 1);
    if (chars == nullptr) {
        Raise(state, "java/lang/OutOfMemoryError", "Java heap space");
        return nullptr;
    }
    AddPin(state, string, chars, PinKind::StringUtfChars, __func__);
    SetIsCopy(isCopy);
    return static_cast<const char*>(chars);
}

void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring str, const char* chars) {
    TakeBack(StateOf(env), str, chars, PinKind::StringUtfChars, __func__);
}

bool ResolveArray(State& state, jarray reference, const char* function, Object** array) {
    if (!ResolveNonNull(state, reference, function, "array", array)) {
        return false;
    }
    if ((*array)->klass->elementType == 0) {
        RecordBreach(state, function, "not an array: an object of " + DottedName((*array)->klass));
        return false;
    }
    return true;
}

bool ResolveObjectArray(State& state, jobjectArray reference, const char* function,
                        Object** array) {
    if (!ResolveArray(state, reference, function, array)) {
        return false;
    }
    if ((*array)->klass->elementClass == nullptr) {
        RecordBreach(state, function, "not an array of references: " + DottedName((*array)->klass));
        return false;
    }
    return true;
}

jsize JNICALL GetArrayLength(JNIEnv* env, jarray array) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterSlot(state, __func__, false) || !ResolveArray(state, array, __func__, &object)) {
        return 0;
    }
    return object->length;
}

jobjectArray JNICALL NewObjectArray(JNIEnv* env, jsize len, jclass clazz, jobject init) {
    State& state = StateOf(env);
    Class* element;
    Object* initial;
    if (!EnterFallibleSlot(env, __func__, JniCall::NewObjectArray) ||
        !ResolveClass(state, clazz, __func__, &element) ||
        !Resolve(state, init, __func__, &initial)) {
        return nullptr;
    }
    if (!IsInstance(initial, element)) {
        RecordBreach(state, __func__, "initial element is not a " + DottedName(element));
        return nullptr;
    }
    std::string name = element->elementType != 0 ? element->name : "L" + element->name + ";";
    Object* array = NewArray(state, LookUpClass(state, "[" + name), len);
    if (array == nullptr) {
        return nullptr;
    }
    array->elements.assign(size_t(len), initial);
    return static_cast<jobjectArray>(NewLocalRef(state, array, __func__));
}

bool IndexOk(State& state, const Object* array, jsize index) {
    if (index < 0 || index >= array->length) {
        Raise(state, "java/lang/ArrayIndexOutOfBoundsException",
              "Index " + std::to_string(index) + " out of bounds for length " +
                  std::to_string(array->length));
        return false;
    }
    return true;
}

jobject JNICALL GetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterFallibleSlot(env, __func__, JniCall::GetObjectArrayElement) ||
        !ResolveObjectArray(state, array, __func__, &object) || !IndexOk(state, object, index)) {
        return nullptr;
    }
    return NewLocalRef(state, object->elements[size_t(index)], __func__);
}

// java.lang.String[0], int[0][] as HotSpot names the slot an element did not fit.
std::string ArraySlotName(const Class* arrayClass, jsize index) {
    size_t dimensions = arrayClass->name.find_first_not_of('[');
    std::string bottom = arrayClass->name.substr(dimensions);
    static const char* const kPrimitiveNames[] = {"boolean", "byte",  "char", "short",
                                                  "int",     "float", "long", "double"};
    size_t primitive = std::string("ZBCSIFJD").find(bottom[0]);
    std::string name = primitive != std::string::npos
                           ? kPrimitiveNames[primitive]
                           : DottedName(arrayClass).substr(dimensions + 1);
    if (primitive == std::string::npos) {
        name.pop_back(); // the descriptor's ';'
    }
    name += "[" + std::to_string(index) + "]";
    for (size_t extra = 1; extra < dimensions; ++extra) {
        name += "[]";
    }
    return name;
}

void JNICALL SetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject val) {
    State& state = StateOf(env);
    Object* object;
    Object* value;
    if (!EnterFallibleSlot(env, __func__, JniCall::SetObjectArrayElement) ||
        !ResolveObjectArray(state, array, __func__, &object) ||
        !Resolve(state, val, __func__, &value) || !IndexOk(state, object, index)) {
        return;
    }
    if (!IsInstance(value, object->klass->elementClass)) {
        Raise(state, "java/lang/ArrayStoreException",
              "type mismatch: can not store " + DottedName(value->klass) + " to " +
                  ArraySlotName(object->klass, index));
        return;
    }
    object->elements[size_t(index)] = value;
}

// The primitive array types the library and its hosts use, with the JNI names their slots record;
// not every type takes every slot.
#define STANDIN_PRIMITIVE_KIND(Type, jtype, letter)                                                \
    struct Type##Kind {                                                                            \
        using Element = jtype;                                                                     \
        using Array = jtype##Array;                                                                \
        static constexpr char kLetter = letter;                                                    \
        static constexpr const char* kNew = "New" #Type "Array";                                   \
        static constexpr JniCall kNewCall = JniCall::New##Type##Array;                             \
        [[maybe_unused]] static constexpr const char* kGetElements = "Get" #Type "ArrayElements";  \
        [[maybe_unused]] static constexpr const char* kReleaseElements =                           \
            "Release" #Type "ArrayElements";                                                       \
        [[maybe_unused]] static constexpr const char* kGetRegion = "Get" #Type "ArrayRegion";      \
        static constexpr const char* kSetRegion = "Set" #Type "ArrayRegion";                       \
        static constexpr JniCall kSetRegionCall = JniCall::Set##Type##ArrayRegion;                 \
    };
STANDIN_PRIMITIVE_KIND(Int, jint, 'I')
STANDIN_PRIMITIVE_KIND(Double, jdouble, 'D')
#undef STANDIN_PRIMITIVE_KIND

bool ResolvePrimitiveArray(State& state, jarray reference, char letter, const char* function,
                           Object** array) {
    if (!ResolveArray(state, reference, function, array)) {
        return false;
    }
    const Class* klass = (*array)->klass;
    if (klass->elementClass != nullptr || klass->elementType != letter) {
        RecordBreach(state, function, "an array of the wrong type: " + DottedName(klass));
        return false;
    }
    return true;
}

template <typename Kind> typename Kind::Array JNICALL NewPrimitiveArray(JNIEnv* env, jsize len) {
    State& state = StateOf(env);
    if (!EnterFallibleSlot(env, Kind::kNew, Kind::kNewCall)) {
        return nullptr;
    }
    Object* array = NewArray(state, LookUpClass(state, std::string("[") + Kind::kLetter), len);
    return static_cast<typename Kind::Array>(NewLocalRef(state, array, Kind::kNew));
}

template <typename Kind>
typename Kind::Element* JNICALL GetElements(JNIEnv* env, typename Kind::Array reference,
                                            jboolean* isCopy) {
    State& state = StateOf(env);
    Object* array;
    if (!EnterFallibleSlot(env, Kind::kGetElements, JniCall::GetIntArrayElements) ||
        !ResolvePrimitiveArray(state, reference, Kind::kLetter, Kind::kGetElements, &array)) {
        return nullptr;
    }
    void* elements = CopyOut(array->bytes.data(), array->bytes.size());
    if (elements == nullptr) {
        Raise(state, "java/lang/OutOfMemoryError", "Java heap space");
        return nullptr;
    }
    AddPin(state, array, elements, PinKind::ArrayElements, Kind::kGetElements);
    SetIsCopy(isCopy);
    return static_cast<typename Kind::Element*>(elements);
}

// Release with mode 0 copies back and frees, JNI_COMMIT copies back and keeps the copy handed
// out, JNI_ABORT frees without copying back.
template <typename Kind>
void JNICALL ReleaseElements(JNIEnv* env, typename Kind::Array reference,
                             typename Kind::Element* elements, jint mode) {
    State& state = StateOf(env);
    const char* function = Kind::kReleaseElements;
    Object* array;
    Pin pin;
    if (!EnterSlot(state, function, true) ||
        !ResolvePrimitiveArray(state, reference, Kind::kLetter, function, &array) ||
        !TakePin(state, array, elements, PinKind::ArrayElements, function, &pin)) {
        return;
    }
    if (mode != 0 && mode != JNI_COMMIT && mode != JNI_ABORT) {
        RecordBreach(state, function, "unknown mode " + std::to_string(mode));
    }
    if (mode != JNI_ABORT && !array->bytes.empty()) {
        memcpy(array->bytes.data(), elements, array->bytes.size());
    }
    if (mode == JNI_COMMIT) {
        AddPin(state, array, elements, PinKind::ArrayElements, pin.function);
        state.pins.back().nativeDepth = pin.nativeDepth;
        return;
    }
    free(elements);
}

template <typename Kind>
void JNICALL GetRegion(JNIEnv* env, typename Kind::Array array, jsize start, jsize len,
                       typename Kind::Element* buf) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterSlot(state, Kind::kGetRegion, false) ||
        !ResolvePrimitiveArray(state, array, Kind::kLetter, Kind::kGetRegion, &object) ||
        !ArrayRegionOk(state, object, start, len) || !BufferOk(state, buf, len, Kind::kGetRegion) ||
        len == 0) {
        return;
    }
    memcpy(buf, object->bytes.data() + size_t(start) * sizeof(*buf), size_t(len) * sizeof(*buf));
}

template <typename Kind>
void JNICALL SetRegion(JNIEnv* env, typename Kind::Array array, jsize start, jsize len,
                       const typename Kind::Element* buf) {
    State& state = StateOf(env);
    Object* object;
    if (!EnterFallibleSlot(env, Kind::kSetRegion, Kind::kSetRegionCall) ||
        !ResolvePrimitiveArray(state, array, Kind::kLetter, Kind::kSetRegion, &object) ||
        !ArrayRegionOk(state, object, start, len) || !BufferOk(state, buf, len, Kind::kSetRegion) ||
        len == 0) {
        return;
    }
    memcpy(object->bytes.data() + size_t(start) * sizeof(*buf), buf, size_t(len) * sizeof(*buf));
}

} // namespace

void FillDataSlots(JNINativeInterface_& table) {
    table.NewString = NewString;
    table.GetStringLength = GetStringLength;
    table.GetStringChars = GetStringChars;
    table.ReleaseStringChars = ReleaseStringChars;
    table.NewStringUTF = NewStringUTF;
    table.GetStringUTFChars = GetStringUTFChars;
    table.ReleaseStringUTFChars = ReleaseStringUTFChars;
    table.GetArrayLength = GetArrayLength;
    table.NewObjectArray = NewObjectArray;
    table.GetObjectArrayElement = GetObjectArrayElement;
    table.SetObjectArrayElement = SetObjectArrayElement;
    table.NewIntArray = NewPrimitiveArray<IntKind>;
    table.GetIntArrayElements = GetElements<IntKind>;
    table.ReleaseIntArrayElements = ReleaseElements<IntKind>;
    table.SetIntArrayRegion = SetRegion<IntKind>;
    table.NewDoubleArray = NewPrimitiveArray<DoubleKind>;
    table.GetDoubleArrayRegion = GetRegion<DoubleKind>;
    table.SetDoubleArrayRegion = SetRegion<DoubleKind>;
}

} // namespace standin
