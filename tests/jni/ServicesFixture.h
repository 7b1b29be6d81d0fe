// The services exports' fixture: services created through the manager for each case, and the
// Service objects of an enumeration read back by name.
#pragma once

#include "tests/support/FailingJniEnv.h"
#include "tests/support/JvmHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestMachine.h"
#include "tests/support/TestPrefix.h"

#include "InventoryAgents/NativeWinNTServices/NativeWinNTServices.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

constexpr char kNullText[] = "<null>";

struct ServiceFields {
    std::string name, displayName, binaryPath, startupType, description, status, startName;
    int type = 0;
};

struct Fixture {
    const char* name;
    DWORD type;
    DWORD start;
    const char* account;
    const char* description;
};

inline std::string StringField(JNIEnv* env, jobject object, const char* field) {
    jclass serviceClass = env->GetObjectClass(object);
    jfieldID id = env->GetFieldID(serviceClass, field, "Ljava/lang/String;");
    env->DeleteLocalRef(serviceClass);
    auto text = static_cast<jstring>(env->GetObjectField(object, id));
    if (text == nullptr) {
        return kNullText;
    }
    const char* chars = env->GetStringUTFChars(text, nullptr);
    std::string value = chars;
    env->ReleaseStringUTFChars(text, chars);
    env->DeleteLocalRef(text);
    return value;
}

inline ServiceFields ReadService(JNIEnv* env, jobject object) {
    ServiceFields fields;
    fields.name = StringField(env, object, "name");
    fields.displayName = StringField(env, object, "displayName");
    fields.binaryPath = StringField(env, object, "binaryPath");
    fields.startupType = StringField(env, object, "startupType");
    fields.description = StringField(env, object, "description");
    fields.status = StringField(env, object, "status");
    fields.startName = StringField(env, object, "startName");
    jclass serviceClass = env->GetObjectClass(object);
    fields.type = env->GetIntField(object, env->GetFieldID(serviceClass, "type", "I"));
    env->DeleteLocalRef(serviceClass);
    return fields;
}

inline jobject NewVector(JNIEnv* env) {
    jclass vectorClass = env->FindClass("java/util/Vector");
    jobject vector = env->NewObject(vectorClass, env->GetMethodID(vectorClass, "<init>", "()V"));
    env->DeleteLocalRef(vectorClass);
    return vector;
}

inline jint VectorSize(JNIEnv* env, jobject vector) {
    jclass vectorClass = env->FindClass("java/util/Vector");
    jint size = env->CallIntMethod(vector, env->GetMethodID(vectorClass, "size", "()I"));
    if (env->ExceptionCheck()) {
        size = -1;
    }
    env->DeleteLocalRef(vectorClass);
    return size;
}

// Services live in an empty prefix of their own: the registry and the manager start afresh.
class ServicesTest : public JvmTest {
  protected:
    void SetUp() override {
        JvmTest::SetUp();
        RestoreTestServices({});
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager_);
    }
    void TearDown() override {
        CloseServiceHandle(manager_);
        RestoreTestServices(created_);
        JvmTest::TearDown();
    }

    void Create(const Fixture& fixture, const std::string& image = "C:\\svc\\run.exe") {
        bool driver = (fixture.type & SERVICE_WIN32) == 0;
        bool created = PutService(
            {fixture.name, std::string(fixture.name) + " display", fixture.type, fixture.start,
             driver ? "C:\\drivers\\d.sys" : image, fixture.account, fixture.description});
        created_.push_back(fixture.name);
        ASSERT_TRUE(created) << fixture.name;
    }

    // The service an enumeration reaches first: on Linux the first created, on Wine one of its own.
    std::string FirstServiceName() {
        DWORD needed = 0, returned = 0, resume = 0;
        EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL, nullptr, 0,
                              &needed, &returned, &resume, nullptr);
        std::vector<BYTE> buffer(needed);
        resume = 0;
        if (!EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL,
                                   buffer.data(), needed, &needed, &returned, &resume, nullptr) ||
            returned == 0) {
            ADD_FAILURE() << "no services to enumerate: " << GetLastError();
            return "";
        }
        return reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data())->lpServiceName;
    }

    jboolean GetServices(jobject vector, JNIEnv* caller = nullptr) {
        jboolean result =
            Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
                caller != nullptr ? caller : env, nullptr, vector);
        if (caller == nullptr) {
            EXPECT_FALSE(env->ExceptionCheck());
        }
        return result;
    }

    // Calls getServices on a new Vector and reads every appended Service back, by name.
    std::map<std::string, ServiceFields> Collect(jboolean* result) {
        jobject vector = NewVector(env);
        *result = GetServices(vector);
        std::map<std::string, ServiceFields> services;
        jclass vectorClass = env->FindClass("java/util/Vector");
        jmethodID get = env->GetMethodID(vectorClass, "get", "(I)Ljava/lang/Object;");
        for (jint i = 0; i < VectorSize(env, vector); ++i) {
            jobject object = env->CallObjectMethod(vector, get, i);
            if (env->ExceptionCheck()) {
                ADD_FAILURE() << "Vector.get threw";
                break;
            }
            ServiceFields fields = ReadService(env, object);
            services[fields.name] = fields;
            env->DeleteLocalRef(object);
        }
        env->DeleteLocalRef(vectorClass);
        env->DeleteLocalRef(vector);
        return services;
    }

    jbyte Check(const char* name) {
        jstring text = name != nullptr ? JavaString(name) : nullptr;
        return Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_checkInstance(
            env, nullptr, text);
    }

    bool Logged(const std::string& message) const {
        std::vector<std::string> messages = log_.Messages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    size_t ErrorRecords() const {
        std::vector<LogRecord> records = log_.Records();
        return (size_t)std::count_if(records.begin(), records.end(),
                                     [](const LogRecord& r) { return r.level == "3"; });
    }

    TestPrefix prefix_;
    LogCapture log_{"services-" + std::to_string(getpid())};
    SC_HANDLE manager_ = nullptr;
    std::vector<std::string> created_;
};
