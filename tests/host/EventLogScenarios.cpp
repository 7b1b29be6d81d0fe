// Event logs: the names of the prefix's logs, a read of each through a handle of its own, instance
// checks, and each export's bad input. Handles print as open or not: their values differ by run.
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

namespace {

constexpr const char kAgentClass[] =
    "com/quorvane/inventory/inventoryagent/WindowsEventLogInventoryAgent";
constexpr jshort kAllFields = 0x01FF;
// Enough for any log a fresh prefix holds; a longer one is cut off in the output.
constexpr int kRecordsShown = 20;

jlong Open(Session& session, const char* name) {
    jstring argument = NewJavaString(session.env, name);
    jlong handle = Call<Export::OpenEventLogHandle>(session, argument);
    PrintLine("openEventLog(" + JavaStringText(session.env, argument) + ") -> " +
              HandleText(handle));
    session.env->DeleteLocalRef(argument);
    return handle;
}

void Close(Session& session, jlong handle) {
    jint result = Call<Export::CloseEventLog>(session, handle);
    PrintLine("closeEventLog(" + HandleText(handle) + ") -> " + (result != 0 ? "non-zero" : "0"));
}

// False once the export answered null.
bool Read(Session& session, jlong handle, jshort mask, const char* logName) {
    jstring name = NewJavaString(session.env, logName);
    jobjectArray record = Call<Export::ReadNextEventLogRecord>(session, handle, mask, name);
    PrintLine("readNextEventLogRecord(" + HandleText(handle) + ", " + IntText(mask) + ", " +
              JavaStringText(session.env, name) + ") -> " + StringArrayText(session.env, record));
    bool gotRecord = record != nullptr;
    session.env->DeleteLocalRef(record);
    session.env->DeleteLocalRef(name);
    return gotRecord;
}

std::vector<std::string> LogNames(Session& session) {
    jobjectArray array = Call<Export::GetAllLogFileNames>(session);
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
        PrintTextCall<Export::EventLogCheckInstanceExists>(session, key);
    }
    PrintTextCall<Export::EventLogCheckInstanceExists>(session, nullptr);
}
