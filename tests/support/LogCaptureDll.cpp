// Pallwick.dll's own log, as the load hook placed it: a "logs" folder beside the folder of the
// host program, which here is the test program. The DLL holds it open for the whole run, so a test
// reads only what was appended since it began.
#include "tests/support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// <base>\<folder>\<program>.exe logs into <base>\logs\Pallwick.LOG.
std::string DllLogPath() {
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string path(program, length < MAX_PATH ? length : 0);
    size_t file = path.rfind('\\');
    size_t folder =
        file == std::string::npos || file == 0 ? std::string::npos : path.rfind('\\', file - 1);
    if (folder == std::string::npos) {
        ADD_FAILURE() << "no folder above the test program: " << path;
        return "";
    }
    return path.substr(0, folder) + "\\logs\\Pallwick.LOG";
}

} // namespace

LogCapture::LogCapture(const std::string& folder)
    : folder_(folder), dosPath_(DllLogPath()), unixPath_(dosPath_) {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dosPath_.c_str()))
        << "Pallwick.dll keeps no log at " << dosPath_;
    start_ = ReadWholeFile(unixPath_).size();
}

LogCapture::~LogCapture() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void LogCapture::SetThreshold(int) {
    ADD_FAILURE() << "Pallwick.dll reads its level from the registry once, at load";
}

// A log shorter than where the test began was rotated to .BAK meanwhile: all of it is new.
std::string LogCapture::Text() const {
    std::string text = ReadWholeFile(unixPath_);
    return text.size() >= start_ ? text.substr(start_) : text;
}
