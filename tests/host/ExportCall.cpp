#include "tests/host/ExportCall.h"

jobject CallExport(Session& session, const std::function<jobject()>& call) {
    session.host.EnterNativeMethod();
    jobject result = call();
    result = session.host.LeaveNativeMethod(result);
    if (session.pendingException == nullptr) {
        PrintPendingException(session.env, "exception");
        PrintBreaches(session);
    } else if (session.env->ExceptionCheck()) {
        jthrowable thrown = session.env->ExceptionOccurred();
        session.env->ExceptionClear();
        *session.pendingException = ThrowableClassName(session.env, thrown);
        session.env->DeleteLocalRef(thrown);
    }
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
