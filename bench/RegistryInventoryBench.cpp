// The registry agent against its floors: getChildKeyNames on keys of 1,000, 10,000 and 100,000
// subkeys, and getValue over 10,000 values of mixed types read one by one, all from one key and
// ten from each of 1,000 keys. A floor is the registry calls any implementation makes (the open,
// for a value its size and then its data), the JNI work it cannot avoid (the path's chars, the
// strings, the array) and the records the export writes at the default level, written by the
// floors' plain writer (bench/FloorLog.h) into a log of their own, each as long as the export's:
// one per getChildKeyNames call ("Finding child key names for"), five per value ("Getting value
// for keyname", the predefined and actual key names, "Query for value name", the data type). The
// keys are written into the registry at start-up and live in memory only.
#include "bench/BenchSupport.h"
#include "tests/support/Machine.h"
#include "bench/FloorLog.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kBenchKey[] = "SOFTWARE\\PallwickBench";
constexpr int kValueCount = 10000;
constexpr int kSpreadKeyCount = 1000;
constexpr char kSource[] = "WindowsRegistryAgent";
constexpr char kChildKeyNamesName[] =
    "Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames";
constexpr char kGetValueName[] =
    "Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue";

std::string KeysPath(int64_t count) {
    return std::string(kBenchKey) + "\\Keys" + std::to_string(count);
}

std::string ValuesPath() {
    return std::string(kBenchKey) + "\\Values";
}

// The key that holds value i: the one key, or one of 1,000 keys of ten values each.
std::string ValueKeyPath(bool spread, int i) {
    return spread ? std::string(kBenchKey) + "\\Spread\\Key" + std::to_string(i % kSpreadKeyCount)
                  : ValuesPath();
}

void CreateSubkeys(int64_t count) {
    char name[32];
    for (int64_t i = 0; i < count; ++i) {
        snprintf(name, sizeof name, "\\Subkey%06lld", (long long)i);
        PutKey(KeysPath(count) + name);
    }
}

// A third each of strings, DWORDs and 16-byte binaries, as an installed program's key mixes them.
void SetBenchValue(const std::string& key, const std::string& name, int i) {
    const BYTE binary[16] = {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    if (i % 3 == 0) {
        SetText(key, name.c_str(), "C:\\Program Files\\Vendor\\Product " + std::to_string(i));
    } else if (i % 3 == 1) {
        SetDword(key, name.c_str(), (DWORD)i * 2654435761u);
    } else {
        SetValue(key, name.c_str(), REG_BINARY, binary, sizeof binary);
    }
}

// The same 10,000 values in both shapes.
std::vector<std::string> CreateValues() {
    std::vector<std::string> names;
    for (int i = 0; i < kValueCount; ++i) {
        names.push_back("Value" + std::to_string(i));
        for (bool spread : {false, true}) {
            SetBenchValue(ValueKeyPath(spread, i), names.back(), i);
        }
    }
    return names;
}

const std::vector<std::string>& ValueNames() {
    static const std::vector<std::string> names = CreateValues();
    return names;
}

void EnsureSubkeys(int64_t count) {
    static std::vector<int64_t> made;
    for (int64_t size : made) {
        if (size == count) {
            return;
        }
    }
    CreateSubkeys(count);
    made.push_back(count);
}

// Seconds per item, so that the two sizes can be compared item for item.
void CountItems(benchmark::State& state, int64_t items) {
    state.counters["per_item"] = benchmark::Counter(
        (double)items, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void ChildKeyNames(benchmark::State& state) {
    EnsureSubkeys(state.range(0));
    JNIEnv* env = BenchJniEnv();
    jstring path = env->NewStringUTF(("HKLM\\" + KeysPath(state.range(0))).c_str());
    for (auto _ : state) {
        jobjectArray names =
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
                env, nullptr, path);
        env->DeleteLocalRef(names);
    }
    env->DeleteLocalRef(path);
    CountItems(state, state.range(0));
}

void ChildKeyNamesFloor(benchmark::State& state) {
    EnsureSubkeys(state.range(0));
    JNIEnv* env = BenchJniEnv();
    jstring path = env->NewStringUTF(KeysPath(state.range(0)).c_str());
    jclass stringClass = env->FindClass("java/lang/String");
    for (auto _ : state) {
        const char* chars = env->GetStringUTFChars(path, nullptr);
        FloorRecord(kChildKeyNamesName, kSource, 139, "Finding child key names for[HKLM\\%s]",
                    chars);
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, chars, 0, KEY_READ, &key);
        env->ReleaseStringUTFChars(path, chars);
        DWORD count = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr);
        jobjectArray names = env->NewObjectArray((jsize)count, stringClass, nullptr);
        char name[MAX_PATH];
        for (DWORD i = 0; i < count; ++i) {
            DWORD length = MAX_PATH;
            RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            jstring text = env->NewStringUTF(name);
            env->SetObjectArrayElement(names, (jsize)i, text);
            env->DeleteLocalRef(text);
        }
        RegCloseKey(key);
        env->DeleteLocalRef(names);
    }
    env->DeleteLocalRef(stringClass);
    env->DeleteLocalRef(path);
    CountItems(state, state.range(0));
}

// The key path of each value, as Java would hold it, with or without the root's name.
std::vector<jstring> ValuePaths(JNIEnv* env, bool spread, const char* root) {
    std::vector<jstring> paths;
    for (int i = 0; i < kValueCount; ++i) {
        paths.push_back(i == 0 || spread
                            ? env->NewStringUTF((root + ValueKeyPath(spread, i)).c_str())
                            : paths[0]);
    }
    return paths;
}

void DeletePaths(JNIEnv* env, const std::vector<jstring>& paths, bool spread) {
    for (size_t i = 0; i < (spread ? paths.size() : 1); ++i) {
        env->DeleteLocalRef(paths[i]);
    }
}

void GetValue(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    const std::vector<std::string>& names = ValueNames();
    bool spread = state.range(0) != 0;
    std::vector<jstring> paths = ValuePaths(env, spread, "HKLM\\");
    for (auto _ : state) {
        for (size_t i = 0; i < names.size(); ++i) {
            jstring valueName = env->NewStringUTF(names[i].c_str());
            jobjectArray value =
                Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
                    env, nullptr, paths[i], valueName);
            env->DeleteLocalRef(value);
            env->DeleteLocalRef(valueName);
        }
    }
    DeletePaths(env, paths, spread);
    CountItems(state, (int64_t)names.size());
}

// The text of one value as the agent makes it, from a buffer the floor owns.
void FloorText(DWORD type, const BYTE* data, DWORD size, char* text, size_t room) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (type == REG_DWORD) {
        int32_t number = 0;
        memcpy(&number, data, size < 4 ? size : 4);
        snprintf(text, room, "%d", (int)number);
    } else if (type == REG_BINARY) {
        for (DWORD i = 0; i < size && 2 * i + 2 < room; ++i) {
            text[2 * i] = kDigits[data[i] >> 4];
            text[2 * i + 1] = kDigits[data[i] & 15];
        }
        text[2 * (size_t)size < room ? 2 * size : room - 1] = '\0';
    } else {
        size_t length = strnlen((const char*)data, size < room ? size : room - 1);
        memcpy(text, data, length);
        text[length] = '\0';
    }
}

const char* TypeLabel(DWORD type) {
    return type == REG_BINARY ? "Binary" : type == REG_DWORD ? "DWORD" : "String";
}

// The value's size, then its data into a buffer of that size: what reading a value of unknown
// size takes.
DWORD ReadSizedValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD room) {
    DWORD size = 0;
    RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    BYTE* buffer = (BYTE*)malloc(size > 0 ? size : 1);
    RegQueryValueExA(key, name, nullptr, type, buffer, &size);
    size = size < room ? size : room;
    memcpy(data, buffer, size);
    free(buffer);
    return size;
}

void GetValueFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    const std::vector<std::string>& names = ValueNames();
    bool spread = state.range(0) != 0;
    std::vector<jstring> paths = ValuePaths(env, spread, "");
    jclass stringClass = env->FindClass("java/lang/String");
    BYTE data[1024];
    char text[2 * sizeof data + 1];
    for (auto _ : state) {
        for (size_t i = 0; i < names.size(); ++i) {
            jstring path = paths[i];
            jstring valueName = env->NewStringUTF(names[i].c_str());
            const char* keyChars = env->GetStringUTFChars(path, nullptr);
            FloorRecord(kGetValueName, kSource, 148, "Getting value for keyname [HKLM\\%s]",
                        keyChars);
            FloorRecord(kGetValueName, kSource, 159, "predefined key name = %s", "HKLM");
            FloorRecord(kGetValueName, kSource, 160, "Actual key name = %s", keyChars);
            const char* nameChars = env->GetStringUTFChars(valueName, nullptr);
            FloorRecord(kGetValueName, kSource, 387, "Query for value name[%s]", nameChars);
            HKEY key = nullptr;
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyChars, 0, KEY_READ, &key);
            DWORD type = 0;
            DWORD size = ReadSizedValue(key, nameChars, &type, data, sizeof data);
            RegCloseKey(key);
            FloorRecord(kGetValueName, kSource, 335, "%s data type [%d]", TypeLabel(type),
                        (int)type);
            FloorText(type, data, size, text, sizeof text);
            jobjectArray value = env->NewObjectArray(2, stringClass, nullptr);
            jstring code = env->NewStringUTF(type == REG_DWORD ? "3" : "1");
            jstring string = env->NewStringUTF(text);
            env->SetObjectArrayElement(value, 1, code);
            env->SetObjectArrayElement(value, 0, string);
            env->DeleteLocalRef(code);
            env->DeleteLocalRef(string);
            env->DeleteLocalRef(value);
            env->ReleaseStringUTFChars(valueName, nameChars);
            env->ReleaseStringUTFChars(path, keyChars);
            env->DeleteLocalRef(valueName);
        }
    }
    env->DeleteLocalRef(stringClass);
    DeletePaths(env, paths, spread);
    CountItems(state, (int64_t)names.size());
}

BENCHMARK(ChildKeyNames)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ChildKeyNamesFloor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
// 0: the 10,000 values of one key; 1: ten values in each of 1,000 keys.
BENCHMARK(GetValue)->ArgName("spread")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(GetValueFloor)->ArgName("spread")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int64_t ChildKeyNamesBytes(JNIEnv* env, int64_t count) {
    EnsureSubkeys(count);
    jstring path = env->NewStringUTF(("HKLM\\" + KeysPath(count)).c_str());
    jobjectArray names =
        Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
            env, nullptr, path);
    int64_t bytes = BenchJavaBytes(env, names);
    env->DeleteLocalRef(names);
    env->DeleteLocalRef(path);
    return bytes;
}

// The largest result of one value.
int64_t LargestValueBytes(JNIEnv* env) {
    jstring path = env->NewStringUTF(("HKLM\\" + ValuesPath()).c_str());
    int64_t largest = -1;
    for (const std::string& name : ValueNames()) {
        jstring valueName = env->NewStringUTF(name.c_str());
        jobjectArray value =
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
                env, nullptr, path, valueName);
        largest = std::max(largest, BenchJavaBytes(env, value));
        env->DeleteLocalRef(value);
        env->DeleteLocalRef(valueName);
    }
    env->DeleteLocalRef(path);
    return largest;
}

} // namespace

int main(int argc, char** argv) {
    OpenFloorLog("floor.LOG");
    BenchPair("ChildKeyNames/1000", "ChildKeyNamesFloor/1000");
    BenchPair("ChildKeyNames/10000", "ChildKeyNamesFloor/10000");
    BenchPair("ChildKeyNames/100000", "ChildKeyNamesFloor/100000");
    // Growth from 1,000 to 100,000 subkeys: linear is 100.
    BenchPair("ChildKeyNames/100000", "ChildKeyNames/1000");
    BenchPair("GetValue/spread:0", "GetValueFloor/spread:0");
    BenchPair("GetValue/spread:1", "GetValueFloor/spread:1");
    // One key of 10,000 values against 1,000 keys of ten: the same work, so 1 if reading a value
    // does not grow with its key.
    BenchPair("GetValue/spread:0", "GetValue/spread:1");
    for (int64_t count : {1000, 10000, 100000}) {
        BenchResultSize("ChildKeyNames/" + std::to_string(count),
                        [count](JNIEnv* env) { return ChildKeyNamesBytes(env, count); });
    }
    // The values are the same in both shapes.
    BenchResultSize("GetValue/spread:0", LargestValueBytes);
    BenchResultSize("GetValue/spread:1", LargestValueBytes);
    return RunBenchmarks(argc, argv);
}
