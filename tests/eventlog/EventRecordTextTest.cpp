#include "InventoryAgents/EventLogAgent/EventRecordText.h"

#include "Common/ScopedResource.h"
#include "Platform/Win32.h"
#include "tests/eventlog/HandMadeRecord.h"
#include "tests/fixtures/messages/FixtureMessageIds.h"
#include "tests/support/TestMachine.h"
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

constexpr char kSourceKey[] = "System\\CurrentControlSet\\Services\\EventLog\\Application\\Source";

void SetSourceFiles(const char* valueName, const std::string& files) {
    SetText(kSourceKey, valueName, files);
}

// A record without a category (0) reads "None", where the lookup's fallback on the system's
// table would give the text of code 0; a numbered one reads its text.
TEST(EventRecordTextTest, CategoryZeroIsNone) {
    TestPrefix prefix;
    SetSourceFiles("CategoryMessageFile", PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll");
    HandMadeRecord record;
    record.header.EventCategory = 2;
    EXPECT_EQ("Storage", ElementText(record.Bytes(), kCategoryElement));
    record.header.EventCategory = 0;
    EXPECT_EQ("None", ElementText(record.Bytes(), kCategoryElement));
    RestoreTestRegistry({kSourceKey});
}

// On the machine image wineboot made, numbers that no message file of the source holds read the
// system's own texts in the image's words (Wine's): the message, a parameter message naming a
// Win32 error (as the service manager's "%%2" does) and the category. The case runs on both
// builds: the layer reading the image's system DLL and Wine print the same record.
TEST(EventRecordTextTest, WinebootSystemTextsStandInForNumbersTheFilesLack) {
    TestPrefix prefix;
    if (!UseWinebootImage()) {
        GTEST_SKIP() << "no wineboot-made prefix";
    }
    RestoreTestRegistry({kSourceKey});
    const std::string files = PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll";
    SetSourceFiles("EventMessageFile", files);
    SetSourceFiles("CategoryMessageFile", files);
    HandMadeRecord record;
    record.header.EventID = ERROR_ACCESS_DENIED;
    record.header.EventCategory = ERROR_TOO_MANY_OPEN_FILES;
    EXPECT_EQ("Access denied.", ElementText(record.Bytes(), kMessageElement));
    EXPECT_EQ("Too many open files.", ElementText(record.Bytes(), kCategoryElement));
    record.header.EventID = 1000;
    record.strings = {"%%5", "%%1100"};
    EXPECT_EQ("The service Access denied. entered the the device is not ready state.",
              ElementText(record.Bytes(), kMessageElement));
    record.header.EventID = kNowhereId;
    EXPECT_EQ("", ElementText(record.Bytes(), kMessageElement));
    RestoreTestRegistry({kSourceKey});
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
