// A Windows volume as the machine image: C: is its root and no other drive shows the host, its
// registry comes from its hive files and is never written, and a damaged hive loads what can be
// read of it without a crash. The real hive is the Windows 7 SYSTEM hive of the shared data.
#include "Platform/Win32.h"

#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/DosPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <filesystem>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

#ifndef PALLWICK_WINDOWS_DATA
#define PALLWICK_WINDOWS_DATA ""
#endif

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Dword(const std::vector<char>& bytes, size_t offset) {
    uint32_t value = 0;
    memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

void PutDword(std::vector<char>& bytes, size_t offset, uint32_t value) {
    memcpy(bytes.data() + offset, &value, sizeof value);
}

class WindowsVolumeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/pallwick-volume-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        volume_ = fs::canonical(pattern).string();
        config_ = volume_ + "/WINDOWS/system32/CONFIG";
        fs::create_directories(config_);
        setenv("PALLWICK_WINDOWS_ROOT", volume_.c_str(), 1);
        RegistryResetForTests();
        hive_ = ReadAll(std::string(PALLWICK_WINDOWS_DATA) + "/SYSTEM");
    }

    void TearDown() override {
        unsetenv("PALLWICK_WINDOWS_ROOT");
        RegistryResetForTests();
        fs::remove_all(volume_);
    }

    void WriteSystemHive(const std::vector<char>& bytes) {
        std::ofstream(config_ + "/system", std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        RegistryResetForTests();
    }

    // Keys below HKLM\SYSTEM, walked whole through the API; -1 when SYSTEM does not open.
    static long CountKeys(HKEY key, int depth = 0) {
        long count = 1;
        char name[256];
        for (DWORD i = 0; depth < 600; ++i) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            HKEY child = nullptr;
            if (strcmp(name, "CurrentControlSet") != 0 &&
                RegOpenKeyExA(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
                count += CountKeys(child, depth + 1);
                RegCloseKey(child);
            }
        }
        return count;
    }

    static long SystemKeys() {
        HKEY system = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &system) != ERROR_SUCCESS) {
            return -1;
        }
        long count = CountKeys(system);
        RegCloseKey(system);
        return count;
    }

    bool HaveHive() const { return hive_.size() > 0x2000; }

    std::string volume_;
    std::string config_;
    std::vector<char> hive_;
};

TEST_F(WindowsVolumeTest, OnlyCIsADriveAndItIsTheVolumesRoot) {
    char unixPath[4096];
    ASSERT_TRUE(DosPathToUnix("c:\\windows\\System32\\config", unixPath, sizeof unixPath));
    EXPECT_EQ(config_, unixPath); // found whatever case the volume keeps
    for (const char* hostPath : {"Z:\\etc\\passwd", "D:\\", "Y:\\x"}) {
        SetLastError(0);
        EXPECT_FALSE(DosPathToUnix(hostPath, unixPath, sizeof unixPath)) << hostPath;
        EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError()) << hostPath;
    }
    EXPECT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), GetDriveTypeA("Z:\\"));
}

TEST_F(WindowsVolumeTest, NothingBelowTheVolumeIsWritten) {
    WriteSystemHive(hive_);
    HANDLE file = CreateFileA("C:\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_PROTECT), GetLastError());
    EXPECT_FALSE(fs::exists(volume_ + "/new.txt"));
    EXPECT_FALSE(CreateDirectoryA("C:\\folder", nullptr));
    EXPECT_FALSE(DeleteFileA("C:\\Windows\\System32\\config\\SYSTEM"));
    EXPECT_TRUE(fs::exists(config_ + "/system"));

    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD one = 1;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(HKEY_LOCAL_MACHINE, "x", 0, REG_DWORD,
                                                  reinterpret_cast<const BYTE*>(&one), 4));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\Select"));
    if (HaveHive()) {
        EXPECT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Select", 0, KEY_READ, &key));
        RegCloseKey(key);
    }
}

TEST_F(WindowsVolumeTest, AMissingHiveIsAMissingRootKey) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key));
    // No hive of a user: HKEY_CURRENT_USER is .DEFAULT's place, empty.
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key));
}

TEST_F(WindowsVolumeTest, CurrentControlSetIsTheSetSelectNames) {
    if (!HaveHive()) {
        GTEST_SKIP() << "no Windows data";
    }
    WriteSystemHive(hive_);
    HKEY viaLink = nullptr;
    HKEY direct = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\EventLog", 0,
                            KEY_READ, &viaLink));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Services\\EventLog", 0,
                            KEY_READ, &direct));
    DWORD linked = 0, plain = 0;
    RegQueryInfoKeyA(viaLink, nullptr, nullptr, nullptr, &linked, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    RegQueryInfoKeyA(direct, nullptr, nullptr, nullptr, &plain, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_EQ(9u, linked);
    EXPECT_EQ(plain, linked);
    RegCloseKey(viaLink);
    RegCloseKey(direct);

    // The machine's name is the volume's own, and a machine that is not running has no counters.
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_STREQ("WKS-WIN732BITA", name);
    PDH_HQUERY query = nullptr;
    PDH_HCOUNTER counter = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, PdhOpenQueryA(nullptr, 0, &query));
    EXPECT_EQ(PDH_CSTATUS_NO_OBJECT,
              PdhAddCounterA(query, "\\Processor(_Total)\\% Processor Time", 0, &counter));
    PdhCloseQuery(query);
}

// Damage a hive can carry: cut short, a key list that names its own parent (a loop), a value
// whose data runs far past the file, bytes flipped at random. Each loads what can be read.
TEST_F(WindowsVolumeTest, ADamagedHiveLoadsWhatCanBeRead) {
    if (!HaveHive()) {
        GTEST_SKIP() << "no Windows data";
    }
    WriteSystemHive(hive_);
    long whole = SystemKeys();
    ASSERT_GT(whole, 30000); // 30,695 keys, CurrentControlSet not walked twice

    for (size_t size : {size_t{512}, size_t{4096}, size_t{0x1000 + 0x1000}, hive_.size() / 3}) {
        WriteSystemHive(std::vector<char>(hive_.begin(), hive_.begin() + static_cast<long>(size)));
        EXPECT_LT(SystemKeys(), whole) << "cut at " << size;
    }

    // The root key's subkey list: its first entry pointed back at the root.
    std::vector<char> looped = hive_;
    const size_t bins = 0x1000;
    uint32_t rootCell = Dword(looped, 0x24);
    uint32_t listCell = Dword(looped, bins + rootCell + 4 + 0x1C);
    PutDword(looped, bins + listCell + 4 + 4, rootCell);
    WriteSystemHive(looped);
    long loopedKeys = SystemKeys();
    EXPECT_GT(loopedKeys, 0);
    EXPECT_LT(loopedKeys, whole);

    // The first value of Select: its data length made 2 GB, stored outside the key.
    std::vector<char> overlong = hive_;
    overlong.resize(overlong.size()); // same bytes, edited below
    for (size_t at = bins; at + 0x20 < overlong.size(); at += 8) {
        if (memcmp(&overlong[at + 4], "vk", 2) == 0 && Dword(overlong, at + 4 + 4) == 4 &&
            Dword(overlong, at + 4 + 0xC) == 4 /* REG_DWORD */) {
            PutDword(overlong, at + 4 + 4, 0x7FFFFFF0); // past the file, not inline
            break;
        }
    }
    WriteSystemHive(overlong);
    EXPECT_EQ(whole, SystemKeys());

    std::vector<char> flipped = hive_;
    unsigned seed = 20261208;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        flipped[0x1000 + seed % (flipped.size() - 0x1000)] ^= static_cast<char>(1 + seed % 255);
    }
    WriteSystemHive(flipped);
    EXPECT_GE(SystemKeys(), -1); // anything but a crash or a walk that does not end
}

} // namespace
