#include "tests/host/ExportCall.h"

#include "tests/host/HostJni.h"
#include "tests/host/ResultPrinter.h"

jobject CallExport(Session& session, const std::function<jobject()>& call) {
    session.host.EnterNativeMethod();
    jobject result = call();
    result = session.host.LeaveNativeMethod(result);
    PrintPendingException(session.env, "exception");
    PrintBreaches(session);
    return result;
}

void PrintBreaches(Session& session) {
    for (const std::string& breach : session.host.TakeBreaches()) {
        PrintLine("breach " + breach);
        ++session.breaches;
    }
}

void InHostFrame(Session& session, jint capacity, const std::function<void()>& body) {
    if (session.env->PushLocalFrame(capacity) != 0) {
        HostCallThrew(session.env);
        PrintLine("host: no local frame");
        ++session.breaches;
        return;
    }
    body();
    session.env->PopLocalFrame(nullptr);
}
