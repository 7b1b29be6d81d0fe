// Services: the whole list, every field of each, and instance checks.
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"

namespace {

using GetServicesFunction = EXPORT_FUNCTION_TYPE(WinNTServiceInventoryAgent, getServices);
using CheckInstanceFunction = EXPORT_FUNCTION_TYPE(WinNTServiceInventoryAgent, checkInstance);

void GetServices(Session& session, jobject agent, bool nullVector) {
    auto get = session.exports.Get<GetServicesFunction>(Export::GetServices);
    jobject vector = nullVector ? nullptr : NewJavaObject(session.env, "java/util/Vector");
    jboolean result = JNI_FALSE;
    CallExport(session, [&] {
        result = get(session.env, agent, vector);
        return nullptr;
    });
    PrintLine(std::string("getServices(") + (nullVector ? "null" : "Vector") + ") -> " +
              BooleanText(result));
    PrintServiceVector(session.env, "  services", vector);
    session.env->DeleteLocalRef(vector);
}

void CheckInstance(Session& session, jobject agent, const char* name) {
    auto check = session.exports.Get<CheckInstanceFunction>(Export::ServiceCheckInstance);
    jstring argument = NewJavaString(session.env, name);
    jbyte result = 0;
    CallExport(session, [&] {
        result = check(session.env, agent, argument);
        return nullptr;
    });
    PrintLine("checkInstance(" + JavaStringText(session.env, argument) + ") -> " +
              ByteText(result));
    session.env->DeleteLocalRef(argument);
}

} // namespace

void ServicesScenario(Session& session) {
    jobject agent = NewJavaObject(
        session.env, "com/quorvane/inventory/inventoryagent/WinNTServiceInventoryAgent");
    GetServices(session, agent, false);
    GetServices(session, agent, true);
    // Present (also by another case and by display name), a driver, absent, and what names
    // nothing.
    for (const char* name : {"Eventlog", "EVENTLOG", "PlugPlay", "MountMgr", "Plug and Play",
                             "NoSuchService", "", "Eventlog\\", "\\Eventlog"}) {
        CheckInstance(session, agent, name);
    }
    CheckInstance(session, agent, nullptr);
    // Longer than a service name may be.
    CheckInstance(session, agent, std::string(300, 's').c_str());
}
