// The services exports where the layer's hooks set states, fail the manager's calls or change
// its services under the export, and the cancellations that last for the rest of the process.
#include "tests/jni/ServicesFixture.h"

#include "Common/DiagnosticLog.h"
#include "Platform/Posix/advapi32/ServicesTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"

#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include <atomic>
#include <thread>

namespace {

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

// Deletes the service named by context just before the agent opens it.
DWORD DeleteBeforeOpen(LayerCall call, const char* name, void* context) {
    const char* victim = static_cast<const char*>(context);
    if (call == LayerCall::OpenServiceA && name != nullptr && strcmp(name, victim) == 0) {
        FaultPlanSetAreaHook(FaultArea::Services, nullptr, nullptr);
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
    FaultPlanSetAreaHook(FaultArea::Services, DeleteBeforeOpen, const_cast<char*>("Beta"));
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
DWORD InstallBeforeTheSecondCall(LayerCall call, const char*, void* context) {
    int* calls = static_cast<int*>(context);
    if (call == LayerCall::EnumServicesStatusExA && ++*calls == 2) {
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
    FaultPlanSetAreaHook(FaultArea::Services, InstallBeforeTheSecondCall, &calls);
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
DWORD WaitForCancellation(LayerCall call, const char* name, void* context) {
    auto* cancelled = static_cast<std::atomic<bool>*>(context);
    if (call == LayerCall::OpenServiceA && name != nullptr && strcmp(name, "Service1000") == 0) {
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
    FaultPlanSetAreaHook(FaultArea::Services, WaitForCancellation, &cancelled);
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
