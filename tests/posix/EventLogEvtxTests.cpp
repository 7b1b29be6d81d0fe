// .evtx logs read as classic logs: what each record's fields become, how the records are ordered
// and numbered, and a log Windows wrote read every way the classic API reads, damaged, replaced
// and written to.
#include "Platform/Posix/advapi32/EventLogEvtx.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "tests/support/TestPrefix.h"
#include "tests/support/TestMachine.h"
#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <stddef.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const EVENTLOGRECORD& Fixed(const std::string& record) {
    return *reinterpret_cast<const EVENTLOGRECORD*>(record.data());
}

std::string AnsiOf(const std::string& stored) {
    std::string ansi;
    EXPECT_TRUE(EvtRecordToAnsi(stored, &ansi));
    return ansi;
}

// The ANSI record's strings, source and computer, in that order.
std::vector<std::string> Texts(const std::string& ansi) {
    const char* source = ansi.data() + sizeof(EVENTLOGRECORD);
    const char* computer = source + strlen(source) + 1;
    std::vector<std::string> texts;
    const char* text = ansi.data() + Fixed(ansi).StringOffset;
    for (WORD i = 0; i < Fixed(ansi).NumStrings; ++i) {
        texts.push_back(text);
        text += strlen(text) + 1;
    }
    texts.push_back(source);
    texts.push_back(computer);
    return texts;
}

TEST(EvtxMappingTest, EventTypeFollowsLevelUnlessAnAuditKeywordIsSet) {
    const struct {
        uint8_t level;
        unsigned long long keywords;
        WORD type;
    } cases[] = {
        {0, 0, EVENTLOG_INFORMATION_TYPE},
        {1, 0, EVENTLOG_ERROR_TYPE},
        {2, 0x8000000000000000ull, EVENTLOG_ERROR_TYPE},
        {3, 0, EVENTLOG_WARNING_TYPE},
        {4, 0, EVENTLOG_INFORMATION_TYPE},
        {5, 0, EVENTLOG_INFORMATION_TYPE},
        {16, 0, EVENTLOG_INFORMATION_TYPE},
        {0, 0x8020000000000000ull, EVENTLOG_AUDIT_SUCCESS},
        {4, 0x4020000000000000ull, EVENTLOG_AUDIT_SUCCESS},
        {0, 0x8010000000000000ull, EVENTLOG_AUDIT_FAILURE},
        {2, 0x0010000000000000ull, EVENTLOG_AUDIT_FAILURE},
        {0, 0x0030000000000000ull, EVENTLOG_AUDIT_FAILURE},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(each.type, EvtxEventType(each.level, each.keywords))
            << "level " << int(each.level) << " keywords " << std::hex << each.keywords;
    }
}

TEST(EvtxMappingTest, SystemElementGivesTaskKeywordsSourceAndCreationTime) {
    EvtxSystem system = EvtxReadSystem(
        u"<Event><System><Provider Name=\"Service Control Manager\" Guid=\"{555}\" "
        u"EventSourceName=\"A &amp; B &lt;x&gt;\"/><EventID Qualifiers=\"16384\">7036</EventID>"
        u"<Level>4</Level><Task>12</Task><Keywords>0x8080000000000000</Keywords>"
        u"<TimeCreated SystemTime=\"2015-08-08T02:06:17.9999999Z\"/></System>"
        u"<EventData><Data>Task</Data></EventData></Event>");
    EXPECT_TRUE(system.eventSourceName == u"A & B <x>");
    EXPECT_EQ(12, system.task);
    EXPECT_EQ(0x8080000000000000ull, system.keywords);
    EXPECT_TRUE(system.hasCreated);
    EXPECT_EQ(1438999577u, system.created); // the fraction is dropped, not rounded

    // Nothing outside System counts, and what System lacks stays empty.
    system = EvtxReadSystem(u"<Event><System><Provider Name=\"P\"/></System>"
                            u"<EventData><Task>9</Task></EventData></Event>");
    EXPECT_TRUE(system.eventSourceName.empty());
    EXPECT_EQ(0, system.task);
    EXPECT_EQ(0u, system.keywords);
    EXPECT_FALSE(system.hasCreated);
    system = EvtxReadSystem(u"<System><Task>70000</Task><Keywords>0x</Keywords>");
    EXPECT_EQ(0, system.task);
    EXPECT_EQ(0u, system.keywords);
}

// The times a DWORD of seconds since 1970 can hold, and no other.
TEST(EvtxMappingTest, TimesOutsideWhatTheRecordHoldsAreRefused) {
    DWORD seconds = 7;
    EXPECT_TRUE(EvtxParseSystemTime(u"2016-02-29T23:59:59.5Z", &seconds));
    EXPECT_EQ(1456790399u, seconds);
    EXPECT_TRUE(EvtxParseSystemTime(u"2106-02-07T06:28:15Z", &seconds));
    EXPECT_EQ(0xFFFFFFFFu, seconds);
    for (const char16_t* text : {u"2106-02-07T06:28:16Z", u"1969-12-31T23:59:59Z",
                                 u"2015-13-01T00:00:00Z", u"2015-08-08 02:06:17Z", u"2015-08-08"}) {
        EXPECT_FALSE(EvtxParseSystemTime(text, &seconds));
    }
    EXPECT_EQ(0u, EvtxFiletimeToSeconds(0));
    EXPECT_EQ(0xFFFFFFFFu, EvtxFiletimeToSeconds(0xFFFFFFFFFFFFFFFFull));
}

EvtxEvent SampleEvent() {
    EvtxEvent event{};
    event.identifier = 42;
    event.written = 130834731770781250ull; // 1438999577
    event.eventId = 7036;
    event.hasQualifiers = true;
    event.qualifiers = 0x4000;
    event.level = 2;
    event.sourceName = u"Provider-Name";
    event.computer = u"HOST-1";
    event.userSid = u"S-1-5-21-1-2-3-500";
    event.strings = {u"first", u"", std::u16string(u"cut\0tail", 8), u"caf\u00e9"};
    event.data = std::string("\x01\x00\xff", 3);
    event.system.task = 3;
    event.system.hasCreated = true;
    event.system.created = 1438999000;
    return event;
}

TEST(EvtxMappingTest, ClassicRecordCarriesEveryField) {
    std::string ansi = AnsiOf(EvtxClassicRecord(SampleEvent(), 9));
    const EVENTLOGRECORD& fixed = Fixed(ansi);
    EXPECT_EQ(9u, fixed.RecordNumber);
    EXPECT_EQ(1438999000u, fixed.TimeGenerated);
    EXPECT_EQ(1438999577u, fixed.TimeWritten);
    EXPECT_EQ(0x40001B7Cu, fixed.EventID);
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, fixed.EventType);
    EXPECT_EQ(3, fixed.EventCategory);
    EXPECT_EQ((std::vector<std::string>{"first", "", "cut", "caf\xe9", "Provider-Name", "HOST-1"}),
              Texts(ansi));
    const BYTE sid[] = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0,    0, 1, 0,
                        0, 0, 2, 0, 0, 0, 3, 0, 0,  0, 0xF4, 1, 0, 0};
    ASSERT_EQ(sizeof sid, fixed.UserSidLength);
    EXPECT_EQ(0, memcmp(ansi.data() + fixed.UserSidOffset, sid, sizeof sid));
    EXPECT_EQ(std::string("\x01\x00\xff", 3), ansi.substr(fixed.DataOffset, fixed.DataLength));

    // What a record lacks falls back as the classic record allows.
    EvtxEvent event = SampleEvent();
    event.hasQualifiers = false;
    event.eventId = 0x12345; // only the EventID element's 16 bits are an identifier
    event.system.hasCreated = false;
    event.system.eventSourceName = u"ClassicSource";
    event.userSid = u"S-1-5-x";
    event.strings.clear();
    event.data.clear();
    ansi = AnsiOf(EvtxClassicRecord(event, 1));
    const EVENTLOGRECORD& bare = Fixed(ansi);
    EXPECT_EQ(0x2345u, bare.EventID);
    EXPECT_EQ(bare.TimeWritten, bare.TimeGenerated);
    EXPECT_EQ(0u, bare.UserSidLength);
    EXPECT_EQ(0u, bare.DataLength);
    EXPECT_EQ((std::vector<std::string>{"ClassicSource", "HOST-1"}), Texts(ansi));
}

// A classic log made of entries, loaded back as the reading code loads it.
class EvtxLayOutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        descriptor_ = memfd_create("layout-test", MFD_CLOEXEC);
        ASSERT_GE(descriptor_, 0);
    }
    void TearDown() override { close(descriptor_); }

    static EvtxClassicEntry Entry(uint64_t identifier, uint32_t eventId) {
        EvtxEvent event = SampleEvent();
        event.eventId = eventId;
        event.hasQualifiers = false;
        return EvtxClassicEntry{identifier, EvtxClassicRecord(event, 0)};
    }

    // The loaded layout, and each record's (number, event id) from the oldest on.
    EvtLayout Load(std::vector<EvtxClassicEntry> entries,
                   std::vector<std::pair<DWORD, DWORD>>* records) {
        std::string image;
        EvtxLayOut(&entries, &image);
        EXPECT_EQ(0, ftruncate(descriptor_, 0));
        EXPECT_EQ(ssize_t(image.size()), pwrite(descriptor_, image.data(), image.size(), 0));
        EvtLayout layout{};
        EXPECT_EQ(DWORD(ERROR_SUCCESS), EvtLoadLayout(descriptor_, &layout));
        DWORD offset = layout.start;
        std::string stored;
        for (DWORD i = 0; i < EvtRecordCount(layout); ++i) {
            EXPECT_EQ(DWORD(ERROR_SUCCESS), EvtReadRecord(descriptor_, layout, offset, &stored));
            records->emplace_back(Fixed(stored).RecordNumber, Fixed(stored).EventID);
            offset = EvtRingAdvance(layout, offset, DWORD(stored.size()));
        }
        return layout;
    }

    int descriptor_ = -1;
};

TEST_F(EvtxLayOutTest, RecordsGoInIdentifierOrderNumberedOnWithoutGaps) {
    // A wrapped log's chunks hold the newest records first: each keeps its identifier.
    std::vector<std::pair<DWORD, DWORD>> records;
    EvtLayout layout = Load({Entry(7, 70), Entry(8, 80), Entry(5, 50), Entry(6, 60)}, &records);
    EXPECT_EQ(5u, layout.oldest);
    EXPECT_EQ(9u, layout.next);
    EXPECT_EQ((std::vector<std::pair<DWORD, DWORD>>{{5, 50}, {6, 60}, {7, 70}, {8, 80}}), records);
    // The first of two records with one identifier is kept; after a gap the numbers run on.
    records.clear();
    layout = Load({Entry(20, 200), Entry(10, 100), Entry(12, 120), Entry(12, 121)}, &records);
    EXPECT_EQ(10u, layout.oldest);
    EXPECT_EQ((std::vector<std::pair<DWORD, DWORD>>{{10, 100}, {11, 120}, {12, 200}}), records);
    // Identifiers past 32 bits, or 0, which no classic record bears, are numbered from 1.
    for (uint64_t first : {0x1FFFFFFFFull, 0ull}) {
        records.clear();
        Load({Entry(first, 1), Entry(first + 1, 2)}, &records);
        EXPECT_EQ((std::vector<std::pair<DWORD, DWORD>>{{1, 1}, {2, 2}}), records);
    }
    records.clear();
    layout = Load({}, &records);
    EXPECT_EQ(0u, EvtRecordCount(layout));
    EXPECT_EQ(1u, layout.next);
}

std::string WindowsData() {
    std::string file = std::string(PALLWICK_WINDOWS_DATA) + "/System2.evtx";
    return std::filesystem::exists(file) ? file : std::string();
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// System2.evtx (194 records, identifiers 1 to 194) as a Windows volume keeps a log: in
// winevt\Logs, named by the File value Windows registers.
class EvtxLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        source_ = WindowsData();
        if (source_.empty()) {
            GTEST_SKIP() << PALLWICK_WINDOWS_DATA << " holds no System2.evtx";
        }
        RegistryResetForTests();
        logs_ = prefix_.DriveC() + "/windows/system32/winevt/Logs";
        std::filesystem::create_directories(logs_);
        path_ = logs_ + "/PallwickEvtx.evtx";
        original_ = Contents(source_);
        ASSERT_EQ(200000u, original_.size());
        WriteFile(path_, original_);
        ASSERT_TRUE(PutEventLog("PallwickEvtx",
                                "%SystemRoot%\\system32\\winevt\\Logs\\PallwickEvtx.EVTX",
                                {{"PallwickEvtxSource"}}));
        log_ = OpenEventLogA(nullptr, "PallwickEvtx");
        ASSERT_NE(nullptr, log_) << GetLastError();
    }
    void TearDown() override {
        if (log_ != nullptr) {
            CloseEventLog(log_);
        }
        if (!source_.empty()) {
            RegistryResetForTests();
        }
    }

    // One record read with these flags, into a buffer that holds just that one: its number, or
    // 0 with the error.
    DWORD ReadOne(DWORD flags, DWORD seekTo, DWORD* error) {
        BYTE probe = 0;
        DWORD read = 0;
        DWORD needed = 0;
        if (ReadEventLogA(log_, flags, seekTo, &probe, 0, &read, &needed) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            *error = GetLastError();
            return 0;
        }
        std::vector<BYTE> buffer(needed);
        if (!ReadEventLogA(log_, flags, seekTo, buffer.data(), needed, &read, &needed)) {
            *error = GetLastError();
            return 0;
        }
        *error = ERROR_SUCCESS;
        return reinterpret_cast<const EVENTLOGRECORD*>(buffer.data())->RecordNumber;
    }

    // The numbers read sequentially in that direction until the read fails, and its error.
    std::vector<DWORD> ReadOn(DWORD direction, DWORD* error) {
        std::vector<DWORD> numbers;
        for (DWORD number; (number = ReadOne(EVENTLOG_SEQUENTIAL_READ | direction, 0, error));) {
            numbers.push_back(number);
        }
        return numbers;
    }

    static std::vector<DWORD> Run(DWORD first, DWORD last) {
        std::vector<DWORD> numbers;
        for (DWORD n = first; first <= last ? n <= last : n >= last; first <= last ? ++n : --n) {
            numbers.push_back(n);
        }
        return numbers;
    }

    TestPrefix prefix_;
    std::string source_;
    std::string logs_;
    std::string path_;
    std::string original_;
    HANDLE log_ = nullptr;
};

TEST_F(EvtxLogTest, ReadsEveryWayTheClassicApiReads) {
    DWORD count = 0;
    DWORD oldest = 0;
    ASSERT_TRUE(GetNumberOfEventLogRecords(log_, &count));
    ASSERT_TRUE(GetOldestEventLogRecord(log_, &oldest));
    EXPECT_EQ(194u, count);
    EXPECT_EQ(1u, oldest);
    DWORD error = 0;
    EXPECT_EQ(Run(194, 1), ReadOn(EVENTLOG_BACKWARDS_READ, &error));
    EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), error);
    EXPECT_EQ(100u, ReadOne(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 100, &error));
    EXPECT_EQ(Run(101, 194), ReadOn(EVENTLOG_FORWARDS_READ, &error));
    EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), error);
    EXPECT_EQ(0u, ReadOne(EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 195, &error));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), error);

    BYTE small[sizeof(EVENTLOGRECORD)];
    DWORD read = 0;
    DWORD needed = 0;
    EXPECT_FALSE(ReadEventLogA(log_, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 2, small,
                               sizeof small, &read, &needed));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_GT(needed, sizeof small);
}

TEST_F(EvtxLogTest, WritesAreRefusedAndWriteNothing) {
    HANDLE source = RegisterEventSourceA(nullptr, "PallwickEvtxSource");
    ASSERT_NE(nullptr, source);
    LPCSTR strings[] = {"text"};
    EXPECT_FALSE(
        ReportEventA(source, EVENTLOG_ERROR_TYPE, 1, 1000, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    DeregisterEventSource(source);
    EXPECT_FALSE(ClearEventLogA(log_, "C:\\backup.evtx"));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(std::filesystem::exists(prefix_.DriveC() + "/backup.evtx"));
    EXPECT_FALSE(ClearEventLogA(log_, nullptr));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(Contents(path_) == original_);
    DWORD count = 0;
    EXPECT_TRUE(GetNumberOfEventLogRecords(log_, &count));
    EXPECT_EQ(194u, count);
}

TEST_F(EvtxLogTest, DamagedFilesEndTheLogOrFailTheRead) {
    // Cut inside its second chunk: the first chunk's records, and libevtx stops at the damage.
    WriteFile(path_, original_.substr(0, 70000));
    DWORD error = 0;
    std::vector<DWORD> numbers = ReadOn(EVENTLOG_FORWARDS_READ, &error);
    EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), error);
    ASSERT_FALSE(numbers.empty());
    ASSERT_LT(numbers.size(), 194u);
    EXPECT_EQ(Run(1, numbers.back()), numbers);
    // The whole file again, under the log's name: the same handle reads on where it stopped.
    std::string next = logs_ + "/next.evtx";
    WriteFile(next, original_);
    ASSERT_EQ(0, rename(next.c_str(), path_.c_str()));
    EXPECT_EQ(Run(numbers.back() + 1, 194), ReadOn(EVENTLOG_FORWARDS_READ, &error));
    EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), error);

    std::string garbled = original_;
    memset(&garbled[4096 + 65536 + 600], 'A', 3000);
    WriteFile(path_, garbled);
    numbers = ReadOn(EVENTLOG_BACKWARDS_READ, &error);
    EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), error);
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(Run(numbers.front(), 1), numbers);

    // A file libevtx cannot open at all is a corrupt log, however it is asked.
    for (const std::string& broken : {original_.substr(0, 3000), std::string(8192, 'x')}) {
        WriteFile(path_, broken);
        EXPECT_EQ(0u, ReadOne(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, &error));
        EXPECT_EQ(DWORD(ERROR_EVENTLOG_FILE_CORRUPT), error);
        DWORD count = 0;
        EXPECT_FALSE(GetNumberOfEventLogRecords(log_, &count));
        EXPECT_EQ(DWORD(ERROR_EVENTLOG_FILE_CORRUPT), GetLastError());
    }
    // A log whose file is not there yet is empty, as a classic one.
    std::filesystem::remove(path_);
    EXPECT_EQ(0u, ReadOne(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, &error));
    EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), error);
}

} // namespace
