// The log under pressure: two processes of eight threads each append to one log whose side file
// sets a small size limit. The first writes alone for a while and rotates the log several times;
// then the second joins, and both write until both are done before either ends. While both hold
// the log open, neither can rotate it: Windows refuses to move a file that another process holds
// without sharing deletion, so the log grows past its limit, as documented for a refused move.
//
// Checked afterwards in the log and its one backup, read as one run (backup first):
// - every record is whole: its head, its message with the payload its writer gave it, its trailer;
// - each writer's records (process and thread) stand in the order it wrote them, with no record
//   twice and none missing in the middle; the only ones missing are its oldest, which a later
//   rotation's backup replaced, so the second process (which never wrote alone) has every one;
// - the first process rotated at least five times while alone and never once both wrote;
// - the side file's limit is the one the rotations kept: the backup is at least that long and no
//   longer than one run of unchecked records past it.
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kThreads = 8;
constexpr int kAlone = 1000;    // records per thread that the first process writes alone
constexpr int kTogether = 1500; // records per thread that each process writes with the other
constexpr uint32_t kSizeLimit = 65536;
// The size is checked on 128 of every 256 records, so a log may run past its limit by the 128
// unchecked ones and the record that found it full; none of these records is longer than this.
constexpr size_t kLongestRecord = 300;

struct Writer {
    pid_t pid = -1;
    FILE* output = nullptr;
    int input = -1;
};

Writer Spawn(const std::string& logPath, const char* tag, int alone) {
    Writer writer;
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipes";
        return writer;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::string threads = std::to_string(kThreads), aloneText = std::to_string(alone),
                together = std::to_string(kTogether);
    const char* argv[] = {PALLWICK_LOG_PRESSURE_WRITER,
                          logPath.c_str(),
                          tag,
                          threads.c_str(),
                          aloneText.c_str(),
                          together.c_str(),
                          nullptr};
    int spawned = posix_spawn(&writer.pid, argv[0], &actions, nullptr,
                              const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    EXPECT_EQ(0, spawned) << argv[0];
    writer.output = fdopen(fromChild[0], "r");
    writer.input = toChild[1];
    return writer;
}

// The count of rotations the writer reports on reaching a step, or -1 when it reports
// something else or ends first.
int Await(Writer& writer, const char* step) {
    char line[64];
    if (writer.output == nullptr || fgets(line, sizeof line, writer.output) == nullptr) {
        return -1;
    }
    char reached[16];
    int rotations = -1;
    if (sscanf(line, "%15s %d", reached, &rotations) != 2 || std::string(reached) != step) {
        return -1;
    }
    return rotations;
}

void Release(const Writer& writer) {
    // A writer that ended early fails the test through its status, not through SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(1, write(writer.input, "\n", 1));
}

// Its exit status, 0 for a clean end (ThreadSanitizer's reports end it with another).
int Finish(Writer& writer) {
    if (writer.input >= 0) {
        close(writer.input);
    }
    if (writer.output != nullptr) {
        fclose(writer.output);
    }
    int status = -1;
    if (writer.pid > 0 && waitpid(writer.pid, &status, 0) != writer.pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ExpectedPayload(int thread, int index) {
    return std::string((size_t)(40 + (index * 7 + thread * 13) % 120), (char)('a' + thread));
}

// Each writer's indexes in the order they stand; malformed records fail the test.
std::map<std::string, std::vector<int>> IndexesByWriter(const std::string& text) {
    static const std::regex record(
        "~Writer\\(\\): [0-9A-F]+: Line: ([0-7]): ([AB] ([0-7])) ([0-9]+) ([a-h]+)"
        "\\$\\$<LogPressure><x [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} "
        "[0-9]{4}><thread=2>");
    std::map<std::string, std::vector<int>> indexes;
    int malformed = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() : end + 2;
        std::smatch parts;
        bool whole = std::regex_match(line, parts, record) && parts[1] == parts[3] &&
                     parts[5] == ExpectedPayload(std::stoi(parts[3]), std::stoi(parts[4]));
        if (whole && end != std::string::npos) {
            indexes[parts[2]].push_back(std::stoi(parts[4]));
        } else if (++malformed <= 3) {
            ADD_FAILURE() << "not a whole record: " << line.substr(0, 300);
        }
    }
    EXPECT_EQ(0, malformed);
    return indexes;
}

// Present indexes of one writer: consecutive and ending at its last record.
void ExpectNewestRun(const std::string& writer, const std::vector<int>& present, int written) {
    ASSERT_FALSE(present.empty()) << writer;
    EXPECT_EQ(written - 1, present.back()) << writer << ": its newest records are missing";
    for (size_t k = 1; k < present.size(); ++k) {
        if (present[k] != present[k - 1] + 1) {
            ADD_FAILURE() << writer << ": " << present[k - 1] << " is followed by " << present[k];
            return;
        }
    }
}

TEST(DiagnosticLogPressureTest, TwoProcessesOfEightThreadsLoseNoRecordAcrossRotations) {
    const std::string folder = "logpressure-" + std::to_string(getpid());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string log = folder + "/Pallwick.LOG";
    std::ofstream(log + ".size") << kSizeLimit;

    Writer first = Spawn(folder + "\\Pallwick.LOG", "A", kAlone);
    int rotationsAlone = Await(first, "ready");
    Writer second = Spawn(folder + "\\Pallwick.LOG", "B", 0);
    EXPECT_EQ(0, Await(second, "ready"));
    Release(first);
    Release(second);
    EXPECT_EQ(rotationsAlone, Await(first, "done")) << "rotated while the other held the log";
    EXPECT_EQ(0, Await(second, "done"));
    Release(first);
    Release(second);
    EXPECT_EQ(0, Finish(first));
    EXPECT_EQ(0, Finish(second));
    EXPECT_GE(rotationsAlone, 5);

    std::map<std::string, std::vector<int>> indexes =
        IndexesByWriter(ReadWholeFile(log + ".BAK") + ReadWholeFile(log));
    for (int t = 0; t < kThreads; ++t) {
        std::string a = "A " + std::to_string(t), b = "B " + std::to_string(t);
        ExpectNewestRun(a, indexes[a], kAlone + kTogether);
        ExpectNewestRun(b, indexes[b], kTogether);
        EXPECT_EQ((size_t)kTogether, indexes[b].size()) << b;
    }

    std::error_code missing;
    uintmax_t backupSize = std::filesystem::file_size(log + ".BAK", missing);
    EXPECT_FALSE(missing) << "the backup was lost";
    EXPECT_GE(backupSize, kSizeLimit);
    EXPECT_LT(backupSize, kSizeLimit + 129 * kLongestRecord);
    EXPECT_GT(std::filesystem::file_size(log), kSizeLimit) << "the log was rotated";
    std::filesystem::remove_all(folder);
}

} // namespace
