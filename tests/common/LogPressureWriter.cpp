// One of the processes that share a log in DiagnosticLogPressureTest, in one of two parts:
//
//   log_pressure_writer write DOS-LOG-PATH TAG THREADS
//
// opens the log as the library does at load (its size limit from the side file) and prints
// "open". Then each line on its input that holds a count has every one of its threads write that
// many records, all at once, and the process prints "done"; "end", or the end of its input, ends
// it (and its log handle closes). Each record says who wrote it and which of its writer's records
// it is, and carries a payload whose length varies with it, so that a torn or overlaid record
// cannot pass for a whole one.
//
//   log_pressure_writer hold DOS-LOG-PATH
//
// takes the log's rotation lock as a process of the library does while it rotates, prints "held",
// and keeps it until a line comes: a process stalled in the middle of a rotation.
#include "Common/DiagnosticLog.h"
#include "Common/DiagnosticLogStartup.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

namespace {

void WriteRecords(const char* tag, int threads, int first, int count) {
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([=] {
            for (int i = first; i < first + count; ++i) {
                std::string payload((size_t)(40 + (i * 7 + t * 13) % 120), (char)('a' + t));
                LogMessage(kLogInfo, "Common\\Tests\\LogPressure", "Writer", (uint32_t)t,
                           "%s %d %d %s", tag, t, i, payload.c_str());
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
}

// The next line of the input, false at its end.
bool NextLine(char (&line)[32]) {
    return fgets(line, sizeof line, stdin) != nullptr;
}

void Report(const char* step) {
    printf("%s\n", step);
    fflush(stdout);
}

int Write(const char* path, const char* tag, int threads) {
    OpenDiagnosticLog(Explicit, path);
    if (DiagnosticLog.logFile == nullptr) {
        fprintf(stderr, "the log did not open at %s\n", path);
        return 1;
    }
    DiagnosticLog.threshold = kLogInfo; // whatever level the machine's registry sets
    Report("open");
    char line[32];
    for (int written = 0; NextLine(line) && strncmp(line, "end", 3) != 0;) {
        int count = atoi(line);
        WriteRecords(tag, threads, written, count);
        written += count;
        Report("done");
    }
    return 0;
}

int Hold(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED at = {};
    at.Offset = kLogRotationLockOffset;
    at.OffsetHigh = kLogRotationLockOffsetHigh;
    if (file == INVALID_HANDLE_VALUE ||
        !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        fprintf(stderr, "could not take the rotation lock of %s: %u\n", path,
                (unsigned)GetLastError());
        return 1;
    }
    Report("held");
    char line[32];
    NextLine(line);
    UnlockFileEx(file, 0, 1, 0, &at);
    CloseHandle(file);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "write") == 0) {
        return Write(argv[2], argv[3], atoi(argv[4]));
    }
    if (argc == 3 && strcmp(argv[1], "hold") == 0) {
        return Hold(argv[2]);
    }
    fprintf(stderr, "usage: %s write LOG TAG THREADS | hold LOG\n", argv[0]);
    return 2;
}
