// Event logs: the names of the prefix's logs, a read of each through a handle of its own, instance
// checks, and each export's bad input. Handles print as open or not: their values differ by run.
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

#include "com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent.h"

namespace {

using NamesFunction = EXPORT_FUNCTION_TYPE(WindowsEventLogInventoryAgent, getAllLogFileNames);
using OpenFunction = EXPORT_FUNCTION_TYPE(WindowsEventLogInventoryAgent, openEventLog);
using CloseFunction = EXPORT_FUNCTION_TYPE(WindowsEventLogInventoryAgent, closeEventLog);
using ReadFunction = EXPORT_FUNCTION_TYPE(WindowsEventLogInventoryAgent, readNextEventLogRecord);
using CheckFunction = EXPORT_FUNCTION_TYPE(WindowsEventLogInventoryAgent, checkInstanceExists);

constexpr const char kAgentClass[] =
    "com/quorvane/inventory/inventoryagent/WindowsEventLogInventoryAgent";
constexpr jshort kAllFields = 0x01FF;
// Enough for any log a fresh prefix holds; a longer one is cut off in the output.
constexpr int kRecordsShown = 20;

std::string HandleText(jlong handle) {
    return handle != 0 ? "handle" : "0";
}

jlong Open(Session& session, const char* name) {
    auto open = session.exports.Get<OpenFunction>(Export::OpenEventLog);
    jstring argument = NewJavaString(session.env, name);
    jlong handle = 0;
    CallExport(session, [&] {
        handle = open(session.env, session.agent, argument);
        return nullptr;
    });
    PrintLine("openEventLog(" + JavaStringText(session.env, argument) + ") -> " +
              HandleText(handle));
    session.env->DeleteLocalRef(argument);
    return handle;
}

void Close(Session& session, jlong handle) {
    auto close = session.exports.Get<CloseFunction>(Export::CloseEventLog);
    jint result = 0;
    CallExport(session, [&] {
        result = close(session.env, session.agent, handle);
        return nullptr;
    });
    PrintLine("closeEventLog(" + HandleText(handle) + ") -> " + (result != 0 ? "non-zero" : "0"));
}

// False once the export answered null.
bool Read(Session& session, jlong handle, jshort mask, const char* logName) {
    auto read = session.exports.Get<ReadFunction>(Export::ReadNextEventLogRecord);
    jstring name = NewJavaString(session.env, logName);
    auto record = static_cast<jobjectArray>(
        CallExport(session, [&] { return read(session.env, session.agent, handle, mask, name); }));
    PrintLine("readNextEventLogRecord(" + HandleText(handle) + ", " + IntText(mask) + ", " +
              JavaStringText(session.env, name) + ") -> " + StringArrayText(session.env, record));
    bool gotRecord = record != nullptr;
    session.env->DeleteLocalRef(record);
    session.env->DeleteLocalRef(name);
    return gotRecord;
}

void Check(Session& session, const char* key) {
    auto check = session.exports.Get<CheckFunction>(Export::EventLogCheckInstanceExists);
    jstring argument = NewJavaString(session.env, key);
    jboolean result = JNI_FALSE;
    CallExport(session, [&] {
        result = check(session.env, session.agent, argument);
        return nullptr;
    });
    PrintLine("checkInstanceExists(" + JavaStringText(session.env, argument) + ") -> " +
              BooleanText(result));
    session.env->DeleteLocalRef(argument);
}

std::vector<std::string> LogNames(Session& session) {
    auto names = session.exports.Get<NamesFunction>(Export::GetAllLogFileNames);
    auto array = static_cast<jobjectArray>(
        CallExport(session, [&] { return names(session.env, session.agent); }));
    PrintLine("getAllLogFileNames() -> " + StringArrayText(session.env, array));
    return TakeJavaStringTexts(session.env, array);
}

} // namespace

void EventLogScenario(Session& session) {
    session.agent = NewJavaObject(session.env, kAgentClass);
    for (const std::string& name : LogNames(session)) {
        jlong handle = Open(session, name.c_str());
        for (int shown = 0;
             shown < kRecordsShown && Read(session, handle, kAllFields, name.c_str()); ++shown) {
        }
        Close(session, handle);
    }
    jlong handle = Open(session, "Application");
    Read(session, handle, 0, "Application");
    Read(session, 0, kAllFields, "Application");
    Read(session, handle, kAllFields, nullptr);
    Close(session, handle);
    Open(session, nullptr);
    Close(session, 0);
    for (const char* key :
         {"Application:1:2:3:4:5:6", "Application:1:2", "", ":::::::", "NoSuchLog:1:2:3:4:5:6"}) {
        Check(session, key);
    }
    Check(session, nullptr);
}
