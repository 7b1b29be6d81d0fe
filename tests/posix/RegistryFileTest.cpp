// The registry loader on small registry texts, the layer's start-up from a prefix, and the
// registry's internal hooks.
#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/advapi32/RegistryFile.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/advapi32/RegistryTree.h"
#include "Platform/Posix/common/Utf16Text.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <string.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr ULONGLONG kTicksAt1970 = 116444736000000000ULL;

struct Tree {
    RegKeyPtr root = RegKeyNew(u"", 1);
    RegKey* machine = nullptr;

    Tree() {
        size_t index = 0;
        RegFindSubkey(*root, u"MACHINE", &index);
        machine = RegInsertSubkey(*root, index, u"Machine", 1);
    }
    ~Tree() { RegMarkTreeDeleted(*root); }

    bool Load(const std::string& text) {
        return RegistryLoadText(text.data(), text.size(), *machine, *root);
    }
    RegKey* Find(const std::u16string& path) {
        RegKey* key = machine;
        size_t position = 0;
        std::u16string token;
        while (key != nullptr && RegNextPathToken(path, &position, &token)) {
            size_t index = 0;
            key = RegFindSubkey(*key, UpcaseName(token), &index);
            key = key != nullptr ? RegFollowLink(*root, key) : nullptr;
        }
        return key;
    }
    const RegValue* Value(const std::u16string& path, const std::u16string& name) {
        RegKey* key = Find(path);
        return key != nullptr ? RegFindValue(*key, UpcaseName(name)) : nullptr;
    }
};

std::vector<BYTE> Utf16(const std::u16string& text, bool terminated = true) {
    std::vector<BYTE> bytes;
    for (char16_t unit : text) {
        bytes.push_back((BYTE)(unit & 0xFF));
        bytes.push_back((BYTE)(unit >> 8));
    }
    if (terminated) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

// System\CurrentControlSet as wineboot writes it: a link key naming ControlSet001.
std::string LinkSection() {
    std::vector<BYTE> target = Utf16(u"\\Registry\\Machine\\System\\ControlSet001", false);
    std::string text = "[System\\\\CurrentControlSet]\n#link\n\"SymbolicLinkValue\"=hex(6):";
    for (size_t i = 0; i < target.size(); ++i) {
        char pair[4];
        snprintf(pair, sizeof pair, i == 0 ? "%02x" : ",%02x", target[i]);
        text += pair;
    }
    return text + "\n";
}

const char kHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                       "#arch=win64\n\n";

TEST(RegistryFileTest, LoadsEveryValueForm) {
    Tree tree;
    ASSERT_TRUE(tree.Load(std::string(kHeader) + "[Software\\\\Forms] 1700000000\n"
                                                 "#time=1d9a0b0c0d0e0f0\n"
                                                 "@=\"default\"\n"
                                                 "\"sz\"=\"text\"\n"
                                                 "\"str\"=str:\"plain\"\n"
                                                 "\"expand\"=str(2):\"%SystemRoot%\\\\x\"\n"
                                                 "\"multi\"=str(7):\"a\\0bc\\0\"\n"
                                                 "\"dword\"=dword:0000abcd\n"
                                                 "\"bin\"=hex:01,ff,7f\n"
                                                 "\"empty\"=hex:\n"
                                                 "\"qword\"=hex(b):01,02,03,04,05,06,07,08\n"
                                                 "\"none\"=hex(0):\n"
                                                 "\"rawmulti\"=hex(7):61,00,00,00,00,00\n"));
    const struct {
        std::u16string name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {u"", REG_SZ, Utf16(u"default")},
        {u"sz", REG_SZ, Utf16(u"text")},
        {u"str", REG_SZ, Utf16(u"plain")},
        {u"expand", REG_EXPAND_SZ, Utf16(u"%SystemRoot%\\x")},
        {u"multi", REG_MULTI_SZ, Utf16(std::u16string(u"a\0bc\0", 5))},
        {u"dword", REG_DWORD, {0xcd, 0xab, 0, 0}},
        {u"bin", REG_BINARY, {0x01, 0xff, 0x7f}},
        {u"empty", REG_BINARY, {}},
        {u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"none", REG_NONE, {}},
        {u"rawmulti", REG_MULTI_SZ, {0x61, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const RegValue* value = tree.Value(u"Software\\Forms", c.name);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->type, c.type);
        EXPECT_EQ(value->data, c.data);
    }
    EXPECT_EQ(tree.Find(u"Software\\Forms")->lastWrite, 0x1d9a0b0c0d0e0f0ULL);
}

TEST(RegistryFileTest, DecodesEscapesAndUtf8InNamesAndText) {
    Tree tree;
    ASSERT_TRUE(tree.Load(std::string(kHeader) +
                          "[Software\\\\Caf\xc3\xa9 \\\"Q\\\"]\n"
                          "\"a\\\\b\"=\"q\\\"t\\n\\r\\t\\x41\\x20ac|\\101\\e\"\n"));
    RegKey* key = tree.Find(u"Software\\caf\u00c9 \"q\"");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->name, u"Caf\u00e9 \"Q\"");
    const RegValue* value = RegFindValue(*key, UpcaseName(u"a\\b"));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->data, Utf16(u"q\"t\n\r\tA\u20ac|A\x1b"));
}

TEST(RegistryFileTest, HexDataContinuesOverLines) {
    Tree tree;
    ASSERT_TRUE(tree.Load(std::string(kHeader) + "[K]\n"
                                                 "\"long\"=hex(2):25,00,\\\n"
                                                 "  41,00,\\\n"
                                                 "\t25,00,00,00\n"
                                                 "\"after\"=dword:00000001\n"));
    EXPECT_EQ(tree.Value(u"K", u"long")->data, Utf16(u"%A%"));
    EXPECT_EQ(tree.Value(u"K", u"long")->type, (DWORD)REG_EXPAND_SZ);
    EXPECT_NE(tree.Value(u"K", u"after"), nullptr);
}

TEST(RegistryFileTest, KeyTimesComeFromTimeLinesElseSecondsAndReachCreatedParents) {
    Tree tree;
    ASSERT_TRUE(tree.Load(std::string(kHeader) + "[A\\\\B\\\\C] 1000\n"
                                                 "[A\\\\B\\\\D] 2000\n"
                                                 "#time=abc\n"));
    EXPECT_EQ(tree.Find(u"A\\B\\C")->lastWrite, kTicksAt1970 + 1000 * 10000000ULL);
    EXPECT_EQ(tree.Find(u"A")->lastWrite, kTicksAt1970 + 1000 * 10000000ULL);
    EXPECT_EQ(tree.Find(u"A\\B\\D")->lastWrite, 0xabcULL);
}

TEST(RegistryFileTest, LinkKeysLeadToTheirTarget) {
    Tree tree;
    ASSERT_TRUE(tree.Load(std::string(kHeader) +
                          "[System\\\\ControlSet001\\\\Services\\\\Svc]\n\"Start\"=dword:3\n" +
                          LinkSection()));
    const RegValue* start = tree.Value(u"System\\CurrentControlSet\\Services\\Svc", u"Start");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->data, (std::vector<BYTE>{3, 0, 0, 0}));
}

// Sections out of order wait to be listed: a section through a link sees the keys written before
// it, a later section finds a waiting key again rather than adding a twin, and the classes count.
TEST(RegistryFileTest, SectionsInAnyOrderListSortedAndReachThroughLinks) {
    Tree tree;
    ASSERT_TRUE(tree.Load(std::string(kHeader) + "[System\\\\Zeta]\n" +
                          "[System\\\\ControlSet001\\\\Services\\\\Svc]\n#class=\"long class\"\n" +
                          LinkSection() + "[System\\\\CurrentControlSet\\\\Services\\\\Svc]\n" +
                          "\"Start\"=dword:3\n[System\\\\Alpha]\n[System\\\\alpha]\n"));
    RegKey* system = tree.Find(u"System");
    ASSERT_NE(system, nullptr);
    std::vector<std::u16string> names;
    for (const RegKey* subkey : system->subkeys) {
        names.push_back(subkey->name);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"ControlSet001", u"CurrentControlSet",
                                                  u"Zeta"}));
    ASSERT_NE(tree.Value(u"System\\ControlSet001\\Services\\Svc", u"Start"), nullptr);
    EXPECT_EQ(tree.Find(u"System\\ControlSet001\\Services")->maxSubkeyClass, 10u);
}

TEST(RegistryFileTest, MalformedLinesAreSkippedAndTheRestLoads) {
    Tree tree;
    ASSERT_TRUE(tree.Load(std::string(kHeader) + "\"orphan\"=dword:1\n"
                                                 "[Good]\n"
                                                 "\"bad hex\"=hex:zz\n"
                                                 "\"bad byte\"=hex:1ff\n"
                                                 "\"unclosed\"=\"text\n"
                                                 "\"no equals\" dword:1\n"
                                                 "\"unknown\"=float:1.0\n"
                                                 "garbage line\n"
                                                 "[\\\\Leading]\n"
                                                 "\"lost\"=dword:1\n"
                                                 "[Unterminated\n"
                                                 "[Good\\\\Later]\n"
                                                 "\"kept\"=dword:00000002\n"));
    for (const char16_t* name : {u"bad hex", u"bad byte", u"unclosed", u"unknown"}) {
        const RegValue* value = tree.Value(u"Good", name);
        ASSERT_NE(value, nullptr); // as Wine: the named value stays, empty and untyped
        EXPECT_EQ(value->type, (DWORD)REG_NONE);
        EXPECT_TRUE(value->data.empty());
    }
    EXPECT_EQ(tree.Find(u"Good")->values.size(), 4u);
    EXPECT_EQ(tree.machine->subkeys.size(), 1u);
    EXPECT_NE(tree.Value(u"Good\\Later", u"kept"), nullptr);
}

TEST(RegistryFileTest, RefusesOtherFilesAndUnknownArchitectures) {
    Tree tree;
    EXPECT_FALSE(tree.Load("REGEDIT4\n[A]\n"));
    EXPECT_TRUE(tree.machine->subkeys.empty());
    EXPECT_TRUE(tree.Load("WINE REGISTRY Version 2\n#arch=arm99\n[A]\n"));
    EXPECT_TRUE(tree.machine->subkeys.empty());
}

// ---- the layer over a prefix ----

class RegistryPrefixTest : public ::testing::Test {
  protected:
    void SetUp() override { RegistryResetForTests(); }
    void TearDown() override {
        FaultPlanSetAreaHook(FaultArea::Registry, nullptr, nullptr);
        RegistryResetForTests();
    }
    void Write(const char* file, const std::string& text) {
        std::ofstream(prefix_.Root() + "/" + file) << text;
    }
    DWORD SubkeyCount(HKEY key) {
        DWORD count = 0xFFFF;
        EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        return count;
    }
    TestPrefix prefix_;
};

TEST_F(RegistryPrefixTest, LoadsThePrefixAtFirstUseAndAgainAfterAReset) {
    EXPECT_EQ(SubkeyCount(HKEY_LOCAL_MACHINE), 0u); // an empty prefix: only the roots
    Write("system.reg", std::string(kHeader) +
                            "[Software\\\\Classes\\\\.txt]\n@=\"txtfile\"\n"
                            "[System\\\\ControlSet001\\\\Hardware Profiles"
                            "\\\\Current\\\\Software]\n" +
                            LinkSection());
    Write("user.reg", "WINE REGISTRY Version 2\n[Software\\\\Mine]\n\"v\"=dword:5\n");
    EXPECT_EQ(SubkeyCount(HKEY_LOCAL_MACHINE), 0u); // loaded once, kept for the process
    RegistryResetForTests();
    EXPECT_EQ(SubkeyCount(HKEY_LOCAL_MACHINE), 2u);

    char text[16];
    DWORD size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(HKEY_CLASSES_ROOT, ".txt", nullptr, nullptr, (BYTE*)text, &size),
              ERROR_FILE_NOT_FOUND); // the default value lives in the subkey
    HKEY txt = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ".TXT", 0, KEY_READ, &txt), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(txt, nullptr, nullptr, nullptr, (BYTE*)text, &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "txtfile");
    RegCloseKey(txt);
    HKEY mine = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Mine", 0, KEY_READ, &mine),
              ERROR_SUCCESS);
    RegCloseKey(mine);
    EXPECT_EQ(SubkeyCount(HKEY_CURRENT_CONFIG), 1u); // reached through CurrentControlSet
}

// A file's base key has no time in the file: it takes the file's, the same for every process.
TEST_F(RegistryPrefixTest, RootKeysTakeTheTimeTheirFileWasSaved) {
    Write("system.reg", std::string(kHeader) + "[Software] 1000\n");
    struct timespec saved[2] = {{0, 0}, {1700000000, 500}};
    ASSERT_EQ(utimensat(AT_FDCWD, (prefix_.Root() + "/system.reg").c_str(), saved, 0), 0);
    RegistryResetForTests();
    FILETIME written = {};
    ASSERT_EQ(RegQueryInfoKeyA(HKEY_LOCAL_MACHINE, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, &written),
              ERROR_SUCCESS);
    ULONGLONG ticks = (ULONGLONG)written.dwHighDateTime << 32 | written.dwLowDateTime;
    EXPECT_EQ(ticks, kTicksAt1970 + 1700000000 * 10000000ULL + 5);
}

TEST_F(RegistryPrefixTest, HandlesOpenAcrossAResetSeeTheirKeyDeleted) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Gone", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegistryResetForTests();
    DWORD count = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Gone", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryPrefixTest, SetTimeHookGivesKeysChosenTimes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Timed\\Child", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    FILETIME chosen = {0x89ABCDEFu, 0x01234567u};
    EXPECT_EQ(RegistrySetKeyTimeForTests(key, &chosen), ERROR_SUCCESS);
    FILETIME seen = {0, 0};
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, &seen),
              ERROR_SUCCESS);
    EXPECT_EQ(seen.dwLowDateTime, chosen.dwLowDateTime);
    EXPECT_EQ(seen.dwHighDateTime, chosen.dwHighDateTime);
    RegCloseKey(key);
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Timed", 0, KEY_READ, &parent),
              ERROR_SUCCESS);
    char name[16];
    DWORD size = sizeof name;
    FILETIME enumerated = {0, 0};
    EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &size, nullptr, nullptr, nullptr, &enumerated),
              ERROR_SUCCESS);
    EXPECT_EQ(enumerated.dwHighDateTime, chosen.dwHighDateTime);
    RegCloseKey(parent);
}

struct FailThird {
    int enumerations = 0;
};

DWORD FailThirdEnumeration(LayerCall call, const char*, void* context) {
    FailThird* state = static_cast<FailThird*>(context);
    return call == LayerCall::RegEnumKeyExA && ++state->enumerations == 3 ? ERROR_INVALID_DATA
                                                                          : ERROR_SUCCESS;
}

TEST_F(RegistryPrefixTest, FaultHookFailsAnEnumerationHalfWay) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Faulty", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const char* name : {"a", "b", "c", "d"}) {
        HKEY child = nullptr;
        RegCreateKeyExA(key, name, 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr);
        RegCloseKey(child);
    }
    FailThird state;
    FaultPlanSetAreaHook(FaultArea::Registry, FailThirdEnumeration, &state);
    std::vector<LONG> results;
    for (DWORD i = 0; i < 5; ++i) {
        char name[8];
        DWORD size = sizeof name;
        results.push_back(RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr));
    }
    EXPECT_EQ(results, (std::vector<LONG>{0, 0, ERROR_INVALID_DATA, 0, ERROR_NO_MORE_ITEMS}));
    RegCloseKey(key);
}

// How the cost grows is the benchmarks' business; here, that a large key stays whole and sorted.
TEST_F(RegistryPrefixTest, HundredThousandKeysEnumerateWholeAndSorted) {
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Many", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    const DWORD count = 100000;
    for (DWORD i = 0; i < count; ++i) {
        char name[16];
        // A scrambled order, so that most insertions land mid-vector.
        snprintf(name, sizeof name, "k%06u", (unsigned)((i * 7919u) % count));
        HKEY child = nullptr;
        ASSERT_EQ(RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(child);
    }
    char name[16];
    char previous[16] = "";
    DWORD i = 0;
    DWORD unordered = 0;
    for (DWORD size = sizeof name;
         RegEnumKeyExA(parent, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         size = sizeof name) {
        unordered += strcmp(previous, name) < 0 ? 0 : 1;
        memcpy(previous, name, sizeof name);
        ++i;
    }
    EXPECT_EQ(i, count);
    EXPECT_EQ(0u, unordered);
    EXPECT_STREQ(name, "k099999");
    RegCloseKey(parent);
}

TEST_F(RegistryPrefixTest, ConcurrentWritersAndReadersKeepTheTreeWhole) {
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Busy", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([parent, t] {
            for (int i = 0; i < 500; ++i) {
                char name[32];
                snprintf(name, sizeof name, "t%d-%d", t, i);
                HKEY child = nullptr;
                RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                                nullptr);
                DWORD value = (DWORD)i;
                RegSetValueExA(child, "v", 0, REG_DWORD, (const BYTE*)&value, 4);
                RegCloseKey(child);
                char found[32];
                DWORD size = sizeof found;
                RegEnumKeyExA(parent, (DWORD)i, found, &size, nullptr, nullptr, nullptr, nullptr);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(SubkeyCount(parent), 2000u);
    RegCloseKey(parent);
}

// A prefix made by wineboot, named by PALLWICK_WINEBOOT_PREFIX; skipped without one.
TEST_F(RegistryPrefixTest, LoadsAWinebootPrefix) {
    const std::string made = WinebootPrefix();
    if (made.empty()) {
        GTEST_SKIP() << "PALLWICK_WINEBOOT_PREFIX names no wineboot-made prefix";
    }
    setenv("WINEPREFIX", made.c_str(), 1);
    RegistryResetForTests();
    HKEY services = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services", 0, KEY_READ,
                            &services),
              ERROR_SUCCESS);
    EXPECT_GT(SubkeyCount(services), 20u);
    HKEY eventLog = nullptr;
    EXPECT_EQ(RegOpenKeyExA(services, "EventLog\\Application", 0, KEY_READ, &eventLog),
              ERROR_SUCCESS);
    RegCloseKey(eventLog);
    RegCloseKey(services);
    char version[32];
    DWORD size = sizeof version;
    HKEY current = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion",
                            0, KEY_READ, &current),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(current, "CurrentVersion", nullptr, nullptr, (BYTE*)version, &size),
              ERROR_SUCCESS);
    RegCloseKey(current);
    setenv("WINEPREFIX", prefix_.Root().c_str(), 1);
}

TEST(RegistryTextTest, CodePageAndCaseFolding) {
    EXPECT_EQ(AnsiToUtf16("\x80\x81\x9f\xe9", 4), std::u16string(u"\u20ac\u0081\u0178\u00e9"));
    EXPECT_EQ(Utf16UnitToAnsi(u'\u20ac'), '\x80');
    EXPECT_EQ(Utf16UnitToAnsi(u'\u0100'), 'A') << "best fit, as Windows converts";
    EXPECT_EQ(Utf16UnitToAnsi(u'\u4e00'), '?');
    EXPECT_EQ(Utf16UnitToAnsi(u'\u00ff'), '\xff');
    EXPECT_EQ(UpcaseName(u"ab\u00e9\u00ff\u0101\u013a\u0431\u03b1_"),
              std::u16string(u"AB\u00c9\u0178\u0100\u0139\u0411\u0391_"));
}

} // namespace
