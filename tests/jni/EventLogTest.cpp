#include "tests/jni/EventLogFixture.h"

#include <stdio.h>
#include <string.h>

#include <initializer_list>

namespace {

using Record = EventRecordTexts;

// A log file of one record from source Bare, as the event log service leaves it: the header, the
// record (its texts in UTF-16, as logs keep them), the end-of-file record. Written by hand so that
// the record can carry a time no clock of the test would give.
void WriteOneRecordLog(const std::string& path, DWORD timeWritten) {
    auto put = [](std::string* bytes, std::initializer_list<DWORD> values) {
        for (DWORD value : values) {
            bytes->append(reinterpret_cast<const char*>(&value), sizeof value);
        }
    };
    const DWORD signature = 0x654C664C, headerSize = 0x30, eofSize = 0x28;
    std::string texts = std::string("B\0a\0r\0e\0\0\0H\0O\0S\0T\0\0\0", 20);
    DWORD tail = 56 + (DWORD)texts.size();
    DWORD length = tail + 4;
    std::string record;
    put(&record, {length, signature, 1, timeWritten, timeWritten, 1003});
    put(&record, {EVENTLOG_INFORMATION_TYPE, 0}); // type and no strings, category 0
    put(&record, {0, tail, 0, tail, 0, tail});
    record += texts;
    put(&record, {length});
    std::string file;
    DWORD end = headerSize + length;
    put(&file, {headerSize, signature, 1, 1, headerSize, end, 2, 1, 0x10000, 0, 0, headerSize});
    file += record;
    put(&file,
        {eofSize, 0x11111111, 0x22222222, 0x33333333, 0x44444444, headerSize, end, 2, 1, eofSize});
    FILE* out = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(file.size(), fwrite(file.data(), 1, file.size(), out));
    fclose(out);
}

TEST_F(EventLogTest, LogNamesInRegistryOrderAndHandles) {
    PutKey(std::string(kEventLogKey) + "\\system");
    PutKey(std::string(kEventLogKey) + "\\Application");
    EXPECT_EQ(std::vector<std::string>({"Application", kLog, "system"}), LogNames());

    jlong handle = Open();
    EXPECT_NE(0, handle);
    EXPECT_NE(0, Close(handle));
    EXPECT_EQ(0, Close(handle)) << "closed already";
    EXPECT_EQ(0, Close(0));
    EXPECT_EQ(0, Open(nullptr));
    EXPECT_FALSE(env->ExceptionCheck());

    StartWithoutLogs();
    PutKey(kEventLogKey);
    EXPECT_EQ(std::nullopt, LogNames()) << "no logs";
}

// The logs of a Windows 7 machine as its SYSTEM hive holds them (their value names, and whether
// they have sources), and the keys Windows 10 keeps beside them for the service itself: every log
// is listed, those keys are not, whose names would open Application again.
TEST_F(EventLogTest, ServiceKeysBesideTheLogsAreNotListed) {
    struct Key {
        const char* name;
        std::vector<const char*> values;
        bool sources;
    };
    const std::vector<Key> keys = {
        {"Application", {"DisplayNameFile", "File", "MaxSize", "Retention"}, true},
        {"HardwareEvents",
         {"DisplayNameFile", "DisplayNameID", "File", "MaxSize", "Retention"},
         false},
        {"Internet Explorer", {"CustomSD"}, false},
        {"Key Management Service", {"MaxSize", "Retention"}, true},
        {"Media Center", {"MaxSize", "File", "Retention"}, true},
        {"OAlerts", {"DisplayNameFile", "DisplayNameID", "MaxSize", "PrimaryModule"}, true},
        {"Parameters", {"ServiceDll", "ServiceDllUnloadOnStop", "ServiceMain"}, false},
        {"Registered", {}, false},
        {"Security", {"Isolation", "MaxSizeUpper", "Security", "RestrictGuestAccess"}, true},
        {"State", {"LastComputerName", "6005BT"}, false},
        {"System", {"AutoBackupLogFiles", "File", "MaxSize", "Retention"}, true},
        {"Windows PowerShell", {"AutoBackupLogFiles", "MaxSize", "Sources", "Retention"}, true},
    };
    StartWithoutLogs();
    for (const Key& key : keys) {
        std::string path = std::string(kEventLogKey) + "\\" + key.name;
        PutKey(path);
        for (const char* value : key.values) {
            SetText(path, value, "1");
        }
        if (key.sources) {
            PutKey(path + "\\Source");
        }
    }
    EXPECT_EQ(std::vector<std::string>({"Application", "HardwareEvents", "Internet Explorer",
                                        "Key Management Service", "Media Center", "OAlerts",
                                        "Registered", "Security", "System", "Windows PowerShell"}),
              LogNames());

    PutKey(std::string(kEventLogKey) + "\\State\\Source");
    EXPECT_EQ(11u, LogNames()->size()) << "a key with sources is a log";
}

TEST_F(EventLogTest, EveryFieldOfARecord) {
    ReportedEvent event;
    event.type = EVENTLOG_WARNING_TYPE;
    event.category = 2;
    event.id = 1000;
    event.strings = {"Spooler", "stopped"};
    event.data = std::string("\x01\xAB\x00\xFF", 4);
    event.system = true;
    ReportMachineEvent(event);
    std::vector<std::vector<std::string>> records = ReadAll();
    ASSERT_EQ(1u, records.size());
    const std::vector<std::string>& record = records[0];
    ASSERT_EQ(9u, record.size());
    EXPECT_EQ("2", record[1]);
    EXPECT_EQ(kDescribed, record[2]);
    EXPECT_EQ("Storage", record[3]);
    EXPECT_EQ("1000", record[4]);
    EXPECT_EQ("01AB00FF", record[5]);
    EXPECT_EQ("The service Spooler entered the stopped state.", record[7]);
    EXPECT_EQ("NT AUTHORITY\\SYSTEM", record[8]);
    std::vector<std::string> key = KeyFields(record[0]);
    ASSERT_EQ(7u, key.size());
    EXPECT_EQ(kLog, key[0]);
    EXPECT_EQ(std::to_string(std::stoll(key[2]) * 1000), record[6]);
    EXPECT_EQ("1000", key[3]);
    EXPECT_EQ("2", key[4]);
    EXPECT_EQ("2", key[5]);
    EXPECT_NE("0", key[6]) << "the hash of the text before its inserts";
}

// A source without message files: no category, no message, a hash of 0; an error's id prints
// negative in the key and by its low half in its element.
TEST_F(EventLogTest, BareSourceAndAnErrorId) {
    ReportedEvent event;
    event.source = kBare;
    event.type = EVENTLOG_ERROR_TYPE;
    event.id = 0xC0000005;
    ReportMachineEvent(event);
    std::vector<std::vector<std::string>> records = ReadAll();
    ASSERT_EQ(1u, records.size());
    const std::vector<std::string>& record = records[0];
    EXPECT_EQ("None", record[3]);
    EXPECT_EQ("5", record[4]);
    EXPECT_EQ("", record[5]);
    EXPECT_EQ("", record[7]);
    EXPECT_EQ("N/A", record[8]);
    std::vector<std::string> key = KeyFields(record[0]);
    ASSERT_EQ(7u, key.size());
    EXPECT_EQ("-1073741819", key[3]);
    EXPECT_EQ("1", key[4]);
    EXPECT_EQ("0", key[6]);
}

// Inserts and parameter messages as the message files and the strings bring them; a value naming
// two files takes the text from the one that holds the id.
TEST_F(EventLogTest, MessageInsertsAndFiles) {
    SetText(kLogKey + "\\" + kDescribed, "EventMessageFile",
            ";%SystemRoot%\\missing.dll;;" + kMessages + ";" + kSecondMessages);
    ReportedEvent event;
    event.id = 1000;
    event.strings = {"%%1100", "%%1101x"};
    ReportMachineEvent(event);
    event.id = 1002;
    event.strings = {"C:", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "twelve"};
    ReportMachineEvent(event);
    event.id = kSecondFileOnlyId;
    event.strings = {"two"};
    ReportMachineEvent(event);
    std::vector<std::vector<std::string>> records = ReadAll();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ("The service the device is not ready entered the the medium is write protectedx "
              "state.",
              records[0][7]);
    EXPECT_EQ("Volume C: is %twelve percent full after c tries.", records[1][7]);
    EXPECT_EQ("Only the second file holds message two.", records[2][7]);
}

TEST_F(EventLogTest, TimeWrittenInMillisecondsSince1970) {
    WriteOneRecordLog(prefix_.DriveC() + "/PallwickTest.evt", 1);
    std::vector<std::vector<std::string>> records = ReadAll();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("1000", records[0][6]);
    EXPECT_EQ(std::string(kLog) + ":1:1:1003:4:0:0", records[0][0]);
}

// Mask 0 reads nothing; any other mask consumes one record, the key always filled.
TEST_F(EventLogTest, MaskSelectsFieldsAndOnlyANonZeroOneReads) {
    ReportedEvent event;
    event.id = 1003;
    ReportMachineEvent(event);
    event.id = 1000;
    ReportMachineEvent(event);
    jlong handle = Open();
    ASSERT_NE(0, handle);
    EXPECT_EQ(std::nullopt, Read(handle, 0));
    EXPECT_EQ(std::nullopt, Read(0));
    EXPECT_EQ(std::nullopt, Read(handle, kAllFields, nullptr));
    Record first = Read(handle, 0x0001);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(":1003", (*first)[0].substr((*first)[0].find(":1003"), 5));
    EXPECT_EQ(std::vector<std::string>(8, ""),
              std::vector<std::string>(first->begin() + 1, first->end()));
    Record second = Read(handle, 0x0010);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ("1000", (*second)[4]);
    EXPECT_EQ("", (*second)[1]);
    EXPECT_EQ(std::nullopt, Read(handle)) << "the end";
    EXPECT_NE(0, Close(handle));
}

TEST_F(EventLogTest, KeyFoundAgainUntilTheLogIsCleared) {
    ReportedEvent event;
    event.id = 1000;
    event.strings = {"a", "b"};
    ReportMachineEvent(event);
    event.source = kBare;
    ReportMachineEvent(event);
    std::vector<std::vector<std::string>> records = ReadAll();
    ASSERT_EQ(2u, records.size());
    EXPECT_TRUE(Check(records[0][0]));
    EXPECT_TRUE(Check(records[1][0])) << "no text on either side";
    std::vector<std::string> key = KeyFields(records[0][0]);
    EXPECT_FALSE(Check(kLog + (":" + key[1]) + ":" + key[2] + ":" + key[3] + ":" + key[4] + ":" +
                       key[5] + ":1"))
        << "another hash";
    EXPECT_FALSE(Check(std::string(kLog) + ":" + key[1] + ":" + key[2])) << "three fields";
    EXPECT_FALSE(Check("Missing:1:2:3:4:5:6"));

    HANDLE log = OpenEventLogA(nullptr, kLog);
    ASSERT_NE(nullptr, log);
    EXPECT_TRUE(ClearEventLogA(log, nullptr));
    CloseEventLog(log);
    EXPECT_FALSE(Check(records[0][0]));
}

// A log small enough to wrap many times: what is left reads oldest first, without a gap.
TEST_F(EventLogTest, ThousandRecordsInOrderAcrossTheRing) {
    SetDword(kLogKey, "MaxSize", 0x10000);
    SetDword(kLogKey, "Retention", 0);
    for (int i = 0; i < 1000; ++i) {
        std::string number = std::to_string(i);
        ReportedEvent event;
        event.id = 1000;
        event.strings = {number.c_str(), "running"};
        ReportMachineEvent(event);
    }
    std::vector<std::vector<std::string>> records = ReadAll(0x0080);
    ASSERT_GT(records.size(), 10u);
    EXPECT_LT(records.size(), 1000u) << "the ring wrapped";
    size_t first = 1000 - records.size();
    for (size_t i = 0; i < records.size(); ++i) {
        ASSERT_EQ("The service " + std::to_string(first + i) + " entered the running state.",
                  records[i][7]);
    }
}

// A JVM that refuses an array, a string or the chars answers null or false, its exception left
// pending, and the refusal reads no record.
TEST_F(EventLogTest, JvmRefusalsFailTheCall) {
    for (int i = 0; i < 4; ++i) {
        ReportMachineEvent(ReportedEvent());
    }
    jlong handle = Open();
    ASSERT_NE(0, handle);
    for (JniCall call : {JniCall::FindClass, JniCall::NewObjectArray, JniCall::NewStringUTF,
                         JniCall::SetObjectArrayElement}) {
        FailingJniEnv failing(env);
        failing.Fail({call});
        EXPECT_EQ(std::nullopt, LogNames(failing.env()));
        EXPECT_TRUE(env->ExceptionCheck());
        env->ExceptionClear();
    }
    // A refusal after the read costs its record; the one before it does not.
    for (JniFault fault : {JniFault(JniCall::GetStringUTFChars), JniFault(JniCall::NewObjectArray),
                           JniFault(JniCall::NewStringUTF, "", 3),
                           JniFault(JniCall::SetObjectArrayElement, "", 2)}) {
        FailingJniEnv failing(env);
        failing.Fail(fault);
        EXPECT_EQ(std::nullopt, Read(handle, kAllFields, kLog, failing.env()));
        EXPECT_TRUE(env->ExceptionCheck());
        env->ExceptionClear();
    }
    EXPECT_TRUE(Read(handle).has_value()) << "the last record is still next";
    EXPECT_EQ(std::nullopt, Read(handle));
    EXPECT_NE(0, Close(handle));
    FailingJniEnv failing(env);
    failing.Fail({JniCall::GetStringUTFChars});
    jstring key = JavaString("PallwickTest:1:2:3:4:5:6");
    EXPECT_FALSE(
        Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_checkInstanceExists(
            failing.env(), nullptr, key));
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
}

} // namespace
