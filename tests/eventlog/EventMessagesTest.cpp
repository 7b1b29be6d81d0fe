#include "InventoryAgents/EventLogAgent/EventMessages.h"
#include "InventoryAgents/EventLogAgent/EventRecordText.h"

#include "Platform/Win32.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

// A record laid out as ReadEventLogA gives it: the fixed part, the source name, the insertion
// strings, then the length again. numStrings may claim more strings than are stored.
std::vector<BYTE> MakeRecord(const std::vector<std::string>& strings, int numStrings = -1,
                             bool terminateLast = true) {
    std::string tail("Source", sizeof "Source");
    for (size_t i = 0; i < strings.size(); ++i) {
        tail += strings[i];
        if (terminateLast || i + 1 < strings.size()) {
            tail += '\0';
        }
    }
    EVENTLOGRECORD header = {};
    header.Length = (DWORD)(sizeof header + tail.size());
    header.NumStrings = (WORD)(numStrings < 0 ? (int)strings.size() : numStrings);
    header.StringOffset = (DWORD)(sizeof header + sizeof "Source");
    std::vector<BYTE> bytes(header.Length);
    memcpy(bytes.data(), &header, sizeof header);
    memcpy(bytes.data() + sizeof header, tail.data(), tail.size());
    return bytes;
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
    // Three strings claimed, two stored, the second without its terminator.
    std::vector<BYTE> cut = MakeRecord({"one", "two"}, 3, false);
    EXPECT_EQ("one||", Expand(cut, "%1|%2|%3"));
    std::vector<BYTE> offsetPastEnd = MakeRecord({"one"});
    reinterpret_cast<EVENTLOGRECORD*>(offsetPastEnd.data())->StringOffset = 0xFFFFFFF0;
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
