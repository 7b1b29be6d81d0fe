// readNextEventLogRecord over logs of 1,000, 10,000 and 100,000 records with every field, and
// checkInstanceExists of the last record of the largest, each against its floor: the two reads
// per record, a fresh registry lookup and message file load per message, category and parameter
// message (nothing may be cached), the account lookup, and the nine strings of the result. The
// event log exports write no diagnostic records, so neither does the floor.
#include "bench/BenchSupport.h"
#include "tests/support/Machine.h"

#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr char kMessages[] = PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll";
constexpr jshort kEveryField = 0x01FF;
constexpr DWORD kReadNext = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
constexpr DWORD kMessageFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                                FORMAT_MESSAGE_ARGUMENT_ARRAY;
// "The service %1 entered the %2 state.", whose second insert brings parameter message 1101.
constexpr DWORD kMessageId = 1000;
constexpr WORD kCategory = 2;
// The last record alone has this category, so that a check compares the hash once.
constexpr WORD kLastCategory = 3;
const int kSizes[] = {1000, 10000, 100000};

std::string g_folder;
std::string g_lastKey;

std::string LogName(long records) {
    return "Bench" + std::to_string(records);
}
std::string SourceName(long records) {
    return "BenchSource" + std::to_string(records);
}

// A log of its own in the throw-away prefix, large enough that its ring holds every record.
bool RegisterLog(int records) {
    const std::string logKey = std::string(kEventLogKey) + "\\" + LogName(records);
    return PutEventLog(LogName(records), "Z:" + g_folder + "/" + LogName(records) + ".evt",
                       {{SourceName(records), kMessages, kMessages}}) &&
           SetDword(logKey, "MaxSize", 0x10000000) && SetDword(logKey, "Retention", 0);
}

bool WriteRecords(int records) {
    const WORD types[] = {EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE};
    std::vector<std::string> services(records);
    std::vector<MachineEvent> events(records);
    for (int i = 0; i < records; ++i) {
        services[i] = "BenchService" + std::to_string(i);
        DWORD data[2] = {(DWORD)i, 0xC0FFEEu};
        MachineEvent& event = events[i];
        event.source = SourceName(records);
        event.type = types[i % 3];
        event.category = i + 1 == records ? kLastCategory : kCategory;
        event.id = kMessageId;
        event.strings = {services[i].c_str(), "%%1101"};
        event.data.assign((const char*)data, sizeof data);
        event.system = true;
    }
    return ReportMachineEvents(events);
}

// The registry in memory and the logs' files in a folder of this run's own.
bool PrepareLogs() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pallwick-bench-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    g_folder = pattern;
    std::filesystem::create_directories(g_folder + "/drive_c");
    setenv("WINEPREFIX", g_folder.c_str(), 1);
    RegistryResetForTests();
    for (int records : kSizes) {
        if (!RegisterLog(records) || !WriteRecords(records)) {
            return false;
        }
    }
    return true;
}

jlong OpenLog(JNIEnv* env, jstring name) {
    return Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_openEventLog(
        env, nullptr, name);
}

void ReadRecords(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    jstring name = env->NewStringUTF(LogName(state.range(0)).c_str());
    long read = 0;
    for (auto _ : state) {
        jlong log = OpenLog(env, name);
        read = 0;
        for (
            jobjectArray record;
            (record =
                 Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_readNextEventLogRecord(
                     env, nullptr, log, kEveryField, name)) != nullptr;
            ++read) {
            env->DeleteLocalRef(record);
        }
        Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_closeEventLog(
            env, nullptr, log);
    }
    if (read != state.range(0)) {
        state.SkipWithError("the log does not hold the records written");
    }
    state.counters["records/s"] =
        benchmark::Counter((double)read, benchmark::Counter::kIsIterationInvariantRate);
    env->DeleteLocalRef(name);
}

// The floor's side of a record: the Win32 calls and buffers the export cannot do without.

EVENTLOGRECORD* ReadNext(HANDLE log) {
    BYTE probe[1];
    DWORD bytesRead = 0, needed = 0;
    if (ReadEventLogA(log, kReadNext, 0, probe, 0, &bytesRead, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return nullptr;
    }
    auto* record = (EVENTLOGRECORD*)malloc(needed);
    if (!ReadEventLogA(log, kReadNext, 0, record, needed, &bytesRead, &needed)) {
        free(record);
        return nullptr;
    }
    return record;
}

// One lookup as it must be made every time: the source's key, its value, the file, the text.
void LookUp(const char* logName, const char* source, DWORD id, const char* valueName, char* text,
            size_t capacity) {
    text[0] = '\0';
    char keyPath[1024];
    snprintf(keyPath, sizeof keyPath, "%s\\%s\\%s", kEventLogKey, logName, source);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
    DWORD size = 0;
    RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size);
    char* path = (char*)malloc(size + 1);
    RegQueryValueExA(key, valueName, nullptr, nullptr, (BYTE*)path, &size);
    path[size] = '\0';
    RegCloseKey(key);
    char expanded[2048];
    ExpandEnvironmentStringsA(path, expanded, sizeof expanded);
    free(path);
    HMODULE module = LoadLibraryExA(expanded, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char* formatted = nullptr;
    DWORD length = FormatMessageA(kMessageFlags, module, id, 0, (LPSTR)&formatted, 0, nullptr);
    if (length >= 2 && length - 2 < capacity) {
        memcpy(text, formatted, length - 2);
        text[length - 2] = '\0';
    }
    LocalFree(formatted);
    FreeLibrary(module);
}

int32_t Hash(const char* text) {
    int32_t length = (int32_t)strlen(text);
    uint32_t hash = 0;
    for (int32_t i = 0; i < length; ++i) {
        hash += (uint32_t)((int32_t)(signed char)text[i] * 31) ^ (uint32_t)(length - 1 - i);
    }
    return (int32_t)hash;
}

// The message with its two inserts put in, then the parameter message the second one brings.
void Expand(const EVENTLOGRECORD* record, const char* logName, const char* source, char* message,
            size_t capacity) {
    const char* first = (const char*)record + record->StringOffset;
    const char* second = first + strlen(first) + 1;
    std::string text = message;
    text.replace(text.find("%1"), 2, first);
    text.replace(text.find("%2"), 2, second);
    size_t parameterAt = text.find("%%");
    char* digitsEnd = nullptr;
    DWORD parameterId = (DWORD)strtoul(text.c_str() + parameterAt + 2, &digitsEnd, 10);
    char parameter[4096];
    LookUp(logName, source, parameterId, "EventMessageFile", parameter, sizeof parameter);
    text.replace(parameterAt, (size_t)(digitsEnd - text.c_str()) - parameterAt, parameter);
    snprintf(message, capacity, "%s", text.c_str());
}

void SetElement(JNIEnv* env, jobjectArray array, int index, const char* text) {
    jstring string = env->NewStringUTF(text);
    env->SetObjectArrayElement(array, index, string);
    env->DeleteLocalRef(string);
}

jobjectArray FloorRecord(JNIEnv* env, const EVENTLOGRECORD* record, const char* logName,
                         char* text) {
    const char* source = (const char*)(record + 1);
    jclass stringClass = env->FindClass("java/lang/String");
    jstring empty = env->NewStringUTF("");
    jobjectArray array = env->NewObjectArray(9, stringClass, empty);
    env->DeleteLocalRef(empty);
    env->DeleteLocalRef(stringClass);
    char number[32];
    snprintf(number, sizeof number, "%u", (unsigned)record->EventType);
    SetElement(env, array, 1, number);
    SetElement(env, array, 2, source);
    LookUp(logName, source, record->EventCategory, "CategoryMessageFile", text, 32768);
    SetElement(env, array, 3, text[0] != '\0' ? text : "None");
    snprintf(number, sizeof number, "%u", (unsigned)(record->EventID & 0xFFFF));
    SetElement(env, array, 4, number);
    char hex[2 * 64 + 1] = "";
    const BYTE* data = (const BYTE*)record + record->DataOffset;
    for (DWORD i = 0; i < record->DataLength && i < 64; ++i) {
        snprintf(hex + 2 * i, 3, "%02X", data[i]);
    }
    SetElement(env, array, 5, hex);
    snprintf(number, sizeof number, "%lld", (long long)record->TimeWritten * 1000);
    SetElement(env, array, 6, number);
    LookUp(logName, source, record->EventID, "EventMessageFile", text, 32768);
    Expand(record, logName, source, text, 32768);
    SetElement(env, array, 7, text);
    char name[1024], domain[1024], user[2048];
    DWORD nameLength = sizeof name, domainLength = sizeof domain;
    SID_NAME_USE use;
    LookupAccountSidA(nullptr, (PSID)((const BYTE*)record + record->UserSidOffset), name,
                      &nameLength, domain, &domainLength, &use);
    snprintf(user, sizeof user, "%s\\%s", domain, name);
    SetElement(env, array, 8, user);
    LookUp(logName, source, record->EventID, "EventMessageFile", text, 32768);
    char key[1024];
    snprintf(key, sizeof key, "%s:%ld:%ld:%ld:%d:%d:%ld", logName, (long)record->TimeGenerated,
             (long)record->TimeWritten, (long)(int32_t)record->EventID, record->EventType,
             record->EventCategory, (long)Hash(text));
    SetElement(env, array, 0, key);
    return array;
}

std::string ElementText(JNIEnv* env, jobjectArray array, int index) {
    auto element = (jstring)env->GetObjectArrayElement(array, index);
    const char* chars = env->GetStringUTFChars(element, nullptr);
    std::string text = chars;
    env->ReleaseStringUTFChars(element, chars);
    env->DeleteLocalRef(element);
    return text;
}

// A floor that made other texts than the export would measure other work: the first record of a
// log must read the same both ways.
bool FloorGivesExportTexts(JNIEnv* env, const std::string& logName, char* text) {
    jstring name = env->NewStringUTF(logName.c_str());
    jlong exportLog = OpenLog(env, name);
    jobjectArray exported =
        Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_readNextEventLogRecord(
            env, nullptr, exportLog, kEveryField, name);
    Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_closeEventLog(
        env, nullptr, exportLog);
    HANDLE log = OpenEventLogA(nullptr, logName.c_str());
    EVENTLOGRECORD* record = ReadNext(log);
    CloseEventLog(log);
    bool same = exported != nullptr && record != nullptr;
    jobjectArray floor = same ? FloorRecord(env, record, logName.c_str(), text) : nullptr;
    for (int index = 0; same && index < 9; ++index) {
        same = ElementText(env, exported, index) == ElementText(env, floor, index);
        if (!same) {
            fprintf(stderr, "element %d: export '%s', floor '%s'\n", index,
                    ElementText(env, exported, index).c_str(),
                    ElementText(env, floor, index).c_str());
        }
    }
    free(record);
    env->DeleteLocalRef(floor);
    env->DeleteLocalRef(exported);
    env->DeleteLocalRef(name);
    return same;
}

void ReadRecordsFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    std::string logName = LogName(state.range(0));
    char* text = (char*)malloc(32768);
    if (!FloorGivesExportTexts(env, logName, text)) {
        state.SkipWithError("the floor's texts are not the export's");
    }
    long read = 0;
    for (auto _ : state) {
        HANDLE log = OpenEventLogA(nullptr, logName.c_str());
        read = 0;
        for (EVENTLOGRECORD* record; (record = ReadNext(log)) != nullptr; ++read) {
            env->DeleteLocalRef(FloorRecord(env, record, logName.c_str(), text));
            free(record);
        }
        CloseEventLog(log);
    }
    state.counters["records/s"] =
        benchmark::Counter((double)read, benchmark::Counter::kIsIterationInvariantRate);
    free(text);
}

// The key of the largest log's last record, as the export reports it.
std::string LastKey() {
    JNIEnv* env = BenchJniEnv();
    jstring name = env->NewStringUTF(LogName(kSizes[2]).c_str());
    jlong log = OpenLog(env, name);
    std::string key;
    for (
        jobjectArray record;
        (record =
             Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_readNextEventLogRecord(
                 env, nullptr, log, 1, name)) != nullptr;) {
        auto element = (jstring)env->GetObjectArrayElement(record, 0);
        const char* chars = env->GetStringUTFChars(element, nullptr);
        key = chars;
        env->ReleaseStringUTFChars(element, chars);
        env->DeleteLocalRef(element);
        env->DeleteLocalRef(record);
    }
    Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_closeEventLog(
        env, nullptr, log);
    env->DeleteLocalRef(name);
    return key;
}

void CheckLastRecord(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    if (g_lastKey.empty()) {
        g_lastKey = LastKey();
    }
    jstring key = env->NewStringUTF(g_lastKey.c_str());
    bool found = false;
    for (auto _ : state) {
        found =
            Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_checkInstanceExists(
                env, nullptr, key) == JNI_TRUE;
    }
    if (!found) {
        state.SkipWithError("the last record's key was not found");
    }
    state.counters["records/s"] =
        benchmark::Counter((double)kSizes[2], benchmark::Counter::kIsIterationInvariantRate);
    env->DeleteLocalRef(key);
}

// The scan: the five numbers of every record, then the message's hash for the one that matches.
void CheckLastRecordFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    if (g_lastKey.empty()) {
        g_lastKey = LastKey();
    }
    jstring key = env->NewStringUTF(g_lastKey.c_str());
    char* text = (char*)malloc(32768);
    for (auto _ : state) {
        const char* chars = env->GetStringUTFChars(key, nullptr);
        char logName[256];
        long numbers[6];
        sscanf(chars, "%255[^:]:%ld:%ld:%ld:%ld:%ld:%ld", logName, &numbers[0], &numbers[1],
               &numbers[2], &numbers[3], &numbers[4], &numbers[5]);
        env->ReleaseStringUTFChars(key, chars);
        HANDLE log = OpenEventLogA(nullptr, logName);
        bool found = false;
        for (EVENTLOGRECORD* record; !found && (record = ReadNext(log)) != nullptr;) {
            if ((long)record->TimeGenerated == numbers[0] &&
                (long)record->TimeWritten == numbers[1] &&
                (long)(int32_t)record->EventID == numbers[2] && record->EventType == numbers[3] &&
                record->EventCategory == numbers[4]) {
                LookUp(logName, (const char*)(record + 1), record->EventID, "EventMessageFile",
                       text, 32768);
                found = Hash(text) == numbers[5];
            }
            free(record);
        }
        CloseEventLog(log);
        benchmark::DoNotOptimize(found);
    }
    state.counters["records/s"] =
        benchmark::Counter((double)kSizes[2], benchmark::Counter::kIsIterationInvariantRate);
    free(text);
    env->DeleteLocalRef(key);
}

BENCHMARK(ReadRecords)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadRecordsFloor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(CheckLastRecord)->Unit(benchmark::kMillisecond);
BENCHMARK(CheckLastRecordFloor)->Unit(benchmark::kMillisecond);

// One call's result: the first record of a log.
int64_t RecordBytes(JNIEnv* env, int records) {
    jstring name = env->NewStringUTF(LogName(records).c_str());
    jlong log = OpenLog(env, name);
    jobjectArray record =
        Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_readNextEventLogRecord(
            env, nullptr, log, kEveryField, name);
    int64_t bytes = BenchJavaBytes(env, record);
    Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_closeEventLog(
        env, nullptr, log);
    env->DeleteLocalRef(record);
    env->DeleteLocalRef(name);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (!PrepareLogs()) {
        return 1;
    }
    BenchPair("ReadRecords/1000", "ReadRecordsFloor/1000");
    BenchPair("ReadRecords/10000", "ReadRecordsFloor/10000");
    BenchPair("ReadRecords/100000", "ReadRecordsFloor/100000");
    BenchPair("CheckLastRecord", "CheckLastRecordFloor");
    // Growth from 1,000 to 100,000 records: linear is 100.
    BenchPair("ReadRecords/100000", "ReadRecords/1000");
    for (int records : kSizes) {
        BenchResultSize("ReadRecords/" + std::to_string(records),
                        [records](JNIEnv* env) { return RecordBytes(env, records); });
    }
    int result = RunBenchmarks(argc, argv);
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
    return result;
}
