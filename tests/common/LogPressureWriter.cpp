// One process of the log under pressure: opens the log as the library does at load (its size
// limit from the side file) and writes from several threads at once. Each record says who wrote
// it and which of its writer's records it is, and carries a payload whose length varies with it,
// so that a torn or overlaid record cannot pass for a whole one.
//
//   log_pressure_writer DOS-LOG-PATH TAG THREADS ALONE TOGETHER
//
// Each thread writes ALONE records, then the process prints "ready <rotations so far>" and waits
// for a line on its input; then each thread writes TOGETHER more, the process prints "done
// <rotations>" and waits for another line before it ends (and its log handle closes). The test
// runs two of them so that the second phase of both overlaps.
#include "Common/DiagnosticLog.h"
#include "Common/DiagnosticLogStartup.h"

#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

static std::atomic<int> rotations{0};

// The rotation's move is the one step that tells a rotation from a refused one.
extern "C" BOOL __real_MoveFileA(LPCSTR from, LPCSTR to);
extern "C" BOOL __wrap_MoveFileA(LPCSTR from, LPCSTR to) {
    BOOL moved = __real_MoveFileA(from, to);
    if (moved) {
        ++rotations;
    }
    return moved;
}

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

void ReportAndWait(const char* step) {
    printf("%s %d\n", step, rotations.load());
    fflush(stdout);
    char line[16];
    if (fgets(line, sizeof line, stdin) == nullptr) {
        exit(3);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: %s LOG TAG THREADS ALONE TOGETHER\n", argv[0]);
        return 2;
    }
    const char* tag = argv[2];
    int threads = atoi(argv[3]);
    int alone = atoi(argv[4]);
    int together = atoi(argv[5]);
    OpenDiagnosticLog(Explicit, argv[1]);
    if (DiagnosticLog.logFile == nullptr) {
        fprintf(stderr, "the log did not open at %s\n", argv[1]);
        return 1;
    }
    WriteRecords(tag, threads, 0, alone);
    ReportAndWait("ready");
    WriteRecords(tag, threads, alone, together);
    ReportAndWait("done");
    return 0;
}
