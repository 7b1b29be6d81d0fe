// Pallwick.dll's own log, as the load hook placed it: a "logs" folder beside the folder of the
// host program, which here is the test program. The DLL holds it open for the whole run, so a test
// reads only what was appended since it began.
#include "tests/support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string.h>

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

// Wine words the system's messages otherwise than Windows (FormatMessageA), and the cases pin
// Windows' words: the records of the codes they meet are read in Windows' words. The code itself
// is compared as written.
const struct {
    const char* wine;
    const char* windows;
} kSystemTexts[] = {
    {"System code: 2: File not found.",
     "System code: 2: The system cannot find the file specified."},
    {"System code: 5: Access denied.", "System code: 5: Access is denied."},
    {"System code: 161: Path is invalid.", "System code: 161: The specified path is invalid."},
    {"System code: 234: More data available.", "System code: 234: More data is available."},
    {"System code: 259: No more data available.", "System code: 259: No more data is available."},
};

std::string InWindowsWords(std::string text) {
    for (const auto& each : kSystemTexts) {
        const std::string wine = each.wine;
        for (size_t at = text.find(wine); at != std::string::npos; at = text.find(wine, at)) {
            text.replace(at, wine.size(), each.windows);
            at += strlen(each.windows);
        }
    }
    return text;
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

// The DLL read its level from the registry when it loaded: a case that needs another level runs
// in a process started with that level set (at_log_level.sh), and the value tells which.
void LogCapture::SetThreshold(int level) {
    DWORD loaded = 0, size = sizeof loaded;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane", "NativeLoggingLevelValue",
                     RRF_RT_REG_DWORD, nullptr, &loaded, &size) != ERROR_SUCCESS ||
        (int)loaded != level) {
        ADD_FAILURE() << "Pallwick.dll reads its level once, at load: run this case with "
                      << "NativeLoggingLevelValue " << level << " set (at_log_level.sh)";
    }
}

// A log shorter than where the test began was rotated to .BAK meanwhile: all of it is new.
std::string LogCapture::Text() const {
    std::string text = ReadWholeFile(unixPath_);
    return InWindowsWords(text.size() >= start_ ? text.substr(start_) : text);
}
