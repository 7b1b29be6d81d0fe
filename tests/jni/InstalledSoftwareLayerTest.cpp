// The installed software exports where the layer's hooks fail or change the registry at a chosen
// call or run its clock, with Java code of their own, on two threads, or on another prefix.
#include "tests/jni/InstalledSoftwareFixture.h"

#include "Common/DiagnosticLog.h"
#include "InventoryAgents/NativeInstalledApps/AttributeValueText.h"
#include "InventoryAgents/NativeInstalledApps/UninstallKeys.h"
#include "Common/LanguageNames.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/kernel32/TestClock.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The registry's area hook as a lambda: it sees every registry call before the call runs.
std::function<LONG(LayerCall)> hookAction;
DWORD CallHook(LayerCall call, const char*, void*) {
    return hookAction ? hookAction(call) : ERROR_SUCCESS;
}

// The value grows between the sizing query and the read: the read stays within the sized buffer.
TEST_F(InstalledSoftwareTest, StringThatGrowsBetweenSizeAndReadGivesEmptyText) {
    HKEY key = Program("Growing");
    SetValue(key, "Note", REG_SZ, "short", 6);
    int queries = 0;
    hookAction = [&](LayerCall call) {
        // DisplayName check, the sizing query, then the reading type query.
        if (call == LayerCall::RegQueryValueExA && ++queries == 3) {
            std::string longer(4000, 'x');
            SetValue(key, "Note", REG_SZ, longer.c_str(), longer.size() + 1);
        }
        return (LONG)ERROR_SUCCESS;
    };
    FaultPlanSetAreaHook(FaultArea::Registry, &CallHook, nullptr);
    EXPECT_EQ((std::vector<Value>{{1, "", "Growing"}}), Collect({"Note"}, {1}));
    RegCloseKey(key);
}

// A name longer than any the key first reported, added once the walk has begun, sorts first and
// fails its index; the buffer sized from the report is never overrun.
TEST_F(InstalledSoftwareTest, SubkeyAddedDuringTheWalkCannotOverrunTheNameBuffer) {
    RegCloseKey(Program("Short"));
    RegCloseKey(Program("Tiny"));
    bool added = false;
    hookAction = [&](LayerCall call) {
        if (call == LayerCall::RegEnumKeyExA && !added) {
            added = true;
            RegCloseKey(Program(std::string(200, 'A')));
        }
        return (LONG)ERROR_SUCCESS;
    };
    FaultPlanSetAreaHook(FaultArea::Registry, &CallHook, nullptr);
    std::vector<Value> values = Collect({"ProdID"}, {1});
    EXPECT_EQ((std::vector<Value>{{1, "Short", "Short"}}), values);
    EXPECT_EQ(1u, Count("Could not find name of subkey #1  of Uninstall key."));
}

TEST_F(InstalledSoftwareTest, BadArgumentsFailBeforeTheRegistry) {
    RegCloseKey(Program("One"));
    jobject vector = NewVector();
    EXPECT_EQ(-1,
              Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
                  env, nullptr, nullptr, env->NewIntArray(0), vector, JNI_FALSE, 0));
    EXPECT_EQ(-1, Call(env, {"A", "B"}, {1, 2, 3}, vector));
    EXPECT_EQ(-1, Call(env, {"A"}, {1}, nullptr));
    EXPECT_EQ(1u, Count("The attributes array passed to native method was null"));
    EXPECT_EQ(1u, Count("The arrays of attribues and mastercodes were of different lengths."));
    EXPECT_EQ(1u, Count("The results vector passed to native method was null"));
    EXPECT_EQ(0u, Count("Exiting the method"));

    int registryCalls = 0;
    hookAction = [&](LayerCall) { return (LONG)(++registryCalls, ERROR_SUCCESS); };
    FaultPlanSetAreaHook(FaultArea::Registry, &CallHook, nullptr);
    EXPECT_EQ(0, Call(env, {}, {}, vector));
    EXPECT_EQ(0, registryCalls);
    EXPECT_EQ(1u, Count("Exiting the method"));
    EXPECT_TRUE(Read(vector).empty());
}

// The limit in virtual time: each pause is one second.
TEST_F(InstalledSoftwareTest, LimitPausesOrStops) {
    RegCloseKey(Program("One"));
    RegCloseKey(Program("Two"));
    TestClockStart(0);
    EXPECT_EQ(2u, Collect({"ProdID"}, {1}, 0, false, 0).size());
    EXPECT_EQ(1000u, GetTickCount()) << "one pause, before the second value";
    EXPECT_EQ(1u, Count("Sleeping for 1 second due to max. result size violation"));
    EXPECT_EQ(2u, Collect({"ProdID"}, {1}, 0, false, 1).size()) << "equal is not over";
    EXPECT_EQ(1000u, GetTickCount());
    EXPECT_EQ(2u, Collect({"ProdID"}, {1}, 0, false, -1).size());
    EXPECT_EQ(3000u, GetTickCount()) << "a pause before every value";

    EXPECT_EQ(1u, Collect({"ProdID"}, {1}, 1, true, 0).size());
    EXPECT_EQ(0u, Collect({"ProdID"}, {1}, 1, true, -1).size());
    EXPECT_EQ(2u, Count("Result size exceeded maximum allowable limit, aborting the operation !"));
    EXPECT_EQ(3000u, GetTickCount());
}

TEST_F(InstalledSoftwareTest, VectorFailuresEndTheCall) {
    RegCloseKey(Program("One"));
    const char* modes[] = {"size -1", "refuse", "throw"};
    for (const char* mode : modes) {
        jobject vector = NewVector(mode);
        EXPECT_EQ(-1, Call(env, {"DisplayName"}, {1}, vector)) << mode;
        EXPECT_EQ(strcmp(mode, "throw") == 0, env->ExceptionCheck() == JNI_TRUE) << mode;
        env->ExceptionClear();
        env->DeleteLocalRef(vector);
    }
    EXPECT_EQ(1u, Count("Error while trying to find the size of results vector to check the max "
                        "limit violation"));
    EXPECT_EQ(2u, Count("Error while adding InventoryAttributeValue instance to results vector, "
                        "\t\t\t 'add' method of vector returned false."))
        << "a throwing add is logged as a refusing one";
    EXPECT_EQ(2u, Count("Could not add attribute value to results vector"));
}

TEST_F(InstalledSoftwareTest, MissingChainLogsEverySlot) {
    RegCloseKey(uninstall);
    uninstall = nullptr;
    RegistryResetForTests();
    EXPECT_FALSE(Check("Anything"));
    EXPECT_EQ(1u, Count("Could not get handle for ' HKEY_LOCAL_MACHINE/Software' key."));
    EXPECT_EQ(1u, Count("Could not get handle for ' "
                        "HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion/Uninstall' "
                        "key."));
    EXPECT_EQ(5u, CountStarting("System code: "));
    EXPECT_TRUE(Collect({"DisplayName"}, {1}, -1).empty());
}

// Every record that log readers rely on, provoked once each and found exactly as it stands.
TEST_F(InstalledSoftwareTest, ContractualTextsAreWrittenAsTheyStand) {
    HKEY alpha = Program("Alpha");
    SetValue(alpha, "Multi", REG_MULTI_SZ, "a\0", 3);
    SetValue(alpha, "Quad", REG_QWORD, "12345678", 8);
    SetValue(alpha, "None", REG_NONE, "", 0);
    SetValue(alpha, "Link", REG_LINK, "L", 1);
    SetValue(alpha, "Odd", 9, "x", 1);
    RegCloseKey(alpha);
    RegCloseKey(Program("Beta", nullptr));
    TestClockStart(0);
    Collect({"DisplayName", nullptr, "Missing", "Multi", "Quad", "None", "Link", "Odd"},
            {1, 2, 3, 4, 5, 6, 7, 8}, 0, false, 0);
    Collect({"DisplayName", "DisplayName"}, {1, 2}, 1, true, 0);
    EXPECT_TRUE(Check("Alpha"));
    EXPECT_FALSE(Check("Absent"));
    EXPECT_FALSE(Check(nullptr));
    jobject vector = NewVector();
    EXPECT_EQ(-1,
              Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
                  env, nullptr, nullptr, nullptr, vector, JNI_FALSE, 0));
    EXPECT_EQ(-1,
              Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
                  env, nullptr, env->NewObjectArray(0, env->FindClass("java/lang/String"), nullptr),
                  nullptr, vector, JNI_FALSE, 0));
    EXPECT_EQ(-1, Call(env, {"A"}, {}, vector));
    EXPECT_EQ(-1, Call(env, {"A"}, {1}, nullptr));
    const char* vectorModes[] = {"size -1", "refuse"};
    for (const char* mode : vectorModes) {
        EXPECT_EQ(-1, Call(env, {"DisplayName"}, {1}, NewVector(mode)));
    }
    const JniFault refusals[] = {
        {JniCall::FindClass, "com/quorvane/inventory/InventoryAttributeValue"},
        {JniCall::GetMethodID, "setMasterCode"},
        {JniCall::GetMethodID, "setAttributeValue"},
        {JniCall::GetMethodID, "setUniqueInstanceId"},
        {JniCall::GetMethodID, "<init>"},
        {JniCall::NewObject},
    };
    for (const JniFault& refusal : refusals) {
        FailingJniEnv failing(env);
        failing.Fail(refusal);
        EXPECT_EQ(-1, Call(failing.env(), {"DisplayName"}, {1}, vector));
        env->ExceptionClear();
    }
    for (LayerCall failing :
         {LayerCall::RegQueryInfoKeyA, LayerCall::RegEnumKeyExA, LayerCall::RegOpenKeyExA}) {
        hookAction = [&](LayerCall call) {
            return (LONG)(call == failing ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
        };
        FaultPlanSetAreaHook(FaultArea::Registry, &CallHook, nullptr);
        Collect({"DisplayName"}, {1}, failing == LayerCall::RegQueryInfoKeyA ? -1 : 0);
        FaultPlanSetAreaHook(FaultArea::Registry, nullptr, nullptr);
    }
    char buffer[8] = "";
    int32_t size = sizeof buffer;
    EXPECT_EQ(-1, FindValueOfAttribute(nullptr, "Publisher", buffer, &size));
    EXPECT_EQ(nullptr, GetHandleForSubkey(nullptr));
    RegCloseKey(uninstall);
    uninstall = nullptr;
    RegistryResetForTests();
    Release();
    EXPECT_FALSE(Check("Gone"));

    const char* const texts[] = {
        "Entered the method",
        "Exiting the method",
        "The attributes array passed to native method was null",
        "MasterCodes array passed with the inventory item was null",
        "The results vector passed to native method was null",
        "The arrays of attribues and mastercodes were of different lengths.",
        "Attribute name passed in the array of attributes was null",
        "-------------- Getting information from subkeys under "
        "'HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion/Uninstall' --------------",
        "Could not find InventoryAttributeValue class",
        "Could not find setMasterCode() method in InventoryAttributeValue class",
        "Could not find setAttributeValue() method in InventoryAttributeValue class",
        "Could not find setUniqueInstanceId() method in InventoryAttributeValue class",
        "Could not find default constructor in InventoryAttributeValue class",
        "Could 't find number of registry subkeys keys under Uninstall key.",
        "\nTotal subkeys under 'Uninstall' key = 2",
        "Finding all subkeys having a dispaly name attribute.",
        "Could not find name of subkey #1  of Uninstall key.",
        "Subkey: 'Alpha'",
        "Could not get registry handle for 'Alpha' subkey.",
        "Display name attribute not found for subkey 'Beta'",
        "Finding value of attribiute 'Missing'",
        "Value of attribute : 'A program'",
        "Error while trying to find the size of results vector to check the max limit violation",
        "Results vector size exceeded maximum allowable limit !",
        "Result size exceeded maximum allowable limit, aborting the operation !",
        "Sleeping for 1 second due to max. result size violation",
        "Could not add attribute value to results vector",
        "Could not create an instance of InventoryAttributeValue class",
        "Error while adding InventoryAttributeValue instance to results vector, \t\t\t 'add' "
        "method of vector returned false.",
        "Atttribute 'Missing' not found",
        "REG_NONE type not supported.",
        "REG_LINK type not supported.",
        "REG_MULTI_SZ type not supported.",
        "REG_QWORD type not supported.",
        "Unknown type.",
        "Handle for subkey 'Publisher' was null",
        "Could not get handle for ' HKEY_LOCAL_MACHINE/Software' key.",
        "Could not get handle for ' HKEY_LOCAL_MACHINE/Software/Microsoft' key.",
        "Could not get handle for ' HKEY_LOCAL_MACHINE/Software/Microsoft/Windows' key.",
        "Could not get handle for ' HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion' "
        "key.",
        "Could not get handle for ' "
        "HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion/Uninstall' key.",
        "UniqueInstance id found NULL",
        "Cann't find handle for 'Gone' as handle for Uninstall subkey was null.",
        "Could not successfully open handle for subkey Absent",
        "UniqueInstance id passed to native method was null.",
        "Trying to find registry handle for uniqueinstance ID 'Alpha'",
        "Registry handle for uniqueInstanceId successfully found",
        "Registry handle for uniqueInstanceId not found",
    };
    for (const char* text : texts) {
        EXPECT_LE(1u, Count(text)) << text;
    }
}

// Programs with a DisplayName in a registry file as Wine saves it, in the layer's subkey order.
std::vector<std::string> ProgramsIn(const std::string& systemReg) {
    const std::string prefix =
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\";
    std::vector<std::string> programs;
    std::ifstream in(systemReg);
    std::string line, program;
    while (std::getline(in, line)) {
        if (line.rfind('[', 0) == 0) {
            bool inside = line.size() > prefix.size() &&
                          strncasecmp(line.c_str(), prefix.c_str(), prefix.size()) == 0;
            program = inside ? line.substr(prefix.size(), line.find(']') - prefix.size()) : "";
            if (program.find('\\') != std::string::npos) {
                program.clear();
            }
        } else if (!program.empty() && line.rfind("\"DisplayName\"=", 0) == 0) {
            programs.push_back(program);
        }
    }
    std::sort(programs.begin(), programs.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    return programs;
}

// The machine image that wineboot made, with the sample programs Wine's own reg import added.
TEST_F(InstalledSoftwareTest, EveryProgramOfAWinebootPrefixInSubkeyOrder) {
    const std::string image = WinebootPrefix();
    if (image.empty()) {
        GTEST_SKIP() << "PALLWICK_WINEBOOT_PREFIX names no wineboot-made prefix";
    }
    std::vector<std::string> expected = ProgramsIn(image + "/system.reg");
    RegCloseKey(uninstall);
    uninstall = nullptr;
    setenv("WINEPREFIX", image.c_str(), 1); // put back by the TestPrefix
    RegistryResetForTests();
    setenv("ProgramFiles", "C:\\Program Files", 1);
    std::vector<Value> values = Collect(
        {"DisplayName", "InstallLocation", "Language", "Comments", "Signature"}, {1, 2, 3, 4, 5});
    unsetenv("ProgramFiles");
    std::vector<std::string> collected;
    for (const Value& value : values) {
        if (value.code == 1) {
            collected.push_back(value.id);
        }
    }
    EXPECT_EQ(expected, collected);
    auto of = [&](const std::string& id, int code) {
        for (const Value& value : values) {
            if (value.id == id && value.code == code) {
                return value.text;
            }
        }
        return std::string("<none>");
    };
    if (std::find(expected.begin(), expected.end(), "QuorvaneViewer") == expected.end()) {
        std::cout << "note: this prefix was made without the sample programs\n";
        return;
    }
    const std::string editor = "{6F1C2A40-0D7B-4C1E-9B55-2A7D3E8F1001}";
    EXPECT_EQ("Quorvane Sample Editor", of(editor, 1));
    EXPECT_EQ("C:\\Program Files\\Quorvane\\Editor", of(editor, 2));
    EXPECT_EQ("English (United States)", of(editor, 3));
    EXPECT_EQ("", of("QuorvaneViewer", 4)) << "REG_MULTI_SZ";
    EXPECT_EQ("01 ab ff", of("QuorvaneViewer", 5));
    EXPECT_EQ("<none>", of("QuorvaneUpdaterComponent", 1)) << "no DisplayName";
}

} // namespace
