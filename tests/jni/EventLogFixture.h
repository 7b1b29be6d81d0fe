// The event log exports' fixture: a log of the test's own, whose key under the EventLog key names
// a file in the throw-away prefix and whose sources name the message fixtures, with records put in
// through ReportEventA (ReportMachineEvent); the machine's own logs are set aside.
#pragma once

#include "tests/fixtures/messages/FixtureMessageIds.h"
#include "tests/support/FailingJniEnv.h"
#include "tests/support/JvmHarness.h"
#include "tests/support/TestMachine.h"
#include "tests/support/TestPrefix.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent.h"

#include <optional>
#include <string>
#include <vector>

using EventRecordTexts = std::optional<std::vector<std::string>>;

constexpr char kLog[] = "PallwickTest";
constexpr char kDescribed[] = "Described"; // its message files are the fixtures
constexpr char kBare[] = "Bare";           // no message files at all
constexpr jshort kAllFields = 0x01FF;
inline const std::string kLogKey = std::string(kEventLogKey) + "\\" + kLog;
inline const std::string kMessages = PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll";
inline const std::string kSecondMessages = PALLWICK_MESSAGE_FIXTURES "\\SecondMessages.dll";

// A record of the Described source unless told.
struct ReportedEvent : MachineEvent {
    ReportedEvent() { source = kDescribed; }
};

class EventLogTest : public JvmTest {
  protected:
    void SetUp() override {
        JvmTest::SetUp();
        StartWithoutLogs();
        PutEventLog(kLog, "C:\\PallwickTest.evt", {{kDescribed, kMessages, kMessages}, {kBare}});
    }
    void TearDown() override {
        RestoreTestRegistry({kEventLogKey});
        JvmTest::TearDown();
    }

    // The machine's own logs go aside: the case finds only what it writes.
    void StartWithoutLogs() {
        RestoreTestRegistry({kEventLogKey});
        SetAsideTestKey(kEventLogKey);
    }

    jlong Open(const char* name = kLog) {
        jstring text = name != nullptr ? JavaString(name) : nullptr;
        jlong handle =
            Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_openEventLog(
                env, nullptr, text);
        env->DeleteLocalRef(text);
        return handle;
    }
    jint Close(jlong handle) {
        return Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_closeEventLog(
            env, nullptr, handle);
    }
    EventRecordTexts Read(jlong handle, jshort mask = kAllFields, const char* logName = kLog,
                          JNIEnv* caller = nullptr) {
        jstring name = logName != nullptr ? JavaString(logName) : nullptr;
        jobjectArray array =
            Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_readNextEventLogRecord(
                caller != nullptr ? caller : env, nullptr, handle, mask, name);
        env->DeleteLocalRef(name);
        if (array == nullptr) {
            return std::nullopt;
        }
        return TakeJavaStrings(env, array);
    }
    // Every record from the oldest, on a handle of its own.
    std::vector<std::vector<std::string>> ReadAll(jshort mask = kAllFields) {
        std::vector<std::vector<std::string>> records;
        jlong handle = Open();
        EXPECT_NE(0, handle);
        for (EventRecordTexts record; (record = Read(handle, mask)).has_value();) {
            records.push_back(*record);
        }
        EXPECT_NE(0, Close(handle));
        return records;
    }
    bool Check(const std::string& key) {
        jstring text = JavaString(key.c_str());
        jboolean found =
            Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_checkInstanceExists(
                env, nullptr, text);
        env->DeleteLocalRef(text);
        return found == JNI_TRUE;
    }
    std::optional<std::vector<std::string>> LogNames(JNIEnv* caller = nullptr) {
        jobjectArray array =
            Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_getAllLogFileNames(
                caller != nullptr ? caller : env, nullptr);
        if (array == nullptr) {
            return std::nullopt;
        }
        return TakeJavaStrings(env, array);
    }

    TestPrefix prefix_;
};

// The key's fields: the log, the two times, the id signed, type, category, the message hash.
inline std::vector<std::string> KeyFields(const std::string& key) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t colon; (colon = key.find(':', start)) != std::string::npos; start = colon + 1) {
        fields.push_back(key.substr(start, colon - start));
    }
    fields.push_back(key.substr(start));
    return fields;
}
