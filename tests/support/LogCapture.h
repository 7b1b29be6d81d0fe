// The diagnostic log opened on a fresh file for one test, and its records read back.
#pragma once

#include <string>
#include <vector>

struct LogRecord {
    std::string function, threadId, line, marker, message, source, level;
};

class LogCapture {
  public:
    // Opens the log on <folder>/Pallwick.LOG below the current directory, at the default level
    // and size limit; the folder is made afresh and removed again by the destructor.
    explicit LogCapture(const std::string& folder);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The log's path as the library sees it (a DOS path) and as the test reads it.
    const std::string& DosPath() const { return dosPath_; }
    const std::string& UnixPath() const { return unixPath_; }

    std::string Text() const;
    // Every record, each checked to be whole and to end in CR LF; a malformed one fails the test.
    std::vector<LogRecord> Records() const;
    // The messages alone, in order.
    std::vector<std::string> Messages() const;

  private:
    std::string folder_, dosPath_, unixPath_;
};

std::string ReadWholeFile(const std::string& unixPath);
