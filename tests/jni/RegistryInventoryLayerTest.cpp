// The registry inventory exports where the layer's own hooks make the registry fail or change
// under them, and the agent's helpers that the DLL does not export.
#include "tests/jni/RegistryInventoryFixture.h"

#include "InventoryAgents/WindowsRegistryAgent/WindowsRegistryAgent.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"

#include <stdlib.h>

namespace {

void SetKeyTime(const std::string& key, ULONGLONG ticks) {
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &opened));
    FILETIME time = {(DWORD)ticks, (DWORD)(ticks >> 32)};
    EXPECT_EQ(ERROR_SUCCESS, RegistrySetKeyTimeForTests(opened, &time));
    RegCloseKey(opened);
}

TEST_F(RegistryInventoryTest, RootNamesMatchWholeAndCaseSensitive) {
    const struct {
        const char* name;
        HKEY key;
    } known[] = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                 {"HKCR", HKEY_CLASSES_ROOT},
                 {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                 {"HKCU", HKEY_CURRENT_USER},
                 {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                 {"HKLM", HKEY_LOCAL_MACHINE},
                 {"HKEY_USERS", HKEY_USERS},
                 {"HKU", HKEY_USERS},
                 {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
                 {"HKCC", HKEY_CURRENT_CONFIG},
                 {"HKEY_DYN_DATA", HKEY_DYN_DATA},
                 {"HKDD", HKEY_DYN_DATA},
                 {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
                 {"HKPD", HKEY_PERFORMANCE_DATA},
                 {"HKEY_PERFORMANCE_NLSTEXT", HKEY_PERFORMANCE_NLSTEXT},
                 {"HKPN", HKEY_PERFORMANCE_NLSTEXT},
                 {"HKEY_PERFORMANCE_TEXT", HKEY_PERFORMANCE_TEXT},
                 {"HKPT", HKEY_PERFORMANCE_TEXT}};
    for (const auto& each : known) {
        EXPECT_EQ(each.key, GetPredefinedKeyHandle(each.name)) << each.name;
    }
    EXPECT_EQ((HKEY)(ULONG_PTR)0xFFFFFFFF80000002ULL, GetPredefinedKeyHandle("HKLM"));
    for (const char* unknown : {"hklm", "HKLM ", "HKLMX", "HKUS", "HKL", "", "HKLM/SOFTWARE"}) {
        EXPECT_EQ(nullptr, GetPredefinedKeyHandle(unknown)) << unknown;
    }
    EXPECT_EQ(nullptr, GetPredefinedKeyHandle(nullptr));
}

// A step that fails keeps its place in the array as an empty string.
DWORD FailSecondEnumeration(LayerCall call, const char*, void* context) {
    int* calls = static_cast<int*>(context);
    if (call != LayerCall::RegEnumKeyExA && call != LayerCall::RegEnumValueA) {
        return ERROR_SUCCESS;
    }
    return ++*calls == 2 ? ERROR_NO_MORE_ITEMS : ERROR_SUCCESS;
}

TEST_F(RegistryInventoryTest, FailedStepsLeaveEmptyElements) {
    int calls = 0;
    FaultPlanSetAreaHook(FaultArea::Registry, &FailSecondEnumeration, &calls);
    EXPECT_EQ(Pair({"alpha", "", "Gamma"}), Keys("HKLM\\SOFTWARE\\Vendor\\Children"));
    EXPECT_EQ("System code: 259: No more data is available.",
              After("ERROR while Enumerating child key [SOFTWARE\\Vendor\\Children]"));
    calls = 0;
    EXPECT_EQ(Pair({"Version", ""}), ValueNames("HKLM\\SOFTWARE\\Vendor"));
    EXPECT_EQ("ERROR while Enumerating child key at index[1] for keyName[SOFTWARE\\Vendor]",
              log.Messages().back());
}

// The last subkey goes before its turn: its element stays empty with its record, and the array
// keeps the length first reported.
DWORD RemoveLastSubkey(LayerCall call, const char*, void*) {
    if (call == LayerCall::RegEnumKeyExA) {
        FaultPlanSetAreaHook(FaultArea::Registry, nullptr, nullptr);
        EXPECT_EQ(ERROR_SUCCESS,
                  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Children\\Gamma"));
    }
    return ERROR_SUCCESS;
}

// A value is replaced by one with a longer name than the key reported: it moves to the end, past
// the buffer sized for the old longest name, and its step fails.
DWORD LengthenAValueName(LayerCall call, const char*, void*) {
    if (call == LayerCall::RegEnumValueA) {
        FaultPlanSetAreaHook(FaultArea::Registry, nullptr, nullptr);
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Pair", 0,
                                               KEY_ALL_ACCESS, &key));
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "A"));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Lengthened", 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>("x"), 2));
        RegCloseKey(key);
    }
    return ERROR_SUCCESS;
}

TEST_F(RegistryInventoryTest, ChildrenChangingDuringTheEnumeration) {
    FaultPlanSetAreaHook(FaultArea::Registry, &RemoveLastSubkey, nullptr);
    EXPECT_EQ(Pair({"alpha", "Beta", ""}), Keys("HKLM\\SOFTWARE\\Vendor\\Children"));
    EXPECT_EQ("System code: 259: No more data is available.",
              After("ERROR while Enumerating child key [SOFTWARE\\Vendor\\Children]"));

    SetText("SOFTWARE\\Vendor\\Pair", "A", "a");
    SetText("SOFTWARE\\Vendor\\Pair", "B", "b");
    FaultPlanSetAreaHook(FaultArea::Registry, &LengthenAValueName, nullptr);
    EXPECT_EQ(Pair({"B", ""}), ValueNames("HKLM\\SOFTWARE\\Vendor\\Pair"));
    EXPECT_EQ("ERROR while Enumerating child key at index[1] for keyName[SOFTWARE\\Vendor\\Pair]",
              log.Messages().back());
}

// The records no other case reaches, each with its export's failure value: a key that cannot be
// queried, and a path without a subkey, printed as a null %s prints.
TEST_F(RegistryInventoryTest, QueryFailuresAndAbsentSubkeysAreRecordedAsTheyStand) {
    const char* vendor = "HKLM\\SOFTWARE\\Vendor";
    FaultPlanFailEveryCall(LayerCall::RegQueryInfoKeyA, ERROR_ACCESS_DENIED);
    EXPECT_EQ(std::nullopt, Keys(vendor));
    EXPECT_EQ(std::nullopt, ValueNames(vendor));
    EXPECT_EQ(Pair({"", "0"}), Value(vendor, "Version"));
    EXPECT_EQ(0, Time(vendor));
    FaultPlanClear();
    for (const char* message : {"Error while querying info key for key [SOFTWARE\\Vendor]",
                                "Error while querying info key for registry key [SOFTWARE\\Vendor]",
                                "Error while getting query info for key name[SOFTWARE\\Vendor]",
                                "Error while calling queryInfoKey for keyName[SOFTWARE\\Vendor]"}) {
        EXPECT_EQ("System code: 5: Access is denied.", After(message)) << message;
    }
    EXPECT_EQ(std::nullopt, ValueNames("HKLM"));
    EXPECT_EQ(Pair({"", "0"}), Value("HKLM", "Version"));
    EXPECT_NE(0, Time("HKLM\\"));
    for (const char* message :
         {"No child value name found for registry key [(null)]", "Actual key name = (null)",
          "No child values exist for key name[(null)]", "actual key name = (null)"}) {
        EXPECT_TRUE(Logged(message)) << message;
    }
}

// The data buffer is sized when the key is queried; a value that grows before the read fails it.
DWORD GrowBeforeRead(LayerCall call, const char*, void*) {
    if (call == LayerCall::RegQueryValueExA) {
        FaultPlanSetAreaHook(FaultArea::Registry, nullptr, nullptr);
        SetText(kVendor, "Version", std::string(100, 'x'));
    }
    return ERROR_SUCCESS;
}

TEST_F(RegistryInventoryTest, ValueThatGrowsBetweenTheQueriesFails) {
    FaultPlanSetAreaHook(FaultArea::Registry, &GrowBeforeRead, nullptr);
    EXPECT_EQ(Pair({"", "0"}), Value("HKLM\\SOFTWARE\\Vendor", "Version"));
    EXPECT_EQ("System code: 234: More data is available.", log.Messages().back());
    EXPECT_EQ(Pair({std::string(100, 'x'), "1"}), Value("HKLM\\SOFTWARE\\Vendor", "Version"));
}

TEST_F(RegistryInventoryTest, LastWriteTimeInJavaMilliseconds) {
    SetKeyTime("SOFTWARE\\Vendor\\Children\\alpha", 132223104000000000ULL);
    SetKeyTime("SOFTWARE\\Vendor\\Children\\Beta", 116444736000009999ULL);
    SetKeyTime("SOFTWARE\\Vendor\\Children\\Gamma", 116444736000010000ULL);
    SetKeyTime("SOFTWARE\\Vendor\\Empty", 116444735999990001ULL);
    EXPECT_EQ(1577836800000LL, Time("HKLM\\SOFTWARE\\Vendor\\Children\\alpha"));
    EXPECT_EQ(0, Time("HKLM\\SOFTWARE\\Vendor\\Children\\Beta"));
    EXPECT_EQ(1, Time("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Children\\Gamma"));
    EXPECT_EQ(0, Time("HKLM\\SOFTWARE\\Vendor\\Empty")) << "truncated toward zero before 1970";
    EXPECT_EQ(-1,
              FileTimeToJavaMillis({(DWORD)116444735999990000ULL, 116444735999990000ULL >> 32}));

    EXPECT_EQ(0, Time("HKLM\\SOFTWARE\\Missing"));
    EXPECT_EQ(0, Time("hklm\\SOFTWARE"));
    EXPECT_EQ(0, Time(""));
    EXPECT_EQ(0, Time(nullptr));
    std::vector<std::string> messages = log.Messages();
    const Pair tail(messages.end() - 9, messages.end());
    const Pair expected = {"finding last modified time for key name [HKLM\\SOFTWARE\\Missing]",
                           "predefined key name = HKLM",
                           "actual key name = SOFTWARE\\Missing",
                           "Error while opening Key [SOFTWARE\\Missing]",
                           "System code: 2: The system cannot find the file specified.",
                           "finding last modified time for key name [hklm\\SOFTWARE]",
                           "predefined key name = hklm",
                           "actual key name = SOFTWARE",
                           "predefined HKEY not found for predefined key [hklm]"};
    EXPECT_EQ(expected, tail) << "no record for an empty path";
}

// The machine image wineboot makes: the agent reads a real registry, not only our fixtures.
TEST_F(RegistryInventoryTest, WinebootPrefix) {
    const std::string wineboot = WinebootPrefix();
    if (wineboot.empty()) {
        GTEST_SKIP() << "PALLWICK_WINEBOOT_PREFIX names no wineboot-made prefix";
    }
    setenv("WINEPREFIX", wineboot.c_str(), 1);
    RegistryResetForTests();
    const char* currentVersion = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion";
    Strings microsoft = Keys("HKLM\\Software\\Microsoft");
    ASSERT_TRUE(microsoft.has_value());
    EXPECT_NE(microsoft->end(), std::find(microsoft->begin(), microsoft->end(), "Windows NT"));
    Strings version = Value(currentVersion, "CurrentVersion");
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ("1", (*version)[1]);
    EXPECT_FALSE((*version)[0].empty());
    EXPECT_GT(Time(currentVersion), 1577836800000LL) << "written after 2020";
    EXPECT_EQ(1, Exists("HKLM\\System\\CurrentControlSet\\Services\\EventLog\\"));
    EXPECT_EQ(1, Exists("HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\CurrentVersion"));
}

} // namespace
