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

    // The host's own files (the program, this library, its log) are named as Wine names a path
    // no drive holds, and reached through that name only.
    char dos[4096];
    ASSERT_TRUE(UnixPathToDos("/tmp/pallwick logs/a.log", dos, sizeof dos));
    EXPECT_STREQ("\\\\?\\unix\\tmp\\pallwick logs\\a.log", dos);
    ASSERT_TRUE(
        DosPathToUnix("\\\\?\\UNIX\\tmp\\x\\..\\pallwick logs\\a.log", unixPath, sizeof unixPath));
    EXPECT_STREQ("/tmp/pallwick logs/a.log", unixPath);
    ASSERT_TRUE(UnixPathToDos((config_ + "/SYSTEM").c_str(), dos, sizeof dos));
    EXPECT_STREQ("C:\\WINDOWS\\system32\\CONFIG\\SYSTEM", dos);
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

// A machine made for the tests from hive descriptions: a service, an installed program, local
// accounts in its SAM under its SECURITY's machine SID, and alice's profile.
class MadeVolumeTest : public WindowsVolumeTest {
  protected:
    void SetUp() override {
        WindowsVolumeTest::SetUp();
        for (const char* hive : {"SYSTEM", "SOFTWARE", "SAM", "SECURITY"}) {
            fs::copy_file(std::string(PALLWICK_VOLUME_HIVES) + "/" + hive, config_ + "/" + hive);
        }
        fs::create_directories(volume_ + "/Users/alice");
        fs::copy_file(std::string(PALLWICK_VOLUME_HIVES) + "/NTUSER",
                      volume_ + "/Users/alice/NTUSER.DAT");
        fs::create_directories(volume_ + "/Users/alice/AppData/Local/Microsoft/Windows");
        fs::copy_file(std::string(PALLWICK_VOLUME_HIVES) + "/CLASSES",
                      volume_ + "/Users/alice/AppData/Local/Microsoft/Windows/UsrClass.dat");
        RegistryResetForTests();
    }

    void TearDown() override {
        unsetenv("PALLWICK_WINDOWS_USER");
        WindowsVolumeTest::TearDown();
    }

    static std::string Text(HKEY root, const char* path, const char* name) {
        char text[256] = "";
        DWORD size = sizeof text;
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return "<no key>";
        }
        LONG status =
            RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS ? text : "<no value>";
    }

    static std::string Account(const char* sidText, SID_NAME_USE* use) {
        PSID sid = nullptr;
        if (!ConvertStringSidToSidA(sidText, &sid)) {
            return "<bad sid>";
        }
        char name[64], domain[64];
        DWORD nameSize = sizeof name, domainSize = sizeof domain;
        BOOL found = LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, use);
        DWORD error = GetLastError();
        LocalFree(sid);
        return found ? std::string(domain) + "\\" + name : "error " + std::to_string(error);
    }
};

TEST_F(MadeVolumeTest, ProfilesMountUnderTheirSidsAndOneIsTheCurrentUser) {
    EXPECT_EQ("teal",
              Text(HKEY_USERS, "S-1-5-21-1111-2222-3333-1001\\Software\\Quorvane", "Colour"));
    // The system profile's folder holds no NTUSER.DAT: no key for it.
    EXPECT_EQ("<no key>", Text(HKEY_USERS, "S-1-5-18", "x"));
    EXPECT_EQ("<no key>", Text(HKEY_CURRENT_USER, "Software\\Quorvane", "Colour"));
    setenv("PALLWICK_WINDOWS_USER", "ALICE", 1);
    RegistryResetForTests();
    EXPECT_EQ("teal", Text(HKEY_CURRENT_USER, "Software\\Quorvane", "Colour"));
    // The user's own classes, mounted beside the profile and linked from it.
    EXPECT_EQ("Quorvane.Document", Text(HKEY_CURRENT_USER, "Software\\Classes\\.quorvane", ""));
    EXPECT_EQ("Quorvane.Document",
              Text(HKEY_USERS, "S-1-5-21-1111-2222-3333-1001_Classes\\.quorvane", ""));
    EXPECT_EQ("1.2.3", Text(HKEY_LOCAL_MACHINE,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                            "Quorvane Sample",
                            "DisplayVersion"));
}

TEST_F(MadeVolumeTest, LocalAccountsAreTheImagesOwn) {
    SID_NAME_USE use = SidTypeUnknown;
    EXPECT_EQ("QUORVANE-VM\\alice", Account("S-1-5-21-1111-2222-3333-1001", &use));
    EXPECT_EQ(SidTypeUser, use);
    EXPECT_EQ("QUORVANE-VM\\None", Account("S-1-5-21-1111-2222-3333-513", &use));
    EXPECT_EQ(SidTypeGroup, use);
    EXPECT_EQ("QUORVANE-VM\\Backup Team", Account("S-1-5-21-1111-2222-3333-1002", &use));
    EXPECT_EQ(SidTypeAlias, use);
    EXPECT_EQ("QUORVANE-VM\\QUORVANE-VM", Account("S-1-5-21-1111-2222-3333", &use));
    EXPECT_EQ(SidTypeDomain, use);
    // A built-in group under the name the image's own language gives it.
    EXPECT_EQ("BUILTIN\\Administratoren", Account("S-1-5-32-544", &use));
    EXPECT_EQ("NT AUTHORITY\\SYSTEM", Account("S-1-5-18", &use));
    // A domain's account, or an RID the SAM does not hold: the image cannot name it.
    EXPECT_EQ("error " + std::to_string(ERROR_NONE_MAPPED), Account("S-1-5-21-7-8-9-1001", &use));
    EXPECT_EQ("error " + std::to_string(ERROR_NONE_MAPPED),
              Account("S-1-5-21-1111-2222-3333-1500", &use));
}

TEST_F(MadeVolumeTest, ServicesAreStoppedAndALogWithoutAFileReadsItsChannel) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(nullptr, manager);
    SC_HANDLE service = OpenServiceA(manager, "QuorvaneAgent", SERVICE_QUERY_STATUS);
    ASSERT_NE(nullptr, service);
    SERVICE_STATUS status = {};
    EXPECT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);

    std::string evtx = std::string(PALLWICK_WINDOWS_DATA) + "/System2.evtx";
    if (!fs::exists(evtx)) {
        GTEST_SKIP() << "no Windows data";
    }
    fs::create_directories(volume_ + "/Windows/System32/winevt/Logs");
    fs::copy_file(evtx, volume_ + "/Windows/System32/winevt/Logs/Windows PowerShell.evtx");
    HANDLE log = OpenEventLogA(nullptr, "Windows PowerShell");
    ASSERT_NE(nullptr, log);
    DWORD count = 0;
    EXPECT_TRUE(GetNumberOfEventLogRecords(log, &count));
    EXPECT_EQ(194u, count);
    CloseEventLog(log);
}

} // namespace
