#include "InventoryAgents/NativeWinNTServices/NativeWinNTServices.h"

#include "Common/DiagnosticLog.h"
#include "Common/HostClasses.h"
#include "Common/JniSupport.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"

#include <stdint.h>
#include <stdlib.h>

#include <atomic>
#include <type_traits>

#define LOG_SOURCE "InventoryAgents\\NativeWinNTServices\\NativeWinNTServices"

// javac -h declares getServices under its short name; the library exports the long one, which
// must keep the same signature.
static_assert(
    std::is_same_v<
        decltype(&Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices),
        decltype(&Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2)>,
    "getServices no longer matches its Java declaration");

namespace {

const char GET_SERVICES[] = "Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_"
                            "getServices__Ljava_util_Vector_2";
const char CHECK_INSTANCE[] =
    "Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_checkInstance";
const char ADD_SERVICE[] = "addServiceInformationToVector";

constexpr DWORD SCM_ACCESS =
    STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_CONNECT;
// Kernel, file-system and recognizer drivers, adapters, own- and shared-process services, user
// services and their instances, interactive or not.
constexpr DWORD ALL_SERVICE_TYPES = 0x1FF;
constexpr DWORD WORK_BUFFER_SIZE = 8192;
constexpr DWORD DESCRIPTION_OFFERED = 4096;

// Set by cancelCollection on another Java thread and never cleared: once asked, every later
// enumeration of the process stops before its first service.
std::atomic<int32_t> cancelRequested{0};

struct ServiceJniCache {
    jmethodID addMethod;
    jclass serviceClass;
    jfieldID name, displayName, binaryPath, startupType, description, status, type, startName;
    jmethodID constructor;
};

// The class entry is a local reference of the enumerating thread, so each thread keeps its own
// store: two enumerations on two threads cannot hand each other a reference they may not use.
thread_local ServiceJniCache serviceJniCache = {};

struct FieldLookup {
    jfieldID ServiceJniCache::*slot;
    const char* name;
    const char* signature;
    const char* missing;
};

#define SERVICE_CLASS_TEXT "class 'com.quorvane.inventory.inventoryagent.Service'"
const FieldLookup SERVICE_FIELDS[] = {
    {&ServiceJniCache::name, "name", STRING_FIELD_SIGNATURE,
     "Field 'name' could not be found in " SERVICE_CLASS_TEXT},
    {&ServiceJniCache::displayName, "displayName", STRING_FIELD_SIGNATURE,
     "Field 'displayName' could not be found in " SERVICE_CLASS_TEXT},
    {&ServiceJniCache::binaryPath, "binaryPath", STRING_FIELD_SIGNATURE,
     "Field 'binaryPath' could not be found in " SERVICE_CLASS_TEXT},
    {&ServiceJniCache::startupType, "startupType", STRING_FIELD_SIGNATURE,
     "Field 'startupType' could not be found in " SERVICE_CLASS_TEXT},
    {&ServiceJniCache::description, "description", STRING_FIELD_SIGNATURE,
     "Field 'description' could not be found in " SERVICE_CLASS_TEXT},
    {&ServiceJniCache::status, "status", STRING_FIELD_SIGNATURE,
     "Field 'status' could not be found in " SERVICE_CLASS_TEXT},
    {&ServiceJniCache::type, "type", INT_FIELD_SIGNATURE,
     "Field 'type' could not be found in " SERVICE_CLASS_TEXT},
    {&ServiceJniCache::startName, "startName", STRING_FIELD_SIGNATURE,
     "Field 'startName' could not be found in " SERVICE_CLASS_TEXT},
};

const char* StartupTypeText(DWORD startType) {
    switch (startType) {
    case SERVICE_AUTO_START:
        return "Automatic";
    case SERVICE_DEMAND_START:
        return "Manual";
    case SERVICE_DISABLED:
        return "Disabled";
    default:
        return "Unknown";
    }
}

const char* StatusText(DWORD state) {
    static const char* const TEXTS[] = {"Stopped",         "StartPending", "StopPending", "Started",
                                        "ContinuePending", "PausePending", "Paused"};
    return state >= SERVICE_STOPPED && state <= SERVICE_PAUSED ? TEXTS[state - SERVICE_STOPPED]
                                                               : "Unknown";
}

// Windows hands back every configuration string, empty where the service has none.
bool HasText(const char* text) {
    return text != nullptr && text[0] != '\0';
}

// The add method of java.util.Vector; false with an exception pending when it cannot be found.
bool FindVectorAdd(JNIEnv* env) {
    jclass vectorClass = env->FindClass(VECTOR_CLASS);
    if (vectorClass == nullptr || JniExceptionPending(env)) {
        return false;
    }
    serviceJniCache.addMethod = env->GetMethodID(vectorClass, "add", ADD_SIGNATURE);
    env->DeleteLocalRef(vectorClass);
    return serviceJniCache.addMethod != nullptr && !JniExceptionPending(env);
}

bool Initialize(JNIEnv* env) {
    if (!FindVectorAdd(env)) {
        return false;
    }
    serviceJniCache.serviceClass = env->FindClass(SERVICE_CLASS);
    if (serviceJniCache.serviceClass == nullptr || JniExceptionPending(env)) {
        LOG_AT(LOG_ERROR, "Initialize",
               "Class 'com.quorvane.inventory.inventoryagent.Service' could not be found");
        return false;
    }
    for (const FieldLookup& field : SERVICE_FIELDS) {
        serviceJniCache.*field.slot =
            env->GetFieldID(serviceJniCache.serviceClass, field.name, field.signature);
        if (serviceJniCache.*field.slot == nullptr || JniExceptionPending(env)) {
            LOG_AT(LOG_ERROR, "Initialize", "%s", field.missing);
            return false;
        }
    }
    serviceJniCache.constructor = env->GetMethodID(serviceJniCache.serviceClass, CONSTRUCTOR,
                                                   NO_ARGUMENT_CONSTRUCTOR_SIGNATURE);
    if (serviceJniCache.constructor == nullptr || JniExceptionPending(env)) {
        LOG_AT(LOG_ERROR, "Initialize",
               "Could not find the default constructor of " SERVICE_CLASS_TEXT);
        return false;
    }
    return true;
}

void ReleaseServiceClass(JNIEnv* env) {
    JniDeleteLocalRef(env, serviceJniCache.serviceClass);
    serviceJniCache = {};
}

// Sets a string field and drops the local reference at once, so that thousands of services
// cannot exhaust the caller's local references. False (logged) when the string was refused.
bool SetStringField(JNIEnv* env, jobject object, jfieldID field, const char* text) {
    jstring string = JniNewString(env, text);
    if (string == nullptr) {
        LOG_AT(LOG_ERROR, ADD_SERVICE, "Error creating string");
        return false;
    }
    env->SetObjectField(object, field, string);
    env->DeleteLocalRef(string);
    return true;
}

// What one addServiceInformationToVector call holds; released together whichever way it ends.
struct ServiceWork {
    const char* name;
    SC_HANDLE manager;
    JNIEnv* env;
    jobject vector;
    jobject object;
    SC_HANDLE service;
    void* config;
    void* description;
    void* status;
};

void ReleaseWork(ServiceWork* work) {
    if (work->service != nullptr) {
        CloseServiceHandle(work->service);
    }
    free(work->config);
    free(work->description);
    free(work->status);
    JniDeleteLocalRef(work->env, work->object);
}

void* AllocateWorkBuffer() {
    void* buffer = malloc(WORK_BUFFER_SIZE);
    if (buffer == nullptr) {
        LOG_AT(LOG_ERROR, ADD_SERVICE, "Not enough memory");
    }
    return buffer;
}

// Steps 7 to 10: 1 on success, 0 when the configuration cannot be read, -1 on failure.
int AddConfiguration(ServiceWork* work) {
    work->config = AllocateWorkBuffer();
    if (work->config == nullptr) {
        return -1;
    }
    LPQUERY_SERVICE_CONFIGA config = static_cast<LPQUERY_SERVICE_CONFIGA>(work->config);
    DWORD needed = 0;
    if (!QueryServiceConfigA(work->service, config, WORK_BUFFER_SIZE, &needed)) {
        LOG_SYSTEM_ERROR(ADD_SERVICE);
        LOG_AT(LOG_ERROR, ADD_SERVICE, "Error getting service config: %s, skipping", work->name);
        return 0;
    }
    if (HasText(config->lpDisplayName)) {
        LOG_AT(LOG_INFO, ADD_SERVICE, "Display name: %s", config->lpDisplayName);
        if (!SetStringField(work->env, work->object, serviceJniCache.displayName,
                            config->lpDisplayName)) {
            return -1;
        }
    }
    const char* startupType = StartupTypeText(config->dwStartType);
    LOG_AT(LOG_INFO, ADD_SERVICE, "Startup type: %s", startupType);
    if (!SetStringField(work->env, work->object, serviceJniCache.startupType, startupType)) {
        return -1;
    }
    if (HasText(config->lpBinaryPathName)) {
        LOG_AT(LOG_INFO, ADD_SERVICE, "Executable path: %s", config->lpBinaryPathName);
        if (!SetStringField(work->env, work->object, serviceJniCache.binaryPath,
                            config->lpBinaryPathName)) {
            return -1;
        }
    }
    return 1;
}

// Steps 11 and 12: a description that cannot be read is left unset and is no failure.
bool AddDescription(ServiceWork* work) {
    work->description = AllocateWorkBuffer();
    if (work->description == nullptr) {
        return false;
    }
    DWORD needed = 0;
    if (!QueryServiceConfig2A(work->service, SERVICE_CONFIG_DESCRIPTION,
                              static_cast<LPBYTE>(work->description), DESCRIPTION_OFFERED,
                              &needed)) {
        LOG_SYSTEM_ERROR(ADD_SERVICE);
        LOG_AT(LOG_ERROR, ADD_SERVICE,
               "Failed to get description for service '%s', returning null description",
               work->name);
        return true;
    }
    const char* text = static_cast<LPSERVICE_DESCRIPTIONA>(work->description)->lpDescription;
    if (!HasText(text)) {
        return true;
    }
    LOG_AT(LOG_INFO, ADD_SERVICE, "Description: %s", text);
    return SetStringField(work->env, work->object, serviceJniCache.description, text);
}

// Steps 13 to 16.
bool AddStatus(ServiceWork* work) {
    work->status = AllocateWorkBuffer();
    if (work->status == nullptr) {
        return false;
    }
    LPSERVICE_STATUS status = static_cast<LPSERVICE_STATUS>(work->status);
    if (!QueryServiceStatus(work->service, status)) {
        LOG_SYSTEM_ERROR(ADD_SERVICE);
        LOG_AT(LOG_ERROR, ADD_SERVICE, "Error getting service status: %s", work->name);
        return false;
    }
    const char* text = StatusText(status->dwCurrentState);
    LOG_AT(LOG_INFO, ADD_SERVICE, "Service status: %s", text);
    if (!SetStringField(work->env, work->object, serviceJniCache.status, text)) {
        return false;
    }
    DWORD type = static_cast<LPQUERY_SERVICE_CONFIGA>(work->config)->dwServiceType;
    LOG_AT(LOG_INFO, ADD_SERVICE, "Service type: %d", static_cast<int>(type));
    work->env->SetIntField(work->object, serviceJniCache.type, static_cast<jint>(type));
    return true;
}

// Steps 17 and 18. The object's reference goes with the append.
bool AddStartNameAndAppend(ServiceWork* work) {
    const char* account = static_cast<LPQUERY_SERVICE_CONFIGA>(work->config)->lpServiceStartName;
    if (HasText(account)) {
        LOG_AT(LOG_INFO, ADD_SERVICE, "Service start name: %s", account);
        if (!SetStringField(work->env, work->object, serviceJniCache.startName, account)) {
            return false;
        }
    } else {
        LOG_AT(LOG_INFO, ADD_SERVICE, "Service start name: null");
        work->env->SetObjectField(work->object, serviceJniCache.startName, nullptr);
    }
    jobject object = work->object;
    work->object = nullptr;
    return JniAppend(work->env, work->vector, serviceJniCache.addMethod, object);
}

// Steps 3 to 18, with everything held recorded in work for the caller to release.
int FillAndAppend(ServiceWork* work) {
    work->object = work->env->NewObject(serviceJniCache.serviceClass, serviceJniCache.constructor);
    if (work->object == nullptr || JniExceptionPending(work->env)) {
        LOG_AT(LOG_ERROR, ADD_SERVICE, "Error creating Service object");
        return -1;
    }
    bool doesNotExist = false;
    work->service = GetServiceHandle(work->manager, work->name, &doesNotExist);
    if (work->service == nullptr) {
        LOG_AT(LOG_ERROR, ADD_SERVICE, "Not found: %s", work->name);
        return -1;
    }
    if (!SetStringField(work->env, work->object, serviceJniCache.name, work->name)) {
        return -1;
    }
    int configured = AddConfiguration(work);
    if (configured != 1) {
        return configured;
    }
    if (!AddDescription(work) || !AddStatus(work) || !AddStartNameAndAppend(work)) {
        return -1;
    }
    return 1;
}

// The result when the loop ends, true for a full run or a cancellation.
bool AddAllServices(JNIEnv* env, jobject serviceVector, SC_HANDLE manager,
                    const ENUM_SERVICE_STATUS_PROCESSA* entries, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        if (cancelRequested.load() == 1) {
            LOG_AT(LOG_INFO, "EnumerateServices", "Cancel requested");
            return true;
        }
        const char* name = entries[i].lpServiceName;
        LOG_AT(LOG_INFO, "EnumerateServices", "Found: %s", name);
        if (addServiceInformationToVector(name, manager, env, serviceVector) == -1) {
            LOG_AT(LOG_ERROR, "EnumerateServices", "Error adding info: %s", name);
            return false;
        }
    }
    return true;
}

// Steps 4 to 8: the two enumeration calls and the loop over what they returned.
bool EnumerateWith(JNIEnv* env, jobject serviceVector, SC_HANDLE manager) {
    DWORD needed = 0, returned = 0, resume = 0;
    if (!EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, ALL_SERVICE_TYPES, SERVICE_STATE_ALL,
                               nullptr, 0, &needed, &returned, &resume, nullptr) &&
        GetLastError() != ERROR_MORE_DATA) {
        LOG_SYSTEM_ERROR("EnumerateServices");
        return false;
    }
    // An empty list reports 0 bytes, and malloc(0) may give null: that is no lack of memory.
    LPBYTE buffer = static_cast<LPBYTE>(malloc(needed > 0 ? needed : 1));
    if (buffer == nullptr) {
        LOG_AT(LOG_ERROR, "EnumerateServices", "Not enough memory");
        return false;
    }
    bool result = false;
    resume = 0;
    if (!EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, ALL_SERVICE_TYPES, SERVICE_STATE_ALL,
                               buffer, needed, &needed, &returned, &resume, nullptr)) {
        LOG_SYSTEM_ERROR("EnumerateServices");
    } else {
        LOG_AT(LOG_INFO, "EnumerateServices", "Service count: %d", static_cast<int>(returned));
        LOG_AT(LOG_INFO, "EnumerateServices",
               "Adding information of all services to the service information vector.");
        result =
            AddAllServices(env, serviceVector, manager,
                           reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer), returned);
    }
    free(buffer);
    return result;
}

bool EnumerateServices(JNIEnv* env, jobject serviceVector) {
    LOG_AT(LOG_DETAIL, "EnumerateServices", "Entered");
    // A null vector would reach Vector.add only after the first service was built.
    if (serviceVector == nullptr) {
        LOG_ASSERT_FAILED("EnumerateServices", "serviceVector != NULL");
        return false;
    }
    if (!Initialize(env)) {
        LOG_AT(LOG_ERROR, "EnumerateServices", "init error");
        ReleaseServiceClass(env);
        return false;
    }
    SC_HANDLE manager = GetHandleForSCMDatabase();
    if (manager == nullptr) {
        LOG_AT(LOG_ERROR, "EnumerateServices", "No SCM handle");
        ReleaseServiceClass(env);
        return false;
    }
    bool result = EnumerateWith(env, serviceVector, manager);
    CloseServiceHandle(manager);
    ReleaseServiceClass(env);
    return result;
}

} // namespace

SC_HANDLE GetHandleForSCMDatabase() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SCM_ACCESS);
    if (manager == nullptr) {
        LOG_SYSTEM_ERROR("GetHandleForSCMDatabase");
        LOG_AT(LOG_ERROR, "GetHandleForSCMDatabase", "Could not connect to SCM");
    }
    return manager;
}

SC_HANDLE GetServiceHandle(SC_HANDLE manager, const char* serviceName, bool* doesNotExist) {
    *doesNotExist = false;
    SC_HANDLE service =
        OpenServiceA(manager, serviceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (service == nullptr) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
            *doesNotExist = true;
        } else {
            LOG_SYSTEM_ERROR("GetServiceHandle");
        }
    }
    return service;
}

int addServiceInformationToVector(const char* serviceName, SC_HANDLE manager, JNIEnv* env,
                                  jobject serviceVector) {
    if (serviceName == nullptr) {
        LOG_ASSERT_FAILED(ADD_SERVICE, "serviceName != NULL");
        return -1;
    }
    if (env == nullptr) {
        LOG_ASSERT_FAILED(ADD_SERVICE, "env != NULL");
        return -1;
    }
    LOG_AT(LOG_INFO, ADD_SERVICE, "Service: %s", serviceName);
    ServiceWork work = {serviceName, manager, env,     serviceVector, nullptr,
                        nullptr,     nullptr, nullptr, nullptr};
    int result = FillAndAppend(&work);
    ReleaseWork(&work);
    return result;
}

extern "C" JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
    JNIEnv* env, jobject, jobject serviceVector) {
    LOG_AT(LOG_INFO, GET_SERVICES, "Enumerating all services in the system...");
    bool result = EnumerateServices(env, serviceVector);
    LOG_AT(LOG_INFO, GET_SERVICES, " DONE ");
    return result ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT void JNICALL
Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_cancelCollection(JNIEnv*,
                                                                                       jobject) {
    cancelRequested.store(1);
}

namespace {

// Steps 5 to 8 of checkInstance, for a name with its characters in hand.
jbyte CheckServiceName(const char* name) {
    if (name[0] == '\0') {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE, "Empty service name");
        return 0;
    }
    SC_HANDLE manager = GetHandleForSCMDatabase();
    if (manager == nullptr) {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE, "No SCM handle");
        return -1;
    }
    bool doesNotExist = false;
    SC_HANDLE service = GetServiceHandle(manager, name, &doesNotExist);
    jbyte result = -1;
    if (service != nullptr) {
        LOG_AT(LOG_INFO, CHECK_INSTANCE, "Found: %s", name);
        CloseServiceHandle(service);
        result = 1;
    } else if (doesNotExist) {
        LOG_AT(LOG_INFO, CHECK_INSTANCE, "Not found: %s", name);
        result = 0;
    }
    CloseServiceHandle(manager);
    return result;
}

} // namespace

JNIEXPORT jbyte JNICALL
Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_checkInstance(
    JNIEnv* env, jobject, jstring serviceName) {
    LOG_AT(LOG_DETAIL, CHECK_INSTANCE, "Entered");
    if (serviceName == nullptr) {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE, "Null service name");
        return -1;
    }
    ScopedUtfChars name(env, serviceName);
    if (name.chars() == nullptr) {
        LOG_AT(LOG_ERROR, CHECK_INSTANCE, "No UTF chars for service name");
        return -1;
    }
    LOG_AT(LOG_INFO, CHECK_INSTANCE, "Checking for: %s", name.chars());
    return CheckServiceName(name.chars());
}
