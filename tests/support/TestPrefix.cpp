#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>

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
