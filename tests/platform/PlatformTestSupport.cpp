#include "PlatformTestSupport.h"

#include <filesystem>
#include <stdlib.h>
#include <string.h>

namespace fs = std::filesystem;

std::string FixturePath(const char* name) {
    const char* folder = getenv("PALLWICK_VERSION_FIXTURES");
    return std::string(folder != nullptr ? folder : PALLWICK_VERSION_FIXTURES) + "\\" + name;
}

void ScratchFolderTest::SetUp() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::string("scratch_") + info->test_suite_name() + "_" + info->name();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    ASSERT_TRUE(fs::create_directory(folder_));
}

void ScratchFolderTest::TearDown() {
    // Read-only files must become writable again before Windows lets them go.
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder_, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(folder_, ignored);
}

std::string ScratchFolderTest::PathOf(const char* name) const {
    return folder_ + "\\" + name;
}

void ScratchFolderTest::WriteTextFile(const char* name, const char* text) {
    HANDLE file = Open(name, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    DWORD length = static_cast<DWORD>(strlen(text));
    EXPECT_TRUE(WriteFile(file, text, length, &written, NULL));
    EXPECT_EQ(written, length);
    EXPECT_TRUE(CloseHandle(file));
}

HANDLE ScratchFolderTest::Open(const char* name, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(PathOf(name).c_str(), access, share, NULL, disposition,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}
