// What a file handle of another process refuses: Linux keeps no share modes, so the layer marks
// them on the file itself (see FileShares.h), and byte-range locks hold between processes.
#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A child process that opens a file as asked, takes an exclusive lock on its byte 10, reports
// and then keeps the handle until its parent lets it go.
class OtherProcess {
  public:
    OtherProcess(const std::string& path, DWORD access, DWORD share) {
        if (pipe2(ready_, O_CLOEXEC) != 0 || pipe2(release_, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipes";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            HANDLE file = CreateFileA(path.c_str(), access, share, NULL, OPEN_EXISTING, 0, NULL);
            OVERLAPPED at = {};
            at.Offset = 10;
            char held = file != INVALID_HANDLE_VALUE &&
                                LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)
                            ? 'y'
                            : 'n';
            char go;
            if (write(ready_[1], &held, 1) != 1 || read(release_[0], &go, 1) != 1) {
                _exit(2);
            }
            _exit(0);
        }
        char held = 'n';
        EXPECT_EQ(1, read(ready_[0], &held, 1));
        EXPECT_EQ('y', held) << "the other process could not open and lock " << path;
    }
    ~OtherProcess() { End(); }

    void End() {
        if (pid_ <= 0) {
            return;
        }
        EXPECT_EQ(1, write(release_[1], "x", 1));
        int status = -1;
        waitpid(pid_, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        pid_ = -1;
        for (int descriptor : {ready_[0], ready_[1], release_[0], release_[1]}) {
            close(descriptor);
        }
    }

  private:
    pid_t pid_ = -1;
    int ready_[2] = {-1, -1};
    int release_[2] = {-1, -1};
};

class CrossProcessFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        std::ofstream(folder_ + "/held.log") << "text";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string PathOf(const char* name) const { return folder_ + "\\" + name; }

    std::string folder_ = "crossprocess-" + std::to_string(getpid());
};

TEST_F(CrossProcessFileTest, AHandleOfAnotherProcessRefusesWhatItDoesNotShare) {
    const std::string held = PathOf("held.log");
    OtherProcess other(held, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);

    EXPECT_FALSE(DeleteFileA(held.c_str()));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_FALSE(MoveFileA(held.c_str(), PathOf("moved.log").c_str()));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                                OPEN_EXISTING, 0, NULL))
        << "the other process writes, which this open does not share";
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                                CREATE_ALWAYS, 0, NULL));
    EXPECT_EQ(4u, std::filesystem::file_size(folder_ + "/held.log")) << "a refused open emptied it";

    HANDLE shared = CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, shared);
    OVERLAPPED at = {};
    at.Offset = 10;
    EXPECT_FALSE(
        LockFileEx(shared, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at));
    EXPECT_EQ((DWORD)ERROR_LOCK_VIOLATION, GetLastError());
    at.Offset = 11;
    EXPECT_TRUE(
        LockFileEx(shared, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        << "the byte next to it is free";
    EXPECT_TRUE(UnlockFileEx(shared, 0, 1, 0, &at));
    CloseHandle(shared);

    other.End();
    at.Offset = 10;
    HANDLE alone =
        CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, alone) << "the other process's marks went with it";
    EXPECT_TRUE(
        LockFileEx(alone, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at));
    CloseHandle(alone);
    EXPECT_TRUE(MoveFileA(held.c_str(), PathOf("moved.log").c_str()));
}

// A handle opened for writing alone still marks what it does not share.
TEST_F(CrossProcessFileTest, AWriteOnlyHandleThatSharesDeletionLetsTheFileMoveButNotBeRead) {
    OtherProcess other(PathOf("held.log"), GENERIC_WRITE, FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(PathOf("held.log").c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_TRUE(MoveFileA(PathOf("held.log").c_str(), PathOf("moved.log").c_str()));
    EXPECT_TRUE(DeleteFileA(PathOf("moved.log").c_str()));
}

} // namespace
