// The log opened by the library's own code linked into the test, on a fresh file per test.
#include "tests/support/LogCapture.h"

#include "Common/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <filesystem>

LogCapture::LogCapture(const std::string& folder)
    : folder_(folder), dosPath_(folder + "\\Pallwick.LOG"), unixPath_(folder + "/Pallwick.LOG") {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    DiagnosticLog.threshold = kLogInfo;
    DiagnosticLog.sizeLimit = kLogDefaultSizeLimit;
    DiagnosticLog.recordCounter = 0;
    OpenLogFile(dosPath_.c_str());
    EXPECT_NE(nullptr, DiagnosticLog.logFile.load()) << "the log did not open at " << dosPath_;
}

LogCapture::~LogCapture() {
    CloseLogFile();
    DiagnosticLog.threshold = kLogInfo;
    DiagnosticLog.sizeLimit = kLogDefaultSizeLimit;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void LogCapture::SetThreshold(int level) {
    DiagnosticLog.threshold = level;
}

std::string LogCapture::Text() const {
    return ReadWholeFile(unixPath_);
}
