#include "tests/sweep/SweepCases.h"

#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"
#include "InventoryAgents/NativeWinNTServices/NativeWinNTServices.h"
#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent.h"

#include <string.h>

#include <sstream>

#include <gtest/gtest.h>

#define EXPORT(agent, method) Java_com_quorvane_inventory_inventoryagent_##agent##_##method

namespace {

constexpr char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kSweepKey[] = "Software\\Quorvane\\Sweep";
constexpr char kSweepKeyPath[] = "HKEY_LOCAL_MACHINE\\Software\\Quorvane\\Sweep";
constexpr char kSecondProgram[] = "{6F1C2A40-0D7B-4C1E-9B55-2A7D3E8F1002}";
constexpr char kNamelessProgram[] = "SweepUpdate";
constexpr char kLogKey[] = "System\\CurrentControlSet\\Services\\EventLog\\SweepLog";
constexpr char kLog[] = "SweepLog";
constexpr char kSource[] = "SweepSource";
constexpr char kBareSource[] = "SweepBare";
constexpr jshort kAllFields = 0x01FF;

HKEY CreateKey(const std::string& path) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    return key;
}

void SetText(HKEY key, const char* name, const char* text, DWORD type = REG_SZ) {
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text),
                                            static_cast<DWORD>(strlen(text) + 1)));
}

void SetDword(HKEY key, const char* name, DWORD value) {
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&value), sizeof value));
}

void SetBytes(HKEY key, const char* name, DWORD type, const char* bytes, DWORD size) {
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes), size));
}

// Two programs with a value of each kind the attributes are formatted from, and a key without a
// DisplayName, which the collection passes over.
void PrepareInstalledPrograms() {
    const char* const programs[] = {"SweepViewer", kSecondProgram};
    for (const char* program : programs) {
        HKEY key = CreateKey(std::string(kUninstall) + "\\" + program);
        SetText(key, "DisplayName", program);
        SetText(key, "Publisher", "Quorvane");
        SetDword(key, "EstimatedSize", 4096);
        SetDword(key, "Language", 1031);
        SetText(key, "InstallLocation", "%ProgramFiles%\\Sweep", REG_EXPAND_SZ);
        SetBytes(key, "Signature", REG_BINARY, "\x01\xAB\xFF", 3);
        SetBytes(key, "Comments", REG_MULTI_SZ, "one\0two\0", 9);
        RegCloseKey(key);
    }
    RegCloseKey(CreateKey(std::string(kUninstall) + "\\" + kNamelessProgram));
}

void PrepareServices() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager);
    for (const char* name : {"SweepService", "SweepDriver"}) {
        bool driver = strcmp(name, "SweepDriver") == 0;
        SC_HANDLE service = CreateServiceA(
            manager, name, name, SERVICE_ALL_ACCESS,
            driver ? SERVICE_KERNEL_DRIVER : SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
            SERVICE_ERROR_NORMAL, driver ? "C:\\drivers\\s.sys" : "C:\\svc\\s.exe", nullptr,
            nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, service) << GetLastError();
        SERVICE_DESCRIPTIONA description = {const_cast<char*>("Swept")};
        EXPECT_TRUE(ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &description));
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

void PrepareEventLog() {
    HKEY log = CreateKey(kLogKey);
    SetText(log, "File", "C:\\SweepLog.evt");
    RegCloseKey(log);
    HKEY source = CreateKey(std::string(kLogKey) + "\\" + kSource);
    const std::string messages = PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll";
    SetText(source, "EventMessageFile", messages.c_str());
    SetText(source, "CategoryMessageFile", messages.c_str());
    RegCloseKey(source);
    HANDLE reporter = RegisterEventSourceA(nullptr, kSource);
    ASSERT_NE(nullptr, reporter);
    const char* strings[] = {"%%1100", "inserted"};
    std::string sid("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);
    char data[] = "\x01\x02\xFE";
    EXPECT_TRUE(
        ReportEventA(reporter, EVENTLOG_WARNING_TYPE, 1, 1000, sid.data(), 2, 3, strings, data));
    DeregisterEventSource(reporter);
    // A second record, of a source without message files.
    RegCloseKey(CreateKey(std::string(kLogKey) + "\\" + kBareSource));
    HANDLE bare = RegisterEventSourceA(nullptr, kBareSource);
    ASSERT_NE(nullptr, bare);
    const char* bareStrings[] = {"alone"};
    EXPECT_TRUE(ReportEventA(bare, EVENTLOG_ERROR_TYPE, 0, 7, nullptr, 1, 0, bareStrings, nullptr));
    DeregisterEventSource(bare);
}

void PrepareRegistryKeys() {
    HKEY key = CreateKey(kSweepKey);
    SetText(key, nullptr, "the default");
    SetText(key, "Text", "a text");
    SetText(key, "Path", "%SystemRoot%\\x", REG_EXPAND_SZ);
    SetDword(key, "Number", 7);
    SetBytes(key, "Blob", REG_BINARY, "\x00\x7F\x80", 3);
    RegCloseKey(key);
    for (const char* child : {"\\First", "\\Second"}) {
        RegCloseKey(CreateKey(std::string(kSweepKey) + child));
    }
}

// A local reference of the host for the text, made outside any native method.
jstring Text(SweepSession& session, const char* text) {
    return NewJavaString(session.env, text);
}

std::string ArrayResult(SweepSession& session, jobject array) {
    std::string text = StringArrayText(session.env, static_cast<jobjectArray>(array));
    session.env->DeleteLocalRef(array);
    return text;
}

// "Vector[n]" and each element's text on a line of its own; "null" for null.
std::string CollectionResult(SweepSession& session, jobject collection,
                             std::string (*elementText)(JNIEnv* env, jobject element)) {
    if (collection == nullptr) {
        return "null";
    }
    jint size = CollectionSize(session.env, collection);
    std::string text = "Vector[" + std::to_string(size) + "]";
    for (jint i = 0; i < size; ++i) {
        jobject element = CollectionElement(session.env, collection, i);
        text += "\n  " + elementText(session.env, element);
        session.env->DeleteLocalRef(element);
    }
    return text;
}

std::string StringArrayElementText(JNIEnv* env, jobject element) {
    return StringArrayText(env, static_cast<jobjectArray>(element));
}

// An export of one text argument whose result is an object, printed as text.
template <typename Export>
std::string ObjectFromText(SweepSession& s, Export function, const char* argument) {
    jstring text = Text(s, argument);
    return ArrayResult(s, CallNative(s, [&] { return function(s.env, nullptr, text); }));
}

// An export of one text argument whose result is a number or a boolean, printed by print.
template <typename Export, typename Print>
std::string ValueFromText(SweepSession& s, Export function, const char* argument, Print print) {
    jstring text = Text(s, argument);
    decltype(function(s.env, nullptr, text)) result{};
    CallNative(s, [&] {
        result = function(s.env, nullptr, text);
        return nullptr;
    });
    return print(result);
}

std::string CollectVersionInformationOf(SweepSession& s, const char* file) {
    jstring path = Text(s, (std::string(PALLWICK_VERSION_FIXTURES "/") + file).c_str());
    jobject vector = CallNative(s, [&] {
        return EXPORT(WindowsExecutableMetadataFileInventoryAgent,
                      collectVersionInformationForFile)(s.env, nullptr, path);
    });
    return CollectionResult(s, vector, StringArrayElementText);
}

std::string CollectVersionInformation(SweepSession& s) {
    return CollectVersionInformationOf(s, "TwoTranslations.dll");
}

std::string CollectEveryVersionString(SweepSession& s) {
    return CollectVersionInformationOf(s, "AllStrings.dll");
}

std::string GetAttributeValues(SweepSession& s) {
    jobjectArray names =
        NewJavaStringArray(s.env, {"DisplayName", "EstimatedSize", "Missing", "Language",
                                   "InstallLocation", "Signature", "Comments", "ProductID"});
    jintArray codes = NewJavaIntArray(s.env, {1, 2, 3, 4, 5, 6, 7, 8});
    jobject vector =
        NewJavaObject(s.env, "com/quorvane/inventory/inventoryagent/InventoryResultVector");
    jbyte result = 0;
    CallNative(s, [&] {
        result = EXPORT(InstalledSoftwaresAgent, getAttributeValues)(s.env, nullptr, names, codes,
                                                                     vector, JNI_FALSE, 1000);
        return nullptr;
    });
    return ByteText(result) + " " + CollectionResult(s, vector, AttributeValueText);
}

// The keys the installed software agent keeps open between calls are let go after each run.
void ReleaseInstalledKeys(SweepSession& s) {
    CallNative(s, [&] {
        EXPORT(InstalledSoftwaresAgent, releaseResources)(s.env, nullptr);
        return nullptr;
    });
}

std::string GetServices(SweepSession& s) {
    jobject vector = NewJavaObject(s.env, "java/util/Vector");
    jboolean result = JNI_FALSE;
    CallNative(s, [&] {
        result = EXPORT(WinNTServiceInventoryAgent,
                        getServices__Ljava_util_Vector_2)(s.env, nullptr, vector);
        return nullptr;
    });
    return BooleanText(result) + " " + CollectionResult(s, vector, ServiceText);
}

std::string GetAllLogFileNames(SweepSession& s) {
    return ArrayResult(s, CallNative(s, [&] {
                           return EXPORT(WindowsEventLogInventoryAgent,
                                         getAllLogFileNames)(s.env, nullptr);
                       }));
}

std::string OpenEventLog(SweepSession& s) {
    jstring name = Text(s, kLog);
    CallNative(s, [&] {
        s.handle = EXPORT(WindowsEventLogInventoryAgent, openEventLog)(s.env, nullptr, name);
        return nullptr;
    });
    return s.handle != 0 ? "handle" : "0";
}

void OpenLogBefore(SweepSession& s) {
    OpenEventLog(s);
    EXPECT_NE(0, s.handle);
}

std::string ReadNextEventLogRecord(SweepSession& s);

void OpenLogAndReadOneBefore(SweepSession& s) {
    OpenLogBefore(s);
    ReadNextEventLogRecord(s);
}

void CloseLogAfter(SweepSession& s) {
    if (s.handle != 0) {
        CallNative(s, [&] {
            EXPORT(WindowsEventLogInventoryAgent, closeEventLog)(s.env, nullptr, s.handle);
            return nullptr;
        });
        s.handle = 0;
    }
}

std::string CloseEventLog(SweepSession& s) {
    jint result = 0;
    CallNative(s, [&] {
        result = EXPORT(WindowsEventLogInventoryAgent, closeEventLog)(s.env, nullptr, s.handle);
        return nullptr;
    });
    s.handle = result != 0 ? 0 : s.handle;
    return result != 0 ? "non-zero" : "0";
}

std::string ReadNextEventLogRecord(SweepSession& s) {
    jstring name = Text(s, kLog);
    return ArrayResult(s, CallNative(s, [&] {
                           return EXPORT(WindowsEventLogInventoryAgent, readNextEventLogRecord)(
                               s.env, nullptr, s.handle, kAllFields, name);
                       }));
}

// The key of the one record, as a clean read gives it.
std::string g_recordKey;

void ReadRecordKey(SweepSession& s) {
    if (!g_recordKey.empty()) {
        return;
    }
    OpenLogBefore(s);
    jstring name = Text(s, kLog);
    jobject record = CallNative(s, [&] {
        return EXPORT(WindowsEventLogInventoryAgent,
                      readNextEventLogRecord)(s.env, nullptr, s.handle, kAllFields, name);
    });
    CloseLogAfter(s);
    std::vector<std::string> fields = TakeJavaStringTexts(s.env, static_cast<jobjectArray>(record));
    // Wine's event log keeps no records: a key of the same form stands in for it there.
    g_recordKey = fields.empty() ? "SweepLog:1:1:1000:2:1:0" : fields[0];
}

// Live values differ from run to run: only how many came back counts.
std::string GetCounterValues(SweepSession& s) {
    jobjectArray paths = NewJavaStringArray(
        s.env, {"\\Processor(_Total)\\% Processor Time", "\\Memory\\Available Bytes"});
    auto values = static_cast<jdoubleArray>(CallNative(s, [&] {
        return EXPORT(WindowsPerfmonInventoryAgent, getCounterValues)(s.env, nullptr, paths, 0);
    }));
    if (values == nullptr) {
        return "null";
    }
    std::string text = "double[" + std::to_string(s.env->GetArrayLength(values)) + "]";
    s.env->DeleteLocalRef(values);
    return text;
}

std::string GetValue(SweepSession& s) {
    jstring path = Text(s, kSweepKeyPath);
    jstring name = Text(s, "Path");
    return ArrayResult(s, CallNative(s, [&] {
                           return EXPORT(WindowsRegistryInventoryAgent, getValue)(s.env, nullptr,
                                                                                  path, name);
                       }));
}

std::string GetBinaryValue(SweepSession& s) {
    jstring path = Text(s, kSweepKeyPath);
    jstring name = Text(s, "Blob");
    return ArrayResult(s, CallNative(s, [&] {
                           return EXPORT(WindowsRegistryInventoryAgent, getValue)(s.env, nullptr,
                                                                                  path, name);
                       }));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The blank-separated words of a line; a quoted text, escapes and all, stays in one.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ' && !quoted) {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
            continue;
        }
        word += c;
        if (c == '\\' && quoted && i + 1 < line.size()) {
            word += line[++i];
        } else if (c == '"') {
            quoted = !quoted;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

// A value left out: an empty or null text, alone, in a list or after its field's name.
bool IsBlank(std::string word) {
    size_t equals = word.find('=');
    word = equals == std::string::npos ? word : word.substr(equals + 1);
    while (!word.empty() && (word.back() == ',' || word.back() == ']')) {
        word.pop_back();
    }
    if (!word.empty() && word.front() == '[') {
        word.erase(0, 1);
    }
    return word == "\"\"" || word == "null";
}

bool SameBarBlanks(const std::string& clean, const std::string& result) {
    std::vector<std::string> cleanWords = Words(clean), resultWords = Words(result);
    if (cleanWords.size() != resultWords.size()) {
        return false;
    }
    for (size_t i = 0; i < cleanWords.size(); ++i) {
        if (cleanWords[i] != resultWords[i] && !IsBlank(resultWords[i])) {
            return false;
        }
    }
    return true;
}

// What a collection gives when one of its items could not be read: the same result value, and
// items of the clean run, some left out and some with fields left empty.
bool ItemsOfTheCleanRun(const std::string& clean, const std::string& result) {
    std::vector<std::string> cleanLines = Lines(clean), resultLines = Lines(result);
    if (cleanLines.size() == 1 && resultLines.size() == 1) {
        return SameBarBlanks(clean, result);
    }
    if (cleanLines.empty() || resultLines.empty() ||
        Words(cleanLines[0]).at(0) != Words(resultLines[0]).at(0) ||
        resultLines.size() > cleanLines.size()) {
        return false;
    }
    for (size_t i = 1; i < resultLines.size(); ++i) {
        bool found = false;
        for (size_t j = 1; j < cleanLines.size() && !found; ++j) {
            found = SameBarBlanks(cleanLines[j], resultLines[i]);
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

// What getValue gives when the key or the value could not be read.
constexpr char kNoValue[] = "[\"\", \"0\"]";

// A file whose translation list cannot be read is read with the default pair alone.
bool ReadWithTheDefaultTranslation(const std::string& clean, const std::string& result) {
    if (ItemsOfTheCleanRun(clean, result)) {
        return true; // a property that could not be read is empty
    }
    const std::string tail = "\"English (United States)\", \"7-bit ASCII\"]";
    return result.rfind("Vector[1]\n", 0) == 0 && result.size() > tail.size() &&
           result.compare(result.size() - tail.size(), tail.size(), tail) == 0;
}

// The quoted texts of a printed array, escapes kept; empty for "null".
std::vector<std::string> QuotedFields(const std::string& text) {
    std::vector<std::string> fields;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '"') {
            continue;
        }
        std::string field;
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            field += text[i];
            if (text[i] == '\\' && i + 1 < text.size()) {
                field += text[++i];
            }
        }
        fields.push_back(field);
    }
    return fields;
}

// The text with one run of characters left out (an insert whose text could not be found).
bool WithAPartLeftOut(const std::string& whole, const std::string& part) {
    if (part.size() > whole.size()) {
        return false;
    }
    size_t front = 0;
    while (front < part.size() && part[front] == whole[front]) {
        ++front;
    }
    size_t back = 0;
    while (back < part.size() - front &&
           part[part.size() - 1 - back] == whole[whole.size() - 1 - back]) {
        ++back;
    }
    return front + back == part.size();
}

// What a record's read gives when a lookup behind it fails: a message without its text, an
// insert or its hash in the key (0), the category "None", the user "N/A"; the rest is the clean
// read's.
bool RecordWithoutItsMessage(const std::string& clean, const std::string& result) {
    std::vector<std::string> expected = QuotedFields(clean), got = QuotedFields(result);
    if (expected.empty() || got.size() != expected.size()) {
        return false;
    }
    size_t hash = expected[0].rfind(':');
    if (got[0] != expected[0] && got[0] != expected[0].substr(0, hash + 1) + "0") {
        return false;
    }
    for (size_t i = 1; i < got.size(); ++i) {
        if (got[i] != expected[i] && !got[i].empty() && got[i] != "None" && got[i] != "N/A" &&
            !WithAPartLeftOut(expected[i], got[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

jobject CallNative(SweepSession& session, const std::function<jobject()>& body) {
    session.standIn.EnterNativeMethod();
    jobject result = session.standIn.LeaveNativeMethod(body());
    if (session.env->ExceptionCheck()) {
        jthrowable thrown = session.env->ExceptionOccurred();
        session.env->ExceptionClear();
        session.pendingException = ThrowableClassName(session.env, thrown);
        session.env->DeleteLocalRef(thrown);
    }
    return result;
}

void PrepareSweepMachine() {
    PrepareInstalledPrograms();
    PrepareServices();
    PrepareEventLog();
    PrepareRegistryKeys();
}

bool ClearSweepMachine() {
    bool cleared = true;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    for (const char* name : {"SweepService", "SweepDriver"}) {
        SC_HANDLE service = OpenServiceA(manager, name, DELETE);
        cleared = service != nullptr && DeleteService(service) && cleared;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    const std::string keys[] = {std::string(kUninstall) + "\\SweepViewer",
                                std::string(kUninstall) + "\\" + kSecondProgram,
                                std::string(kUninstall) + "\\" + kNamelessProgram,
                                std::string(kLogKey) + "\\" + kSource,
                                std::string(kLogKey) + "\\" + kBareSource,
                                kLogKey,
                                std::string(kSweepKey) + "\\First",
                                std::string(kSweepKey) + "\\Second",
                                kSweepKey};
    for (const std::string& key : keys) {
        cleared = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str()) == ERROR_SUCCESS && cleared;
    }
    return cleared;
}

const std::vector<SweepCase>& SweepCases() {
    static const std::vector<SweepCase> cases = {
        {"checkRootDirectory",
         nullptr,
         [](SweepSession& s) {
             return ValueFromText(s, EXPORT(BasicFileInventoryAgent, checkRootDirectory), "C:\\",
                                  BooleanText);
         },
         nullptr,
         {"false"},
         nullptr},
        {"collectVersionInformationForFile",
         nullptr,
         CollectVersionInformation,
         nullptr,
         {"null"},
         ReadWithTheDefaultTranslation},
        {"collectVersionInformationForFile of every string",
         nullptr,
         CollectEveryVersionString,
         nullptr,
         {"null"},
         ReadWithTheDefaultTranslation},
        {"getAttributeValues",
         nullptr,
         GetAttributeValues,
         ReleaseInstalledKeys,
         {"-1"},
         ItemsOfTheCleanRun},
        {"installed checkInstance",
         nullptr,
         [](SweepSession& s) {
             return ValueFromText(s, EXPORT(InstalledSoftwaresAgent, checkInstance), "SweepViewer",
                                  BooleanText);
         },
         ReleaseInstalledKeys,
         {"false"},
         nullptr},
        {"getServices", nullptr, GetServices, nullptr, {"false"}, ItemsOfTheCleanRun},
        {"services checkInstance",
         nullptr,
         [](SweepSession& s) {
             return ValueFromText(s, EXPORT(WinNTServiceInventoryAgent, checkInstance),
                                  "SweepService", ByteText);
         },
         nullptr,
         {"-1"},
         nullptr},
        {"services checkInstance of a missing service",
         nullptr,
         [](SweepSession& s) {
             return ValueFromText(s, EXPORT(WinNTServiceInventoryAgent, checkInstance),
                                  "SweepNoSuchService", ByteText);
         },
         nullptr,
         {"-1"},
         nullptr},
        {"getAllLogFileNames", nullptr, GetAllLogFileNames, nullptr, {"null"}, ItemsOfTheCleanRun},
        {"openEventLog", nullptr, OpenEventLog, CloseLogAfter, {"0"}, nullptr},
        {"closeEventLog", OpenLogBefore, CloseEventLog, CloseLogAfter, {"0"}, nullptr},
        {"readNextEventLogRecord",
         OpenLogBefore,
         ReadNextEventLogRecord,
         CloseLogAfter,
         {"null"},
         RecordWithoutItsMessage},
        {"readNextEventLogRecord of a source without messages",
         OpenLogAndReadOneBefore,
         ReadNextEventLogRecord,
         CloseLogAfter,
         {"null"},
         RecordWithoutItsMessage},
        {"event log checkInstanceExists",
         ReadRecordKey,
         [](SweepSession& s) {
             return ValueFromText(s, EXPORT(WindowsEventLogInventoryAgent, checkInstanceExists),
                                  g_recordKey.c_str(), BooleanText);
         },
         nullptr,
         {"false"},
         nullptr},
        {"getExpandedCounterPaths",
         nullptr,
         [](SweepSession& s) {
             return ObjectFromText(s, EXPORT(WindowsPerfmonInventoryAgent, getExpandedCounterPaths),
                                   "\\Processor(*)\\% Processor Time");
         },
         nullptr,
         {"null"},
         nullptr},
        {"getExpandedCounterPaths of every memory counter",
         nullptr,
         [](SweepSession& s) {
             return ObjectFromText(s, EXPORT(WindowsPerfmonInventoryAgent, getExpandedCounterPaths),
                                   "\\Memory\\*");
         },
         nullptr,
         {"null"},
         nullptr},
        {"getCounterValues", nullptr, GetCounterValues, nullptr, {"null"}, nullptr},
        {"parseCounterPath",
         nullptr,
         [](SweepSession& s) {
             return ObjectFromText(s, EXPORT(WindowsPerfmonInventoryAgent, parseCounterPath),
                                   "\\\\host\\Process(parent/java#2)\\ID Process");
         },
         nullptr,
         {"null"},
         nullptr},
        {"perfmon checkInstanceExists",
         nullptr,
         [](SweepSession& s) {
             return ValueFromText(s, EXPORT(WindowsPerfmonInventoryAgent, checkInstanceExists),
                                  "\\Processor(_Total)\\% Processor Time", BooleanText);
         },
         nullptr,
         {"false"},
         nullptr},
        {"getChildKeyNames",
         nullptr,
         [](SweepSession& s) {
             return ObjectFromText(s, EXPORT(WindowsRegistryInventoryAgent, getChildKeyNames),
                                   kSweepKeyPath);
         },
         nullptr,
         {"null"},
         ItemsOfTheCleanRun},
        {"getChildValueNames",
         nullptr,
         [](SweepSession& s) {
             return ObjectFromText(s, EXPORT(WindowsRegistryInventoryAgent, getChildValueNames),
                                   kSweepKeyPath);
         },
         nullptr,
         {"null"},
         ItemsOfTheCleanRun},
        {"getValue", nullptr, GetValue, nullptr, {"null", kNoValue}, nullptr},
        {"getValue of binary data", nullptr, GetBinaryValue, nullptr, {"null", kNoValue}, nullptr},
        {"getDefaultValue",
         nullptr,
         [](SweepSession& s) {
             return ObjectFromText(s, EXPORT(WindowsRegistryInventoryAgent, getDefaultValue),
                                   kSweepKeyPath);
         },
         nullptr,
         {"null", kNoValue},
         nullptr},
        {"getLastModifiedTime",
         nullptr,
         [](SweepSession& s) {
             return ValueFromText(s, EXPORT(WindowsRegistryInventoryAgent, getLastModifiedTime),
                                  kSweepKeyPath, LongText);
         },
         nullptr,
         {"0", "-1"},
         nullptr},
        {"registry checkInstanceExists",
         nullptr,
         [](SweepSession& s) {
             return ValueFromText(s, EXPORT(WindowsRegistryInventoryAgent, checkInstanceExists),
                                  "HKEY_LOCAL_MACHINE\\Software\\Quorvane\\Sweep\\Number",
                                  ByteText);
         },
         nullptr,
         {"-1"},
         nullptr},
        {"registry checkInstanceExists of a key",
         nullptr,
         [](SweepSession& s) {
             return ValueFromText(s, EXPORT(WindowsRegistryInventoryAgent, checkInstanceExists),
                                  "HKLM\\Software\\Quorvane\\Sweep\\First", ByteText);
         },
         nullptr,
         {"-1"},
         nullptr},
    };
    return cases;
}
