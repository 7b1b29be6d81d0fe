#include "tests/host/HostJni.h"

#include <stdio.h>

std::string ThrowableClassName(JNIEnv* env, jthrowable thrown) {
    jclass thrownClass = env->GetObjectClass(thrown);
    jclass classClass = env->FindClass("java/lang/Class");
    jmethodID getName = classClass != nullptr
                            ? env->GetMethodID(classClass, "getName", "()Ljava/lang/String;")
                            : nullptr;
    auto name = getName != nullptr
                    ? static_cast<jstring>(env->CallObjectMethod(thrownClass, getName))
                    : nullptr;
    std::string text = "<unnamed>";
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
    } else if (name != nullptr) {
        const char* chars = env->GetStringUTFChars(name, nullptr);
        if (chars != nullptr) {
            text = chars;
            env->ReleaseStringUTFChars(name, chars);
        }
    }
    env->DeleteLocalRef(name);
    env->DeleteLocalRef(classClass);
    env->DeleteLocalRef(thrownClass);
    return text;
}

bool PrintPendingException(JNIEnv* env, const char* prefix) {
    if (!env->ExceptionCheck()) {
        return false;
    }
    jthrowable thrown = env->ExceptionOccurred();
    env->ExceptionClear();
    printf("%s %s\n", prefix, ThrowableClassName(env, thrown).c_str());
    env->DeleteLocalRef(thrown);
    return true;
}

jstring NewJavaString(JNIEnv* env, const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    jstring string = env->NewStringUTF(text);
    HostCallThrew(env);
    return string;
}

jobjectArray NewJavaStringArray(JNIEnv* env, const std::vector<const char*>& texts) {
    jclass stringClass = env->FindClass("java/lang/String");
    if (HostCallThrew(env)) {
        return nullptr;
    }
    jobjectArray array = env->NewObjectArray((jsize)texts.size(), stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    if (HostCallThrew(env)) {
        return nullptr;
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        jstring text = NewJavaString(env, texts[i]);
        env->SetObjectArrayElement(array, (jsize)i, text);
        HostCallThrew(env);
        env->DeleteLocalRef(text);
    }
    return array;
}

jintArray NewJavaIntArray(JNIEnv* env, const std::vector<jint>& values) {
    jintArray array = env->NewIntArray((jsize)values.size());
    if (HostCallThrew(env)) {
        return nullptr;
    }
    env->SetIntArrayRegion(array, 0, (jsize)values.size(), values.data());
    HostCallThrew(env);
    return array;
}

jobject NewJavaObject(JNIEnv* env, const char* className) {
    jclass objectClass = env->FindClass(className);
    if (HostCallThrew(env)) {
        return nullptr;
    }
    jmethodID constructor = env->GetMethodID(objectClass, "<init>", "()V");
    jobject object = nullptr;
    if (!HostCallThrew(env)) {
        object = env->NewObject(objectClass, constructor);
        HostCallThrew(env);
    }
    env->DeleteLocalRef(objectClass);
    return object;
}

namespace {

jmethodID CollectionMethod(JNIEnv* env, jobject collection, const char* name,
                           const char* signature) {
    jclass collectionClass = env->GetObjectClass(collection);
    jmethodID method = env->GetMethodID(collectionClass, name, signature);
    env->DeleteLocalRef(collectionClass);
    return HostCallThrew(env) ? nullptr : method;
}

} // namespace

jint CollectionSize(JNIEnv* env, jobject collection) {
    jmethodID size = CollectionMethod(env, collection, "size", "()I");
    if (size == nullptr) {
        return -1;
    }
    jint count = env->CallIntMethod(collection, size);
    return HostCallThrew(env) ? -1 : count;
}

jobject CollectionElement(JNIEnv* env, jobject collection, jint index) {
    jmethodID get = CollectionMethod(env, collection, "get", "(I)Ljava/lang/Object;");
    if (get == nullptr) {
        return nullptr;
    }
    jobject element = env->CallObjectMethod(collection, get, index);
    return HostCallThrew(env) ? nullptr : element;
}

std::vector<std::string> TakeJavaStringTexts(JNIEnv* env, jobjectArray array) {
    std::vector<std::string> texts;
    for (jsize i = 0; array != nullptr && i < env->GetArrayLength(array); ++i) {
        auto element = static_cast<jstring>(env->GetObjectArrayElement(array, i));
        const char* chars = element != nullptr && !HostCallThrew(env)
                                ? env->GetStringUTFChars(element, nullptr)
                                : nullptr;
        HostCallThrew(env);
        texts.push_back(chars != nullptr ? chars : "");
        if (chars != nullptr) {
            env->ReleaseStringUTFChars(element, chars);
        }
        env->DeleteLocalRef(element);
    }
    env->DeleteLocalRef(array);
    return texts;
}
