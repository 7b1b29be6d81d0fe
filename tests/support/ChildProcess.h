// A test's helper program run as a child process, spoken to a line at a time through its standard
// input and output. Starting and waiting differ by build (ChildProcessPosix.cpp on Linux,
// ChildProcessWindows.cpp for the DLL's build, under Wine); the talk does not.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

class ChildProcess {
  public:
    // Starts the program (the first argument) with the others; a failure to start fails the test,
    // and the object then reads nothing and finishes with -1.
    explicit ChildProcess(const std::vector<std::string>& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line it prints, without its line break; "" once it has ended.
    std::string ReadLine();
    // A line to its input; one it could no longer read fails the test through its status.
    void WriteLine(const char* text);
    // Closes its input and output and waits for its end: its exit status, 0 for a clean end, a
    // signal's number past 128, -1 when it never ran.
    int Finish();

  private:
    void CloseStreams();

    FILE* input_ = nullptr;
    FILE* output_ = nullptr;
    intptr_t process_ = -1;
};
