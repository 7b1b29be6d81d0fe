// Services: the whole list, every field of each, and instance checks.
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

namespace {

void GetServices(Session& session, bool nullVector) {
    jobject vector = nullVector ? nullptr : NewJavaObject(session.env, "java/util/Vector");
    jboolean result = Call<Export::GetServices>(session, vector);
    PrintLine(std::string("getServices(") + (nullVector ? "null" : "Vector") + ") -> " +
              BooleanText(result));
    PrintServiceVector(session.env, "  services", vector);
    session.env->DeleteLocalRef(vector);
}

} // namespace

void ServicesScenario(Session& session) {
    session.agent = NewJavaObject(
        session.env, "com/quorvane/inventory/inventoryagent/WinNTServiceInventoryAgent");
    GetServices(session, false);
    GetServices(session, true);
    // Present (also by another case and by display name), a driver, absent, and what names
    // nothing.
    for (const char* name : {"Eventlog", "EVENTLOG", "PlugPlay", "MountMgr", "Plug and Play",
                             "NoSuchService", "", "Eventlog\\", "\\Eventlog"}) {
        PrintTextCall<Export::ServiceCheckInstance>(session, name);
    }
    PrintTextCall<Export::ServiceCheckInstance>(session, nullptr);
    // Longer than a service name may be.
    PrintTextCall<Export::ServiceCheckInstance>(session, std::string(300, 's').c_str());
}
