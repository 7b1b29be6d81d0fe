// One log shared by processes of the library (log_pressure_writer, which links the log's code on
// both builds: the DLL's runs under Wine), its size limit small, set by its side file. Whichever
// process finds the log full rotates it while the others still hold it, and each other follows at
// its next size-checking record. Checked afterwards in the log and its one backup, read as one run
// (backup first):
// - every record is whole: its head, its message with the payload its writer gave it, its trailer;
// - each writer's records (process and thread) stand in the order it wrote them, with no record
//   twice and none missing in the middle: the only ones missing are its oldest, which rotations
//   took away;
// - the backup is at least the limit long and neither file is much longer: by no more than the
//   records that the processes write before their next size-checking record (at most 128
//   unchecked ones each, and the one that checks), while the file fills past the limit, and once
//   more for a process that goes on writing into the backup until it follows;
// - no old backup stays beside them under a name of its own once no process holds it.
//
// A process that writes into a file rotated away loses those records if another process rotates
// the log once more before this one's next size-checking record: they go with the old backup.
// They are still its oldest, so the second point holds; a test that asked for every record newer
// than the oldest one kept would need a limit above what all the other processes write meanwhile.
//
// A process stalled in the middle of a rotation (holding the rotation lock) holds up no other:
// their records go on into the full log, which rotates at a size-checking record after the lock is
// let go.
#include "tests/support/ChildProcess.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

// No record of the writer is longer than this.
constexpr uintmax_t kLongestRecord = 300;
constexpr uintmax_t kExcess = 3 * 129 * kLongestRecord;

class DiagnosticLogPressureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    void SetSizeLimit(uint32_t limit) {
        limit_ = limit;
        std::ofstream(log_ + ".size") << limit;
    }

    // A writer process with the log open.
    std::unique_ptr<ChildProcess> Writer(const char* tag, int threads) const {
        auto writer = std::make_unique<ChildProcess>(std::vector<std::string>{
            PALLWICK_LOG_PRESSURE_WRITER, "write", dosLog_, tag, std::to_string(threads)});
        EXPECT_EQ("open", writer->ReadLine()) << tag;
        return writer;
    }

    // Every thread of the writer writes count more records.
    static void Write(ChildProcess& writer, int count) {
        writer.WriteLine(std::to_string(count).c_str());
        EXPECT_EQ("done", writer.ReadLine());
    }

    uintmax_t SizeOf(const std::string& path) const {
        std::error_code missing;
        uintmax_t size = std::filesystem::file_size(path, missing);
        return missing ? 0 : size;
    }

    void ExpectNearTheLimit(const std::string& when) const {
        EXPECT_GE(SizeOf(backup_), limit_) << when;
        EXPECT_LT(SizeOf(backup_), limit_ + kExcess) << when;
        EXPECT_LT(SizeOf(log_), limit_ + kExcess) << when;
    }

    // Old backups moved aside and not yet gone.
    size_t LeftAside() const {
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            count += entry.path().filename().string().rfind("Pallwick.LOG.BAK.", 0) == 0;
        }
        return count;
    }

    const std::string folder_ =
        "logpressure-" +
        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string log_ = folder_ + "/Pallwick.LOG";
    const std::string backup_ = log_ + ".BAK";
    const std::string dosLog_ = folder_ + "\\Pallwick.LOG";
    uint32_t limit_ = 0;
};

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

// Present indexes of one writer: none (a thread that ended early may have all of its records
// rotated away), or consecutive and ending at its last record.
void ExpectNewestRun(const std::string& writer, const std::vector<int>& present, int written) {
    if (present.empty()) {
        return;
    }
    EXPECT_EQ(written - 1, present.back()) << writer << ": its newest records are missing";
    for (size_t k = 1; k < present.size(); ++k) {
        if (present[k] != present[k - 1] + 1) {
            ADD_FAILURE() << writer << ": " << present[k - 1] << " is followed by " << present[k];
            return;
        }
    }
}

// The first writes alone for a while, then the second joins, and both write at once until both
// are done. 256 KiB is about seven times what the other writes before a size-checking record at
// the same pace, which keeps most rotations clear of the loss above.
TEST_F(DiagnosticLogPressureTest, TwoProcessesOfEightThreadsRotateTheLogTheyShare) {
    constexpr int threads = 8, alone = 1000, together = 1500;
    SetSizeLimit(256 * 1024);
    std::unique_ptr<ChildProcess> first = Writer("A", threads);
    Write(*first, alone);
    ExpectNearTheLimit("the first process alone");
    std::unique_ptr<ChildProcess> second = Writer("B", threads);
    first->WriteLine(std::to_string(together).c_str());
    second->WriteLine(std::to_string(together).c_str());
    EXPECT_EQ("done", first->ReadLine());
    EXPECT_EQ("done", second->ReadLine());
    EXPECT_EQ(0, first->Finish());
    EXPECT_EQ(0, second->Finish());

    std::map<std::string, std::vector<int>> indexes =
        IndexesByWriter(ReadWholeFile(backup_) + ReadWholeFile(log_));
    size_t keptOfTheSecond = 0;
    for (int t = 0; t < threads; ++t) {
        std::string a = "A " + std::to_string(t), b = "B " + std::to_string(t);
        ExpectNewestRun(a, indexes[a], alone + together);
        ExpectNewestRun(b, indexes[b], together);
        keptOfTheSecond += indexes[b].size();
    }
    EXPECT_FALSE(indexes.empty());
    EXPECT_LT(keptOfTheSecond, (size_t)(threads * together))
        << "the log never rotated while both processes held it";
    ExpectNearTheLimit("both processes ended");
    EXPECT_EQ(0u, LeftAside());
}

// Each writes in turn while the other holds the log, so that several rotations come between two
// turns of one: the file it holds becomes the backup, and is moved aside and deleted while it
// still holds it, which under Wine (as on Windows before 10 1903) keeps that name taken until it
// lets go. A turn writes more than the excess allowed: a rotation that waited for the other
// process to let go of the backup's name would leave the log that much too long. No two processes
// write at once here: Wine appends through an append-only handle in two steps (the file's size,
// then a write there), so records of two processes at once may overlay under Wine, where Windows
// and Linux append each whole.
TEST_F(DiagnosticLogPressureTest, TwoProcessesTakingTurnsRotateTheLogTheyBothHold) {
    SetSizeLimit(20000);
    std::unique_ptr<ChildProcess> writers[] = {Writer("A", 2), Writer("B", 2)};
    for (int turn = 0; turn < 8; ++turn) {
        Write(*writers[turn % 2], 500);
        ExpectNearTheLimit("turn " + std::to_string(turn));
    }
    for (const std::unique_ptr<ChildProcess>& writer : writers) {
        EXPECT_EQ(0, writer->Finish());
    }
    std::map<std::string, std::vector<int>> indexes =
        IndexesByWriter(ReadWholeFile(backup_) + ReadWholeFile(log_));
    for (const char* writer : {"A 0", "A 1", "B 0", "B 1"}) {
        ExpectNewestRun(writer, indexes[writer], 4 * 500);
    }
    EXPECT_FALSE(indexes["B 0"].empty() && indexes["B 1"].empty()) << "the last turn's records";
    EXPECT_EQ(0u, LeftAside());
}

// Lets the holder go after a minute unless the test does first, so that a writer that waits for
// the lock holds the test up a minute and fails it, rather than hanging it.
class Watchdog {
  public:
    explicit Watchdog(ChildProcess& holder)
        : holder_(holder), thread_([this] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!changed_.wait_for(lock, std::chrono::seconds(60), [this] { return let_; })) {
                  fired_ = true;
                  Let();
              }
          }) {}
    ~Watchdog() {
        Release();
        thread_.join();
    }
    // Lets the holder go; false if the watchdog had to.
    bool Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        Let();
        changed_.notify_all();
        return !fired_;
    }

  private:
    void Let() {
        if (!let_) {
            let_ = true;
            holder_.WriteLine("go");
        }
    }

    ChildProcess& holder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool let_ = false;
    bool fired_ = false;
    std::thread thread_;
};

TEST_F(DiagnosticLogPressureTest, AProcessStalledWhileItRotatesHoldsUpNoOther) {
    SetSizeLimit(20000);
    ChildProcess holder({PALLWICK_LOG_PRESSURE_WRITER, "hold", dosLog_});
    ASSERT_EQ("held", holder.ReadLine());
    std::unique_ptr<ChildProcess> writer = Writer("A", 2);
    {
        Watchdog watchdog(holder);
        Write(*writer, 1000);
        EXPECT_TRUE(watchdog.Release()) << "the records waited for the other process's lock";
    }
    EXPECT_GT(SizeOf(log_), 10 * limit_) << "the full log kept every record";
    EXPECT_FALSE(std::filesystem::exists(backup_)) << "rotated while another process held the lock";
    EXPECT_EQ(0, holder.Finish());

    Write(*writer, 300);
    EXPECT_EQ(0, writer->Finish());
    ExpectNearTheLimit("rotated once the lock was let go");
    std::map<std::string, std::vector<int>> indexes =
        IndexesByWriter(ReadWholeFile(backup_) + ReadWholeFile(log_));
    ExpectNewestRun("A 0", indexes["A 0"], 1300);
    ExpectNewestRun("A 1", indexes["A 1"], 1300);
    EXPECT_FALSE(indexes.empty());
}

} // namespace
