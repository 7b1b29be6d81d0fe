#include "tests/jni/ServicesFixture.h"

namespace {

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
    EXPECT_EQ(0u, services.count("Huge"));
    EXPECT_EQ(1u, services.count("Before"));
    EXPECT_EQ(1u, services.count("Later"));
    EXPECT_TRUE(Logged("Error getting service config: Huge, skipping"));
}

TEST_F(ServicesTest, NothingInstalledIsAnEmptySuccess) {
    jboolean result = JNI_FALSE;
    EXPECT_TRUE(Collect(&result).empty());
    EXPECT_TRUE(result);
    EXPECT_TRUE(Logged("Service count: 0"));
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
        {{JniCall::CallBooleanMethod, "add"}, "Error adding info: " + FirstServiceName()},
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

} // namespace
