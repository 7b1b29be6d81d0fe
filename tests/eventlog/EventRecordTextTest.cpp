#include "InventoryAgents/EventLogAgent/EventRecordText.h"

#include "Common/ScopedResource.h"
#include "Platform/Win32.h"
#include "tests/eventlog/HandMadeRecord.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string ElementText(const std::vector<BYTE>& bytes, int element) {
    EventRecordView view = {reinterpret_cast<const EVENTLOGRECORD*>(bytes.data()),
                            (DWORD)bytes.size(), "Application"};
    ScopedMalloc text(NewEventElementText(view, element));
    return text.held() ? static_cast<const char*>(text.get()) : "<null>";
}

std::string Key(const std::vector<BYTE>& bytes, size_t capacity = kRecordKeySize) {
    EventRecordView view = {reinterpret_cast<const EVENTLOGRECORD*>(bytes.data()),
                            (DWORD)bytes.size(), "Application"};
    std::vector<char> key(capacity);
    FormatEventRecordKey(view, key.data(), capacity);
    return key.data();
}

// The numbers as Java reads them: the id's low half unsigned in its element, all of it signed in
// the key; the time written in milliseconds.
TEST(EventRecordTextTest, NumbersAndTheKey) {
    TestPrefix prefix;
    HandMadeRecord record;
    record.header.EventID = 0xC0000005;
    record.header.EventType = EVENTLOG_AUDIT_FAILURE;
    record.header.EventCategory = 0xFFFF;
    record.header.TimeGenerated = 0x80000000;
    record.header.TimeWritten = 0xFFFFFFFF;
    std::vector<BYTE> bytes = record.Bytes();
    EXPECT_EQ("5", ElementText(bytes, kEventIdElement));
    EXPECT_EQ("16", ElementText(bytes, kEventTypeElement));
    EXPECT_EQ("4294967295000", ElementText(bytes, kTimeWrittenElement));
    EXPECT_EQ("Source", ElementText(bytes, kSourceNameElement));
    EXPECT_EQ("None", ElementText(bytes, kCategoryElement)) << "a source without a key";
    EXPECT_EQ("", ElementText(bytes, kMessageElement));
    EXPECT_EQ("Application:-2147483648:-1:-1073741819:16:65535:0", Key(bytes));
    EXPECT_EQ("Application:-21", Key(bytes, 16)) << "cut at its buffer";
}

// A record without a category (0) reads "None", where the lookup's fallback on the system's
// table would give "The operation completed successfully."; a numbered one reads its text.
TEST(EventRecordTextTest, CategoryZeroIsNone) {
    TestPrefix prefix;
    const std::string files = PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "System\\CurrentControlSet\\Services\\EventLog\\Application\\Source",
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "CategoryMessageFile", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(files.c_str()),
                                            (DWORD)files.size() + 1));
    RegCloseKey(key);
    HandMadeRecord record;
    record.header.EventCategory = 2;
    EXPECT_EQ("Storage", ElementText(record.Bytes(), kCategoryElement));
    record.header.EventCategory = 0;
    EXPECT_EQ("None", ElementText(record.Bytes(), kCategoryElement));
}

TEST(EventRecordTextTest, DataAsUpperCaseHexAndNoneOutsideTheRecord) {
    TestPrefix prefix;
    HandMadeRecord record;
    record.data = std::string("\x00\xAB\x7F\xFF", 4);
    std::vector<BYTE> bytes = record.Bytes();
    EXPECT_EQ("00AB7FFF", ElementText(bytes, kDataElement));
    Header(bytes)->DataLength = 0xFFFFFFFF;
    EXPECT_EQ("", ElementText(bytes, kDataElement));
    record.data.clear();
    EXPECT_EQ("", ElementText(record.Bytes(), kDataElement));
}

// A SID longer than its buffer, or outside the record, is not read at all.
TEST(EventRecordTextTest, UserOfTheSidOrNotAvailable) {
    TestPrefix prefix;
    HandMadeRecord record;
    EXPECT_EQ("N/A", ElementText(record.Bytes(), kUserElement)) << "no SID";
    record.sid = LocalSystemSid();
    std::vector<BYTE> bytes = record.Bytes();
    EXPECT_EQ("NT AUTHORITY\\SYSTEM", ElementText(bytes, kUserElement));
    Header(bytes)->UserSidOffset = (DWORD)bytes.size() - 4;
    EXPECT_EQ("N/A", ElementText(bytes, kUserElement));
    record.sid = LocalSystemSid() + std::string(1100, '\0');
    EXPECT_EQ("N/A", ElementText(record.Bytes(), kUserElement));
}

} // namespace
