#include "tests/host/ResultPrinter.h"

#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"

#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>

#include <vector>

std::string BooleanText(jboolean value) {
    if (value == JNI_TRUE || value == JNI_FALSE) {
        return value == JNI_TRUE ? "true" : "false";
    }
    return "jboolean " + std::to_string(static_cast<unsigned>(value));
}

std::string ByteText(jbyte value) {
    return std::to_string(static_cast<int>(value));
}

std::string IntText(jint value) {
    char text[16];
    snprintf(text, sizeof text, "%" PRId32, static_cast<int32_t>(value));
    return text;
}

std::string LongText(jlong value) {
    char text[24];
    snprintf(text, sizeof text, "%" PRId64, static_cast<int64_t>(value));
    return text;
}

std::string StringArrayText(JNIEnv* env, jobjectArray array) {
    if (array == nullptr) {
        return "null";
    }
    std::string text = "[";
    jsize length = env->GetArrayLength(array);
    for (jsize i = 0; i < length; ++i) {
        auto element = static_cast<jstring>(env->GetObjectArrayElement(array, i));
        if (HostCallThrew(env)) {
            return text + "<unreadable>]";
        }
        text += (i > 0 ? ", " : "") + JavaStringText(env, element);
        HostCallThrew(env);
        env->DeleteLocalRef(element);
    }
    return text + "]";
}

std::string DoubleArrayText(JNIEnv* env, jdoubleArray array) {
    if (array == nullptr) {
        return "null";
    }
    jsize length = env->GetArrayLength(array);
    std::vector<jdouble> values(length > 0 ? static_cast<size_t>(length) : 0);
    env->GetDoubleArrayRegion(array, 0, length, values.data());
    if (HostCallThrew(env)) {
        return "<unreadable>";
    }
    std::string text = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        char number[64];
        snprintf(number, sizeof number, "%.6f", values[i]);
        text += (i > 0 ? ", " : "") + std::string(number);
    }
    return text + "]";
}

void PrintLine(const std::string& line) {
    fputs(line.c_str(), stdout);
    fputc('\n', stdout);
}

namespace {

std::string StringFieldText(JNIEnv* env, jobject object, jclass objectClass, const char* name) {
    jfieldID field = env->GetFieldID(objectClass, name, "Ljava/lang/String;");
    if (HostCallThrew(env)) {
        return "<no field>";
    }
    auto value = static_cast<jstring>(env->GetObjectField(object, field));
    std::string text = JavaStringText(env, value);
    HostCallThrew(env);
    env->DeleteLocalRef(value);
    return text;
}

std::string IntFieldText(JNIEnv* env, jobject object, jclass objectClass, const char* name) {
    jfieldID field = env->GetFieldID(objectClass, name, "I");
    return HostCallThrew(env) ? "<no field>" : IntText(env->GetIntField(object, field));
}

std::string StringGetterText(JNIEnv* env, jobject object, jclass objectClass, const char* name) {
    jmethodID getter = env->GetMethodID(objectClass, name, "()Ljava/lang/String;");
    if (HostCallThrew(env)) {
        return "<no getter>";
    }
    auto value = static_cast<jstring>(env->CallObjectMethod(object, getter));
    if (HostCallThrew(env)) {
        return "<threw>";
    }
    std::string text = JavaStringText(env, value);
    HostCallThrew(env);
    env->DeleteLocalRef(value);
    return text;
}

std::string IntGetterText(JNIEnv* env, jobject object, jclass objectClass, const char* name) {
    jmethodID getter = env->GetMethodID(objectClass, name, "()I");
    if (HostCallThrew(env)) {
        return "<no getter>";
    }
    jint value = env->CallIntMethod(object, getter);
    return HostCallThrew(env) ? "<threw>" : IntText(value);
}

} // namespace

constexpr const char* kServiceStringFields[] = {"name",        "displayName", "binaryPath",
                                                "startupType", "description", "startName"};

// A service's configuration on one line, its status on the next: what the manager keeps, and
// what the running system decides.
std::string ServiceText(JNIEnv* env, jobject service) {
    if (service == nullptr) {
        return "null";
    }
    jclass serviceClass = env->GetObjectClass(service);
    std::string text;
    for (const char* field : kServiceStringFields) {
        text += std::string(field) + "=" + StringFieldText(env, service, serviceClass, field) + " ";
    }
    text += "type=" + IntFieldText(env, service, serviceClass, "type") +
            "\n    status=" + StringFieldText(env, service, serviceClass, "status");
    env->DeleteLocalRef(serviceClass);
    return text;
}

std::string AttributeValueText(JNIEnv* env, jobject value) {
    if (value == nullptr) {
        return "null";
    }
    jclass valueClass = env->GetObjectClass(value);
    std::string text =
        "masterCode=" + IntGetterText(env, value, valueClass, "getMasterCode") +
        " attributeValue=" + StringGetterText(env, value, valueClass, "getAttributeValue") +
        " uniqueInstanceId=" + StringGetterText(env, value, valueClass, "getUniqueInstanceId");
    env->DeleteLocalRef(valueClass);
    return text;
}

std::string StringArrayElementText(JNIEnv* env, jobject element) {
    return StringArrayText(env, static_cast<jobjectArray>(element));
}

// Elements go without their index, so that an element one run lacks (a service only Wine has)
// leaves the lines of the others alike.
std::string CollectionText(JNIEnv* env, const char* kind, jobject collection,
                           std::string (*elementText)(JNIEnv* env, jobject element)) {
    if (collection == nullptr) {
        return "null";
    }
    jint size = CollectionSize(env, collection);
    std::string text = std::string(kind) + "[" + IntText(size) + "]";
    for (jint i = 0; i < size; ++i) {
        jobject element = CollectionElement(env, collection, i);
        text += "\n  " + elementText(env, element);
        env->DeleteLocalRef(element);
    }
    return text;
}

std::string HandleText(jlong handle) {
    return handle != 0 ? "handle" : "0";
}

void PrintVectorOfStringArrays(JNIEnv* env, const std::string& call, jobject vector) {
    PrintLine(call + " -> " + CollectionText(env, "Vector", vector, StringArrayElementText));
}

void PrintServiceVector(JNIEnv* env, const std::string& call, jobject vector) {
    PrintLine(call + " -> " + CollectionText(env, "Vector", vector, ServiceText));
}

void PrintResultVector(JNIEnv* env, const std::string& call, jobject vector) {
    PrintLine(call + " -> " +
              CollectionText(env, "InventoryResultVector", vector, AttributeValueText));
}
