// The exports over a Windows volume (PALLWICK_WINDOWS_ROOT) that real Windows files make: the
// SYSTEM hive of a Windows 7 machine, and System2.evtx as that machine's System log, where the
// hive's EventLog key names it (%SystemRoot%\system32\winevt\Logs\System.evtx). Each export is
// set against the raw reading of the same file through the library the layer parses it with, plus
// the JNI work and the records the export writes:
// - the registry walk: getChildKeyNames, getChildValueNames and getValue over every key and value
//   of SYSTEM\ControlSet001, as the Java agent walks a tree, against libregf walking the same keys
//   key by key and value by value, reading each value's data, with the String arrays and texts of
//   the results and the records of the three exports (bench/FloorLog.h);
// - getServices against the floor of services_bench (bench/ServicesFloor.h), the manager now
//   answering from the hive;
// - readNextEventLogRecord over the System log, every field, against libevtx reading each
//   record's fields (its XML for what libevtx gives no call for), then the message lookups,
//   account lookup and nine strings that event_log_bench's floor makes (the volume holds no
//   message files: each lookup finds its source's key and value, and no file); the event log
//   exports write no records;
// - the load of the hive into the layer's tree (the first registry call after a reset) against
//   libregf reading every key and value of the file, which the load cannot do without; and the
//   registry walk of a process that walks once, its load included, against the walk's floor.
// Over a volume the library's log cannot open (its only drive is the volume's, which is never
// written), so the exports write no records, and neither do the floors, whose records stay in
// place for the day a log can. Every floor is checked once to give the export's own results, so
// that it measures the same work. The hive's load is also measured in child processes of its own
// before the JVM starts: its peak heap and the heap it keeps (bench/HeapCounting.h), and the growth
// of the process's peak resident memory, printed beside the file's size.
#include "bench/BenchSupport.h"
#include "bench/FloorLog.h"
#include "bench/HeapCounting.h"
#include "bench/ServicesFloor.h"

#include "Platform/Posix/advapi32/RegistryHive.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"

#include <libevtx.h>
#include <libregf.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifndef PALLWICK_WINDOWS_DATA
#define PALLWICK_WINDOWS_DATA ""
#endif

namespace {

constexpr char kWalkRoot[] = "SYSTEM\\ControlSet001";
constexpr char kLogName[] = "System";
constexpr jshort kEveryField = 0x01FF;

std::string g_volume;    // the volume's root folder, made for this run
std::string g_hive;      // its SYSTEM hive
std::string g_evtx;      // its System log, empty when the data holds no System2.evtx
std::string g_hiveCheck; // empty when the registry floors give the exports' results
std::string g_eventCheck;
bool g_hiveChecked = false;
bool g_eventChecked = false;

// ---------------------------------------------------------------------------------------------
// The volume

bool CopyInto(const std::string& from, const std::string& to) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(to).parent_path(), error);
    return !error && std::filesystem::copy_file(from, to, error) && !error;
}

// The volume's folders as Windows names them; the layer finds them whatever their case.
bool MakeVolume(const std::string& data) {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "pallwick-volume-XXXXXX");
    if (error || mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    g_volume = pattern;
    g_hive = g_volume + "/Windows/System32/config/SYSTEM";
    if (!CopyInto(data + "/SYSTEM", g_hive)) {
        return false;
    }
    std::string evtx = g_volume + "/Windows/System32/winevt/Logs/System.evtx";
    if (std::filesystem::exists(data + "/System2.evtx", error)) {
        if (!CopyInto(data + "/System2.evtx", evtx)) {
            return false;
        }
        g_evtx = evtx;
    }
    setenv("PALLWICK_WINDOWS_ROOT", g_volume.c_str(), 1);
    return true;
}

void RemoveVolume() {
    std::error_code ignored;
    if (!g_volume.empty()) {
        std::filesystem::remove_all(g_volume, ignored);
    }
}

// ---------------------------------------------------------------------------------------------
// Texts shared by both sides

// A Java string as UTF-8, for comparing one side's results with the other's.
std::string JavaText(JNIEnv* env, jobject object) {
    if (object == nullptr) {
        return "(null)";
    }
    auto string = static_cast<jstring>(object);
    const char* chars = env->GetStringUTFChars(string, nullptr);
    std::string text = chars != nullptr ? chars : "";
    env->ReleaseStringUTFChars(string, chars);
    return text;
}

std::string ElementText(JNIEnv* env, jobjectArray array, jsize index) {
    jobject element = env->GetObjectArrayElement(array, index);
    std::string text = JavaText(env, element);
    env->DeleteLocalRef(element);
    return text;
}

// The first line where two sides' results part, empty when they agree.
std::string FirstDifference(const std::vector<std::string>& exported,
                            const std::vector<std::string>& floor) {
    for (size_t i = 0; i < exported.size() || i < floor.size(); ++i) {
        const char* mine = i < exported.size() ? exported[i].c_str() : "(nothing)";
        const char* theirs = i < floor.size() ? floor[i].c_str() : "(nothing)";
        if (strcmp(mine, theirs) != 0) {
            return "result " + std::to_string(i) + ": export '" + mine + "', floor '" + theirs +
                   "'";
        }
    }
    return "";
}

// UTF-16 in the machine's ANSI code page, as the ANSI functions give text to the agents.
std::string AnsiOf(const uint16_t* units, size_t length) {
    std::string text(2 * length + 1, '\0');
    int bytes = length == 0 ? 0
                            : WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR*>(units),
                                                  static_cast<int>(length), &text[0],
                                                  static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
    return text;
}

size_t UnitsBeforeNul(const uint16_t* units, size_t count) {
    size_t length = 0;
    while (length < count && units[length] != 0) {
        ++length;
    }
    return length;
}

void CountPer(benchmark::State& state, const char* name, long items) {
    state.counters[name] = benchmark::Counter(static_cast<double>(items));
}

// ---------------------------------------------------------------------------------------------
// The registry walk: the exports

constexpr char kRegistrySource[] = "WindowsRegistryAgent";
#define REGISTRY_AGENT "Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_"
constexpr char kChildKeyNamesName[] = REGISTRY_AGENT "getChildKeyNames";
constexpr char kChildValueNamesName[] = REGISTRY_AGENT "getChildValueNames";
constexpr char kGetValueName[] = REGISTRY_AGENT "getValue";
#undef REGISTRY_AGENT

struct WalkCount {
    long keys;
    long values;
};

// One line per value, "key|name|code|text", and one per key, "key|subkeys", for the check.
using WalkSeen = std::vector<std::string>;

void EnsureHiveLoaded();

// The key at path (below HKLM) and everything below it, as the Java agent walks it: its values'
// names, each value, its subkeys' names, then each subkey.
void ExportWalk(JNIEnv* env, const std::string& path, WalkCount* count, WalkSeen* seen) {
    ++count->keys;
    jstring keyPath = env->NewStringUTF(("HKLM\\" + path).c_str());
    jobjectArray values =
        Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames(
            env, nullptr, keyPath);
    jsize valueCount = values != nullptr ? env->GetArrayLength(values) : 0;
    for (jsize i = 0; i < valueCount; ++i) {
        auto name = static_cast<jstring>(env->GetObjectArrayElement(values, i));
        jobjectArray value =
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
                env, nullptr, keyPath, name);
        if (seen != nullptr) {
            seen->push_back(path + "|" + JavaText(env, name) + "|" + ElementText(env, value, 1) +
                            "|" + ElementText(env, value, 0));
        }
        env->DeleteLocalRef(value);
        env->DeleteLocalRef(name);
    }
    count->values += valueCount;
    env->DeleteLocalRef(values);
    jobjectArray children =
        Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
            env, nullptr, keyPath);
    env->DeleteLocalRef(keyPath);
    jsize childCount = children != nullptr ? env->GetArrayLength(children) : 0;
    if (seen != nullptr) {
        seen->push_back(path + "|" + std::to_string(childCount));
    }
    for (jsize i = 0; i < childCount; ++i) {
        jobject child = env->GetObjectArrayElement(children, i);
        ExportWalk(env, path + "\\" + JavaText(env, child), count, seen);
        env->DeleteLocalRef(child);
    }
    env->DeleteLocalRef(children);
}

// ---------------------------------------------------------------------------------------------
// The registry walk: the floor, straight through libregf

// The hive through libregf, and the same file open for the short data libregf reads wrongly.
struct RegfFileCloser {
    libregf_file_t* file = nullptr;
    bool opened = false;
    int descriptor = open(g_hive.c_str(), O_RDONLY | O_CLOEXEC);
    ~RegfFileCloser() {
        if (opened) {
            libregf_file_close(file, nullptr);
        }
        libregf_file_free(&file, nullptr);
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
};

struct RegfKeyHolder {
    libregf_key_t* key = nullptr;
    ~RegfKeyHolder() { libregf_key_free(&key, nullptr); }
};

struct RegfValueHolder {
    libregf_value_t* value = nullptr;
    ~RegfValueHolder() { libregf_value_free(&value, nullptr); }
};

// What the floor reuses from value to value.
struct RegfWalk {
    int hive;
    JNIEnv* env;
    jclass stringClass;
    WalkCount count;
    WalkSeen* seen;
    std::vector<uint16_t> name;
    std::vector<uint8_t> data;
    std::vector<jchar> text;
};

// A name as libregf gives it (UTF-16, its terminator counted) into walk.name; its length.
template <typename Object>
size_t ReadName(RegfWalk& walk, Object* object, int (*sizeOf)(Object*, size_t*, libregf_error_t**),
                int (*copy)(Object*, uint16_t*, size_t, libregf_error_t**)) {
    size_t size = 0;
    if (sizeOf(object, &size, nullptr) != 1 || size == 0) {
        return 0;
    }
    if (walk.name.size() < size) {
        walk.name.resize(size);
    }
    if (copy(object, walk.name.data(), size, nullptr) != 1) {
        return 0;
    }
    return UnitsBeforeNul(walk.name.data(), size);
}

// ANSI text as the agents hand it to Java, through UTF-16.
jstring NewAnsiString(RegfWalk& walk, const char* ansi, size_t length) {
    if (walk.text.size() < length + 1) {
        walk.text.resize(length + 1);
    }
    int units = length == 0 ? 0
                            : MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(length),
                                                  reinterpret_cast<WCHAR*>(walk.text.data()),
                                                  static_cast<int>(walk.text.size()));
    return walk.env->NewString(walk.text.data(), units > 0 ? units : 0);
}

// A name or text of the hive as the agents' ANSI calls give it to Java: what the code page cannot
// hold is lost on the way. *ansi keeps the ANSI form.
jstring NewHiveString(RegfWalk& walk, const uint16_t* units, size_t length, std::string* ansi) {
    *ansi = AnsiOf(units, length);
    return NewAnsiString(walk, ansi->data(), ansi->size());
}

// The value's text as getValue gives it: hexadecimal digits, a signed number, or the stored text
// up to its first NUL (UTF-16 for the string types, the bytes in the code page for the rest).
jstring FloorValueText(RegfWalk& walk, uint32_t type, size_t size, const char** code) {
    static const char kDigits[] = "0123456789ABCDEF";
    const uint8_t* data = walk.data.data();
    char number[16];
    if (type == REG_BINARY) {
        *code = "2";
        std::string hex(2 * size, '0');
        for (size_t i = 0; i < size; ++i) {
            hex[2 * i] = kDigits[data[i] >> 4];
            hex[2 * i + 1] = kDigits[data[i] & 15];
        }
        return walk.env->NewStringUTF(hex.c_str());
    }
    if (type == REG_DWORD) {
        *code = "3";
        uint32_t bits = 0;
        memcpy(&bits, data, size < sizeof bits ? size : sizeof bits);
        int32_t value = 0;
        memcpy(&value, &bits, sizeof value);
        snprintf(number, sizeof number, "%d", static_cast<int>(value));
        return walk.env->NewStringUTF(number);
    }
    *code = "1";
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        const auto* units = reinterpret_cast<const uint16_t*>(data);
        std::string ansi;
        return NewHiveString(walk, units, UnitsBeforeNul(units, size / 2), &ansi);
    }
    const char* bytes = reinterpret_cast<const char*>(data);
    return NewAnsiString(walk, bytes, strnlen(bytes, size));
}

const char* TypeLabel(uint32_t type) {
    return type == REG_BINARY ? "Binary" : type == REG_DWORD ? "DWORD" : "String";
}

unsigned TypeLine(uint32_t type) {
    return type == REG_BINARY ? 325 : type == REG_DWORD ? 330 : 334;
}

// getValue's part of one value: its five records, its type and data, the String[2].
void FloorValue(RegfWalk& walk, libregf_value_t* value, const std::string& path, jobjectArray names,
                int index) {
    JNIEnv* env = walk.env;
    size_t nameLength =
        ReadName(walk, value, libregf_value_get_utf16_name_size, libregf_value_get_utf16_name);
    std::string ansiName;
    jstring name = NewHiveString(walk, walk.name.data(), nameLength, &ansiName);
    env->SetObjectArrayElement(names, index, name);
    FloorRecord(kGetValueName, kRegistrySource, 147, "Getting value for keyname [HKLM\\%s]",
                path.c_str());
    FloorRecord(kGetValueName, kRegistrySource, 158, "predefined key name = %s", "HKLM");
    FloorRecord(kGetValueName, kRegistrySource, 159, "Actual key name = %s", path.c_str());
    FloorRecord(kGetValueName, kRegistrySource, 380, "Query for value name[%s]", ansiName.c_str());
    uint32_t type = 0;
    libregf_value_get_value_type(value, &type, nullptr);
    size_t size = RegistryHiveValueData(walk.hive, value, &walk.data) ? walk.data.size() : 0;
    walk.data.resize(size + 1); // room for the text's terminator
    FloorRecord(kGetValueName, kRegistrySource, TypeLine(type), "%s data type [%d]",
                TypeLabel(type), static_cast<int>(type));
    const char* code = "0";
    jstring text = FloorValueText(walk, type, size, &code);
    jobjectArray result = env->NewObjectArray(2, walk.stringClass, nullptr);
    jstring codeText = env->NewStringUTF(code);
    env->SetObjectArrayElement(result, 1, codeText);
    env->SetObjectArrayElement(result, 0, text);
    if (walk.seen != nullptr) {
        walk.seen->push_back(path + "|" + JavaText(env, name) + "|" + code + "|" +
                             JavaText(env, text));
    }
    env->DeleteLocalRef(codeText);
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(result);
    env->DeleteLocalRef(name);
}

// The key and everything below it: the three exports' records and results, in the walk's order.
void FloorWalk(RegfWalk& walk, libregf_key_t* key, const std::string& path) {
    JNIEnv* env = walk.env;
    ++walk.count.keys;
    FloorRecord(kChildValueNamesName, kRegistrySource, 147,
                "Finding child value names for[HKLM\\%s]", path.c_str());
    int values = 0;
    libregf_key_get_number_of_values(key, &values, nullptr);
    if (values == 0) {
        FloorRecord(kChildValueNamesName, kRegistrySource, 182,
                    "*****: No child value name found for registry key [%s]", path.c_str());
    }
    jobjectArray valueNames =
        values > 0 ? env->NewObjectArray(values, walk.stringClass, nullptr) : nullptr;
    for (int i = 0; i < values; ++i) {
        RegfValueHolder value;
        if (libregf_key_get_value(key, i, &value.value, nullptr) == 1) {
            FloorValue(walk, value.value, path, valueNames, i);
        }
    }
    walk.count.values += values;
    env->DeleteLocalRef(valueNames);
    FloorRecord(kChildKeyNamesName, kRegistrySource, 138, "Finding child key names for[HKLM\\%s]",
                path.c_str());
    int subkeys = 0;
    libregf_key_get_number_of_sub_keys(key, &subkeys, nullptr);
    if (subkeys == 0) {
        FloorRecord(kChildKeyNamesName, kRegistrySource, 182,
                    "*****: No child keys found for key [%s]", path.c_str());
    }
    if (walk.seen != nullptr) {
        walk.seen->push_back(path + "|" + std::to_string(subkeys));
    }
    jobjectArray keyNames =
        subkeys > 0 ? env->NewObjectArray(subkeys, walk.stringClass, nullptr) : nullptr;
    for (int i = 0; i < subkeys; ++i) {
        RegfKeyHolder subkey;
        if (libregf_key_get_sub_key(key, i, &subkey.key, nullptr) != 1) {
            continue;
        }
        size_t length =
            ReadName(walk, subkey.key, libregf_key_get_utf16_name_size, libregf_key_get_utf16_name);
        std::string ansiName;
        jstring name = NewHiveString(walk, walk.name.data(), length, &ansiName);
        env->SetObjectArrayElement(keyNames, i, name);
        env->DeleteLocalRef(name);
        FloorWalk(walk, subkey.key, path + "\\" + ansiName);
    }
    env->DeleteLocalRef(keyNames);
}

// The hive opened afresh and walked from the key at the path below its root ("ControlSet001").
bool FloorWalkHive(JNIEnv* env, jclass stringClass, WalkCount* count, WalkSeen* seen) {
    RegfFileCloser file;
    RegfKeyHolder start;
    if (libregf_file_initialize(&file.file, nullptr) != 1) {
        return false;
    }
    file.opened = libregf_file_open(file.file, g_hive.c_str(), LIBREGF_OPEN_READ, nullptr) == 1;
    const char* below = strchr(kWalkRoot, '\\') + 1;
    if (!file.opened ||
        libregf_file_get_key_by_utf8_path(file.file, reinterpret_cast<const uint8_t*>(below),
                                          strlen(below), &start.key, nullptr) != 1) {
        return false;
    }
    RegfWalk walk = {file.descriptor, env, stringClass, {0, 0}, seen, {}, {}, {}};
    FloorWalk(walk, start.key, kWalkRoot);
    *count = walk.count;
    return true;
}

// The walk's results from both sides, compared once: a floor that gave other texts, or left
// keys or values out, would measure other work. The export's order is Windows' (names sorted
// without case), the floor's the hive's own, so both are sorted first.
std::string CheckRegistryFloor(JNIEnv* env, jclass stringClass) {
    WalkCount exportCount = {0, 0};
    WalkCount floorCount = {0, 0};
    WalkSeen exported, floor;
    ExportWalk(env, kWalkRoot, &exportCount, &exported);
    if (!FloorWalkHive(env, stringClass, &floorCount, &floor)) {
        return "libregf cannot open " + g_hive;
    }
    std::sort(exported.begin(), exported.end());
    std::sort(floor.begin(), floor.end());
    std::string difference = FirstDifference(exported, floor);
    if (difference.empty() &&
        (exportCount.keys != floorCount.keys || exportCount.values != floorCount.values)) {
        difference = "the export walked " + std::to_string(exportCount.keys) + " keys and " +
                     std::to_string(exportCount.values) + " values, the floor " +
                     std::to_string(floorCount.keys) + " and " + std::to_string(floorCount.values);
    }
    return difference;
}

void RegistryWalk(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    EnsureHiveLoaded();
    WalkCount count = {0, 0};
    for (auto _ : state) {
        count = {0, 0};
        ExportWalk(env, kWalkRoot, &count, nullptr);
    }
    CountPer(state, "keys", count.keys);
    CountPer(state, "values", count.values);
}

void LoadHiveThroughLayer();

// One walk as a process that walks once pays for it: the tree loaded from the hive, then walked.
void RegistryWalkCold(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    WalkCount count = {0, 0};
    for (auto _ : state) {
        count = {0, 0};
        LoadHiveThroughLayer();
        ExportWalk(env, kWalkRoot, &count, nullptr);
    }
    CountPer(state, "keys", count.keys);
    CountPer(state, "values", count.values);
}

void RegistryWalkFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    jclass stringClass = env->FindClass("java/lang/String");
    if (!g_hiveChecked) {
        g_hiveChecked = true;
        g_hiveCheck = CheckRegistryFloor(env, stringClass);
    }
    if (!g_hiveCheck.empty()) {
        state.SkipWithError(g_hiveCheck.c_str());
    }
    WalkCount count = {0, 0};
    for (auto _ : state) {
        count = {0, 0};
        FloorWalkHive(env, stringClass, &count, nullptr);
    }
    env->DeleteLocalRef(stringClass);
    CountPer(state, "keys", count.keys);
    CountPer(state, "values", count.values);
}

// ---------------------------------------------------------------------------------------------
// The hive's load

// The layer's whole registry dropped and built again from the volume by the first call.
void LoadHiveThroughLayer() {
    RegistryResetForTests();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Select", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

// The tree loaded before an export's timing starts: its one-time load is HiveLoad's to time.
void EnsureHiveLoaded() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Select", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
}

void HiveLoad(benchmark::State& state) {
    for (auto _ : state) {
        LoadHiveThroughLayer();
    }
}

// Every key of the file with its name, class, time and values (name, type, data): what the tree
// is made of.
void ReadWholeKey(int hive, libregf_key_t* key, std::vector<uint16_t>* name,
                  std::vector<uint8_t>* data, long* keys) {
    ++*keys;
    size_t size = 0;
    uint64_t written = 0;
    libregf_key_get_last_written_time(key, &written, nullptr);
    benchmark::DoNotOptimize(written);
    if (libregf_key_get_utf16_name_size(key, &size, nullptr) == 1 && size > 0) {
        name->resize(size > name->size() ? size : name->size());
        libregf_key_get_utf16_name(key, name->data(), size, nullptr);
    }
    if (libregf_key_get_utf16_class_name_size(key, &size, nullptr) == 1 && size > 0) {
        name->resize(size > name->size() ? size : name->size());
        libregf_key_get_utf16_class_name(key, name->data(), size, nullptr);
    }
    int values = 0;
    libregf_key_get_number_of_values(key, &values, nullptr);
    for (int i = 0; i < values; ++i) {
        RegfValueHolder value;
        uint32_t type = 0;
        if (libregf_key_get_value(key, i, &value.value, nullptr) != 1) {
            continue;
        }
        if (libregf_value_get_utf16_name_size(value.value, &size, nullptr) == 1 && size > 0) {
            name->resize(size > name->size() ? size : name->size());
            libregf_value_get_utf16_name(value.value, name->data(), size, nullptr);
        }
        libregf_value_get_value_type(value.value, &type, nullptr);
        RegistryHiveValueData(hive, value.value, data);
    }
    int subkeys = 0;
    libregf_key_get_number_of_sub_keys(key, &subkeys, nullptr);
    for (int i = 0; i < subkeys; ++i) {
        RegfKeyHolder subkey;
        if (libregf_key_get_sub_key(key, i, &subkey.key, nullptr) == 1) {
            ReadWholeKey(hive, subkey.key, name, data, keys);
        }
    }
}

void HiveLoadFloor(benchmark::State& state) {
    long keys = 0;
    for (auto _ : state) {
        RegfFileCloser file;
        RegfKeyHolder root;
        std::vector<uint16_t> name;
        std::vector<uint8_t> data;
        keys = 0;
        if (libregf_file_initialize(&file.file, nullptr) == 1) {
            file.opened =
                libregf_file_open(file.file, g_hive.c_str(), LIBREGF_OPEN_READ, nullptr) == 1;
        }
        if (file.opened && libregf_file_get_root_key(file.file, &root.key, nullptr) == 1) {
            ReadWholeKey(file.descriptor, root.key, &name, &data, &keys);
        }
    }
    CountPer(state, "keys", keys);
}

// What one load costs in memory, each figure from a child process of its own that loads the hive
// once: the heap it asks for at its peak and keeps, counted; and how far the process's peak
// resident memory grows (VmHWM), which the counting's own table would spoil in the first child.
struct LoadMemory {
    HeapTally heap;
    long long peakResidentGrowth; // bytes, -1 when /proc cannot tell
    long long residentGrowth;
};

// A figure of /proc/self/status in bytes, -1 when absent.
long long StatusBytes(const char* field) {
    FILE* status = fopen("/proc/self/status", "r");
    long long kilobytes = -1;
    char line[256];
    size_t length = strlen(field);
    while (status != nullptr && fgets(line, sizeof line, status) != nullptr) {
        if (strncmp(line, field, length) == 0 && line[length] == ':') {
            kilobytes = atoll(line + length + 1);
        }
    }
    if (status != nullptr) {
        fclose(status);
    }
    return kilobytes < 0 ? -1 : kilobytes * 1024;
}

// Runs measure in a child and reads back what it wrote; false when the child failed.
template <typename Measure> bool InChild(Measure measure, LoadMemory* memory) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return false;
    }
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        LoadMemory measured = *memory;
        measure(&measured);
        ssize_t written = write(pipeEnds[1], &measured, sizeof measured);
        _exit(written == static_cast<ssize_t>(sizeof measured) ? 0 : 1);
    }
    close(pipeEnds[1]);
    LoadMemory measured = {};
    ssize_t got = child > 0 ? read(pipeEnds[0], &measured, sizeof measured) : -1;
    close(pipeEnds[0]);
    int status = 0;
    bool exited = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                  WEXITSTATUS(status) == 0;
    if (exited && got == static_cast<ssize_t>(sizeof measured)) {
        *memory = measured;
    }
    return exited && got == static_cast<ssize_t>(sizeof measured);
}

// Before the JVM starts, while this process has one thread: fork copies no one else's locks.
bool MeasureLoadMemory(LoadMemory* memory) {
    *memory = {{0, 0, 0, 0, false}, -1, -1};
    bool counted = InChild(
        [](LoadMemory* measured) {
            HeapCountingStart();
            LoadHiveThroughLayer();
            measured->heap = HeapCountingStop();
        },
        memory);
    bool resident = InChild(
        [](LoadMemory* measured) {
            // The peak so far set back to what is resident now, where the kernel allows.
            FILE* clear = fopen("/proc/self/clear_refs", "w");
            if (clear != nullptr) {
                fputs("5", clear);
                fclose(clear);
            }
            long long before = StatusBytes("VmRSS");
            long long peakBefore = StatusBytes("VmHWM");
            LoadHiveThroughLayer();
            long long peak = StatusBytes("VmHWM");
            long long after = StatusBytes("VmRSS");
            bool known = before >= 0 && peakBefore >= 0 && peak >= 0 && after >= 0;
            measured->peakResidentGrowth =
                known ? peak - (peakBefore > before ? peakBefore : before) : -1;
            measured->residentGrowth = known ? after - before : -1;
        },
        memory);
    return counted && resident;
}

std::string Mebibytes(long long bytes) {
    char text[32];
    snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return bytes < 0 ? std::string("-") : std::string(text);
}

std::string LoadMemoryLine(const LoadMemory& memory, long long fileSize) {
    char line[512];
    snprintf(
        line, sizeof line,
        "the SYSTEM hive's load (%s file): peak heap %s%s, kept %s, %lld blocks asked for; peak "
        "resident memory grew %s, resident memory %s",
        Mebibytes(fileSize).c_str(), Mebibytes(memory.heap.peakBytes).c_str(),
        memory.heap.overflowed ? " (at least: more blocks than the count follows)" : "",
        Mebibytes(memory.heap.liveBytes).c_str(), static_cast<long long>(memory.heap.allocations),
        Mebibytes(memory.peakResidentGrowth).c_str(), Mebibytes(memory.residentGrowth).c_str());
    return line;
}

// ---------------------------------------------------------------------------------------------
// Services

void Services(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    EnsureHiveLoaded();
    for (auto _ : state) {
        jobject vector = NewServiceVector(env);
        Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
            env, nullptr, vector);
        env->DeleteLocalRef(vector);
    }
}

jint ExportServiceCount(JNIEnv* env) {
    jobject vector = NewServiceVector(env);
    Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
        env, nullptr, vector);
    jclass vectorClass = env->FindClass("java/util/Vector");
    jint size = env->CallIntMethod(vector, env->GetMethodID(vectorClass, "size", "()I"));
    env->DeleteLocalRef(vectorClass);
    env->DeleteLocalRef(vector);
    return size;
}

void ServicesFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    ServiceFloorIds ids = LookUpServiceFloorIds(env);
    static BYTE config[kServiceFloorBufferSize], description[kServiceFloorBufferSize];
    // A service the floor could not describe (a configuration past its buffers) is work it left
    // out.
    jint exported = ExportServiceCount(env);
    DWORD added = CollectFloorServices(env, ids, config, description);
    if (static_cast<DWORD>(exported) != added || added == 0) {
        std::string why = "the export collects " + std::to_string(exported) +
                          " services, the floor " + std::to_string(added);
        state.SkipWithError(why.c_str());
    }
    for (auto _ : state) {
        added = CollectFloorServices(env, ids, config, description);
    }
    env->DeleteLocalRef(ids.serviceClass);
    CountPer(state, "services", static_cast<long>(added));
}

// ---------------------------------------------------------------------------------------------
// The .evtx log: the export

// Every record of the System log through the exports, as event_log_bench reads a log; the
// records read.
long ExportReadLog(JNIEnv* env, jstring name, std::vector<std::string>* seen) {
    jlong log =
        Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_openEventLog(
            env, nullptr, name);
    long read = 0;
    for (
        jobjectArray record;
        (record =
             Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_readNextEventLogRecord(
                 env, nullptr, log, kEveryField, name)) != nullptr;
        ++read) {
        for (jsize element = 0; seen != nullptr && element < 9; ++element) {
            seen->push_back(std::to_string(read) + "." + std::to_string(element) + " " +
                            ElementText(env, record, element));
        }
        env->DeleteLocalRef(record);
    }
    Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_closeEventLog(
        env, nullptr, log);
    return read;
}

void ReadEvtx(benchmark::State& state) {
    if (g_evtx.empty()) {
        state.SkipWithError("the Windows data holds no System2.evtx");
        return;
    }
    JNIEnv* env = BenchJniEnv();
    jstring name = env->NewStringUTF(kLogName);
    long read = 0;
    EnsureHiveLoaded();
    for (auto _ : state) {
        read = ExportReadLog(env, name, nullptr);
    }
    env->DeleteLocalRef(name);
    CountPer(state, "records", read);
}

// ---------------------------------------------------------------------------------------------
// The .evtx log: the floor, straight through libevtx

constexpr char kEventLogKeyPath[] = "System\\CurrentControlSet\\Services\\EventLog";
constexpr DWORD kMessageFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                                FORMAT_MESSAGE_ARGUMENT_ARRAY;
constexpr size_t kMessageSize = 32768;
constexpr unsigned long long kAuditFailure = 0x0010000000000000ull;
constexpr unsigned long long kAuditSuccess = 0x0020000000000000ull;

struct EvtxFileHolder {
    libevtx_file_t* file = nullptr;
    bool opened = false;
    ~EvtxFileHolder() {
        if (opened) {
            libevtx_file_close(file, nullptr);
        }
        libevtx_file_free(&file, nullptr);
    }
};

struct EvtxRecordHolder {
    libevtx_record_t* record = nullptr;
    ~EvtxRecordHolder() { libevtx_record_free(&record, nullptr); }
};

// One record's fields, as the classic record holds them, in the code page.
struct FloorEvent {
    uint64_t identifier;
    DWORD timeWritten;
    DWORD timeGenerated;
    DWORD eventId;
    WORD eventType;
    WORD category;
    std::string source;
    std::string computer;
    std::vector<BYTE> sid;
    std::vector<std::string> strings;
    std::vector<uint8_t> data;
};

using EvtxTextSize = int (*)(libevtx_record_t*, size_t*, libevtx_error_t**);
using EvtxText = int (*)(libevtx_record_t*, uint16_t*, size_t, libevtx_error_t**);

// A text of the record, UTF-16 up to its first NUL, into units.
size_t ReadEvtxText(libevtx_record_t* record, EvtxTextSize sizeOf, EvtxText valueOf,
                    std::vector<uint16_t>* units) {
    size_t size = 0;
    if (sizeOf(record, &size, nullptr) != 1 || size == 0) {
        return 0;
    }
    units->resize(size > units->size() ? size : units->size());
    return valueOf(record, units->data(), size, nullptr) == 1 ? UnitsBeforeNul(units->data(), size)
                                                              : 0;
}

// What follows "<name>" (or an attribute's name=") in the XML, up to the next '<' or '"'.
std::u16string XmlAfter(const std::u16string& xml, const std::u16string& marker, char16_t end) {
    size_t at = xml.find(marker);
    if (at == std::u16string::npos) {
        return u"";
    }
    at += marker.size();
    size_t stop = xml.find(end, at);
    return xml.substr(at, stop == std::u16string::npos ? stop : stop - at);
}

unsigned long long Number(const std::u16string& text, int base) {
    std::string digits(text.begin(), text.end());
    return strtoull(digits.c_str(), nullptr, base);
}

// "2015-08-08T02:06:17.078125000Z" in whole seconds since 1970; 0 when it is no such time.
DWORD SecondsOf(const std::u16string& text) {
    std::string stamp(text.begin(), text.end());
    struct tm parts = {};
    if (sscanf(stamp.c_str(), "%d-%d-%dT%d:%d:%d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
               &parts.tm_hour, &parts.tm_min, &parts.tm_sec) != 6) {
        return 0;
    }
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return static_cast<DWORD>(timegm(&parts));
}

// "S-1-5-21-..." as the binary SID a classic record holds; empty for none.
std::vector<BYTE> BinarySid(const std::string& text) {
    std::vector<BYTE> sid;
    unsigned revision = 0;
    unsigned long long authority = 0;
    int used = 0;
    if (sscanf(text.c_str(), "S-%u-%llu%n", &revision, &authority, &used) != 2) {
        return sid;
    }
    sid = {static_cast<BYTE>(revision), 0};
    for (int shift = 40; shift >= 0; shift -= 8) {
        sid.push_back(static_cast<BYTE>(authority >> shift));
    }
    for (const char* cursor = text.c_str() + used; *cursor == '-';) {
        char* end = nullptr;
        unsigned long part = strtoul(cursor + 1, &end, 10);
        for (int byte = 0; byte < 4; ++byte) {
            sid.push_back(static_cast<BYTE>(part >> (8 * byte)));
        }
        ++sid[1];
        cursor = end;
    }
    return sid;
}

// Every field of the record that the classic record holds.
bool ReadFloorEvent(libevtx_record_t* record, std::vector<uint16_t>* units, FloorEvent* event) {
    uint64_t written = 0;
    uint32_t id = 0;
    uint32_t qualifiers = 0;
    uint8_t level = 0;
    if (libevtx_record_get_identifier(record, &event->identifier, nullptr) != 1 ||
        libevtx_record_get_written_time(record, &written, nullptr) != 1 ||
        libevtx_record_get_event_identifier(record, &id, nullptr) != 1) {
        return false;
    }
    bool hasQualifiers =
        libevtx_record_get_event_identifier_qualifiers(record, &qualifiers, nullptr) == 1;
    libevtx_record_get_event_level(record, &level, nullptr);
    event->timeWritten = static_cast<DWORD>(written / 10000000ull - 11644473600ull);
    event->eventId = (hasQualifiers ? (qualifiers & 0xFFFFu) << 16 : 0) | (id & 0xFFFFu);
    size_t length = ReadEvtxText(record, libevtx_record_get_utf16_source_name_size,
                                 libevtx_record_get_utf16_source_name, units);
    event->source = AnsiOf(units->data(), length);
    length = ReadEvtxText(record, libevtx_record_get_utf16_computer_name_size,
                          libevtx_record_get_utf16_computer_name, units);
    event->computer = AnsiOf(units->data(), length);
    length = ReadEvtxText(record, libevtx_record_get_utf16_user_security_identifier_size,
                          libevtx_record_get_utf16_user_security_identifier, units);
    event->sid = BinarySid(AnsiOf(units->data(), length));
    int strings = 0;
    libevtx_record_get_number_of_strings(record, &strings, nullptr);
    event->strings.clear();
    for (int i = 0; i < strings; ++i) {
        size_t size = 0;
        length = 0;
        if (libevtx_record_get_utf16_string_size(record, i, &size, nullptr) == 1 && size > 0) {
            units->resize(size > units->size() ? size : units->size());
            if (libevtx_record_get_utf16_string(record, i, units->data(), size, nullptr) == 1) {
                length = UnitsBeforeNul(units->data(), size);
            }
        }
        event->strings.push_back(AnsiOf(units->data(), length));
    }
    size_t dataSize = 0;
    event->data.clear();
    if (libevtx_record_get_data_size(record, &dataSize, nullptr) == 1 && dataSize > 0) {
        event->data.resize(dataSize);
        if (libevtx_record_get_data(record, event->data.data(), dataSize, nullptr) != 1) {
            event->data.clear();
        }
    }
    // The System element holds what libevtx has no call for: the classic source, the task that
    // is the category, the keywords that mark an audit, the time the event was made.
    length = ReadEvtxText(record, libevtx_record_get_utf16_xml_string_size,
                          libevtx_record_get_utf16_xml_string, units);
    std::u16string xml(units->begin(), units->begin() + static_cast<ptrdiff_t>(length));
    std::u16string classic = XmlAfter(xml, u"EventSourceName=\"", u'"');
    if (!classic.empty()) {
        event->source = AnsiOf(reinterpret_cast<const uint16_t*>(classic.data()), classic.size());
    }
    event->category = static_cast<WORD>(Number(XmlAfter(xml, u"<Task>", u'<'), 10));
    unsigned long long keywords = Number(XmlAfter(xml, u"<Keywords>", u'<'), 16);
    DWORD created = SecondsOf(XmlAfter(xml, u"SystemTime=\"", u'"'));
    event->timeGenerated = created != 0 ? created : event->timeWritten;
    event->eventType = (keywords & kAuditFailure) != 0   ? EVENTLOG_AUDIT_FAILURE
                       : (keywords & kAuditSuccess) != 0 ? EVENTLOG_AUDIT_SUCCESS
                       : level == 1 || level == 2        ? EVENTLOG_ERROR_TYPE
                       : level == 3                      ? EVENTLOG_WARNING_TYPE
                                                         : EVENTLOG_INFORMATION_TYPE;
    return true;
}

// One message lookup as it must be made every time: the source's key, its value, each file of
// the value's list until one gives the text.
void LookUp(const char* source, DWORD id, const char* valueName, char* text, size_t capacity) {
    text[0] = '\0';
    char keyPath[1024];
    snprintf(keyPath, sizeof keyPath, "%s\\%s\\%s", kEventLogKeyPath, kLogName, source);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
    DWORD size = 0;
    RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size);
    std::string paths(size + 1, '\0');
    if (size > 0) {
        RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&paths[0]),
                         &size);
    }
    RegCloseKey(key);
    for (char* cursor = &paths[0]; *cursor != '\0';) {
        char* end = cursor + strcspn(cursor, ";");
        bool last = *end == '\0';
        *end = '\0';
        char expanded[2048];
        DWORD length = ExpandEnvironmentStringsA(cursor, expanded, sizeof expanded);
        HMODULE module = length > 0 && length <= sizeof expanded
                             ? LoadLibraryExA(expanded, nullptr, LOAD_LIBRARY_AS_DATAFILE)
                             : nullptr;
        char* formatted = nullptr;
        DWORD formattedLength =
            module != nullptr ? FormatMessageA(kMessageFlags, module, id, 0,
                                               reinterpret_cast<LPSTR>(&formatted), 0, nullptr)
                              : 0;
        if (module != nullptr) {
            FreeLibrary(module);
        }
        if (formattedLength >= 2 && formatted != nullptr) {
            size_t kept = formattedLength - 2 < capacity - 1 ? formattedLength - 2 : capacity - 1;
            memcpy(text, formatted, kept);
            text[kept] = '\0';
        }
        LocalFree(formatted);
        if (formattedLength != 0 || last) {
            break;
        }
        cursor = end + 1;
    }
}

// The message with its inserts put in (%n the record's strings, then %%n its source's parameter
// messages).
void Expand(const FloorEvent& event, char* message, size_t capacity) {
    std::string text;
    for (const char* cursor = message; *cursor != '\0';) {
        char* end = nullptr;
        unsigned long number =
            cursor[0] == '%' && cursor[1] != '%' && cursor[1] >= '1' && cursor[1] <= '9'
                ? strtoul(cursor + 1, &end, 10)
                : 0;
        if (number > 0) {
            if (number <= event.strings.size()) {
                text += event.strings[number - 1];
            }
            cursor = end;
        } else {
            text += *cursor++;
            if (cursor[-1] == '%' && *cursor == '%') {
                text += *cursor++;
            }
        }
    }
    std::string done;
    for (size_t at = 0; at < text.size();) {
        char* end = nullptr;
        unsigned long number = text.compare(at, 2, "%%") == 0 && at + 2 < text.size() &&
                                       text[at + 2] >= '1' && text[at + 2] <= '9'
                                   ? strtoul(text.c_str() + at + 2, &end, 10)
                                   : 0;
        if (number > 0) {
            char parameter[4096];
            LookUp(event.source.c_str(), static_cast<DWORD>(number), "EventMessageFile", parameter,
                   sizeof parameter);
            done += parameter;
            at = static_cast<size_t>(end - text.c_str());
        } else {
            done += text[at++];
        }
    }
    snprintf(message, capacity, "%s", done.c_str());
}

int32_t Hash(const char* text) {
    uint32_t length = static_cast<uint32_t>(strlen(text));
    uint32_t hash = 0;
    for (uint32_t i = 0; i < length; ++i) {
        hash +=
            static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(text[i])) * 31) ^
            (length - 1 - i);
    }
    return static_cast<int32_t>(hash);
}

void SetElement(JNIEnv* env, jobjectArray array, int index, const char* text) {
    jstring string = env->NewStringUTF(text);
    env->SetObjectArrayElement(array, index, string);
    env->DeleteLocalRef(string);
}

// The nine strings of one record, as readNextEventLogRecord makes them.
jobjectArray FloorEventTexts(JNIEnv* env, jclass stringClass, const FloorEvent& event, char* text) {
    jobjectArray array = env->NewObjectArray(9, stringClass, nullptr);
    char number[32];
    snprintf(number, sizeof number, "%u", static_cast<unsigned>(event.eventType));
    SetElement(env, array, 1, number);
    SetElement(env, array, 2, event.source.c_str());
    text[0] = '\0';
    if (event.category != 0) {
        LookUp(event.source.c_str(), event.category, "CategoryMessageFile", text, kMessageSize);
    }
    SetElement(env, array, 3, text[0] != '\0' ? text : "None");
    snprintf(number, sizeof number, "%u", static_cast<unsigned>(event.eventId & 0xFFFF));
    SetElement(env, array, 4, number);
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex(2 * event.data.size(), '0');
    for (size_t i = 0; i < event.data.size(); ++i) {
        hex[2 * i] = kDigits[event.data[i] >> 4];
        hex[2 * i + 1] = kDigits[event.data[i] & 15];
    }
    SetElement(env, array, 5, hex.c_str());
    snprintf(number, sizeof number, "%lld", static_cast<long long>(event.timeWritten) * 1000);
    SetElement(env, array, 6, number);
    LookUp(event.source.c_str(), event.eventId, "EventMessageFile", text, kMessageSize);
    Expand(event, text, kMessageSize);
    SetElement(env, array, 7, text);
    char user[2048] = "N/A";
    if (!event.sid.empty()) {
        char name[1024], domain[1024];
        DWORD nameLength = sizeof name, domainLength = sizeof domain;
        SID_NAME_USE use;
        std::vector<BYTE> sid = event.sid;
        if (LookupAccountSidA(nullptr, sid.data(), name, &nameLength, domain, &domainLength,
                              &use)) {
            snprintf(user, sizeof user, "%s\\%s", domain, name);
        }
    }
    SetElement(env, array, 8, user);
    LookUp(event.source.c_str(), event.eventId, "EventMessageFile", text, kMessageSize);
    char key[1024];
    snprintf(key, sizeof key, "%s:%d:%d:%d:%d:%d:%d", kLogName,
             static_cast<int>(static_cast<int32_t>(event.timeGenerated)),
             static_cast<int>(static_cast<int32_t>(event.timeWritten)),
             static_cast<int>(static_cast<int32_t>(event.eventId)),
             static_cast<int>(event.eventType), static_cast<int>(event.category),
             static_cast<int>(Hash(text)));
    SetElement(env, array, 0, key);
    return array;
}

// The file opened afresh and every record read and made into its strings; the records read. The
// classic API hands the records out in the order of their identifiers, the file holds them in the
// order of its chunks: seen, when given, is ordered by identifier.
long FloorReadLog(JNIEnv* env, jclass stringClass, char* text, std::vector<std::string>* seen) {
    EvtxFileHolder file;
    if (libevtx_file_initialize(&file.file, nullptr) != 1) {
        return -1;
    }
    file.opened = libevtx_file_open(file.file, g_evtx.c_str(), LIBEVTX_OPEN_READ, nullptr) == 1;
    int count = 0;
    if (!file.opened || libevtx_file_get_number_of_records(file.file, &count, nullptr) != 1) {
        return -1;
    }
    std::vector<uint16_t> units;
    FloorEvent event;
    std::vector<std::pair<uint64_t, jobjectArray>> made;
    long read = 0;
    for (int i = 0; i < count; ++i) {
        EvtxRecordHolder record;
        if (libevtx_file_get_record_by_index(file.file, i, &record.record, nullptr) != 1 ||
            !ReadFloorEvent(record.record, &units, &event)) {
            continue;
        }
        jobjectArray texts = FloorEventTexts(env, stringClass, event, text);
        ++read;
        if (seen != nullptr) {
            made.emplace_back(event.identifier, texts);
        } else {
            env->DeleteLocalRef(texts);
        }
    }
    std::sort(made.begin(), made.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t number = 0; number < made.size(); ++number) {
        for (jsize element = 0; element < 9; ++element) {
            seen->push_back(std::to_string(number) + "." + std::to_string(element) + " " +
                            ElementText(env, made[number].second, element));
        }
        env->DeleteLocalRef(made[number].second);
    }
    return read;
}

std::string CheckEventFloor(JNIEnv* env, jclass stringClass, char* text) {
    std::vector<std::string> exported, floor;
    jstring name = env->NewStringUTF(kLogName);
    long exportRead = ExportReadLog(env, name, &exported);
    env->DeleteLocalRef(name);
    long floorRead = FloorReadLog(env, stringClass, text, &floor);
    if (floorRead < 0) {
        return "libevtx cannot open " + g_evtx;
    }
    std::string difference = FirstDifference(exported, floor);
    if (difference.empty() && (exportRead != floorRead || exportRead == 0)) {
        difference = "the export read " + std::to_string(exportRead) + " records, the floor " +
                     std::to_string(floorRead);
    }
    return difference;
}

void ReadEvtxFloor(benchmark::State& state) {
    if (g_evtx.empty()) {
        state.SkipWithError("the Windows data holds no System2.evtx");
        return;
    }
    JNIEnv* env = BenchJniEnv();
    jclass stringClass = env->FindClass("java/lang/String");
    std::vector<char> text(kMessageSize);
    if (!g_eventChecked) {
        g_eventChecked = true;
        g_eventCheck = CheckEventFloor(env, stringClass, text.data());
    }
    if (!g_eventCheck.empty()) {
        state.SkipWithError(g_eventCheck.c_str());
    }
    long read = 0;
    for (auto _ : state) {
        read = FloorReadLog(env, stringClass, text.data(), nullptr);
    }
    env->DeleteLocalRef(stringClass);
    CountPer(state, "records", read);
}

int64_t RecordBytes(JNIEnv* env) {
    jstring name = env->NewStringUTF(kLogName);
    jlong log =
        Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_openEventLog(
            env, nullptr, name);
    int64_t largest = -1;
    for (
        jobjectArray record;
        (record =
             Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_readNextEventLogRecord(
                 env, nullptr, log, kEveryField, name)) != nullptr;) {
        int64_t bytes = BenchJavaBytes(env, record);
        largest = bytes > largest ? bytes : largest;
        env->DeleteLocalRef(record);
    }
    Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_closeEventLog(
        env, nullptr, log);
    env->DeleteLocalRef(name);
    return largest;
}

BENCHMARK(RegistryWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(RegistryWalkFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(RegistryWalkCold)->Unit(benchmark::kMillisecond);
BENCHMARK(Services)->Unit(benchmark::kMillisecond);
BENCHMARK(ServicesFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadEvtx)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadEvtxFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(HiveLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(HiveLoadFloor)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const std::string data = PALLWICK_WINDOWS_DATA;
    struct stat hive;
    if (data.empty() || stat((data + "/SYSTEM").c_str(), &hive) != 0) {
        return SkipBenchmarks(argv, "no SYSTEM hive in the Windows data (" + data + ")");
    }
    if (!MakeVolume(data)) {
        RemoveVolume();
        fprintf(stderr, "cannot make a Windows volume of %s\n", data.c_str());
        return 1;
    }
    LoadMemory memory;
    if (MeasureLoadMemory(&memory)) {
        std::string line = LoadMemoryLine(memory, static_cast<long long>(hive.st_size));
        printf("%s\n", line.c_str());
        BenchNote(line);
    }
    if (g_evtx.empty()) {
        BenchNote("no System2.evtx in the Windows data: the .evtx pair is skipped");
    }
    // Over a volume the only drive is the volume's C:, and nothing below it is written: the
    // library's log cannot open, so the exports write no records, and the floors, whose log
    // cannot open either, none of theirs.
    OpenFloorLog("floor.LOG");
    if (g_floorLog.file == nullptr) {
        BenchNote("no diagnostic log over a volume (no drive outside it, no writes below it): the "
                  "exports write no records and the floors none");
    }
    BenchPair("RegistryWalk", "RegistryWalkFloor");
    BenchPair("RegistryWalkCold", "RegistryWalkFloor");
    BenchPair("Services", "ServicesFloor");
    BenchPair("ReadEvtx", "ReadEvtxFloor");
    BenchPair("HiveLoad", "HiveLoadFloor");
    BenchResultSize("Services", ServicesBytes);
    BenchResultSize("ReadEvtx", RecordBytes);
    int result = RunBenchmarks(argc, argv);
    RemoveVolume();
    return result;
}
