// getServices over 5,000 services against its floor: the manager calls and the JNI work any
// implementation needs (a Service object per service, its strings and ints, Vector.add), and the
// records the collection writes at the default level, written by the floors' plain writer
// (bench/FloorLog.h) into a log of their own: four per call and nine per service ("Found",
// "Service", its display name, startup type, executable path, description, status, type and
// start name), each as long as the export's.
#include "bench/BenchSupport.h"
#include "bench/FloorLog.h"
#include "tests/support/Machine.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

extern "C" JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
    JNIEnv* env, jobject self, jobject serviceVector);

namespace {

constexpr int kServiceCount = 5000;

// The services live in the layer's registry for the life of the process; nothing is written to
// the machine image.
void InstallServices() {
    for (int i = 0; i < kServiceCount; ++i) {
        PutService({"BenchService" + std::to_string(i), "Bench service number " + std::to_string(i),
                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                    "C:\\bench\\service.exe -k bench", nullptr, "A service for the benchmark"});
    }
}

jobject NewVector(JNIEnv* env) {
    jclass vectorClass = env->FindClass("java/util/Vector");
    jobject vector = env->NewObject(vectorClass, env->GetMethodID(vectorClass, "<init>", "()V"));
    env->DeleteLocalRef(vectorClass);
    return vector;
}

void GetServices(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    for (auto _ : state) {
        jobject vector = NewVector(env);
        Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
            env, nullptr, vector);
        env->DeleteLocalRef(vector);
    }
}

struct Ids {
    jclass serviceClass;
    jmethodID constructor, add;
    jfieldID name, displayName, binaryPath, startupType, description, status, type, startName;
};

Ids LookUpIds(JNIEnv* env) {
    Ids ids;
    jclass vectorClass = env->FindClass("java/util/Vector");
    ids.add = env->GetMethodID(vectorClass, "add", "(Ljava/lang/Object;)Z");
    env->DeleteLocalRef(vectorClass);
    ids.serviceClass = env->FindClass("com/quorvane/inventory/inventoryagent/Service");
    ids.constructor = env->GetMethodID(ids.serviceClass, "<init>", "()V");
    const char* s = "Ljava/lang/String;";
    ids.name = env->GetFieldID(ids.serviceClass, "name", s);
    ids.displayName = env->GetFieldID(ids.serviceClass, "displayName", s);
    ids.binaryPath = env->GetFieldID(ids.serviceClass, "binaryPath", s);
    ids.startupType = env->GetFieldID(ids.serviceClass, "startupType", s);
    ids.description = env->GetFieldID(ids.serviceClass, "description", s);
    ids.status = env->GetFieldID(ids.serviceClass, "status", s);
    ids.type = env->GetFieldID(ids.serviceClass, "type", "I");
    ids.startName = env->GetFieldID(ids.serviceClass, "startName", s);
    return ids;
}

void SetString(JNIEnv* env, jobject object, jfieldID field, const char* text) {
    jstring string = env->NewStringUTF(text);
    env->SetObjectField(object, field, string);
    env->DeleteLocalRef(string);
}

constexpr char kSource[] = "NativeWinNTServices";
constexpr char kEnumerate[] = "EnumerateServices";
constexpr char kAddService[] = "addServiceInformationToVector";
constexpr char kGetServices[] =
    "Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_"
    "getServices__Ljava_util_Vector_2";

const char* StartupText(DWORD startType) {
    static const char* const kTexts[] = {"Unknown", "Unknown", "Automatic", "Manual", "Disabled"};
    return startType < 5 ? kTexts[startType] : "Unknown";
}

const char* StatusText(DWORD state) {
    static const char* const kTexts[] = {"Unknown",      "Stopped", "StartPending",
                                         "StopPending",  "Started", "ContinuePending",
                                         "PausePending", "Paused"};
    return state < 8 ? kTexts[state] : "Unknown";
}

void AddOne(JNIEnv* env, const Ids& ids, SC_HANDLE manager, const char* name, jobject vector,
            BYTE* config, BYTE* description) {
    FloorRecord(kEnumerate, kSource, 287, "Found: %s", name);
    FloorRecord(kAddService, kSource, 408, "Service: %s", name);
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    DWORD needed = 0;
    SERVICE_STATUS status;
    if (service == nullptr ||
        !QueryServiceConfigA(service, (QUERY_SERVICE_CONFIGA*)config, 8192, &needed) ||
        !QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, description, 4096, &needed) ||
        !QueryServiceStatus(service, &status)) {
        CloseServiceHandle(service);
        return;
    }
    const QUERY_SERVICE_CONFIGA* c = (const QUERY_SERVICE_CONFIGA*)config;
    jobject object = env->NewObject(ids.serviceClass, ids.constructor);
    if (object == nullptr) {
        CloseServiceHandle(service);
        return;
    }
    const char* text = ((SERVICE_DESCRIPTIONA*)description)->lpDescription;
    SetString(env, object, ids.name, name);
    FloorRecord(kAddService, kSource, 176, "Display name: %s", c->lpDisplayName);
    SetString(env, object, ids.displayName, c->lpDisplayName);
    const char* startup = StartupText(c->dwStartType);
    FloorRecord(kAddService, kSource, 196, "Startup type: %s", startup);
    SetString(env, object, ids.startupType, startup);
    FloorRecord(kAddService, kSource, 176, "Executable path: %s", c->lpBinaryPathName);
    SetString(env, object, ids.binaryPath, c->lpBinaryPathName);
    FloorRecord(kAddService, kSource, 230, "Description: %s", text);
    SetString(env, object, ids.description, text);
    const char* state = StatusText(status.dwCurrentState);
    FloorRecord(kAddService, kSource, 247, "Service status: %s", state);
    SetString(env, object, ids.status, state);
    FloorRecord(kAddService, kSource, 252, "Service type: %d", (int)c->dwServiceType);
    env->SetIntField(object, ids.type, (jint)c->dwServiceType);
    FloorRecord(kAddService, kSource, 260, "Service start name: %s", c->lpServiceStartName);
    SetString(env, object, ids.startName, c->lpServiceStartName);
    env->CallBooleanMethod(vector, ids.add, object);
    env->DeleteLocalRef(object);
    CloseServiceHandle(service);
}

void GetServicesFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    Ids ids = LookUpIds(env);
    static BYTE config[8192], description[8192];
    for (auto _ : state) {
        FloorRecord(kGetServices, kSource, 476, "Enumerating all services in the system...");
        jobject vector = NewVector(env);
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, 0x20005);
        DWORD needed = 0, returned = 0, resume = 0;
        EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL, nullptr, 0,
                              &needed, &returned, &resume, nullptr);
        BYTE* buffer = (BYTE*)malloc(needed > 0 ? needed : 1);
        resume = 0;
        if (EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL, buffer,
                                  needed, &needed, &returned, &resume, nullptr)) {
            const auto* entries = (const ENUM_SERVICE_STATUS_PROCESSA*)buffer;
            FloorRecord(kEnumerate, kSource, 322, "Service count: %d", (int)returned);
            FloorRecord(kEnumerate, kSource, 324,
                        "Adding information of all services to the service information vector.");
            for (DWORD i = 0; i < returned; ++i) {
                AddOne(env, ids, manager, entries[i].lpServiceName, vector, config, description);
            }
        }
        free(buffer);
        CloseServiceHandle(manager);
        env->DeleteLocalRef(vector);
        FloorRecord(kGetServices, kSource, 479, " DONE ");
    }
    env->DeleteLocalRef(ids.serviceClass);
}

BENCHMARK(GetServices)->Unit(benchmark::kMillisecond);
BENCHMARK(GetServicesFloor)->Unit(benchmark::kMillisecond);

int64_t ServicesBytes(JNIEnv* env) {
    jobject vector = NewVector(env);
    Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
        env, nullptr, vector);
    int64_t bytes = BenchJavaBytes(env, vector);
    env->DeleteLocalRef(vector);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    InstallServices();
    OpenFloorLog("floor.LOG");
    BenchPair("GetServices", "GetServicesFloor");
    BenchResultSize("GetServices", ServicesBytes);
    return RunBenchmarks(argc, argv);
}
