#include "InventoryAgents/EventLogAgent/EventMessages.h"
#include "InventoryAgents/EventLogAgent/EventRecordText.h"

#include "Platform/Win32.h"
#include "tests/eventlog/HandMadeRecord.h"
#include "tests/fixtures/messages/FixtureMessageIds.h"
#include "tests/support/TestMachine.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<BYTE> MakeRecord(const std::vector<std::string>& strings, int claimedStrings = -1,
                             bool terminateLast = true) {
    HandMadeRecord record;
    record.strings = strings;
    record.claimedStrings = claimedStrings;
    record.terminateLast = terminateLast;
    return record.Bytes();
}

std::string Expand(const std::vector<BYTE>& bytes, const std::string& message,
                   size_t capacity = kEventMessageSize) {
    std::vector<char> buffer(capacity);
    snprintf(buffer.data(), capacity, "%s", message.c_str());
    ExpandEventMessageInserts(reinterpret_cast<const EVENTLOGRECORD*>(bytes.data()),
                              (DWORD)bytes.size(), buffer.data(), capacity, "Application");
    EXPECT_LT(strlen(buffer.data()), capacity);
    return buffer.data();
}

const std::vector<std::string> kTwelve = {"one",   "two",   "three", "four", "five",   "six",
                                          "seven", "eight", "nine",  "ten",  "eleven", "twelve"};

TEST(EventMessagesTest, HashMatchesKnownValues) {
    EXPECT_EQ(3007, HashMessageText("a"));
    EXPECT_EQ(9113, HashMessageText("abc"));
    EXPECT_EQ(-713, HashMessageText("\xE9"));
    EXPECT_EQ(0, HashMessageText(""));
    EXPECT_EQ(0, HashMessageText(nullptr));
}

// The number after a percent sign is read as strtoll reads it, but only as many characters as
// its digits are skipped.
TEST(EventMessagesTest, InsertionStringsReadTheNumberLikeAConversion) {
    TestPrefix prefix;
    std::vector<BYTE> record = MakeRecord(kTwelve);
    EXPECT_EQ("<one|two>", Expand(record, "<%1|%2>"));
    EXPECT_EQ("%twelve", Expand(record, "%%12"));
    EXPECT_EQ("one1", Expand(record, "%01"));
    EXPECT_EQ("five5", Expand(record, "% 5"));
    EXPECT_EQ("100% sure %s %0 %-3 end%", Expand(record, "100% sure %s %0 %-3 end%"));
    // Text an insertion string brings is not scanned again by the same pass.
    EXPECT_EQ("%2 two", Expand(MakeRecord({"%2", "two"}), "%1 %2"));
}

TEST(EventMessagesTest, MissingInsertionStringsInsertNothing) {
    TestPrefix prefix;
    EXPECT_EQ("[]", Expand(MakeRecord(kTwelve), "[%13]"));
    // Three strings claimed, two stored, the second running to the record's last byte.
    std::vector<BYTE> cut = MakeRecord({"one", "two"}, 3, false);
    cut.resize(cut.size() - sizeof(DWORD));
    EXPECT_EQ("one||", Expand(cut, "%1|%2|%3"));
    std::vector<BYTE> offsetPastEnd = MakeRecord({"one"});
    Header(offsetPastEnd)->StringOffset = 0xFFFFFFF0;
    EXPECT_EQ("<>", Expand(offsetPastEnd, "<%1>"));
}

// A parameter reference that an insertion string brought in is looked up in the source's
// message files; a source without a key gives nothing.
TEST(EventMessagesTest, ParameterOfAnUnknownSourceInsertsNothing) {
    TestPrefix prefix;
    EXPECT_EQ("a-b", Expand(MakeRecord({"-%%1234"}), "a%1b"));
}

TEST(EventMessagesTest, ResultsAreCutAtTheirBuffers) {
    TestPrefix prefix;
    EXPECT_EQ("abcdefa", Expand(MakeRecord({"abcdef"}), "%1%1%1", 8));
    std::string large(20000, 'x');
    std::string expanded = Expand(MakeRecord({large}), "%1%1%1");
    EXPECT_EQ(kEventMessageSize - 1, expanded.size());
}

TEST(EventRecordKeyTest, ParsesSevenFieldsAndRefusesFewer) {
    char key[] = "Application:1:2:-1073741819:1:0:3007";
    EventRecordKey parsed = {};
    ASSERT_TRUE(ParseEventRecordKey(key, &parsed));
    EXPECT_STREQ("Application", parsed.logName);
    EXPECT_EQ(1, parsed.timeGenerated);
    EXPECT_EQ(2, parsed.timeWritten);
    EXPECT_EQ(-1073741819, parsed.eventId);
    EXPECT_EQ(1, parsed.eventType);
    EXPECT_EQ(0, parsed.eventCategory);
    EXPECT_EQ(3007, parsed.messageHash);
    char shortKey[] = "Application:1:2:3:4::5";
    EXPECT_FALSE(ParseEventRecordKey(shortKey, &parsed));
    char empty[] = "";
    EXPECT_FALSE(ParseEventRecordKey(empty, &parsed));
}

} // namespace

namespace {

constexpr char kSourceKey[] = "System\\CurrentControlSet\\Services\\EventLog\\Application\\Source";
const std::string kMessages = PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll";
const std::string kSecondMessages = PALLWICK_MESSAGE_FIXTURES "\\SecondMessages.dll";

// The source's message files as a value of exactly the bytes given, a NUL or not.
void SetMessageFiles(const std::string& bytes) {
    SetValue(kSourceKey, kEventMessageFileValue, REG_EXPAND_SZ, bytes.data(), bytes.size());
}

std::string Lookup(DWORD id, int expected = 0, size_t capacity = kEventMessageSize) {
    std::vector<char> text(capacity, '\0');
    EXPECT_EQ(expected, LookupEventMessage("Source", id, text.data(), capacity, "Application",
                                           kEventMessageFileValue));
    return text.data();
}

class EventMessageFilesTest : public ::testing::Test {
  protected:
    void TearDown() override { RestoreTestRegistry({kSourceKey}); }

    TestPrefix prefix_;
};

TEST_F(EventMessageFilesTest, FirstFileHoldingTheIdGivesItsTextWithoutTheLineEnd) {
    EXPECT_EQ("", Lookup(1003, -1)) << "no source key";
    SetMessageFiles(std::string("", 1));
    EXPECT_EQ("", Lookup(1003)) << "no file named";
    SetMessageFiles(";C:\\missing.dll;;" + kMessages + ";" + kSecondMessages);
    EXPECT_EQ("Plain text without inserts.", Lookup(1003));
    EXPECT_EQ("Only the second file holds message %1.", Lookup(kSecondFileOnlyId));
    EXPECT_EQ("", Lookup(kNowhereId));
    EXPECT_EQ("Plain tex", Lookup(1003, 0, 10)) << "cut at the buffer";
    // A value stored without its NUL still names its last file whole.
    SetMessageFiles(kMessages + ";" + kSecondMessages);
    EXPECT_EQ("Only the second file holds message %1.", Lookup(kSecondFileOnlyId));
}

TEST_F(EventMessageFilesTest, ParameterMessagesComeFromTheSourcesFiles) {
    SetMessageFiles(kMessages + std::string("", 1));
    std::string nowhere = "%%" + std::to_string(kNowhereId);
    std::string expanded = Expand(MakeRecord({"%%1100", nowhere, "%%1101"}), "%1|%2|%3");
    EXPECT_EQ("the device is not ready||the medium is write protected", expanded);
}

// Calls share nothing but the registry and the message files, which any number of threads may
// read at once.
TEST_F(EventMessageFilesTest, LookupsOnSeveralThreadsAtOnce) {
    SetMessageFiles(kMessages + ";" + kSecondMessages + std::string("", 1));
    std::vector<BYTE> record = MakeRecord({"%%1100"});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                EXPECT_EQ("Only the second file holds message %1.", Lookup(kSecondFileOnlyId));
                EXPECT_EQ("[the device is not ready]", Expand(record, "[%1]"));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

} // namespace
