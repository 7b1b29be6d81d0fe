// The registry agent against its floors: getChildKeyNames on keys of 1,000 and 100,000 subkeys,
// and getValue over 10,000 values of mixed types. A floor is the registry calls any
// implementation makes plus the JNI work it cannot avoid (the path's chars, the strings, the
// array). The keys are written into the registry at start-up and live in memory only.
#include "bench/BenchSupport.h"

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

std::string KeysPath(int64_t count) {
    return std::string(kBenchKey) + "\\Keys" + std::to_string(count);
}

std::string ValuesPath() {
    return std::string(kBenchKey) + "\\Values";
}

HKEY CreateKey(const std::string& path) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    return key;
}

void CreateSubkeys(int64_t count) {
    HKEY parent = CreateKey(KeysPath(count));
    char name[32];
    for (int64_t i = 0; i < count; ++i) {
        snprintf(name, sizeof name, "Subkey%06lld", (long long)i);
        HKEY child = nullptr;
        RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
        RegCloseKey(child);
    }
    RegCloseKey(parent);
}

// A third each of strings, DWORDs and 16-byte binaries, as an installed program's key mixes them.
std::vector<std::string> CreateValues() {
    HKEY key = CreateKey(ValuesPath());
    std::vector<std::string> names;
    const BYTE binary[16] = {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    for (int i = 0; i < kValueCount; ++i) {
        names.push_back("Value" + std::to_string(i));
        const std::string text = "C:\\Program Files\\Vendor\\Product " + std::to_string(i);
        DWORD number = (DWORD)i * 2654435761u;
        if (i % 3 == 0) {
            RegSetValueExA(key, names.back().c_str(), 0, REG_SZ, (const BYTE*)text.c_str(),
                           (DWORD)text.size() + 1);
        } else if (i % 3 == 1) {
            RegSetValueExA(key, names.back().c_str(), 0, REG_DWORD, (const BYTE*)&number, 4);
        } else {
            RegSetValueExA(key, names.back().c_str(), 0, REG_BINARY, binary, sizeof binary);
        }
    }
    RegCloseKey(key);
    return names;
}

const std::vector<std::string>& ValueNames() {
    static const std::vector<std::string> names = CreateValues();
    return names;
}

void EnsureSubkeys(int64_t count) {
    static bool made1000 = false, made100000 = false;
    bool& made = count == 1000 ? made1000 : made100000;
    if (!made) {
        CreateSubkeys(count);
        made = true;
    }
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

void GetValue(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    const std::vector<std::string>& names = ValueNames();
    jstring path = env->NewStringUTF(("HKLM\\" + ValuesPath()).c_str());
    for (auto _ : state) {
        for (const std::string& name : names) {
            jstring valueName = env->NewStringUTF(name.c_str());
            jobjectArray value =
                Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
                    env, nullptr, path, valueName);
            env->DeleteLocalRef(value);
            env->DeleteLocalRef(valueName);
        }
    }
    env->DeleteLocalRef(path);
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

void GetValueFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    const std::vector<std::string>& names = ValueNames();
    jstring path = env->NewStringUTF(ValuesPath().c_str());
    jclass stringClass = env->FindClass("java/lang/String");
    BYTE data[1024];
    char text[2 * sizeof data + 1];
    for (auto _ : state) {
        for (const std::string& name : names) {
            jstring valueName = env->NewStringUTF(name.c_str());
            const char* keyChars = env->GetStringUTFChars(path, nullptr);
            const char* nameChars = env->GetStringUTFChars(valueName, nullptr);
            HKEY key = nullptr;
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyChars, 0, KEY_READ, &key);
            DWORD type = 0, size = sizeof data;
            RegQueryValueExA(key, nameChars, nullptr, &type, data, &size);
            RegCloseKey(key);
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
    env->DeleteLocalRef(path);
    CountItems(state, (int64_t)names.size());
}

BENCHMARK(ChildKeyNames)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ChildKeyNamesFloor)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(GetValue)->Unit(benchmark::kMillisecond);
BENCHMARK(GetValueFloor)->Unit(benchmark::kMillisecond);

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
    BenchPair("ChildKeyNames/1000", "ChildKeyNamesFloor/1000");
    BenchPair("ChildKeyNames/100000", "ChildKeyNamesFloor/100000");
    BenchPair("GetValue", "GetValueFloor");
    BenchResultSize("ChildKeyNames/1000",
                    [](JNIEnv* env) { return ChildKeyNamesBytes(env, 1000); });
    BenchResultSize("ChildKeyNames/100000",
                    [](JNIEnv* env) { return ChildKeyNamesBytes(env, 100000); });
    BenchResultSize("GetValue", LargestValueBytes);
    return RunBenchmarks(argc, argv);
}
