// The registry through the Win32 API alone, below a throw-away key of HKEY_CURRENT_USER\Software.
#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

ULONGLONG Ticks(const FILETIME& time) {
    return ((ULONGLONG)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

void DeleteTree(HKEY parent, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
    char child[256];
    DWORD size = sizeof child;
    while (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        DeleteTree(key, child);
        size = sizeof child;
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, name);
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static int serial = 0;
        char name[96];
        snprintf(name, sizeof name, "Software\\PallwickRegistryTest-%u-%d",
                 (unsigned)GetCurrentThreadId(), ++serial);
        path_ = name;
        DeleteTree(HKEY_CURRENT_USER, name); // left over by a run that crashed
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &root_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(root_);
        DeleteTree(HKEY_CURRENT_USER, path_.c_str());
    }

    HKEY Create(const char* name, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(
            RegCreateKeyExA(root_, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition),
            ERROR_SUCCESS)
            << name;
        return key;
    }
    void CreateAndClose(const char* name) { RegCloseKey(Create(name)); }
    void SetString(HKEY key, const char* name, const char* text, DWORD type = REG_SZ) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, (const BYTE*)text, (DWORD)strlen(text) + 1),
                  ERROR_SUCCESS);
    }
    void SetDword(HKEY key, const char* name, DWORD value) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof value),
                  ERROR_SUCCESS);
    }
    // enumerate(index, name, size) is one step of RegEnumKeyExA or RegEnumValueA.
    template <typename Enumerate> static std::vector<std::string> Names(Enumerate enumerate) {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0, size = sizeof name; enumerate(i, name, &size) == ERROR_SUCCESS;
             ++i, size = sizeof name) {
            names.push_back(name);
        }
        return names;
    }
    std::vector<std::string> SubkeyNames(HKEY key) {
        return Names([key](DWORD i, char* name, DWORD* size) {
            return RegEnumKeyExA(key, i, name, size, nullptr, nullptr, nullptr, nullptr);
        });
    }
    std::vector<std::string> ValueNames(HKEY key) {
        return Names([key](DWORD i, char* name, DWORD* size) {
            return RegEnumValueA(key, i, name, size, nullptr, nullptr, nullptr, nullptr);
        });
    }

    std::string path_;
    HKEY root_ = nullptr;
};

using RegistryKeyTest = RegistryTest;
using RegistryValueTest = RegistryTest;
using RegistrySizeTest = RegistryTest;
using RegistryPathTest = RegistryTest;
using RegistryHandleTest = RegistryTest;

TEST_F(RegistryKeyTest, CreateReportsWhetherTheKeyExistedAndMakesTheWholePath) {
    DWORD disposition = 0;
    HKEY created = Create("Deep\\Er\\Est", &disposition);
    EXPECT_EQ(disposition, (DWORD)REG_CREATED_NEW_KEY);
    RegCloseKey(created);
    HKEY again = Create("deep\\er\\EST", &disposition);
    EXPECT_EQ(disposition, (DWORD)REG_OPENED_EXISTING_KEY);
    RegCloseKey(again);

    HKEY middle = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root_, "Deep\\Er", 0, KEY_READ, &middle), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(middle), std::vector<std::string>{"Est"});
    RegCloseKey(middle);

    HKEY missing = (HKEY)&disposition;
    EXPECT_EQ(RegOpenKeyExA(root_, "Deep\\Nope", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, (HKEY) nullptr);
}

TEST_F(RegistryKeyTest, CreateWithoutAResultPointerIsABadKey) {
    EXPECT_EQ(RegCreateKeyExA(root_, "x", 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr),
              ERROR_BADKEY);
}

TEST_F(RegistryKeyTest, NamesMatchInAnyCaseAndKeepTheirOwn) {
    CreateAndClose("MixedCase");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root_, "mIXEDcASE", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    SetDword(key, "ValueName", 7);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "VALUENAME", nullptr, nullptr, (BYTE*)&value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(ValueNames(key), std::vector<std::string>{"ValueName"});
    RegCloseKey(key);
    EXPECT_EQ(SubkeyNames(root_), std::vector<std::string>{"MixedCase"});
    DWORD disposition = 0;
    RegCloseKey(Create("MIXEDCASE", &disposition));
    EXPECT_EQ(disposition, (DWORD)REG_OPENED_EXISTING_KEY);
}

TEST_F(RegistryKeyTest, SubkeysEnumerateSortedWithoutRegardToCase) {
    for (const char* name : {"delta", "Bravo", "alpha", "Charlie", "alpha2", "ALPH"}) {
        CreateAndClose(name);
    }
    std::vector<std::string> expected = {"ALPH", "alpha", "alpha2", "Bravo", "Charlie", "delta"};
    EXPECT_EQ(SubkeyNames(root_), expected);
}

TEST_F(RegistryKeyTest, UnderscoreSortsAfterLettersAsWindowsComparesUpperCase) {
    for (const char* name : {"_under", "zulu", "Abc"}) {
        CreateAndClose(name);
    }
    std::vector<std::string> expected = {"Abc", "zulu", "_under"};
    EXPECT_EQ(SubkeyNames(root_), expected);
}

TEST_F(RegistryKeyTest, DeleteRefusesKeysWithSubkeysAndDeletedKeysRefuseWork) {
    CreateAndClose("Parent\\Child");
    EXPECT_EQ(RegDeleteKeyA(root_, "Parent"), ERROR_ACCESS_DENIED);
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root_, "Parent", 0, KEY_ALL_ACCESS, &parent), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(root_, "Parent\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(root_, "Parent\\Child"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(root_, "parent"), ERROR_SUCCESS);

    DWORD value = 1;
    EXPECT_EQ(RegSetValueExA(parent, "v", 0, REG_DWORD, (const BYTE*)&value, 4), ERROR_KEY_DELETED);
    DWORD subkeys = 99;
    EXPECT_EQ(RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
    EXPECT_TRUE(SubkeyNames(root_).empty());
}

TEST_F(RegistryKeyTest, QueryInfoCountsAndMeasuresInUtf16) {
    CreateAndClose("short");
    CreateAndClose("a-longer-name");
    SetString(root_, "name", "hello"); // 6 UTF-16 units: 12 bytes stored
    SetDword(root_, "longest-value-name", 1);
    FILETIME before = {0, 0};
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxValueName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr,
                               &values, &maxValueName, &maxData, nullptr, &before),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_EQ(maxSubkey, 13u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxValueName, 18u);
    EXPECT_EQ(maxData, 12u);
    EXPECT_NE(before.dwHighDateTime, 0u);

    SetDword(root_, "another", 2);
    FILETIME after = {0, 0};
    ASSERT_EQ(RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, &after),
              ERROR_SUCCESS);
    EXPECT_GE(Ticks(after), Ticks(before));
}

TEST_F(RegistryValueTest, EveryTypeRoundTrips) {
    const BYTE binary[] = {0, 1, 2, 0xFE, 0xFF};
    const unsigned long long qword = 0x0123456789ABCDEFull;
    const char multi[] = "one\0two\0";
    const struct {
        const char* name;
        DWORD type;
        const BYTE* data;
        DWORD size;
    } cases[] = {
        {"sz", REG_SZ, (const BYTE*)"text", 5},
        {"expand", REG_EXPAND_SZ, (const BYTE*)"%SystemRoot%\\x", 15},
        {"multi", REG_MULTI_SZ, (const BYTE*)multi, sizeof multi},
        {"binary", REG_BINARY, binary, sizeof binary},
        {"dword", REG_DWORD, (const BYTE*)"\x78\x56\x34\x12", 4},
        {"qword", REG_QWORD, (const BYTE*)&qword, 8},
        {"none", REG_NONE, nullptr, 0},
        {"", REG_SZ, (const BYTE*)"default", 8},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(RegSetValueExA(root_, c.name, 0, c.type, c.data, c.size), ERROR_SUCCESS);
    }
    for (const auto& c : cases) {
        BYTE buffer[64];
        memset(buffer, 0xCC, sizeof buffer);
        DWORD type = 99, size = sizeof buffer;
        ASSERT_EQ(RegQueryValueExA(root_, c.name, nullptr, &type, buffer, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type) << c.name;
        ASSERT_EQ(size, c.size) << c.name;
        EXPECT_EQ(c.size == 0 || memcmp(buffer, c.data, c.size) == 0, true) << c.name;
    }
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(root_, nullptr, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
}

TEST_F(RegistryValueTest, AnsiTextCrossesTheCodePage) {
    const char text[] = "caf\xe9 \x80 5";
    SetString(root_, "k\xe9y", text);
    char buffer[32];
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(root_, "K\xc9Y", nullptr, nullptr, (BYTE*)buffer, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, (DWORD)sizeof text);
    EXPECT_STREQ(buffer, text);
    DWORD maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(maxData, 2 * (DWORD)sizeof text);
}

TEST_F(RegistryValueTest, ValuesEnumerateInTheOrderFirstSet) {
    SetDword(root_, "zeta", 1);
    SetDword(root_, "Alpha", 2);
    SetDword(root_, "mid", 3);
    SetDword(root_, "zeta", 4); // replacing keeps the place
    std::vector<std::string> expected = {"zeta", "Alpha", "mid"};
    EXPECT_EQ(ValueNames(root_), expected);
}

TEST_F(RegistryValueTest, MissingValuesAndKeysAreNotFound) {
    DWORD type = 1234, size = 55;
    EXPECT_EQ(RegQueryValueExA(root_, "nope", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, (DWORD)REG_NONE);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(RegDeleteValueA(root_, "nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(root_, "nope"), ERROR_FILE_NOT_FOUND);
    SetDword(root_, "there", 1);
    EXPECT_EQ(RegDeleteValueA(root_, "THERE"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(root_, "there", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

// Many values: a lookup by name in any case, after replacements and deletions in the middle,
// still finds each value's own data and nothing of a deleted one.
TEST_F(RegistryValueTest, ManyValuesAreFoundByNameAfterDeletions) {
    constexpr DWORD kCount = 200;
    char name[32];
    for (DWORD i = 0; i < kCount; ++i) {
        snprintf(name, sizeof name, "Value%u", (unsigned)i);
        SetDword(root_, name, i);
    }
    SetDword(root_, "VALUE7", 7000);
    for (DWORD i = 0; i < kCount; i += 3) {
        snprintf(name, sizeof name, "value%u", (unsigned)i);
        ASSERT_EQ(RegDeleteValueA(root_, name), ERROR_SUCCESS) << name;
    }
    for (DWORD i = 0; i < kCount; ++i) {
        snprintf(name, sizeof name, "vALUE%u", (unsigned)i);
        DWORD data = 0, size = sizeof data;
        LONG status = RegQueryValueExA(root_, name, nullptr, nullptr, (BYTE*)&data, &size);
        if (i % 3 == 0) {
            EXPECT_EQ(status, ERROR_FILE_NOT_FOUND) << name;
        } else {
            ASSERT_EQ(status, ERROR_SUCCESS) << name;
            EXPECT_EQ(data, i == 7 ? 7000u : i) << name;
        }
    }
}
TEST_F(RegistrySizeTest, QueryValueReportsTheNeededSizeOnAShortBuffer) {
    SetString(root_, "s", "abcdef");
    BYTE binary[10] = {1, 2, 3};
    ASSERT_EQ(RegSetValueExA(root_, "b", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);

    char buffer[16] = "untouched";
    DWORD size = 3;
    EXPECT_EQ(RegQueryValueExA(root_, "s", nullptr, nullptr, (BYTE*)buffer, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
    size = 7;
    EXPECT_EQ(RegQueryValueExA(root_, "s", nullptr, nullptr, (BYTE*)buffer, &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "abcdef");
    size = 9;
    EXPECT_EQ(RegQueryValueExA(root_, "b", nullptr, nullptr, (BYTE*)buffer, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 10u);
    size = 0;
    EXPECT_EQ(RegQueryValueExA(root_, "b", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 10u);
}

TEST_F(RegistrySizeTest, StringsWithoutTerminatorGetOneWhenThereIsRoom) {
    const char data[] = "abcX";
    // Three bytes counted and a non-zero byte after them: stored without a terminator.
    ASSERT_EQ(RegSetValueExA(root_, "bare", 0, REG_SZ, (const BYTE*)data, 3), ERROR_SUCCESS);
    // The byte after the count is the terminator: Windows counts it in.
    ASSERT_EQ(RegSetValueExA(root_, "forgot", 0, REG_SZ, (const BYTE*)"abc", 3), ERROR_SUCCESS);

    char buffer[8];
    memset(buffer, 'Z', sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(root_, "bare", nullptr, nullptr, (BYTE*)buffer, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(buffer, 4), std::string("abc\0", 4));
    memset(buffer, 'Z', sizeof buffer);
    size = 3;
    ASSERT_EQ(RegQueryValueExA(root_, "bare", nullptr, nullptr, (BYTE*)buffer, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, 4), "abcZ");
    size = 0;
    ASSERT_EQ(RegQueryValueExA(root_, "forgot", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
}

TEST_F(RegistrySizeTest, EnumerationNamesTooLongKeepTheCallersSize) {
    CreateAndClose("sixsix");
    SetString(root_, "valname", "data");
    char name[16];
    DWORD size = 6; // room for five characters and the terminator
    FILETIME time = {0, 0};
    EXPECT_EQ(RegEnumKeyExA(root_, 0, name, &size, nullptr, nullptr, nullptr, &time),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    size = 7;
    EXPECT_EQ(RegEnumKeyExA(root_, 0, name, &size, nullptr, nullptr, nullptr, &time),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(name, "sixsix");
    EXPECT_NE(time.dwHighDateTime, 0u);

    char data[16];
    DWORD dataSize = sizeof data;
    size = 4;
    EXPECT_EQ(RegEnumValueA(root_, 0, name, &size, nullptr, nullptr, (BYTE*)data, &dataSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(dataSize, 5u);
    size = sizeof name;
    dataSize = 2;
    EXPECT_EQ(RegEnumValueA(root_, 0, name, &size, nullptr, nullptr, (BYTE*)data, &dataSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, (DWORD)sizeof name);
    EXPECT_EQ(dataSize, 5u);
}

TEST_F(RegistrySizeTest, EnumerationsEndWithNoMoreItems) {
    CreateAndClose("only");
    SetDword(root_, "one", 1);
    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(root_, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(root_, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(root_, 0xFFFFFFFFu, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryPathTest, BackslashesFollowWindowsRules) {
    CreateAndClose("one\\two");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root_, "\\one", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExA(root_, "\\new", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              ERROR_BAD_PATHNAME);
    ASSERT_EQ(RegOpenKeyExA(root_, "one\\\\two\\", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    // HKEY_CLASSES_ROOT alone lets a path start with a backslash.
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "\\NoSuchPallwickClass", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    std::string longPath(261, 'x');
    EXPECT_EQ(RegOpenKeyExA(root_, longPath.c_str(), 0, KEY_READ, &key), ERROR_MORE_DATA);
}

TEST_F(RegistryHandleTest, ClosedAndBogusHandlesAreRefused) {
    HKEY key = Create("k");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    HKEY bogus = (HKEY)(ULONG_PTR)0x7ff0;
    char name[8];
    size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(bogus, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryHandleTest, PredefinedKeysOpenAsThemselvesAndNeverClose) {
    HKEY same = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &same), ERROR_SUCCESS);
    EXPECT_EQ(same, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(sizeof(HKEY_LOCAL_MACHINE), sizeof(void*));
    EXPECT_EQ((ULONG_PTR)HKEY_LOCAL_MACHINE, (ULONG_PTR)(LONG_PTR)(LONG)0x80000002);
}

TEST_F(RegistryHandleTest, AccessRightsOfTheHandleAreEnforced) {
    SetDword(root_, "v", 1);
    HKEY enumerateOnly = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &enumerateOnly),
        ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(enumerateOnly, "v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    RegCloseKey(enumerateOnly);
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &readOnly),
              ERROR_SUCCESS);
    DWORD value = 2;
    EXPECT_EQ(RegSetValueExA(readOnly, "v", 0, REG_DWORD, (const BYTE*)&value, 4),
              ERROR_ACCESS_DENIED);
    RegCloseKey(readOnly);
}

} // namespace
