#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/kernel32/Drives.h"
#include "Platform/Posix/kernel32/Errors.h"
#include "Platform/Posix/kernel32/Files.h"
#include "Platform/Posix/common/MachineImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A throw-away prefix: drive_c/Windows/System32, D: linked to a folder outside it, R: to
// /dev/shm (tmpfs) and Y: dangling. WINEPREFIX points at it for the duration of a case.
class DriveMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/pallwick-prefix-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        prefix_ = fs::canonical(pattern).string();
        fs::create_directories(prefix_ + "/drive_c/Windows/System32");
        fs::create_directories(prefix_ + "/data");
        fs::create_directories(prefix_ + "/dosdevices");
        fs::create_directory_symlink(prefix_ + "/data", prefix_ + "/dosdevices/d:");
        fs::create_directory_symlink("/dev/shm", prefix_ + "/dosdevices/r:");
        fs::create_directory_symlink(prefix_ + "/gone", prefix_ + "/dosdevices/y:");
        const char* old = getenv("WINEPREFIX");
        hadPrefix_ = old != nullptr;
        oldPrefix_ = hadPrefix_ ? old : "";
        setenv("WINEPREFIX", prefix_.c_str(), 1);
        oldDirectory_ = fs::current_path();
    }

    void TearDown() override {
        fs::current_path(oldDirectory_);
        if (hadPrefix_) {
            setenv("WINEPREFIX", oldPrefix_.c_str(), 1);
        } else {
            unsetenv("WINEPREFIX");
        }
        fs::remove_all(prefix_);
    }

    static std::string ToUnix(const char* dos) {
        char out[PATH_MAX];
        return DosPathToUnix(dos, out, sizeof(out)) ? out : "<failed>";
    }

    static std::string ToDos(const std::string& unixPath) {
        char out[PATH_MAX];
        return UnixPathToDos(unixPath.c_str(), out, sizeof(out)) ? out : "<failed>";
    }

    std::string prefix_;
    std::string oldPrefix_;
    bool hadPrefix_ = false;
    fs::path oldDirectory_;
};

TEST_F(DriveMapTest, DosPathsMapThroughTheDriveMap) {
    std::string systemFolder = prefix_ + "/drive_c/Windows/System32";
    EXPECT_EQ(ToUnix("C:\\windows\\SYSTEM32\\New.DLL"), systemFolder + "/New.DLL")
        << "existing components match ignoring case, a new one keeps its case";
    EXPECT_EQ(ToUnix("c:/Windows/./Fonts/../System32"), systemFolder);
    EXPECT_EQ(ToUnix("C:\\..\\..\\Windows"), prefix_ + "/drive_c/Windows");
    EXPECT_EQ(ToUnix("C:"), prefix_ + "/drive_c");
    EXPECT_EQ(ToUnix("D:\\x.log"), prefix_ + "/data/x.log");
    EXPECT_EQ(ToUnix("z:\\etc\\\\hostname"), "/etc/hostname");
    EXPECT_EQ(ToUnix("\\\\?\\C:\\Windows"), prefix_ + "/drive_c/Windows");
}

TEST_F(DriveMapTest, RelativePathsFollowTheCurrentDirectory) {
    fs::current_path(prefix_ + "/drive_c/Windows");
    EXPECT_EQ(ToUnix("system32\\a.log"), prefix_ + "/drive_c/Windows/System32/a.log");
    EXPECT_EQ(ToUnix("..\\b.log"), prefix_ + "/drive_c/b.log");
    EXPECT_EQ(ToUnix("\\b.log"), prefix_ + "/drive_c/b.log");
    EXPECT_EQ(ToUnix("C:System32"), prefix_ + "/drive_c/Windows/System32");
    EXPECT_EQ(ToUnix("D:x.log"), prefix_ + "/data/x.log") << "another drive's root";
}

TEST_F(DriveMapTest, UnmappedOrOversizedPathsFail) {
    char out[PATH_MAX];
    EXPECT_FALSE(DosPathToUnix("Q:\\x", out, sizeof(out)));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(DosPathToUnix("Y:\\x", out, sizeof(out))) << "a dangling link is no drive";
    EXPECT_FALSE(DosPathToUnix("", out, sizeof(out)));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(DosPathToUnix("\\\\server\\share\\x", out, sizeof(out)));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_NETPATH);

    char small[16];
    memset(small, 'x', sizeof(small));
    EXPECT_FALSE(DosPathToUnix("C:\\Windows\\System32", small, sizeof(small) - 1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(small[sizeof(small) - 1], 'x') << "nothing written past the given size";
    EXPECT_FALSE(UnixPathToDos("/etc/hostname", small, 8));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
}

// DOS paths are ANSI code page text, Unix names UTF-8, as under Wine.
TEST_F(DriveMapTest, NamesBeyondAsciiAreUtf8OnDisk) {
    std::string cafe = prefix_ + "/drive_c/Caf\xC3\xA9\xE2\x82\xAC.log"; // "Café€.log"
    HANDLE file = CreateFileA("C:\\Caf\xE9\x80.log", GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(cafe));
    EXPECT_EQ(ToUnix("C:\\CAF\xC9\x80.LOG"), cafe) << "\xC9 is the upper case of \xE9";
    EXPECT_EQ(ToDos(cafe), "C:\\Caf\xE9\x80.log");

    fs::create_directories(prefix_ + "/drive_c/\xCE\xA9 \xE6\x97\xA5");
    EXPECT_EQ(ToDos(prefix_ + "/drive_c/\xCE\xA9 \xE6\x97\xA5"), "C:\\O ?")
        << "the code page's best fit for \u03A9, '?' for what it cannot hold";
    EXPECT_EQ(ToDos(prefix_ + "/drive_c/Caf\xE9.log"), "C:\\Caf?.log") << "a byte that is no UTF-8";
    EXPECT_EQ(ToDos(prefix_ + "/drive_c/\xF0\x9F\x98\x80"), "C:\\??") << "a surrogate pair";
}

TEST_F(DriveMapTest, Utf8NamesMustFitTheUnixPath) {
    std::string euros(40, '\x80'); // 40 bytes of ANSI, 120 of UTF-8
    std::string dos = "C:\\" + euros;
    char out[160];
    size_t fits = (prefix_ + "/drive_c/").size() + 3 * euros.size() + 1;
    ASSERT_LE(fits, sizeof(out)) << "a prefix path short enough for the case";
    EXPECT_TRUE(DosPathToUnix(dos.c_str(), out, fits));
    memset(out, 'x', sizeof(out));
    EXPECT_FALSE(DosPathToUnix(dos.c_str(), out, fits - 1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(out[fits - 1], 'x') << "nothing written past the given size";
}

TEST_F(DriveMapTest, LinksWinAndDriveCNeedsNoLink) {
    fs::create_directories(prefix_ + "/elsewhere");
    EXPECT_EQ(ToUnix("C:\\"), prefix_ + "/drive_c");
    fs::create_directory_symlink(prefix_ + "/elsewhere", prefix_ + "/dosdevices/c:");
    EXPECT_EQ(ToUnix("C:\\a"), prefix_ + "/elsewhere/a");
    fs::create_directory_symlink(prefix_ + "/elsewhere", prefix_ + "/dosdevices/z:");
    EXPECT_EQ(ToUnix("Z:\\etc"), prefix_ + "/elsewhere/etc");
}

TEST_F(DriveMapTest, UnixPathsMapBackToTheLongestDriveRoot) {
    EXPECT_EQ(ToDos(prefix_ + "/drive_c/Windows/System32"), "C:\\Windows\\System32");
    EXPECT_EQ(ToDos(prefix_ + "/drive_c"), "C:\\");
    EXPECT_EQ(ToDos(prefix_ + "/data/new.log"), "D:\\new.log");
    EXPECT_EQ(ToDos("/etc/hostname"), "Z:\\etc\\hostname");
    fs::current_path(prefix_ + "/drive_c/Windows");
    EXPECT_EQ(ToDos("System32/../x"), "C:\\Windows\\x");

    fs::create_directory_symlink(prefix_ + "/drive_c/Windows", prefix_ + "/dosdevices/w:");
    EXPECT_EQ(ToDos(prefix_ + "/drive_c/Windows/System32"), "W:\\System32");
}

TEST_F(DriveMapTest, DriveTypesComeFromTheMappedFileSystem) {
    EXPECT_EQ(GetDriveTypeA("R:\\"), (UINT)DRIVE_RAMDISK);
    EXPECT_EQ(GetDriveTypeA("r:"), (UINT)DRIVE_RAMDISK);
    UINT driveC = GetDriveTypeA("C:\\");
    EXPECT_NE(driveC, (UINT)DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA("C:"), driveC);
    EXPECT_EQ(GetDriveTypeA("c:/"), driveC);
    EXPECT_EQ(GetDriveTypeA("C:\\Windows\\"), driveC) << "a folder, named as a folder";
    EXPECT_EQ(GetDriveTypeA("c:/windows/system32/"), driveC);
    const char* noRoots[] = {"C:\\Windows", "C:\\NoSuchFolder\\",  "C?",      "",
                             "Q:\\",        "\\\\server\\share\\", "garbage", "Y:\\"};
    for (const char* root : noRoots) {
        EXPECT_EQ(GetDriveTypeA(root), (UINT)DRIVE_NO_ROOT_DIR) << root;
    }
    fs::current_path("/dev/shm");
    EXPECT_EQ(GetDriveTypeA(NULL), (UINT)DRIVE_RAMDISK) << "/dev/shm is R:\\ now";
}

// Linked drives take the type the prefix marks under Software\Wine\Drives: a REG_SZ of Wine's
// names in any case, before what a local mount shows; A: is a floppy drive unless marked.
TEST_F(DriveMapTest, LinkedDrivesTakeTheTypeThePrefixMarks) {
    fs::create_directory_symlink(prefix_ + "/data", prefix_ + "/dosdevices/a:");
    HKEY drives = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", 0, NULL, 0,
                              KEY_ALL_ACCESS, NULL, &drives, NULL),
              ERROR_SUCCESS);
    auto mark = [drives](const char* drive, DWORD type, const char* text) {
        RegSetValueExA(drives, drive, 0, type, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>(strlen(text) + 1));
    };
    UINT unmarkedD = GetDriveTypeA("D:\\");
    EXPECT_EQ(GetDriveTypeA("A:\\"), (UINT)DRIVE_REMOVABLE);
    mark("a:", REG_SZ, "hd");
    mark("D:", REG_SZ, "CDROM");
    mark("r:", REG_SZ, "Network");
    EXPECT_EQ(GetDriveTypeA("A:\\"), (UINT)DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("d:"), (UINT)DRIVE_CDROM);
    EXPECT_EQ(GetDriveTypeA("R:\\"), (UINT)DRIVE_REMOTE) << "the mark wins over tmpfs";
    mark("d:", REG_EXPAND_SZ, "cdrom");
    mark("r:", REG_SZ, "tape");
    mark("c:", REG_SZ, "network");
    EXPECT_EQ(GetDriveTypeA("D:\\"), unmarkedD) << "only REG_SZ marks";
    EXPECT_EQ(GetDriveTypeA("R:\\"), (UINT)DRIVE_RAMDISK) << "no type of Wine's";
    EXPECT_NE(GetDriveTypeA("C:\\"), (UINT)DRIVE_REMOTE) << "C: has no link in this prefix";
    for (const char* drive : {"a:", "d:", "r:", "c:"}) {
        RegDeleteValueA(drives, drive);
    }
    RegCloseKey(drives);
}

TEST_F(DriveMapTest, MoveFileCopiesAcrossVolumes) {
    char name[64];
    snprintf(name, sizeof(name), "R:\\pallwick-move-%d.log", static_cast<int>(getpid()));
    HANDLE file = CreateFileA("D:\\source.log", GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "payload", 7, &written, NULL);
    CloseHandle(file);

    ASSERT_TRUE(MoveFileA("D:\\source.log", name));
    EXPECT_FALSE(fs::exists(prefix_ + "/data/source.log"));
    HANDLE moved = CreateFileA(name, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(moved, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(moved, NULL), 7u);
    CloseHandle(moved);
    EXPECT_TRUE(DeleteFileA(name));
}

} // namespace
