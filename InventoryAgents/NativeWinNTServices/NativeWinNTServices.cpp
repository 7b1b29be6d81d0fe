#include "InventoryAgents/NativeWinNTServices/NativeWinNTServices.h"

#include "Common/DiagnosticLog.h"
#include "Common/HostClasses.h"
#include "Common/JniSupport.h"
#include "Common/ScopedResource.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

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

constexpr char kGetServicesName[] =
    "Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_"
    "getServices__Ljava_util_Vector_2";
constexpr char kCheckInstanceName[] =
    "Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_checkInstance";
constexpr char kAddServiceName[] = "addServiceInformationToVector";
constexpr char kEnumerateName[] = "EnumerateServices";
constexpr char kInitializeName[] = "Initialize";
constexpr char kScmHandleName[] = "GetHandleForSCMDatabase";
constexpr char kServiceHandleName[] = "GetServiceHandle";

constexpr DWORD kScmAccess =
    STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_CONNECT;
// Kernel, file-system and recognizer drivers, adapters, own- and shared-process services, user
// services and their instances, interactive or not.
constexpr DWORD kAllServiceTypes = 0x1FF;
constexpr DWORD kWorkBufferSize = 8192;
constexpr DWORD kDescriptionOffered = 4096;

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
thread_local ServiceJniCache g_serviceJniCache = {};

struct FieldLookup {
    jfieldID ServiceJniCache::*slot;
    const char* name;
    const char* signature;
};

const FieldLookup kServiceFields[] = {
    {&ServiceJniCache::name, "name", kStringFieldSignature},
    {&ServiceJniCache::displayName, "displayName", kStringFieldSignature},
    {&ServiceJniCache::binaryPath, "binaryPath", kStringFieldSignature},
    {&ServiceJniCache::startupType, "startupType", kStringFieldSignature},
    {&ServiceJniCache::description, "description", kStringFieldSignature},
    {&ServiceJniCache::status, "status", kStringFieldSignature},
    {&ServiceJniCache::type, "type", kIntFieldSignature},
    {&ServiceJniCache::startName, "startName", kStringFieldSignature},
};

// A literal, so that the records naming the class are single literals too.
#define SERVICE_CLASS_TEXT "class 'com.quorvane.inventory.inventoryagent.Service'"

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
    static const char* const kTexts[] = {"Stopped", "StartPending",    "StopPending",
                                         "Started", "ContinuePending", "PausePending",
                                         "Paused"};
    return state >= SERVICE_STOPPED && state <= SERVICE_PAUSED ? kTexts[state - SERVICE_STOPPED]
                                                               : "Unknown";
}

bool Initialize(JNIEnv* env) {
    g_serviceJniCache.addMethod = JniFindVectorAdd(env);
    if (g_serviceJniCache.addMethod == nullptr) {
        return false;
    }
    g_serviceJniCache.serviceClass = env->FindClass(kServiceClass);
    if (g_serviceJniCache.serviceClass == nullptr || JniExceptionPending(env)) {
        LOG_AT(kLogError, kInitializeName,
               "Class 'com.quorvane.inventory.inventoryagent.Service' could not be found");
        return false;
    }
    for (const FieldLookup& field : kServiceFields) {
        g_serviceJniCache.*field.slot =
            env->GetFieldID(g_serviceJniCache.serviceClass, field.name, field.signature);
        if (g_serviceJniCache.*field.slot == nullptr || JniExceptionPending(env)) {
            LOG_AT(kLogError, kInitializeName,
                   "Field '%s' could not be found in " SERVICE_CLASS_TEXT, field.name);
            return false;
        }
    }
    g_serviceJniCache.constructor = env->GetMethodID(
        g_serviceJniCache.serviceClass, kConstructorName, kNoArgumentConstructorSignature);
    if (g_serviceJniCache.constructor == nullptr || JniExceptionPending(env)) {
        LOG_AT(kLogError, kInitializeName,
               "Could not find the default constructor of " SERVICE_CLASS_TEXT);
        return false;
    }
    return true;
}

// Sets a string field and drops the local reference at once, so that thousands of services
// cannot exhaust the caller's local references. False (logged) when the string was refused.
bool SetStringField(JNIEnv* env, jobject object, jfieldID field, const char* text) {
    jstring string = JniNewStringFromAnsi(env, text);
    if (string == nullptr) {
        LOG_AT(kLogError, kAddServiceName, "Error creating string");
        return false;
    }
    env->SetObjectField(object, field, string);
    env->DeleteLocalRef(string);
    return true;
}

// One of the three work buffers of a service, logged when there is no memory for it.
void* AllocateWorkBuffer() {
    void* buffer = LibraryMalloc(kWorkBufferSize);
    if (buffer == nullptr) {
        LOG_AT(kLogError, kAddServiceName, "Not enough memory");
    }
    return buffer;
}

// What one service's record is built from; the caller holds and releases each part.
struct ServiceRecord {
    const char* name;
    JNIEnv* env;
    jobject object;
    SC_HANDLE service;
};

// Windows hands back every configuration string, "" where the service has none: present means a
// pointer, and an empty text is set and logged like any other.
bool SetConfigurationText(const ServiceRecord& record, jfieldID field, const char* label,
                          const char* text) {
    if (text == nullptr) {
        return true;
    }
    LOG_AT(kLogInfo, kAddServiceName, "%s%s", label, text);
    return SetStringField(record.env, record.object, field, text);
}

// 1 when set, 0 when the configuration cannot be read, -1 on failure.
int AddConfiguration(const ServiceRecord& record, LPQUERY_SERVICE_CONFIGA config) {
    DWORD needed = 0;
    if (!QueryServiceConfigA(record.service, config, kWorkBufferSize, &needed)) {
        LOG_SYSTEM_ERROR(kAddServiceName);
        LOG_AT(kLogError, kAddServiceName, "Error getting service config: %s, skipping",
               record.name);
        return 0;
    }
    if (!SetConfigurationText(record, g_serviceJniCache.displayName,
                              "Display name: ", config->lpDisplayName)) {
        return -1;
    }
    const char* startupType = StartupTypeText(config->dwStartType);
    LOG_AT(kLogInfo, kAddServiceName, "Startup type: %s", startupType);
    if (!SetStringField(record.env, record.object, g_serviceJniCache.startupType, startupType)) {
        return -1;
    }
    return SetConfigurationText(record, g_serviceJniCache.binaryPath,
                                "Executable path: ", config->lpBinaryPathName)
               ? 1
               : -1;
}

// A description that cannot be read is left unset and is no failure.
bool AddDescription(const ServiceRecord& record) {
    ScopedMalloc buffer(AllocateWorkBuffer());
    if (!buffer.held()) {
        return false;
    }
    DWORD needed = 0;
    if (!QueryServiceConfig2A(record.service, SERVICE_CONFIG_DESCRIPTION,
                              static_cast<LPBYTE>(buffer.get()), kDescriptionOffered, &needed)) {
        LOG_SYSTEM_ERROR(kAddServiceName);
        LOG_AT(kLogError, kAddServiceName,
               "Failed to get description for service '%s', returning null description",
               record.name);
        return true;
    }
    // Unlike the configuration strings, a description without text is no description.
    const char* text = static_cast<LPSERVICE_DESCRIPTIONA>(buffer.get())->lpDescription;
    if (text == nullptr || text[0] == '\0') {
        return true;
    }
    LOG_AT(kLogInfo, kAddServiceName, "Description: %s", text);
    return SetStringField(record.env, record.object, g_serviceJniCache.description, text);
}

bool AddStatus(const ServiceRecord& record, DWORD serviceType) {
    ScopedMalloc buffer(AllocateWorkBuffer());
    if (!buffer.held()) {
        return false;
    }
    LPSERVICE_STATUS status = static_cast<LPSERVICE_STATUS>(buffer.get());
    if (!QueryServiceStatus(record.service, status)) {
        LOG_SYSTEM_ERROR(kAddServiceName);
        LOG_AT(kLogError, kAddServiceName, "Error getting service status: %s", record.name);
        return false;
    }
    const char* text = StatusText(status->dwCurrentState);
    LOG_AT(kLogInfo, kAddServiceName, "Service status: %s", text);
    if (!SetStringField(record.env, record.object, g_serviceJniCache.status, text)) {
        return false;
    }
    LOG_AT(kLogInfo, kAddServiceName, "Service type: %d", static_cast<int>(serviceType));
    record.env->SetIntField(record.object, g_serviceJniCache.type, static_cast<jint>(serviceType));
    return true;
}

bool AddStartName(const ServiceRecord& record, const char* account) {
    if (account != nullptr) {
        LOG_AT(kLogInfo, kAddServiceName, "Service start name: %s", account);
        return SetStringField(record.env, record.object, g_serviceJniCache.startName, account);
    }
    LOG_AT(kLogInfo, kAddServiceName, "Service start name: null");
    record.env->SetObjectField(record.object, g_serviceJniCache.startName, nullptr);
    return true;
}

// Fills the object from the service's configuration, description and status: 1 filled, 0 when
// the configuration cannot be read, -1 on failure.
int FillServiceObject(const char* name, SC_HANDLE manager, JNIEnv* env, jobject object) {
    bool doesNotExist = false;
    ScopedServiceHandle service(GetServiceHandle(manager, name, &doesNotExist));
    if (!service.held()) {
        LOG_AT(kLogError, kAddServiceName, "Not found: %s", name);
        return -1;
    }
    const ServiceRecord record = {name, env, object, service.get()};
    if (!SetStringField(env, object, g_serviceJniCache.name, name)) {
        return -1;
    }
    ScopedMalloc config(AllocateWorkBuffer());
    if (!config.held()) {
        return -1;
    }
    auto configuration = static_cast<LPQUERY_SERVICE_CONFIGA>(config.get());
    int configured = AddConfiguration(record, configuration);
    if (configured != 1) {
        return configured;
    }
    if (!AddDescription(record) || !AddStatus(record, configuration->dwServiceType) ||
        !AddStartName(record, configuration->lpServiceStartName)) {
        return -1;
    }
    return 1;
}

// The result when the loop ends, true for a full run or a cancellation.
bool AddAllServices(JNIEnv* env, jobject serviceVector, SC_HANDLE manager,
                    const ENUM_SERVICE_STATUS_PROCESSA* entries, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        if (cancelRequested.load() == 1) {
            LOG_AT(kLogInfo, kEnumerateName, "Cancel requested");
            return true;
        }
        const char* name = entries[i].lpServiceName;
        LOG_AT(kLogInfo, kEnumerateName, "Found: %s", name);
        if (addServiceInformationToVector(name, manager, env, serviceVector) == -1) {
            LOG_AT(kLogError, kEnumerateName, "Error adding info: %s", name);
            return false;
        }
    }
    return true;
}

// The two enumeration calls and the loop over what they returned.
bool EnumerateWith(JNIEnv* env, jobject serviceVector, SC_HANDLE manager) {
    DWORD needed = 0, returned = 0, resume = 0;
    if (!EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, kAllServiceTypes, SERVICE_STATE_ALL,
                               nullptr, 0, &needed, &returned, &resume, nullptr) &&
        GetLastError() != ERROR_MORE_DATA) {
        LOG_SYSTEM_ERROR(kEnumerateName);
        return false;
    }
    // An empty list reports 0 bytes, and malloc(0) may give null: that is no lack of memory.
    ScopedMalloc buffer(LibraryMalloc(needed > 0 ? needed : 1));
    if (!buffer.held()) {
        LOG_AT(kLogError, kEnumerateName, "Not enough memory");
        return false;
    }
    resume = 0;
    if (!EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, kAllServiceTypes, SERVICE_STATE_ALL,
                               static_cast<LPBYTE>(buffer.get()), needed, &needed, &returned,
                               &resume, nullptr)) {
        LOG_SYSTEM_ERROR(kEnumerateName);
        return false;
    }
    LOG_AT(kLogInfo, kEnumerateName, "Service count: %d", static_cast<int>(returned));
    LOG_AT(kLogInfo, kEnumerateName,
           "Adding information of all services to the service information vector.");
    return AddAllServices(env, serviceVector, manager,
                          static_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.get()), returned);
}

// Everything after the cache is filled; the caller empties the cache whatever the outcome.
bool EnumerateWithCache(JNIEnv* env, jobject serviceVector) {
    if (!Initialize(env)) {
        LOG_AT(kLogError, kEnumerateName, "init error");
        return false;
    }
    ScopedServiceHandle manager(GetHandleForSCMDatabase());
    if (!manager.held()) {
        LOG_AT(kLogError, kEnumerateName, "No SCM handle");
        return false;
    }
    return EnumerateWith(env, serviceVector, manager.get());
}

bool EnumerateServices(JNIEnv* env, jobject serviceVector) {
    LOG_AT(kLogDetail, kEnumerateName, "Entered");
    // A null vector would reach Vector.add only after the first service was built.
    if (serviceVector == nullptr) {
        LOG_ASSERT_FAILED(kEnumerateName, "serviceVector != NULL");
        return false;
    }
    bool result = EnumerateWithCache(env, serviceVector);
    JniDeleteLocalRef(env, g_serviceJniCache.serviceClass);
    g_serviceJniCache = {};
    return result;
}

} // namespace

SC_HANDLE GetHandleForSCMDatabase() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, kScmAccess);
    if (manager == nullptr) {
        LOG_SYSTEM_ERROR(kScmHandleName);
        LOG_AT(kLogError, kScmHandleName, "Could not connect to SCM");
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
            LOG_SYSTEM_ERROR(kServiceHandleName);
        }
    }
    return service;
}

int addServiceInformationToVector(const char* serviceName, SC_HANDLE manager, JNIEnv* env,
                                  jobject serviceVector) {
    if (serviceName == nullptr) {
        LOG_ASSERT_FAILED(kAddServiceName, "serviceName != NULL");
        return -1;
    }
    if (env == nullptr) {
        LOG_ASSERT_FAILED(kAddServiceName, "env != NULL");
        return -1;
    }
    LOG_AT(kLogInfo, kAddServiceName, "Service: %s", serviceName);
    jobject object = env->NewObject(g_serviceJniCache.serviceClass, g_serviceJniCache.constructor);
    if (object == nullptr || JniExceptionPending(env)) {
        LOG_AT(kLogError, kAddServiceName, "Error creating Service object");
        return -1;
    }
    int result = FillServiceObject(serviceName, manager, env, object);
    if (result != 1) {
        env->DeleteLocalRef(object);
        return result;
    }
    // The append takes the object's reference with it, whether or not add threw.
    return JniAppend(env, serviceVector, g_serviceJniCache.addMethod, object) ? 1 : -1;
}

extern "C" JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
    JNIEnv* env, jobject, jobject serviceVector) {
    LOG_AT(kLogInfo, kGetServicesName, "Enumerating all services in the system...");
    bool result = EnumerateServices(env, serviceVector);
    LOG_AT(kLogInfo, kGetServicesName, " DONE ");
    return result ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT void JNICALL
Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_cancelCollection(JNIEnv*,
                                                                                       jobject) {
    cancelRequested.store(1);
}

namespace {

// The answer for a name with its characters in hand: 1 installed, 0 absent, -1 error.
jbyte CheckServiceName(const char* name) {
    if (name[0] == '\0') {
        LOG_AT(kLogError, kCheckInstanceName, "Empty service name");
        return 0;
    }
    ScopedServiceHandle manager(GetHandleForSCMDatabase());
    if (!manager.held()) {
        LOG_AT(kLogError, kCheckInstanceName, "No SCM handle");
        return -1;
    }
    bool doesNotExist = false;
    ScopedServiceHandle service(GetServiceHandle(manager.get(), name, &doesNotExist));
    if (service.held()) {
        LOG_AT(kLogInfo, kCheckInstanceName, "Found: %s", name);
        return 1;
    }
    if (doesNotExist) {
        LOG_AT(kLogInfo, kCheckInstanceName, "Not found: %s", name);
        return 0;
    }
    return -1;
}

} // namespace

JNIEXPORT jbyte JNICALL
Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_checkInstance(
    JNIEnv* env, jobject, jstring serviceName) {
    LOG_AT(kLogDetail, kCheckInstanceName, "Entered");
    if (serviceName == nullptr) {
        LOG_AT(kLogError, kCheckInstanceName, "Null service name");
        return -1;
    }
    ScopedAnsiChars name(env, serviceName);
    if (name.unconvertible()) {
        LOG_AT(kLogError, kCheckInstanceName, "%s", kTextOutsideAnsiCodePage);
        return -1;
    }
    if (name.chars() == nullptr) {
        LOG_AT(kLogError, kCheckInstanceName, "No UTF chars for service name");
        return -1;
    }
    LOG_AT(kLogInfo, kCheckInstanceName, "Checking for: %s", name.chars());
    return CheckServiceName(name.chars());
}
