#include "Common/JniSupport.h"

#include "Common/HostClasses.h"
#include "Common/ScopedResource.h"
#include "Platform/Win32.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Room on the stack for the UTF-16 form of a typical result; longer ones take the heap.
constexpr int kStackUnits = 256;

// 7-bit text without NUL is the same bytes in modified UTF-8 and in the ANSI code page.
bool IsPlainAscii(const char* text, size_t* length) {
    const char* c = text;
    for (; *c != '\0'; ++c) {
        if (static_cast<unsigned char>(*c) >= 0x80) {
            return false;
        }
    }
    *length = static_cast<size_t>(c - text);
    return true;
}

jstring NewStringFromConvertedAnsi(JNIEnv* env, const char* text) {
    size_t length = strlen(text);
    if (length > static_cast<size_t>(INT_MAX)) {
        return nullptr;
    }
    int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (units <= 0) {
        return nullptr;
    }
    jchar stackUnits[kStackUnits];
    ScopedMalloc heapUnits;
    jchar* wide = stackUnits;
    if (units > kStackUnits) {
        heapUnits.reset(LibraryMalloc(sizeof(jchar) * static_cast<size_t>(units)));
        wide = static_cast<jchar*>(heapUnits.get());
    }
    if (wide == nullptr || MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length),
                                               reinterpret_cast<WCHAR*>(wide), units) != units) {
        return nullptr;
    }
    jstring string = env->NewString(wide, units);
    return JniExceptionPending(env) ? nullptr : string;
}

} // namespace

void JniDeleteLocalRef(JNIEnv* env, jobject reference) {
    if (reference != nullptr) {
        env->DeleteLocalRef(reference);
    }
}

jstring JniNewStringFromAnsi(JNIEnv* env, const char* text) {
    if (text == nullptr) {
        text = "";
    }
    size_t length = 0;
    if (!IsPlainAscii(text, &length)) {
        return NewStringFromConvertedAnsi(env, text);
    }
    jstring string = env->NewStringUTF(text);
    return JniExceptionPending(env) ? nullptr : string;
}

jobjectArray JniNewStringArray(JNIEnv* env, size_t count) {
    if (count > static_cast<size_t>(INT32_MAX)) {
        return nullptr;
    }
    jclass stringClass = env->FindClass(kStringClass);
    if (stringClass == nullptr || JniExceptionPending(env)) {
        return nullptr;
    }
    jstring empty = JniNewStringFromAnsi(env, "");
    jobjectArray array = empty != nullptr
                             ? env->NewObjectArray(static_cast<jsize>(count), stringClass, empty)
                             : nullptr;
    JniDeleteLocalRef(env, empty);
    env->DeleteLocalRef(stringClass);
    return JniExceptionPending(env) ? nullptr : array;
}

jmethodID JniFindVectorAdd(JNIEnv* env) {
    jclass vectorClass = env->FindClass(kVectorClass);
    if (vectorClass == nullptr || JniExceptionPending(env)) {
        return nullptr;
    }
    jmethodID add = env->GetMethodID(vectorClass, "add", kAddSignature);
    env->DeleteLocalRef(vectorClass);
    return JniExceptionPending(env) ? nullptr : add;
}

jobject JniNewVector(JNIEnv* env, jmethodID* addMethod) {
    *addMethod = nullptr;
    jclass vectorClass = env->FindClass(kVectorClass);
    if (vectorClass == nullptr || JniExceptionPending(env)) {
        return nullptr;
    }
    jmethodID add = env->GetMethodID(vectorClass, "add", kAddSignature);
    jmethodID constructor = nullptr;
    if (!JniExceptionPending(env)) {
        constructor =
            env->GetMethodID(vectorClass, kConstructorName, kNoArgumentConstructorSignature);
    }
    jobject vector = nullptr;
    if (constructor != nullptr && !JniExceptionPending(env)) {
        vector = env->NewObject(vectorClass, constructor);
    }
    env->DeleteLocalRef(vectorClass);
    if (vector == nullptr || JniExceptionPending(env)) {
        JniDeleteLocalRef(env, vector);
        return nullptr;
    }
    *addMethod = add;
    return vector;
}

bool JniStoreInArray(JNIEnv* env, jobjectArray array, jsize index, jobject element) {
    env->SetObjectArrayElement(array, index, element);
    JniDeleteLocalRef(env, element);
    return !JniExceptionPending(env);
}

bool JniStoreStringInArray(JNIEnv* env, jobjectArray array, jsize index, const char* text) {
    jstring string = JniNewStringFromAnsi(env, text);
    return string != nullptr && JniStoreInArray(env, array, index, string);
}

bool JniAppend(JNIEnv* env, jobject collection, jmethodID addMethod, jobject element) {
    env->CallBooleanMethod(collection, addMethod, element);
    JniDeleteLocalRef(env, element);
    return !JniExceptionPending(env);
}

ScopedAnsiChars::ScopedAnsiChars(JNIEnv* env, jstring string) : env_(env), string_(string) {
    if (string == nullptr) {
        return;
    }
    utfChars_ = env->GetStringUTFChars(string, nullptr);
    if (utfChars_ == nullptr) {
        return;
    }
    size_t length = 0;
    if (IsPlainAscii(utfChars_, &length)) {
        chars_ = utfChars_;
        return;
    }
    env->ReleaseStringUTFChars(string, utfChars_);
    utfChars_ = nullptr;
    Convert();
}

ScopedAnsiChars::~ScopedAnsiChars() {
    if (utfChars_ != nullptr) {
        env_->ReleaseStringUTFChars(string_, utfChars_);
    }
    LibraryFree(converted_);
}

// The Windows way: the string's UTF-16 units through WideCharToMultiByte, refusing any unit that
// would come out as the default character or a best-fit substitute. A machine whose ANSI code
// page is UTF-8 holds every character, and there Windows refuses the best-fit flag and the
// used-default report: only a lone surrogate fails, through WC_ERR_INVALID_CHARS.
void ScopedAnsiChars::Convert() {
    // A refusal is the JVM's, not the code page's: chars() stays null and unconvertible() false,
    // and nothing more is asked of the JVM with its exception pending.
    jsize length = env_->GetStringLength(string_);
    if (JniExceptionPending(env_)) {
        return;
    }
    const jchar* units = env_->GetStringChars(string_, nullptr);
    if (units == nullptr) {
        return;
    }
    const WCHAR* wide = reinterpret_cast<const WCHAR*>(units);
    bool embeddedNul = false;
    for (jsize i = 0; i < length && !embeddedNul; ++i) {
        embeddedNul = units[i] == 0;
    }
    bool utf8 = GetACP() == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int size = embeddedNul || length <= 0
                   ? 0
                   : WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, nullptr, nullptr);
    BOOL usedDefault = FALSE;
    converted_ =
        size > 0 ? static_cast<char*>(LibraryMalloc(static_cast<size_t>(size) + 1)) : nullptr;
    bool converted = converted_ != nullptr &&
                     WideCharToMultiByte(CP_ACP, flags, wide, length, converted_, size, nullptr,
                                         utf8 ? nullptr : &usedDefault) == size;
    env_->ReleaseStringChars(string_, units);
    if (converted && !usedDefault) {
        converted_[size] = '\0';
        chars_ = converted_;
    }
    // Only a lack of memory leaves the text unconverted for a reason of its own.
    unconvertible_ = chars_ == nullptr && (size > 0 ? converted_ != nullptr : true);
}

ScopedIntArrayElements::ScopedIntArrayElements(JNIEnv* env, jintArray array)
    : env_(env), array_(array) {
    if (array != nullptr) {
        elements_ = env->GetIntArrayElements(array, nullptr);
    }
}

ScopedIntArrayElements::~ScopedIntArrayElements() {
    if (elements_ != nullptr) {
        env_->ReleaseIntArrayElements(array_, elements_, JNI_ABORT);
    }
}
