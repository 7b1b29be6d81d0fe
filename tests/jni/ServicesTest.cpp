#include "tests/support/FailingJniEnv.h"
#include "tests/support/JvmHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPrefix.h"

#include "Common/DiagnosticLog.h"
#include "InventoryAgents/NativeWinNTServices/NativeWinNTServices.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/advapi32/ServicesTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"

#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"

#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kNullText[] = "<null>";

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
        return kNullText;
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
        FaultPlanClear();
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

// Windows gives every configuration string, "" where the service has none: "" is a value like any
// other, while an absent description is a null pointer and leaves the field unset.
TEST_F(ServicesTest, EmptyConfigurationTextsAreKeptAndNoDescriptionStaysNull) {
    Create({"Plain", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, nullptr, nullptr});
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Plain", 0,
                            KEY_ALL_ACCESS, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "ImagePath"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "DisplayName"));
    RegCloseKey(key);
    jboolean result = JNI_FALSE;
    auto services = Collect(&result);
    EXPECT_TRUE(result);
    const ServiceFields& plain = services["Plain"];
    EXPECT_EQ("", plain.displayName);
    EXPECT_EQ("", plain.binaryPath);
    EXPECT_EQ("", plain.startName) << "a driver without an account";
    EXPECT_EQ(kNullText, plain.description);
    EXPECT_TRUE(Logged("Display name: "));
    EXPECT_TRUE(Logged("Executable path: "));
    EXPECT_TRUE(Logged("Service start name: "));
    EXPECT_FALSE(Logged("Service start name: null"));
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

TEST_F(ServicesTest, NoManagerOrNoVectorFailsBeforeEnumerating) {
    Create({"Alpha", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr});
    EXPECT_FALSE(GetServices(nullptr));
    EXPECT_FALSE(Logged("Service count: 1"));

    FaultPlanFailEveryCall(LayerCall::OpenSCManagerA, ERROR_ACCESS_DENIED);
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

// A service named in the ANSI code page reaches Java as the characters it stands for, and its
// name finds it again; a name the code page cannot hold is refused rather than sent as '?'.
TEST_F(ServicesTest, AnsiNamesRoundTripAndForeignOnesAreRefused) {
    Create({"Caf\xE9 \x80", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr,
            "D\xE9j\xE0 vu"});
    jboolean result = JNI_FALSE;
    auto services = Collect(&result);
    EXPECT_TRUE(result);
    ASSERT_EQ(1u, services.count("Caf\xC3\xA9 \xE2\x82\xAC"));
    const ServiceFields& cafe = services["Caf\xC3\xA9 \xE2\x82\xAC"];
    EXPECT_EQ("Caf\xC3\xA9 \xE2\x82\xAC display", cafe.displayName);
    EXPECT_EQ("D\xC3\xA9j\xC3\xA0 vu", cafe.description);
    EXPECT_EQ(1, Check("Caf\xC3\xA9 \xE2\x82\xAC"));
    EXPECT_EQ(-1, Check("Caf\xCE\xA9"));
    EXPECT_TRUE(Logged("Text not representable in the ANSI code page"));
}

// Every record of one enumeration and one check, in order and letter for letter: log readers
// rely on them.
TEST_F(ServicesTest, EveryRecordOfAnEnumerationAndACheckAsItStands) {
    Create({"Alpha", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, "First"});
    DiagnosticLog.threshold = kLogDetail;
    jboolean result = JNI_FALSE;
    Collect(&result);
    EXPECT_EQ(1, Check("Alpha"));
    EXPECT_EQ(-1, addServiceInformationToVector(nullptr, manager_, env, nullptr));
    EXPECT_EQ(-1, addServiceInformationToVector("Alpha", manager_, nullptr, nullptr));
    const std::vector<std::string> expected = {
        "Enumerating all services in the system...",
        "Entered",
        "Service count: 1",
        "Adding information of all services to the service information vector.",
        "Found: Alpha",
        "Service: Alpha",
        "Display name: Alpha display",
        "Startup type: Manual",
        "Executable path: C:\\svc\\run.exe",
        "Description: First",
        "Service status: Stopped",
        "Service type: 16",
        "Service start name: LocalSystem",
        " DONE ",
        "Entered",
        "Checking for: Alpha",
        "Found: Alpha",
        "Assert failed: serviceName != NULL",
        "Assert failed: env != NULL"};
    EXPECT_EQ(expected, log_.Messages());
}

// A JVM that refuses a lookup, an object, a string or the append fails the enumeration with its
// exception left pending for Java, and the log says which.
TEST_F(ServicesTest, JvmRefusalsFailTheEnumerationWithTheExceptionPending) {
    Create({"Alpha", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, "First"});
    const char* const fields[] = {"name",        "displayName", "binaryPath", "startupType",
                                  "description", "status",      "type",       "startName"};
    struct Case {
        JniFault fault;
        std::string message;
    };
    std::vector<Case> cases = {
        {{JniCall::FindClass, "java/util/Vector"}, "init error"},
        {{JniCall::FindClass, "com/quorvane/inventory/inventoryagent/Service"},
         "Class 'com.quorvane.inventory.inventoryagent.Service' could not be found"},
        {{JniCall::GetMethodID, "<init>"},
         "Could not find the default constructor of class "
         "'com.quorvane.inventory.inventoryagent.Service'"},
        {{JniCall::NewObject}, "Error creating Service object"},
        {{JniCall::NewStringUTF}, "Error creating string"},
        {{JniCall::NewStringUTF, "", 4}, "Error creating string"},
        {{JniCall::CallBooleanMethod, "add"}, "Error adding info: Alpha"},
    };
    for (const char* field : fields) {
        cases.push_back({{JniCall::GetFieldID, field},
                         std::string("Field '") + field +
                             "' could not be found in class "
                             "'com.quorvane.inventory.inventoryagent.Service'"});
    }
    for (const Case& c : cases) {
        FailingJniEnv failing(env);
        failing.Fail(c.fault);
        jobject vector = NewVector(env);
        EXPECT_FALSE(GetServices(vector, failing.env())) << c.message;
        EXPECT_TRUE(env->ExceptionCheck()) << c.message;
        env->ExceptionClear();
        EXPECT_EQ(0, VectorSize(env, vector)) << c.message;
        EXPECT_TRUE(Logged(c.message)) << c.message;
        env->DeleteLocalRef(vector);
    }
    FailingJniEnv failing(env);
    failing.Fail({JniCall::GetStringUTFChars});
    EXPECT_EQ(-1,
              Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_checkInstance(
                  failing.env(), nullptr, JavaString("Alpha")));
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    EXPECT_TRUE(Logged("No UTF chars for service name"));
}

// What each refusal of the manager costs: the enumeration, the one service, or only a field.
TEST_F(ServicesTest, ManagerRefusalsEndTheCallOrSkipWhatTheyMust) {
    Create({"Alpha", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, "First"});
    const struct {
        LayerCall call;
        jboolean result;
        size_t appended;
        const char* message;
    } cases[] = {
        {LayerCall::EnumServicesStatusExA, JNI_FALSE, 0, "System code: 5: Access is denied."},
        {LayerCall::OpenServiceA, JNI_FALSE, 0, "Not found: Alpha"},
        {LayerCall::QueryServiceConfigA, JNI_TRUE, 0,
         "Error getting service config: Alpha, skipping"},
        {LayerCall::QueryServiceConfig2A, JNI_TRUE, 1,
         "Failed to get description for service 'Alpha', returning null description"},
        {LayerCall::QueryServiceStatus, JNI_FALSE, 0, "Error getting service status: Alpha"},
    };
    for (const auto& c : cases) {
        FaultPlanFailEveryCall(c.call, ERROR_ACCESS_DENIED);
        jboolean result = JNI_TRUE;
        auto services = Collect(&result);
        FaultPlanClear();
        EXPECT_EQ(c.result, result) << c.message;
        EXPECT_EQ(c.appended, services.size()) << c.message;
        EXPECT_TRUE(Logged(c.message)) << c.message;
        if (c.appended == 1) {
            EXPECT_EQ(kNullText, services["Alpha"].description);
            EXPECT_EQ("Stopped", services["Alpha"].status);
        }
    }
}

// The buffer of the second call has the size the first reported: a service installed in between
// no longer fits, and the enumeration fails without appending anything.
DWORD InstallBeforeTheSecondCall(ServiceCall call, LPCSTR, void* context) {
    int* calls = static_cast<int*>(context);
    if (call == ServiceCall::Enumerate && ++*calls == 2) {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service =
            CreateServiceA(manager, "Latecomer", "Latecomer", SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           "C:\\late.exe", nullptr, nullptr, nullptr, nullptr, nullptr);
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }
    return ERROR_SUCCESS;
}

TEST_F(ServicesTest, ServiceInstalledBetweenTheTwoEnumerationCallsFailsTheEnumeration) {
    Create({"Alpha", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr});
    int calls = 0;
    ServicesSetFaultHookForTests(InstallBeforeTheSecondCall, &calls);
    jboolean result = JNI_TRUE;
    EXPECT_TRUE(Collect(&result).empty());
    EXPECT_FALSE(result);
    EXPECT_EQ(2, calls);
    EXPECT_TRUE(Logged("System code: 234: More data is available."));
    EXPECT_FALSE(Logged("Found: Alpha"));
}

// A cancellation is never withdrawn, so this case runs in a process of its own: the parent runs
// the binary again on this one case with PALLWICK_SERVICES_EARLY_CANCEL set.
TEST_F(ServicesTest, CancellationBeforeTheFirstEnumerationStopsAtTheFirstService) {
    if (getenv("PALLWICK_SERVICES_EARLY_CANCEL") == nullptr) {
        std::string command = "PALLWICK_SERVICES_EARLY_CANCEL=1 /proc/" + std::to_string(getpid()) +
                              "/exe --gtest_filter=ServicesTest.CancellationBefore* >/dev/null";
        int status = system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the case failed alone";
        return;
    }
    Create({"Alpha", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, nullptr, nullptr});
    Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_cancelCollection(env,
                                                                                           nullptr);
    for (int run = 0; run < 2; ++run) {
        jboolean result = JNI_FALSE;
        EXPECT_TRUE(Collect(&result).empty());
        EXPECT_TRUE(result);
    }
    const std::vector<std::string> expected = {
        "Enumerating all services in the system...", "Service count: 1",
        "Adding information of all services to the service information vector.", "Cancel requested",
        " DONE "};
    std::vector<std::string> messages = log_.Messages();
    ASSERT_EQ(10u, messages.size());
    EXPECT_EQ(expected, std::vector<std::string>(messages.begin(), messages.begin() + 5));
    EXPECT_EQ(expected, std::vector<std::string>(messages.begin() + 5, messages.end()));
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
    constexpr int kCount = 5000;
    for (int i = 0; i < kCount; ++i) {
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
    EXPECT_LT(appended, kCount);
    EXPECT_TRUE(Logged("Cancel requested"));

    EXPECT_TRUE(GetServices(vector));
    EXPECT_EQ(appended, VectorSize(env, vector));
    env->DeleteGlobalRef(vector);
}

} // namespace
