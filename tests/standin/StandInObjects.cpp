#include "tests/standin/StandInObjects.h"

#include "tests/standin/StandInClasses.h"

namespace standin {
namespace {

// The stand-in's heap is small: an array larger than this cannot be had, as a JVM with a small
// -Xmx would refuse it. Larger than any inventory; small enough to test without the memory.
constexpr size_t kLargestArrayBytes = size_t(256) << 20;
// HotSpot's largest array length.
constexpr jsize kLargestArrayLength = 0x7FFFFFFD;

void AppendUnit(std::string& out, char16_t unit) {
    if (unit != 0 && unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | (unit >> 6));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (unit >> 12));
        out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// One unit from bytes, which are NUL-terminated: a NUL is never a continuation byte, so a
// sequence cut short by the end is malformed and never read past it.
size_t DecodeUnit(const unsigned char* bytes, char16_t* unit) {
    unsigned char lead = bytes[0];
    switch (lead >> 4) {
    case 0xC:
    case 0xD:
        if (IsContinuation(bytes[1])) {
            *unit = static_cast<char16_t>(((lead & 0x1F) << 6) | (bytes[1] & 0x3F));
            return 2;
        }
        break;
    case 0xE:
        if (IsContinuation(bytes[1]) && IsContinuation(bytes[2])) {
            *unit = static_cast<char16_t>(((lead & 0x0F) << 12) | ((bytes[1] & 0x3F) << 6) |
                                          (bytes[2] & 0x3F));
            return 3;
        }
        break;
    case 0x8:
    case 0x9:
    case 0xA:
    case 0xB:
    case 0xF:
        break;
    default:
        *unit = lead;
        return 1;
    }
    *unit = lead;
    return 1;
}

void AppendCodePoint(std::string& out, uint32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

Object* Adopt(State& state, std::unique_ptr<Object> object) {
    object->identity = state.nextIdentity;
    state.nextIdentity = state.nextIdentity * 1103515245u + 12345u;
    state.heap.push_back(std::move(object));
    return state.heap.back().get();
}

} // namespace

std::string ToModifiedUtf8(const std::u16string& text, size_t start, size_t count) {
    std::string out;
    for (size_t i = start; i < start + count; ++i) {
        AppendUnit(out, text[i]);
    }
    return out;
}

std::u16string FromModifiedUtf8(const char* bytes) {
    auto at = reinterpret_cast<const unsigned char*>(bytes);
    size_t length = 0;
    for (const unsigned char* byte = at; *byte != 0; ++byte) {
        length += IsContinuation(*byte) ? 0 : 1;
    }
    std::u16string text;
    while (text.size() < length) {
        char16_t unit;
        at += DecodeUnit(at, &unit);
        text += unit;
    }
    return text;
}

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendCodePoint(out, 0xFFFD);
        } else {
            AppendCodePoint(out, unit);
        }
    }
    return out;
}

std::u16string FromAscii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

Object* NewInstance(State& state, Class* klass) {
    auto object = std::make_unique<Object>();
    object->klass = klass;
    object->fields.resize(klass->fieldCount);
    return Adopt(state, std::move(object));
}

Object* NewString(State& state, std::u16string text) {
    Object* string = NewInstance(state, LookUpClass(state, "java/lang/String"));
    string->text = std::move(text);
    return string;
}

bool IsString(State& state, const Object* object) {
    return object != nullptr && object->klass == LookUpClass(state, "java/lang/String");
}

size_t ElementSize(char elementType) {
    switch (elementType) {
    case 'Z':
    case 'B':
        return 1;
    case 'C':
    case 'S':
        return 2;
    case 'I':
    case 'F':
        return 4;
    case 'J':
    case 'D':
        return 8;
    default:
        return sizeof(Object*);
    }
}

Object* NewArray(State& state, Class* klass, jsize length) {
    if (length < 0) {
        Raise(state, "java/lang/NegativeArraySizeException", std::to_string(length));
        return nullptr;
    }
    if (length > kLargestArrayLength) {
        Raise(state, "java/lang/OutOfMemoryError", "Requested array size exceeds VM limit");
        return nullptr;
    }
    if (size_t(length) * ElementSize(klass->elementType) > kLargestArrayBytes) {
        Raise(state, "java/lang/OutOfMemoryError", "Java heap space");
        return nullptr;
    }
    Object* array = NewInstance(state, klass);
    array->length = length;
    if (klass->elementClass != nullptr) {
        array->elements.assign(size_t(length), nullptr);
    } else {
        array->bytes.assign(size_t(length) * ElementSize(klass->elementType), 0);
    }
    return array;
}

void Raise(State& state, const char* className, const std::string& message) {
    state.pending = NewInstance(state, LookUpClass(state, className));
    SetThrowableMessage(state, state.pending, NewString(state, FromModifiedUtf8(message.c_str())));
}

bool IsAssignable(const Class* from, const Class* to) {
    if (from == to || to->name == "java/lang/Object") {
        return true;
    }
    if (from->elementType != 0 && to->elementType != 0) {
        if (from->elementClass == nullptr || to->elementClass == nullptr) {
            return false; // primitive arrays are assignable only to themselves
        }
        return IsAssignable(from->elementClass, to->elementClass);
    }
    return from->super != nullptr && IsAssignable(from->super, to);
}

bool IsInstance(const Object* object, const Class* klass) {
    // A class the stand-in does not model has no instances here to tell apart: anything goes.
    return object == nullptr || klass == nullptr || IsAssignable(object->klass, klass);
}

std::string DottedName(const Class* klass) {
    std::string name = klass->name;
    for (char& c : name) {
        if (c == '/') {
            c = '.';
        }
    }
    return name;
}

} // namespace standin
