#include "tests/support/JvmHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPrefix.h"

#include "InventoryAgents/NativeWinNTServices/NativeWinNTServices.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/advapi32/ServicesTestHooks.h"

#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

const char NULL_TEXT[] = "<null>";

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

std::string StringField(JNIEnv* env, jobject object, const char* field) {
    jclass serviceClass = env->GetObjectClass(object);
    jfieldID id = env->GetFieldID(serviceClass, field, "Ljava/lang/String;");
    env->DeleteLocalRef(serviceClass);
    auto text = static_cast<jstring>(env->GetObjectField(object, id));
    if (text == nullptr) {
        return NULL_TEXT;
    }
    const char* chars = env->GetStringUTFChars(text, nullptr);
    std::string value = chars;
    env->ReleaseStringUTFChars(text, chars);
    env->DeleteLocalRef(text);
    return value;
}

ServiceFields ReadService(JNIEnv* env, jobject object) {
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

jobject NewVector(JNIEnv* env) {
    jclass vectorClass = env->FindClass("java/util/Vector");
    jobject vector = env->NewObject(vectorClass, env->GetMethodID(vectorClass, "<init>", "()V"));
    env->DeleteLocalRef(vectorClass);
    return vector;
}

jint VectorSize(JNIEnv* env, jobject vector) {
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
        RegistryResetForTests();
        ServicesResetForTests();
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager_);
    }
    void TearDown() override {
        ServicesSetFaultHookForTests(nullptr, nullptr);
        CloseServiceHandle(manager_);
        ServicesResetForTests();
        RegistryResetForTests();
        JvmTest::TearDown();
    }

    void Create(const Fixture& fixture, const std::string& image = "C:\\svc\\run.exe") {
        bool driver = (fixture.type & SERVICE_WIN32) == 0;
        std::string display = std::string(fixture.name) + " display";
        SC_HANDLE service = CreateServiceA(
            manager_, fixture.name, display.c_str(), SERVICE_ALL_ACCESS, fixture.type,
            fixture.start, SERVICE_ERROR_NORMAL, driver ? "C:\\drivers\\d.sys" : image.c_str(),
            nullptr, nullptr, nullptr, fixture.account, nullptr);
        ASSERT_NE(nullptr, service) << fixture.name << " " << GetLastError();
        if (fixture.description != nullptr) {
            SERVICE_DESCRIPTIONA info = {const_cast<char*>(fixture.description)};
            EXPECT_TRUE(ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &info));
        }
        CloseServiceHandle(service);
    }

    jboolean GetServices(jobject vector) {
        jboolean result =
            Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
                env, nullptr, vector);
        EXPECT_FALSE(env->ExceptionCheck());
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
};

TEST_F(ServicesTest, EveryFieldCarriesItsConfigurationAndStatus) {
    const Fixture fixtures[] = {
        {"BootDriver", SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START, "\\Driver\\Boot", nullptr},
        {"SystemDriver", SERVICE_FILE_SYSTEM_DRIVER, SERVICE_SYSTEM_START, "\\FileSystem\\Sys",
         nullptr},
        {"Automatic", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, nullptr, "Runs at start"},
        {"Manual", SERVICE_WIN32_SHARE_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_DEMAND_START,
         nullptr, nullptr},
        {"Off", SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, "NT AUTHORITY\\LocalService", nullptr},
    };
    for (const Fixture& fixture : fixtures) {
        Create(fixture);
    }
    ASSERT_TRUE(ServicesSetStateForTests("Automatic", SERVICE_RUNNING));
    ASSERT_TRUE(ServicesSetStateForTests("Manual", SERVICE_PAUSED));
    ASSERT_TRUE(ServicesSetStateForTests("Off", 99));

    jboolean result = JNI_FALSE;
    auto services = Collect(&result);
    EXPECT_TRUE(result);
    ASSERT_EQ(5u, services.size());
    const struct {
        const char* name;
        const char* startupType;
        const char* status;
        int type;
        const char* startName;
    } expected[] = {
        {"BootDriver", "Unknown", "Stopped", 0x1, "\\Driver\\Boot"},
        {"SystemDriver", "Unknown", "Stopped", 0x2, "\\FileSystem\\Sys"},
        {"Automatic", "Automatic", "Started", 0x10, "LocalSystem"},
        {"Manual", "Manual", "Paused", 0x120, "LocalSystem"},
        {"Off", "Disabled", "Unknown", 0x10, "NT AUTHORITY\\LocalService"},
    };
    for (const auto& e : expected) {
        const ServiceFields& s = services[e.name];
        EXPECT_EQ(e.startupType, s.startupType) << e.name;
        EXPECT_EQ(e.status, s.status) << e.name;
        EXPECT_EQ(e.type, s.type) << e.name;
        EXPECT_EQ(e.startName, s.startName) << e.name;
        EXPECT_EQ(std::string(e.name) + " display", s.displayName);
    }
    EXPECT_EQ("C:\\svc\\run.exe", services["Automatic"].binaryPath);
    EXPECT_EQ("C:\\drivers\\d.sys", services["BootDriver"].binaryPath);
    EXPECT_EQ("Runs at start", services["Automatic"].description);
    EXPECT_TRUE(Logged("Service type: 288"));
    EXPECT_TRUE(Logged("Service count: 5"));
    EXPECT_TRUE(Logged(" DONE "));
}

TEST_F(ServicesTest, NoDescriptionAndNoStartNameLeaveNullsWithoutErrors) {
    Create({"Plain", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, nullptr, nullptr});
    jboolean result = JNI_FALSE;
    auto services = Collect(&result);
    EXPECT_TRUE(result);
    EXPECT_EQ(NULL_TEXT, services["Plain"].description);
    EXPECT_EQ(NULL_TEXT, services["Plain"].startName);
    EXPECT_TRUE(Logged("Service start name: null"));
    EXPECT_EQ(0u, ErrorRecords());
}

TEST_F(ServicesTest, ConfigurationTooLargeIsSkippedAndTheRestCollected) {
    Create({"Before", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr});
    Create({"Huge", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr},
           "C:\\" + std::string(9000, 'x') + ".exe");
    Create({"Later", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr});
    jboolean result = JNI_FALSE;
    auto services = Collect(&result);
    EXPECT_TRUE(result);
    EXPECT_EQ(2u, services.size());
    EXPECT_EQ(1u, services.count("Before"));
    EXPECT_EQ(1u, services.count("Later"));
    EXPECT_TRUE(Logged("Error getting service config: Huge, skipping"));
}

// Deletes the service named by context just before the agent opens it.
DWORD DeleteBeforeOpen(ServiceCall call, LPCSTR name, void* context) {
    const char* victim = static_cast<const char*>(context);
    if (call == ServiceCall::OpenService && name != nullptr && strcmp(name, victim) == 0) {
        ServicesSetFaultHookForTests(nullptr, nullptr);
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceA(manager, name, DELETE);
        DeleteService(service);
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }
    return ERROR_SUCCESS;
}

TEST_F(ServicesTest, ServiceDeletedBeforeItsTurnFailsTheEnumeration) {
    for (const char* name : {"Alpha", "Beta", "Gamma"}) {
        Create({name, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr});
    }
    ServicesSetFaultHookForTests(DeleteBeforeOpen, const_cast<char*>("Beta"));
    jboolean result = JNI_TRUE;
    auto services = Collect(&result);
    EXPECT_FALSE(result);
    EXPECT_EQ(1u, services.size());
    EXPECT_EQ(1u, services.count("Alpha"));
    EXPECT_TRUE(Logged("Not found: Beta"));
    EXPECT_TRUE(Logged("Error adding info: Beta"));
    EXPECT_FALSE(Logged("Found: Gamma"));
}

DWORD RefuseManager(ServiceCall call, LPCSTR, void*) {
    return call == ServiceCall::OpenManager ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

TEST_F(ServicesTest, NoManagerOrNoVectorFailsBeforeEnumerating) {
    Create({"Alpha", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr});
    EXPECT_FALSE(GetServices(nullptr));
    EXPECT_FALSE(Logged("Service count: 1"));

    ServicesSetFaultHookForTests(RefuseManager, nullptr);
    jboolean result = JNI_TRUE;
    EXPECT_TRUE(Collect(&result).empty());
    EXPECT_FALSE(result);
    EXPECT_EQ(-1, Check("Alpha"));
    EXPECT_TRUE(Logged("Could not connect to SCM"));
    EXPECT_TRUE(Logged("No SCM handle"));
}

TEST_F(ServicesTest, NothingInstalledIsAnEmptySuccess) {
    jboolean result = JNI_FALSE;
    EXPECT_TRUE(Collect(&result).empty());
    EXPECT_TRUE(result);
    EXPECT_TRUE(Logged("Service count: 0"));
}

TEST_F(ServicesTest, CheckInstanceTellsInstalledAbsentAndRefused) {
    Create({"Running", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, nullptr, nullptr});
    Create({"Stopped", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr});
    Create({"Driver", SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START, nullptr, nullptr});
    ASSERT_TRUE(ServicesSetStateForTests("Running", SERVICE_RUNNING));
    EXPECT_EQ(1, Check("Running"));
    EXPECT_EQ(1, Check("stopped"));
    EXPECT_EQ(1, Check("Driver"));
    EXPECT_TRUE(Logged("Found: Driver"));
    EXPECT_EQ(0, Check("Absent"));
    EXPECT_TRUE(Logged("Not found: Absent"));
    EXPECT_EQ(0u, ErrorRecords());

    EXPECT_EQ(0, Check(""));
    EXPECT_TRUE(Logged("Empty service name"));
    EXPECT_EQ(-1, Check("Bad\\Name"));
    EXPECT_EQ(-1, Check(nullptr));
    EXPECT_TRUE(Logged("Null service name"));
}

// Holds the enumeration at one service until the other thread has cancelled, so that the request
// lands in the middle of the list whatever the machine's speed.
DWORD WaitForCancellation(ServiceCall call, LPCSTR name, void* context) {
    auto* cancelled = static_cast<std::atomic<bool>*>(context);
    if (call == ServiceCall::OpenService && name != nullptr && strcmp(name, "Service1000") == 0) {
        for (int i = 0; i < 10000 && !*cancelled; ++i) {
            usleep(1000);
        }
    }
    return ERROR_SUCCESS;
}

// A cancellation is never withdrawn, so this case runs in a process of its own: jni_tests skips
// it unless PALLWICK_SERVICES_CANCELLATION is set, as the second ctest entry sets it.
TEST_F(ServicesTest, CancellationFromAnotherThreadStopsThisAndEveryLaterEnumeration) {
    if (getenv("PALLWICK_SERVICES_CANCELLATION") == nullptr) {
        GTEST_SKIP() << "runs in its own process";
    }
    constexpr int COUNT = 5000;
    for (int i = 0; i < COUNT; ++i) {
        std::string name = "Service" + std::to_string(i);
        Create({name.c_str(), SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr});
    }
    JavaVM* jvm = nullptr;
    ASSERT_EQ(JNI_OK, env->GetJavaVM(&jvm));
    jobject vector = env->NewGlobalRef(NewVector(env));
    std::atomic<bool> cancelled{false};
    ServicesSetFaultHookForTests(WaitForCancellation, &cancelled);
    std::thread canceller([&] {
        JNIEnv* jni = nullptr;
        if (jvm->AttachCurrentThread(reinterpret_cast<void**>(&jni), nullptr) != JNI_OK) {
            return;
        }
        while (VectorSize(jni, vector) < 3) {
            std::this_thread::yield();
        }
        Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_cancelCollection(
            jni, nullptr);
        cancelled = true;
        jvm->DetachCurrentThread();
    });
    EXPECT_TRUE(GetServices(vector));
    canceller.join();
    ASSERT_TRUE(cancelled);
    jint appended = VectorSize(env, vector);
    EXPECT_GE(appended, 3);
    EXPECT_LT(appended, COUNT);
    EXPECT_TRUE(Logged("Cancel requested"));

    EXPECT_TRUE(GetServices(vector));
    EXPECT_EQ(appended, VectorSize(env, vector));
    env->DeleteGlobalRef(vector);
}

} // namespace
