// The diagnostic log of one test, and its records read back. On Linux the library's code is linked
// into the test and opens the log on a fresh file; Pallwick.dll keeps its own log, placed by the
// host program's location, and a test reads what was appended to it since the test began.
#pragma once

#include <string>
#include <vector>

struct LogRecord {
    std::string function, threadId, line, marker, message, source, level;
};

class LogCapture {
  public:
    // Opens the log on <folder>/Pallwick.LOG below the current directory, at the default level
    // and size limit (with the DLL: notes where its own log ends); the folder is made afresh for
    // the test's files and removed again by the destructor.
    explicit LogCapture(const std::string& folder);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The log's path as the library sees it (a DOS path) and as the test reads it.
    const std::string& DosPath() const { return dosPath_; }
    const std::string& UnixPath() const { return unixPath_; }

    // Records below this level are dropped from now until the end of the test. The DLL reads
    // its level once, at load: there, a level other than the one it loaded with fails the test.
    void SetThreshold(int level);

    // What the log holds from this test.
    std::string Text() const;
    // Every record, each checked to be whole and to end in CR LF; a malformed one fails the test.
    std::vector<LogRecord> Records() const;
    // The messages alone, in order.
    std::vector<std::string> Messages() const;

  private:
    std::string folder_, dosPath_, unixPath_;
    // Where this test's records begin in a log that others wrote before.
    size_t start_ = 0;
};

std::string ReadWholeFile(const std::string& unixPath);
