// getAttributeValues over 1,000 to 10,000 programs of 8 attributes each, against its floor: the
// registry reads (the subkey, its DisplayName, each value's size and data), one
// InventoryAttributeValue per value with its three setters, size and add, and the records the
// collection writes at the default level, written by the floors' plain writer (bench/FloorLog.h)
// into a log of their own: five per call and 17 per program ("Subkey", then "Finding value of
// attribiute" and "Value of attribute" for each attribute), each as long as the export's. Those
// records are most of the time on both sides.
#include "bench/BenchSupport.h"
#include "bench/FloorLog.h"
#include "tests/support/Machine.h"

#include "Common/LanguageNames.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>

namespace {

const char kUninstallPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const kAttributes[] = {"DisplayName",     "DisplayVersion",  "Publisher",
                                   "InstallLocation", "UninstallString", "EstimatedSize",
                                   "Language",        "ProdID"};
constexpr int kAttributeCount = 8;

HKEY g_uninstall = nullptr;
int g_programs = 0;

// The registry holds exactly count programs under Uninstall, and nothing from a machine image.
void EnsurePrograms(int count) {
    if (g_uninstall == nullptr) {
        std::string empty = std::filesystem::temp_directory_path() / "pallwick-bench-empty";
        std::filesystem::create_directories(empty);
        setenv("WINEPREFIX", empty.c_str(), 1);
        RegistryResetForTests();
        g_uninstall = CreateMachineKey(kUninstallPath);
    }
    char name[32];
    for (; g_programs < count; ++g_programs) {
        snprintf(name, sizeof name, "Program%05d", g_programs);
        HKEY key = CreateMachineKey(std::string(kUninstallPath) + "\\" + name);
        SetText(key, "DisplayName", std::string("Quorvane Bench ") + name);
        SetText(key, "DisplayVersion", "1.2." + std::to_string(g_programs));
        SetText(key, "Publisher", "Quorvane Fixtures Ltd.");
        SetText(key, "InstallLocation", std::string("C:\\Program Files\\Quorvane\\") + name);
        SetText(key, "UninstallString",
                std::string("C:\\Program Files\\Quorvane\\remove.exe ") + name);
        SetDword(key, "EstimatedSize", 1000 + g_programs);
        SetDword(key, "Language", 1033);
        RegCloseKey(key);
    }
    for (; g_programs > count; --g_programs) {
        snprintf(name, sizeof name, "Program%05d", g_programs - 1);
        RegDeleteKeyA(g_uninstall, name);
    }
}

jobject NewResultVector(JNIEnv* env) {
    jclass vectorClass =
        env->FindClass("com/quorvane/inventory/inventoryagent/InventoryResultVector");
    jobject vector = env->NewObject(vectorClass, env->GetMethodID(vectorClass, "<init>", "()V"));
    env->DeleteLocalRef(vectorClass);
    return vector;
}

// The attribute names and their master codes, as the agent's caller passes them.
struct CollectionArguments {
    JNIEnv* env;
    jobjectArray names;
    jintArray masterCodes;

    explicit CollectionArguments(JNIEnv* jni) : env(jni) {
        jclass stringClass = env->FindClass("java/lang/String");
        names = env->NewObjectArray(kAttributeCount, stringClass, nullptr);
        env->DeleteLocalRef(stringClass);
        jint codes[kAttributeCount];
        for (int i = 0; i < kAttributeCount; ++i) {
            jstring name = env->NewStringUTF(kAttributes[i]);
            env->SetObjectArrayElement(names, i, name);
            env->DeleteLocalRef(name);
            codes[i] = 100 + i;
        }
        masterCodes = env->NewIntArray(kAttributeCount);
        env->SetIntArrayRegion(masterCodes, 0, kAttributeCount, codes);
    }
    ~CollectionArguments() {
        env->DeleteLocalRef(masterCodes);
        env->DeleteLocalRef(names);
    }
    CollectionArguments(const CollectionArguments&) = delete;
    CollectionArguments& operator=(const CollectionArguments&) = delete;
};

void InstalledSoftware(benchmark::State& state) {
    EnsurePrograms((int)state.range(0));
    JNIEnv* env = BenchJniEnv();
    CollectionArguments arguments(env);
    for (auto _ : state) {
        jobject vector = NewResultVector(env);
        jbyte result =
            Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
                env, nullptr, arguments.names, arguments.masterCodes, vector, JNI_FALSE,
                0x7FFFFFFF);
        if (result != 0) {
            state.SkipWithError("the collection failed");
        }
        env->DeleteLocalRef(vector);
    }
    state.counters["programs"] = (double)state.range(0);
}

struct Host {
    jclass valueClass;
    jmethodID init, setCode, setValue, setId, size, add;
};

Host LookUpHost(JNIEnv* env) {
    Host host;
    jclass vectorClass =
        env->FindClass("com/quorvane/inventory/inventoryagent/InventoryResultVector");
    host.valueClass = env->FindClass("com/quorvane/inventory/InventoryAttributeValue");
    host.init = env->GetMethodID(host.valueClass, "<init>", "()V");
    host.setCode = env->GetMethodID(host.valueClass, "setMasterCode", "(I)V");
    host.setValue = env->GetMethodID(host.valueClass, "setAttributeValue", "(Ljava/lang/String;)V");
    host.setId = env->GetMethodID(host.valueClass, "setUniqueInstanceId", "(Ljava/lang/String;)V");
    host.size = env->GetMethodID(vectorClass, "size", "()I");
    host.add = env->GetMethodID(vectorClass, "add", "(Ljava/lang/Object;)Z");
    env->DeleteLocalRef(vectorClass);
    return host;
}

// One value straight from the registry, formatted as the collection would (a language by its
// name).
void ReadValue(HKEY key, const char* subkeyName, const char* attribute, char* text, size_t room) {
    DWORD type = 0, size = 0;
    text[0] = '\0';
    if (strcmp(attribute, "ProdID") == 0) {
        snprintf(text, room, "%s", subkeyName);
    } else if (RegQueryValueExA(key, attribute, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        size = (DWORD)room - 1;
        DWORD number = 0;
        BYTE* data = type == REG_DWORD ? (BYTE*)&number : (BYTE*)text;
        if (type == REG_DWORD) {
            size = sizeof number;
        }
        if (RegQueryValueExA(key, attribute, nullptr, nullptr, data, &size) == ERROR_SUCCESS &&
            type == REG_DWORD) {
            bool language = strcmp(attribute, "Language") == 0;
            snprintf(text, room, "%s", language ? LookupLanguageName((uint16_t)number) : "");
            if (!language) {
                snprintf(text, room, "%d", (int)number);
            }
        } else if (type != REG_DWORD) {
            text[size] = '\0';
        }
    }
}

void AppendValue(JNIEnv* env, const Host& host, jobject vector, jint code, const char* text,
                 const char* subkeyName) {
    jobject value = env->NewObject(host.valueClass, host.init);
    env->CallVoidMethod(value, host.setCode, code);
    jstring textString = env->NewStringUTF(text);
    env->CallVoidMethod(value, host.setValue, textString);
    jstring idString = env->NewStringUTF(subkeyName);
    env->CallVoidMethod(value, host.setId, idString);
    env->CallIntMethod(vector, host.size);
    env->CallBooleanMethod(vector, host.add, value);
    env->DeleteLocalRef(idString);
    env->DeleteLocalRef(textString);
    env->DeleteLocalRef(value);
}

constexpr char kSource[] = "NativeInstalledApps";
constexpr char kWalk[] = "AddAttributeValuesToResultsVector";
constexpr char kEntry[] =
    "Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues";

// One program's values, if it has a DisplayName.
void FloorProgram(JNIEnv* env, const Host& host, jobject vector, const char* name, char* text,
                  size_t room) {
    FloorRecord(kWalk, kSource, 131, "Subkey: '%s'", name);
    HKEY key = nullptr;
    if (RegOpenKeyExA(g_uninstall, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
    if (RegQueryValueExA(key, "DisplayName", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        for (int a = 0; a < kAttributeCount; ++a) {
            FloorRecord(kWalk, kSource, 98, "Finding value of attribiute '%s'", kAttributes[a]);
            ReadValue(key, name, kAttributes[a], text, room);
            FloorRecord(kWalk, kSource, 107, "Value of attribute : '%s'", text);
            AppendValue(env, host, vector, 100 + a, text, name);
        }
    }
    RegCloseKey(key);
}

void InstalledSoftwareFloor(benchmark::State& state) {
    EnsurePrograms((int)state.range(0));
    JNIEnv* env = BenchJniEnv();
    Host host = LookUpHost(env);
    char name[256], text[1024];
    for (auto _ : state) {
        FloorRecord(kEntry, kSource, 340, "Entered the method");
        jobject vector = NewResultVector(env);
        FloorRecord(kEntry, kSource, 289,
                    "-------------- Getting information from subkeys under "
                    "'HKEY_LOCAL_MACHINE/Software/Microsoft/Windows/CurrentVersion/Uninstall' "
                    "--------------");
        DWORD subkeys = 0;
        RegQueryInfoKeyA(g_uninstall, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr);
        FloorRecord(kWalk, kSource, 172, "\nTotal subkeys under 'Uninstall' key = %d",
                    (int)subkeys);
        FloorRecord(kWalk, kSource, 174, "Finding all subkeys having a dispaly name attribute.");
        for (DWORD i = 0; i < subkeys; ++i) {
            DWORD length = sizeof name;
            if (RegEnumKeyExA(g_uninstall, i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                ERROR_SUCCESS) {
                FloorProgram(env, host, vector, name, text, sizeof text);
            }
        }
        env->DeleteLocalRef(vector);
        FloorRecord(kEntry, kSource, 330, "Exiting the method");
    }
    state.counters["programs"] = (double)state.range(0);
    env->DeleteLocalRef(host.valueClass);
}

BENCHMARK(InstalledSoftware)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(InstalledSoftwareFloor)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The result vector of one collection of every attribute over `programs` programs.
int64_t CollectionBytes(JNIEnv* env, int programs) {
    EnsurePrograms(programs);
    CollectionArguments arguments(env);
    jobject vector = NewResultVector(env);
    Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
        env, nullptr, arguments.names, arguments.masterCodes, vector, JNI_FALSE, 0x7FFFFFFF);
    int64_t bytes = BenchJavaBytes(env, vector);
    env->DeleteLocalRef(vector);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    OpenFloorLog("floor.LOG");
    BenchPair("InstalledSoftware/10000", "InstalledSoftwareFloor/10000");
    BenchPair("InstalledSoftware/3000", "InstalledSoftwareFloor/3000");
    BenchPair("InstalledSoftware/1000", "InstalledSoftwareFloor/1000");
    BenchResultSize("InstalledSoftware/10000",
                    [](JNIEnv* env) { return CollectionBytes(env, 10000); });
    BenchResultSize("InstalledSoftware/1000",
                    [](JNIEnv* env) { return CollectionBytes(env, 1000); });
    // Growth from 1,000 to 10,000 programs: linear is 10.
    BenchPair("InstalledSoftware/10000", "InstalledSoftware/1000");
    return RunBenchmarks(argc, argv);
}
