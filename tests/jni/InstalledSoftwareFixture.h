// The installed software exports' fixture: an Uninstall key that holds only the programs a case
// writes, and the InventoryAttributeValue objects of a collection read back in order.
#pragma once

#include "tests/support/FailingJniEnv.h"
#include "tests/support/JvmHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestMachine.h"
#include "tests/support/TestPrefix.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"

#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

constexpr char kUninstallPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct Value {
    int code;
    std::string text, id;
    bool operator==(const Value& other) const {
        return code == other.code && text == other.text && id == other.id;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Value& value) {
    return out << value.code << "='" << value.text << "' @" << value.id;
}

class InstalledSoftwareTest : public JvmTest {
  protected:
    // Every case starts from an empty Uninstall key (on Linux an empty registry) and closed keys,
    // and leaves the same.
    void SetUp() override {
        JvmTest::SetUp();
        RestoreTestRegistry({});
        SetAsideTestKey(kUninstallPath);
        Release();
        uninstall = CreateMachineKey(kUninstallPath);
        ASSERT_NE(nullptr, uninstall);
    }
    void TearDown() override {
        StopTestFaults();
        RegCloseKey(uninstall);
        Release();
        RestoreTestRegistry({kUninstallPath});
        JvmTest::TearDown();
    }
    void Release() {
        EXPECT_EQ(
            JNI_TRUE,
            Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_releaseResources(
                env, nullptr));
    }
    // A program subkey, with a DisplayName unless displayName is null; the caller closes it.
    HKEY Program(const std::string& name, const char* displayName = "A program") {
        HKEY key = CreateMachineKey(name, uninstall);
        if (displayName != nullptr) {
            SetText(key, "DisplayName", displayName);
        }
        return key;
    }
    jobject NewVector(const char* mode = nullptr) {
        const char* name = mode != nullptr
                               ? "com/quorvane/inventory/testsupport/ScriptedResultVector"
                               : "com/quorvane/inventory/inventoryagent/InventoryResultVector";
        jclass vectorClass = env->FindClass(name);
        jobject vector =
            mode != nullptr
                ? env->NewObject(vectorClass,
                                 env->GetMethodID(vectorClass, "<init>", "(Ljava/lang/String;)V"),
                                 JavaString(mode))
                : env->NewObject(vectorClass, env->GetMethodID(vectorClass, "<init>", "()V"));
        env->DeleteLocalRef(vectorClass);
        return vector;
    }
    // The arguments are made on the test's own env; the export may get a FailingJniEnv's.
    jbyte Call(JNIEnv* jni, const std::vector<const char*>& attributes,
               const std::vector<jint>& codes, jobject vector, bool abort = false,
               jint limit = 1000000) {
        jclass stringClass = env->FindClass("java/lang/String");
        jobjectArray names = env->NewObjectArray((jsize)attributes.size(), stringClass, nullptr);
        for (size_t i = 0; i < attributes.size(); ++i) {
            if (attributes[i] != nullptr) {
                jstring name = JavaString(attributes[i]);
                env->SetObjectArrayElement(names, (jsize)i, name);
                env->DeleteLocalRef(name);
            }
        }
        jintArray masterCodes = env->NewIntArray((jsize)codes.size());
        env->SetIntArrayRegion(masterCodes, 0, (jsize)codes.size(), codes.data());
        jbyte result =
            Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
                jni, nullptr, names, masterCodes, vector, abort ? JNI_TRUE : JNI_FALSE, limit);
        env->DeleteLocalRef(masterCodes);
        env->DeleteLocalRef(names);
        env->DeleteLocalRef(stringClass);
        return result;
    }
    // The vector's InventoryAttributeValue objects, in order.
    std::vector<Value> Read(jobject vector) {
        jclass vectorClass =
            env->FindClass("com/quorvane/inventory/inventoryagent/InventoryResultVector");
        jclass valueClass = env->FindClass("com/quorvane/inventory/InventoryAttributeValue");
        jmethodID getCode = env->GetMethodID(valueClass, "getMasterCode", "()I");
        jmethodID getText =
            env->GetMethodID(valueClass, "getAttributeValue", "()Ljava/lang/String;");
        jmethodID getId =
            env->GetMethodID(valueClass, "getUniqueInstanceId", "()Ljava/lang/String;");
        jmethodID get = env->GetMethodID(vectorClass, "get", "(I)Ljava/lang/Object;");
        jint size = env->CallIntMethod(vector, env->GetMethodID(vectorClass, "size", "()I"));
        EXPECT_FALSE(env->ExceptionCheck());
        std::vector<Value> values;
        for (jint i = 0; i < size; ++i) {
            jobject value = env->CallObjectMethod(vector, get, i);
            EXPECT_FALSE(env->ExceptionCheck());
            Value read = {env->CallIntMethod(value, getCode), "", ""};
            EXPECT_FALSE(env->ExceptionCheck());
            read.text = Text(static_cast<jstring>(env->CallObjectMethod(value, getText)));
            read.id = Text(static_cast<jstring>(env->CallObjectMethod(value, getId)));
            values.push_back(read);
            env->DeleteLocalRef(value);
        }
        env->DeleteLocalRef(vectorClass);
        env->DeleteLocalRef(valueClass);
        return values;
    }
    std::string Text(jstring string) {
        EXPECT_FALSE(env->ExceptionCheck());
        if (string == nullptr) {
            return "<null>";
        }
        const char* chars = env->GetStringUTFChars(string, nullptr);
        std::string text = chars;
        env->ReleaseStringUTFChars(string, chars);
        env->DeleteLocalRef(string);
        return text;
    }
    // Collects into a fresh vector and reads it back.
    std::vector<Value> Collect(const std::vector<const char*>& attributes,
                               const std::vector<jint>& codes, jbyte expected = 0,
                               bool abort = false, jint limit = 1000000) {
        jobject vector = NewVector();
        EXPECT_EQ(expected, Call(env, attributes, codes, vector, abort, limit));
        std::vector<Value> values = Read(vector);
        env->DeleteLocalRef(vector);
        return values;
    }
    bool Check(const char* id) {
        return Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_checkInstance(
                   env, nullptr, id != nullptr ? JavaString(id) : nullptr) == JNI_TRUE;
    }
    size_t Count(const std::string& message) const {
        std::vector<std::string> messages = log.Messages();
        return (size_t)std::count(messages.begin(), messages.end(), message);
    }
    size_t CountStarting(const std::string& start) const {
        size_t count = 0;
        for (const std::string& message : log.Messages()) {
            count += message.rfind(start, 0) == 0 ? 1 : 0;
        }
        return count;
    }

    TestPrefix prefix;
    LogCapture log{"installedapps-" + std::to_string(getpid())};
    HKEY uninstall = nullptr;
};
