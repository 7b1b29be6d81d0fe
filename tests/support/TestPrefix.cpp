#include "tests/support/TestPrefix.h"

#include "tests/support/TestMachine.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

TestPrefix::TestPrefix() {
    char pattern[] = "/tmp/pallwick-prefix-XXXXXX";
    root_ = mkdtemp(pattern);
    std::filesystem::create_directories(root_ + "/drive_c");
    std::filesystem::create_directories(root_ + "/dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", root_ + "/dosdevices/c:");
    const char* previous = getenv("WINEPREFIX");
    hadPrefix_ = previous != nullptr;
    if (hadPrefix_) {
        savedPrefix_ = previous;
    }
    setenv("WINEPREFIX", root_.c_str(), 1);
    ReportMachineFailuresToTests();
}

TestPrefix::~TestPrefix() {
    if (hadPrefix_) {
        setenv("WINEPREFIX", savedPrefix_.c_str(), 1);
    } else {
        unsetenv("WINEPREFIX");
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void TestPrefix::MapDrive(char letter, const std::string& target) {
    std::string link = root_ + "/dosdevices/" + letter + ":";
    std::filesystem::remove(link);
    std::filesystem::create_directory_symlink(target, link);
}

TestProcRoot::TestProcRoot() {
    char pattern[] = "/tmp/pallwick-proc-XXXXXX";
    root_ = mkdtemp(pattern);
    setenv("PALLWICK_PROC_ROOT", root_.c_str(), 1);
}

TestProcRoot::~TestProcRoot() {
    unsetenv("PALLWICK_PROC_ROOT");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void TestProcRoot::Write(const std::string& relative, const std::string& text) const {
    std::filesystem::path path = std::filesystem::path(root_) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

void TestProcRoot::AddProcess(int pid, const std::string& command, int ppid, int threads,
                              long startTicks, long residentPages, int descriptors) const {
    std::string folder = std::to_string(pid);
    std::string stat = folder + " (" + command + ") S " + std::to_string(ppid);
    for (int field = 5; field <= 13; ++field) {
        stat += " 0";
    }
    stat += " 30 20"; // utime stime
    for (int field = 16; field <= 19; ++field) {
        stat += " 0";
    }
    stat += " " + std::to_string(threads) + " 0 " + std::to_string(startTicks) + " 0 0\n";
    Write(folder + "/stat", stat);
    Write(folder + "/statm", "1000 " + std::to_string(residentPages) + " 10 5 0 300 0\n");
    std::filesystem::create_directories(std::filesystem::path(root_) / folder / "fd");
    for (int i = 0; i < descriptors; ++i) {
        Write(folder + "/fd/" + std::to_string(i), "");
    }
}

void TestProcRoot::RemoveProcess(int pid) const {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(root_) / std::to_string(pid), ignored);
}

std::string WinebootPrefix() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test != nullptr && strstr(test->test_suite_name(), "Wineboot") == nullptr &&
        strstr(test->name(), "Wineboot") == nullptr) {
        ADD_FAILURE() << "a case that reads the wineboot-made prefix needs Wineboot in its name";
    }
    const char* prefix = getenv("PALLWICK_WINEBOOT_PREFIX");
    if (prefix == nullptr || access((std::string(prefix) + "/system.reg").c_str(), R_OK) != 0) {
        return "";
    }
    return prefix;
}

bool UseWinebootImage() {
    std::string image = WinebootPrefix();
    if (image.empty()) {
        return false;
    }
    setenv("WINEPREFIX", image.c_str(), 1);
    return true;
}
