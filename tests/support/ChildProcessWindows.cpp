#include "tests/support/ChildProcess.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

namespace {

// Each argument quoted as the C runtime splits a command line: backslashes stand for themselves
// except in a run before a quote, which they then escape in pairs.
std::string CommandLineOf(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        line += line.empty() ? "\"" : " \"";
        size_t backslashes = 0;
        for (char c : argument) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
            line += c;
            backslashes = 0;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

FILE* StreamOf(HANDLE pipe, int mode, const char* streamMode) {
    int descriptor = _open_osfhandle((intptr_t)pipe, mode);
    if (descriptor < 0) {
        CloseHandle(pipe);
        return nullptr;
    }
    return _fdopen(descriptor, streamMode);
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE childInput = nullptr, toChild = nullptr, fromChild = nullptr, childOutput = nullptr;
    if (!CreatePipe(&childInput, &toChild, &inherited, 0)) {
        ADD_FAILURE() << "no pipe: " << GetLastError();
        return;
    }
    if (!CreatePipe(&fromChild, &childOutput, &inherited, 0)) {
        ADD_FAILURE() << "no pipe: " << GetLastError();
        CloseHandle(childInput);
        CloseHandle(toChild);
        return;
    }
    // The child inherits only its own ends.
    SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    std::string line = CommandLineOf(arguments);
    BOOL created = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &started);
    DWORD error = GetLastError();
    CloseHandle(childInput);
    CloseHandle(childOutput);
    EXPECT_TRUE(created) << line << ": " << error;
    if (created) {
        CloseHandle(started.hThread);
        process_ = (intptr_t)started.hProcess;
    }
    input_ = StreamOf(toChild, _O_WRONLY | _O_BINARY, "wb");
    output_ = StreamOf(fromChild, _O_RDONLY | _O_BINARY, "rb");
}

int ChildProcess::Finish() {
    CloseStreams();
    if (process_ == -1) {
        return -1;
    }
    HANDLE process = (HANDLE)process_;
    process_ = -1;
    DWORD status = (DWORD)-1;
    if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process, &status)) {
        status = (DWORD)-1;
    }
    CloseHandle(process);
    return (int)status;
}
