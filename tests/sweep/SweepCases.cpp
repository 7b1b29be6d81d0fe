#include "tests/sweep/SweepCases.h"

#include "tests/host/ExportCall.h"
#include "tests/host/Scenarios.h"
#include "tests/host/StandInHostEnv.h"
#include "tests/support/Machine.h"
#include "tests/support/TestMachine.h"

#include <deque>
#include <sstream>

namespace {

constexpr char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kVendorKey[] = "Software\\Quorvane";
constexpr char kSweepKey[] = "Software\\Quorvane\\Sweep";
constexpr char kSweepKeyPath[] = "HKEY_LOCAL_MACHINE\\Software\\Quorvane\\Sweep";
constexpr char kPrograms[][40] = {"SweepViewer", "{6F1C2A40-0D7B-4C1E-9B55-2A7D3E8F1002}"};
constexpr char kNamelessProgram[] = "SweepUpdate";
constexpr char kServices[][16] = {"SweepService", "SweepDriver"};
constexpr char kLog[] = "SweepLog";
constexpr char kSource[] = "SweepSource";
constexpr char kBareSource[] = "SweepBare";
constexpr jshort kAllFields = 0x01FF;

// Two programs with a value of each kind the attributes are formatted from, and a key without a
// DisplayName, which the collection passes over.
void PrepareInstalledPrograms() {
    for (const char* program : kPrograms) {
        const std::string key = std::string(kUninstall) + "\\" + program;
        SetText(key, "DisplayName", program);
        SetText(key, "Publisher", "Quorvane");
        SetDword(key, "EstimatedSize", 4096);
        SetDword(key, "Language", 1031);
        SetText(key, "InstallLocation", "%ProgramFiles%\\Sweep", REG_EXPAND_SZ);
        SetValue(key, "Signature", REG_BINARY, "\x01\xAB\xFF", 3);
        SetValue(key, "Comments", REG_MULTI_SZ, "one\0two\0", 9);
    }
    PutKey(std::string(kUninstall) + "\\" + kNamelessProgram);
}

void PrepareServices() {
    PutService({kServices[0], kServices[0], SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                "C:\\svc\\s.exe", nullptr, "Swept"});
    PutService({kServices[1], kServices[1], SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                "C:\\drivers\\s.sys", nullptr, "Swept"});
}

// A record of a source with message files, and one of a source without.
void PrepareEventLog() {
    const std::string messages = PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll";
    PutEventLog(kLog, "C:\\SweepLog.evt", {{kSource, messages, messages}, {kBareSource}});
    MachineEvent described = {kSource, EVENTLOG_WARNING_TYPE, 1, 1000, {"%%1100", "inserted"}};
    described.data = std::string("\x01\x02\xFE", 3);
    described.system = true;
    ReportMachineEvents({described, {kBareSource, EVENTLOG_ERROR_TYPE, 0, 7, {"alone"}}});
}

void PrepareRegistryKeys() {
    HKEY key = CreateMachineKey(kSweepKey);
    SetText(key, nullptr, "the default");
    SetText(key, "Text", "a text");
    SetText(key, "Path", "%SystemRoot%\\x", REG_EXPAND_SZ);
    SetDword(key, "Number", 7);
    SetValue(key, "Blob", REG_BINARY, "\x00\x7F\x80", 3);
    RegCloseKey(key);
    for (const char* child : {"\\First", "\\Second"}) {
        PutKey(std::string(kSweepKey) + child);
    }
}

const ExportLibrary& LinkedExports() {
    static const ExportLibrary linked = ExportLibrary::Linked();
    return linked;
}

// The call made as the host makes it (ExportCall.h), on the stand-in whose calls the sweep fails
// and the exports linked into the sweep; an exception the export leaves pending is kept in the
// sweep's session.
template <typename Body> std::string AsHost(SweepSession& sweep, Body body) {
    StandInHostEnv host(sweep.standIn);
    Session session{host, sweep.env, LinkedExports(), 0, nullptr, &sweep.pendingException};
    return body(session);
}

template <Export which> std::string TextCall(SweepSession& sweep, const std::string& text) {
    return AsHost(sweep,
                  [&](Session& session) { return TextCallResult<which>(session, text.c_str()); });
}

std::string CollectVersionInformationOf(SweepSession& sweep, const char* file) {
    return AsHost(sweep, [&](Session& session) {
        std::string path = std::string(PALLWICK_VERSION_FIXTURES "/") + file;
        jobject vector = Call<Export::CollectVersionInformation>(
            session, NewJavaString(session.env, path.c_str()));
        return CollectionText(session.env, "Vector", vector, StringArrayElementText);
    });
}

std::string GetAttributeValues(SweepSession& sweep) {
    return AsHost(sweep, [](Session& session) {
        jobjectArray names = NewJavaStringArray(
            session.env, {"DisplayName", "EstimatedSize", "Missing", "Language", "InstallLocation",
                          "Signature", "Comments", "ProductID"});
        jintArray codes = NewJavaIntArray(session.env, {1, 2, 3, 4, 5, 6, 7, 8});
        jobject vector = NewJavaObject(
            session.env, "com/quorvane/inventory/inventoryagent/InventoryResultVector");
        jbyte result =
            Call<Export::GetAttributeValues>(session, names, codes, vector, JNI_FALSE, jint{1000});
        return ByteText(result) + " " +
               CollectionText(session.env, "Vector", vector, AttributeValueText);
    });
}

// The keys the installed software agent keeps open between calls are let go after each run.
void ReleaseInstalledKeys(SweepSession& sweep) {
    AsHost(sweep,
           [](Session& session) { return BooleanText(Call<Export::ReleaseResources>(session)); });
}

std::string GetServices(SweepSession& sweep) {
    return AsHost(sweep, [](Session& session) {
        jobject vector = NewJavaObject(session.env, "java/util/Vector");
        jboolean result = Call<Export::GetServices>(session, vector);
        return BooleanText(result) + " " +
               CollectionText(session.env, "Vector", vector, ServiceText);
    });
}

std::string OpenSweepLog(SweepSession& sweep) {
    return AsHost(sweep, [&](Session& session) {
        sweep.handle = Call<Export::OpenEventLogHandle>(session, NewJavaString(session.env, kLog));
        return HandleText(sweep.handle);
    });
}

void OpenLogBefore(SweepSession& sweep) {
    OpenSweepLog(sweep);
    EXPECT_NE(0, sweep.handle);
}

std::string CloseSweepLog(SweepSession& sweep) {
    return AsHost(sweep, [&](Session& session) {
        jint result = Call<Export::CloseEventLog>(session, sweep.handle);
        sweep.handle = result != 0 ? 0 : sweep.handle;
        return std::string(result != 0 ? "non-zero" : "0");
    });
}

void CloseLogAfter(SweepSession& sweep) {
    if (sweep.handle != 0) {
        CloseSweepLog(sweep);
        sweep.handle = 0;
    }
}

jobjectArray ReadNext(Session& session, jlong handle) {
    return Call<Export::ReadNextEventLogRecord>(session, handle, kAllFields,
                                                NewJavaString(session.env, kLog));
}

std::string ReadNextEventLogRecord(SweepSession& sweep) {
    return AsHost(sweep, [&](Session& session) {
        return ResultText(session.env, ReadNext(session, sweep.handle));
    });
}

void OpenLogAndReadOneBefore(SweepSession& sweep) {
    OpenLogBefore(sweep);
    ReadNextEventLogRecord(sweep);
}

// The key of the first record, as a clean read gives it.
std::string g_recordKey;

void ReadRecordKey(SweepSession& sweep) {
    if (!g_recordKey.empty()) {
        return;
    }
    OpenLogBefore(sweep);
    AsHost(sweep, [&](Session& session) {
        std::vector<std::string> fields =
            TakeJavaStringTexts(session.env, ReadNext(session, sweep.handle));
        // Wine's event log keeps no records: a key of the same form stands in for it there.
        g_recordKey = fields.empty() ? "SweepLog:1:1:1000:2:1:0" : fields[0];
        return g_recordKey;
    });
    CloseLogAfter(sweep);
}

// Live values differ from run to run: only how many came back counts.
std::string GetCounterValues(SweepSession& sweep) {
    return AsHost(sweep, [](Session& session) {
        jobjectArray paths = NewJavaStringArray(
            session.env, {"\\Processor(_Total)\\% Processor Time", "\\Memory\\Available Bytes"});
        jdoubleArray values = Call<Export::GetCounterValues>(session, paths, jint{0});
        if (values == nullptr) {
            return std::string("null");
        }
        std::string text = "double[" + std::to_string(session.env->GetArrayLength(values)) + "]";
        session.env->DeleteLocalRef(values);
        return text;
    });
}

std::string GetValueOf(SweepSession& sweep, const char* name) {
    return AsHost(sweep, [&](Session& session) {
        return ResultText(session.env,
                          Call<Export::GetValue>(session, NewJavaString(session.env, kSweepKeyPath),
                                                 NewJavaString(session.env, name)));
    });
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

SweepCase CallCase(const char* name, Export which, void (*before)(SweepSession&),
                   std::function<std::string(SweepSession&)> call, void (*after)(SweepSession&),
                   std::vector<std::string> failures,
                   bool (*degraded)(const std::string&, const std::string&)) {
    return {name, which, before, std::move(call), after, std::move(failures), degraded};
}

// A case of one call of an export on a text; null as the name names it by the call, as
// "<method>(<text>)".
template <Export which>
SweepCase TextCase(const char* name, const std::string& text, std::vector<std::string> failures,
                   bool (*degraded)(const std::string&, const std::string&) = nullptr,
                   void (*after)(SweepSession&) = nullptr) {
    static std::deque<std::string> callNames;
    if (name == nullptr) {
        callNames.push_back(std::string(CatalogueEntry(which).method) + "(" + text + ")");
        name = callNames.back().c_str();
    }
    return {name,    which,
            nullptr, [text](SweepSession& s) { return TextCall<which>(s, text); },
            after,   std::move(failures),
            degraded};
}

} // namespace

namespace {
// Whether the sweep made the vendor's key: a machine image that outlives the run (Wine's) must
// not keep an empty key that no other run expects.
bool g_madeVendorKey = false;
} // namespace

void PrepareSweepMachine() {
    ReportMachineFailuresToTests();
    HKEY vendor = nullptr;
    g_madeVendorKey =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_READ, &vendor) != ERROR_SUCCESS;
    if (vendor != nullptr) {
        RegCloseKey(vendor);
    }
    PrepareInstalledPrograms();
    PrepareServices();
    PrepareEventLog();
    PrepareRegistryKeys();
}

bool ClearSweepMachine() {
    bool cleared = true;
    for (const char* service : kServices) {
        cleared = RemoveService(service) && cleared;
    }
    for (const char* program : kPrograms) {
        cleared = RemoveMachineTree(std::string(kUninstall) + "\\" + program) && cleared;
    }
    cleared = RemoveMachineTree(std::string(kUninstall) + "\\" + kNamelessProgram) && cleared;
    cleared = RemoveMachineTree(std::string(kEventLogKey) + "\\" + kLog) && cleared;
    cleared = RemoveMachineTree(kSweepKey) && cleared;
    return (!g_madeVendorKey || RemoveMachineTree(kVendorKey)) && cleared;
}

const std::vector<SweepCase>& SweepCases() {
    static const std::vector<SweepCase> cases = [] {
        std::vector<SweepCase> table;
        // The host's own calls on the texts of its tables, each swept.
        for (const char* path : kRootPaths) {
            table.push_back(TextCase<Export::CheckRootDirectory>(nullptr, path, {"false"}));
        }
        const std::string keyPath = kSweepKeyPath;
        table.insert(
            table.end(),
            {
                CallCase(
                    "collectVersionInformationForFile", Export::CollectVersionInformation, nullptr,
                    [](SweepSession& s) {
                        return CollectVersionInformationOf(s, "TwoTranslations.dll");
                    },
                    nullptr, {"null"}, ReadWithTheDefaultTranslation),
                CallCase(
                    "collectVersionInformationForFile of every string",
                    Export::CollectVersionInformation, nullptr,
                    [](SweepSession& s) {
                        return CollectVersionInformationOf(s, "AllStrings.dll");
                    },
                    nullptr, {"null"}, ReadWithTheDefaultTranslation),
                CallCase("getAttributeValues", Export::GetAttributeValues, nullptr,
                         GetAttributeValues, ReleaseInstalledKeys, {"-1"}, ItemsOfTheCleanRun),
                TextCase<Export::InstalledCheckInstance>("installed checkInstance", kPrograms[0],
                                                         {"false"}, nullptr, ReleaseInstalledKeys),
                CallCase(
                    "releaseResources", Export::ReleaseResources,
                    [](SweepSession& s) {
                        TextCall<Export::InstalledCheckInstance>(s, kPrograms[0]);
                    },
                    [](SweepSession& s) {
                        return AsHost(s, [](Session& session) {
                            return BooleanText(Call<Export::ReleaseResources>(session));
                        });
                    },
                    nullptr, {}, nullptr),
                CallCase("getServices", Export::GetServices, nullptr, GetServices, nullptr,
                         {"false"}, ItemsOfTheCleanRun),
                TextCase<Export::ServiceCheckInstance>("services checkInstance", kServices[0],
                                                       {"-1"}),
                TextCase<Export::ServiceCheckInstance>(
                    "services checkInstance of a missing service", "SweepNoSuchService", {"-1"}),
                CallCase(
                    "getAllLogFileNames", Export::GetAllLogFileNames, nullptr,
                    [](SweepSession& s) {
                        return AsHost(s, [](Session& session) {
                            return ResultText(session.env,
                                              Call<Export::GetAllLogFileNames>(session));
                        });
                    },
                    nullptr, {"null"}, ItemsOfTheCleanRun),
                CallCase("openEventLog", Export::OpenEventLogHandle, nullptr, OpenSweepLog,
                         CloseLogAfter, {"0"}, nullptr),
                CallCase("closeEventLog", Export::CloseEventLog, OpenLogBefore, CloseSweepLog,
                         CloseLogAfter, {"0"}, nullptr),
                CallCase("readNextEventLogRecord", Export::ReadNextEventLogRecord, OpenLogBefore,
                         ReadNextEventLogRecord, CloseLogAfter, {"null"}, RecordWithoutItsMessage),
                CallCase("readNextEventLogRecord of a source without messages",
                         Export::ReadNextEventLogRecord, OpenLogAndReadOneBefore,
                         ReadNextEventLogRecord, CloseLogAfter, {"null"}, RecordWithoutItsMessage),
                CallCase(
                    "event log checkInstanceExists", Export::EventLogCheckInstanceExists,
                    ReadRecordKey,
                    [](SweepSession& s) {
                        return TextCall<Export::EventLogCheckInstanceExists>(s, g_recordKey);
                    },
                    nullptr, {"false"}, nullptr),
                TextCase<Export::GetExpandedCounterPaths>(
                    "getExpandedCounterPaths", "\\Processor(*)\\% Processor Time", {"null"}),
                TextCase<Export::GetExpandedCounterPaths>(
                    "getExpandedCounterPaths of every memory counter", "\\Memory\\*", {"null"}),
                CallCase("getCounterValues", Export::GetCounterValues, nullptr, GetCounterValues,
                         nullptr, {"null"}, nullptr),
            });
        for (const char* path : kParsedCounterPaths) {
            table.push_back(TextCase<Export::ParseCounterPath>(nullptr, path, {"null"}));
        }
        table.insert(
            table.end(),
            {
                TextCase<Export::PerfmonCheckInstanceExists>(
                    "perfmon checkInstanceExists", "\\Processor(_Total)\\% Processor Time",
                    {"false"}),
                TextCase<Export::GetChildKeyNames>("getChildKeyNames", keyPath, {"null"},
                                                   ItemsOfTheCleanRun),
                TextCase<Export::GetChildValueNames>("getChildValueNames", keyPath, {"null"},
                                                     ItemsOfTheCleanRun),
                CallCase(
                    "getValue", Export::GetValue, nullptr,
                    [](SweepSession& s) { return GetValueOf(s, "Path"); }, nullptr,
                    {"null", kNoValue}, nullptr),
                CallCase(
                    "getValue of binary data", Export::GetValue, nullptr,
                    [](SweepSession& s) { return GetValueOf(s, "Blob"); }, nullptr,
                    {"null", kNoValue}, nullptr),
                TextCase<Export::GetDefaultValue>("getDefaultValue", keyPath, {"null", kNoValue}),
                TextCase<Export::GetLastModifiedTime>("getLastModifiedTime", keyPath, {"0", "-1"}),
                TextCase<Export::RegistryCheckInstanceExists>("registry checkInstanceExists",
                                                              keyPath + "\\Number", {"-1"}),
                TextCase<Export::RegistryCheckInstanceExists>(
                    "registry checkInstanceExists of a key",
                    "HKLM\\Software\\Quorvane\\Sweep\\First", {"-1"}),
            });
        return table;
    }();
    return cases;
}
