// The floor of getServices, shared by every benchmark of it: the manager calls and the JNI work
// any implementation needs (a Service object per service, its strings and ints, Vector.add), and
// the records the collection writes at the default level, written by the floors' plain writer
// (bench/FloorLog.h) into a log of their own: four per call and nine per service ("Found",
// "Service", its display name, startup type, executable path, description, status, type and
// start name), each as long as the export's.
#pragma once

#include "bench/BenchSupport.h"
#include "bench/FloorLog.h"

#include "Platform/Win32.h"

#include <jni.h>
#include <stdlib.h>

// The export under the name the library gives it (the Java method is overloaded).
extern "C" JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
    JNIEnv* env, jobject self, jobject serviceVector);

inline jobject NewServiceVector(JNIEnv* env) {
    jclass vectorClass = env->FindClass("java/util/Vector");
    jobject vector = env->NewObject(vectorClass, env->GetMethodID(vectorClass, "<init>", "()V"));
    env->DeleteLocalRef(vectorClass);
    return vector;
}

struct ServiceFloorIds {
    jclass serviceClass;
    jmethodID constructor, add;
    jfieldID name, displayName, binaryPath, startupType, description, status, type, startName;
};

// The caller deletes serviceClass.
inline ServiceFloorIds LookUpServiceFloorIds(JNIEnv* env) {
    ServiceFloorIds ids;
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

inline void SetServiceString(JNIEnv* env, jobject object, jfieldID field, const char* text) {
    jstring string = env->NewStringUTF(text);
    env->SetObjectField(object, field, string);
    env->DeleteLocalRef(string);
}

constexpr char kServicesFloorSource[] = "NativeWinNTServices";
constexpr char kServicesFloorEnumerate[] = "EnumerateServices";
constexpr char kServicesFloorAddService[] = "addServiceInformationToVector";
constexpr char kServicesFloorGetServices[] =
    "Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_"
    "getServices__Ljava_util_Vector_2";

inline const char* ServiceStartupText(DWORD startType) {
    static const char* const kTexts[] = {"Unknown", "Unknown", "Automatic", "Manual", "Disabled"};
    return startType < 5 ? kTexts[startType] : "Unknown";
}

inline const char* ServiceStatusText(DWORD state) {
    static const char* const kTexts[] = {"Unknown",      "Stopped", "StartPending",
                                         "StopPending",  "Started", "ContinuePending",
                                         "PausePending", "Paused"};
    return state < 8 ? kTexts[state] : "Unknown";
}

constexpr DWORD kServiceFloorBufferSize = 8192;

// One service into the vector; false when the manager cannot describe it.
inline bool AddFloorService(JNIEnv* env, const ServiceFloorIds& ids, SC_HANDLE manager,
                            const char* name, jobject vector, BYTE* config, BYTE* description) {
    const char* source = kServicesFloorSource;
    FloorRecord(kServicesFloorEnumerate, source, 287, "Found: %s", name);
    FloorRecord(kServicesFloorAddService, source, 408, "Service: %s", name);
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    DWORD needed = 0;
    SERVICE_STATUS status;
    auto* c = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(config);
    if (service == nullptr || !QueryServiceConfigA(service, c, kServiceFloorBufferSize, &needed)) {
        CloseServiceHandle(service);
        return false;
    }
    // A description that cannot be loaded (its file missing) is no failure, as to the agent.
    bool described = QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, description,
                                          kServiceFloorBufferSize, &needed) != FALSE;
    if (!QueryServiceStatus(service, &status)) {
        CloseServiceHandle(service);
        return false;
    }
    jobject object = env->NewObject(ids.serviceClass, ids.constructor);
    if (object == nullptr) {
        CloseServiceHandle(service);
        return false;
    }
    const char* text =
        described ? reinterpret_cast<SERVICE_DESCRIPTIONA*>(description)->lpDescription : nullptr;
    SetServiceString(env, object, ids.name, name);
    const char* add = kServicesFloorAddService;
    FloorRecord(add, source, 176, "Display name: %s", c->lpDisplayName);
    SetServiceString(env, object, ids.displayName, c->lpDisplayName);
    const char* startup = ServiceStartupText(c->dwStartType);
    FloorRecord(add, source, 196, "Startup type: %s", startup);
    SetServiceString(env, object, ids.startupType, startup);
    FloorRecord(add, source, 176, "Executable path: %s", c->lpBinaryPathName);
    SetServiceString(env, object, ids.binaryPath, c->lpBinaryPathName);
    if (!described) {
        // The system's text of the error and the agent's own record, as the export writes them.
        char reason[256] = "";
        DWORD error = GetLastError();
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, reason, sizeof reason, nullptr);
        FloorRecord(add, source, 209, "System code: %u: %s", static_cast<unsigned>(error), reason);
        FloorRecord(add, source, 211,
                    "Failed to get description for service '%s', returning null description", name);
    }
    if (text != nullptr && text[0] != '\0') {
        FloorRecord(add, source, 230, "Description: %s", text);
        SetServiceString(env, object, ids.description, text);
    }
    const char* state = ServiceStatusText(status.dwCurrentState);
    FloorRecord(add, source, 247, "Service status: %s", state);
    SetServiceString(env, object, ids.status, state);
    FloorRecord(add, source, 252, "Service type: %d", static_cast<int>(c->dwServiceType));
    env->SetIntField(object, ids.type, static_cast<jint>(c->dwServiceType));
    FloorRecord(add, source, 260, "Service start name: %s", c->lpServiceStartName);
    SetServiceString(env, object, ids.startName, c->lpServiceStartName);
    env->CallBooleanMethod(vector, ids.add, object);
    env->DeleteLocalRef(object);
    CloseServiceHandle(service);
    return true;
}

// One whole collection into a fresh vector; the services it added. config and description are
// kServiceFloorBufferSize bytes each.
inline DWORD CollectFloorServices(JNIEnv* env, const ServiceFloorIds& ids, BYTE* config,
                                  BYTE* description) {
    const char* source = kServicesFloorSource;
    FloorRecord(kServicesFloorGetServices, source, 476,
                "Enumerating all services in the system...");
    jobject vector = NewServiceVector(env);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, 0x20005);
    DWORD needed = 0, returned = 0, resume = 0, added = 0;
    EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL, nullptr, 0,
                          &needed, &returned, &resume, nullptr);
    BYTE* buffer = static_cast<BYTE*>(malloc(needed > 0 ? needed : 1));
    resume = 0;
    if (buffer != nullptr &&
        EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL, buffer,
                              needed, &needed, &returned, &resume, nullptr)) {
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer);
        FloorRecord(kServicesFloorEnumerate, source, 322, "Service count: %d",
                    static_cast<int>(returned));
        FloorRecord(kServicesFloorEnumerate, source, 324,
                    "Adding information of all services to the service information vector.");
        for (DWORD i = 0; i < returned; ++i) {
            added += AddFloorService(env, ids, manager, entries[i].lpServiceName, vector, config,
                                     description)
                         ? 1
                         : 0;
        }
    }
    free(buffer);
    CloseServiceHandle(manager);
    env->DeleteLocalRef(vector);
    FloorRecord(kServicesFloorGetServices, source, 479, " DONE ");
    return added;
}

// The Java size of the export's result, for the summary's result column.
inline int64_t ServicesBytes(JNIEnv* env) {
    jobject vector = NewServiceVector(env);
    Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
        env, nullptr, vector);
    int64_t bytes = BenchJavaBytes(env, vector);
    env->DeleteLocalRef(vector);
    return bytes;
}
