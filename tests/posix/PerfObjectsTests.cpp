// The performance objects over a fixed proc root: names as Windows spells them, instances and
// their order, duplicate process names, _Total, and the formulas of formatted values.
#include "Platform/Posix/pdh/PerfObjects.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class PerfObjectsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        proc_.Write("stat", "cpu  100 0 50 800 50 0 0 0 0 0\n"
                            "cpu0 60 0 30 400 10 0 0 0 0 0\n"
                            "cpu1 40 0 20 400 40 0 0 0 0 0\n"
                            "intr 5000 1 2\nctxt 9000\nprocesses 77\nprocs_running 3\n");
        proc_.Write("interrupts", "           CPU0       CPU1\n"
                                  "  0:         10         20   IO-APIC   timer\n"
                                  "LOC:        100        200   Local timer interrupts\n"
                                  "ERR:          0\n");
        proc_.Write("meminfo", "MemTotal:       4194304 kB\nMemFree:   1000 kB\n"
                               "MemAvailable:   2097152 kB\nBuffers:  1024 kB\n"
                               "Cached:  3072 kB\nSwapTotal:  1048576 kB\n"
                               "Committed_AS:  512 kB\n");
        proc_.Write("vmstat", "pgpgin 99\npswpout 7\npgmajfault 5\n");
        proc_.Write("uptime", "1000.50 1500.00\n");
        proc_.Write("loadavg", "0.10 0.20 0.30 2/345 999\n");
        proc_.AddProcess(1, "init", 0, 1, 0, 100, 3);
        proc_.AddProcess(20, "app.exe", 1, 4, 50000, 200, 2);
        proc_.AddProcess(7, "app", 1, 2, 90000, 10, 0);
        proc_.AddProcess(30, "my (odd) name", 7, 1, 0, 1, 1);
        proc_.AddProcess(40, "a-long-command-", 1, 1, 0, 1, 0);
        proc_.Write("40/cmdline", std::string("/usr/bin/a-long-command-name.exe\0-x\0", 36));
        fs::create_directories(fs::path(proc_.Root()) / "31"); // gone between listing and read
    }
    static double Value(const char* object, const PerfSnapshot& snapshot, size_t instance,
                        const char* counter) {
        const PerfObjectInfo* info = FindPerfObject(object);
        int index = FindPerfCounter(*info, counter);
        EXPECT_GE(index, 0) << counter;
        double value = -1;
        EXPECT_TRUE(PerfFormattedValue(*info, static_cast<size_t>(index),
                                       snapshot.instances.at(instance), nullptr, 0, &value));
        return value;
    }
    TestProcRoot proc_;
};

std::vector<std::string> Names(const PerfSnapshot& snapshot) {
    std::vector<std::string> names;
    for (const PerfInstance& instance : snapshot.instances) {
        names.push_back(instance.name);
    }
    return names;
}

TEST(PerfCatalogueTest, ObjectsAndCountersAreFoundByTheirWindowsNamesInAnyCase) {
    const PerfObjectInfo* process = FindPerfObject("pRoCeSs");
    ASSERT_NE(process, nullptr);
    EXPECT_STREQ(process->name, "Process");
    EXPECT_TRUE(process->hasInstances);
    for (const char* counter :
         {"ID Process", "Creating Process ID", "% Processor Time", "Working Set", "Private Bytes",
          "Virtual Bytes", "Thread Count", "Handle Count", "elapsed time"}) {
        EXPECT_GE(FindPerfCounter(*process, counter), 0) << counter;
    }
    EXPECT_FALSE(FindPerfObject("Memory")->hasInstances);
    EXPECT_GE(FindPerfCounter(*FindPerfObject("memory"), "Available MBytes"), 0);
    EXPECT_GE(FindPerfCounter(*FindPerfObject("system"), "Context Switches/sec"), 0);
    EXPECT_GE(FindPerfCounter(*FindPerfObject("LOGICALDISK"), "% Free Space"), 0);
    EXPECT_EQ(FindPerfObject("Processor Information"), nullptr);
    EXPECT_EQ(FindPerfObject(nullptr), nullptr);
    EXPECT_EQ(FindPerfCounter(*process, "Working"), -1);
}

TEST_F(PerfObjectsTest, ProcessorsAreNumberedThenTotalledWithTheirOwnTicks) {
    const PerfObjectInfo& processor = *FindPerfObject("Processor");
    PerfSnapshot before = processor.read();
    ASSERT_TRUE(before.ok);
    EXPECT_EQ(Names(before), (std::vector<std::string>{"0", "1", "_Total"}));
    proc_.Write("stat", "cpu  200 0 50 850 50 0 0 0 0 0\n"
                        "cpu0 160 0 30 400 10 0 0 0 0 0\n"
                        "cpu1 40 0 20 450 40 0 0 0 0 0\nintr 5400\n");
    PerfSnapshot after = processor.read();
    double value = 0;
    // The first collection has nothing to compare with.
    EXPECT_FALSE(PerfFormattedValue(processor, 0, after.instances[0], nullptr, 10000000, &value));
    const std::pair<size_t, double> expected[] = {{0, 100.0}, {1, 0.0}, {2, 100.0 * 100 / 150}};
    for (const auto& [instance, percent] : expected) {
        ASSERT_TRUE(PerfFormattedValue(processor, 0, after.instances[instance],
                                       &before.instances[instance], 20000000, &value));
        EXPECT_DOUBLE_EQ(value, percent) << instance;
    }
    ASSERT_TRUE(PerfFormattedValue(processor, 4, after.instances[2], &before.instances[2], 20000000,
                                   &value));
    EXPECT_DOUBLE_EQ(value, 200.0) << "Interrupts/sec of _Total: 400 in two seconds";
    EXPECT_DOUBLE_EQ(before.instances[1].values[4], 220.0) << "cpu1's column of /proc/interrupts";
}

TEST_F(PerfObjectsTest, ProcessesAreNamedByImageInPidOrderWithTotalLast) {
    PerfSnapshot snapshot = FindPerfObject("Process")->read();
    ASSERT_TRUE(snapshot.ok);
    EXPECT_EQ(Names(snapshot), (std::vector<std::string>{"init", "app", "app", "my (odd) name",
                                                         "a-long-command-name", "_Total"}));
    long page = sysconf(_SC_PAGESIZE);
    double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    // pid 20 ("app.exe"): the second "app", which PDH calls app#1.
    EXPECT_EQ(Value("Process", snapshot, 2, "ID Process"), 20);
    EXPECT_EQ(Value("Process", snapshot, 2, "Creating Process ID"), 1);
    EXPECT_EQ(Value("Process", snapshot, 2, "Thread Count"), 4);
    EXPECT_EQ(Value("Process", snapshot, 2, "Handle Count"), 2);
    EXPECT_EQ(Value("Process", snapshot, 2, "Working Set"), 200.0 * page);
    EXPECT_EQ(Value("Process", snapshot, 2, "Virtual Bytes"), 1000.0 * page);
    EXPECT_DOUBLE_EQ(Value("Process", snapshot, 2, "Elapsed Time"), 1000.5 - 50000 / ticks);
    EXPECT_EQ(Value("Process", snapshot, 3, "Creating Process ID"), 7);
    EXPECT_EQ(Value("Process", snapshot, 5, "ID Process"), 0);
    EXPECT_EQ(Value("Process", snapshot, 5, "Thread Count"), 9);
    EXPECT_EQ(Value("Process", snapshot, 5, "Handle Count"), 6);
}

// Not divided by the processors: two busy threads of one process give 200.
TEST_F(PerfObjectsTest, ProcessTimeIsCpuTimeOverElapsedAcrossAllProcessors) {
    const PerfObjectInfo& process = *FindPerfObject("Process");
    int index = FindPerfCounter(process, "% Processor Time");
    PerfInstance before{"app", "", std::vector<double>(9, 0.0)};
    PerfInstance after = before;
    after.values[static_cast<size_t>(index)] = 2 * 10000000.0;
    double value = 0;
    ASSERT_TRUE(
        PerfFormattedValue(process, static_cast<size_t>(index), after, &before, 10000000, &value));
    EXPECT_DOUBLE_EQ(value, 200.0);
    // A reused pid's lower time is no negative rate; no time elapsed is no infinite one.
    ASSERT_TRUE(
        PerfFormattedValue(process, static_cast<size_t>(index), before, &after, 10000000, &value));
    EXPECT_EQ(value, 0.0);
    ASSERT_TRUE(PerfFormattedValue(process, static_cast<size_t>(index), after, &before, 0, &value));
    EXPECT_EQ(value, 0.0);
}

TEST_F(PerfObjectsTest, MemoryAndSystemHaveOneUnnamedInstance) {
    PerfSnapshot memory = FindPerfObject("Memory")->read();
    ASSERT_TRUE(memory.ok);
    ASSERT_EQ(Names(memory), std::vector<std::string>{""});
    EXPECT_EQ(Value("Memory", memory, 0, "Available Bytes"), 2147483648.0);
    EXPECT_EQ(Value("Memory", memory, 0, "Available MBytes"), 2048);
    EXPECT_EQ(Value("Memory", memory, 0, "Commit Limit"), 5.0 * 1024 * 1024 * 1024);
    EXPECT_EQ(Value("Memory", memory, 0, "Cache Bytes"), 4096.0 * 1024);
    EXPECT_EQ(memory.instances[0].values[4], 12) << "Pages/sec counts major faults + swap-outs";

    PerfSnapshot system = FindPerfObject("System")->read();
    ASSERT_TRUE(system.ok);
    EXPECT_EQ(Value("System", system, 0, "Processes"), 6) << "every pid folder";
    EXPECT_EQ(Value("System", system, 0, "Threads"), 345);
    EXPECT_EQ(Value("System", system, 0, "System Up Time"), 1000.5);
    EXPECT_EQ(Value("System", system, 0, "Processor Queue Length"), 3);
}

TEST_F(PerfObjectsTest, AnUnreadableSourceIsAFailedSnapshot) {
    fs::remove(fs::path(proc_.Root()) / "stat");
    fs::remove(fs::path(proc_.Root()) / "meminfo");
    EXPECT_FALSE(FindPerfObject("Processor")->read().ok);
    EXPECT_FALSE(FindPerfObject("System")->read().ok);
    EXPECT_FALSE(FindPerfObject("Memory")->read().ok);
}

TEST(PerfLogicalDiskTest, MountedDrivesAreLettersWithColonThenTotal) {
    TestPrefix prefix;
    prefix.MapDrive('d', "/tmp");
    prefix.MapDrive('q', "/nonexistent-pallwick-folder");
    PerfSnapshot snapshot = FindPerfObject("LogicalDisk")->read();
    ASSERT_TRUE(snapshot.ok);
    EXPECT_EQ(Names(snapshot), (std::vector<std::string>{"C:", "D:", "Z:", "_Total"}))
        << "an unmapped folder is no drive";
    for (const PerfInstance& instance : snapshot.instances) {
        double free = -1;
        ASSERT_TRUE(
            PerfFormattedValue(*FindPerfObject("LogicalDisk"), 0, instance, nullptr, 0, &free));
        EXPECT_GE(free, 0.0) << instance.name;
        EXPECT_LE(free, 100.0) << instance.name;
    }
}

} // namespace
