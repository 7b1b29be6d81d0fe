// One run of scenarios: the env, the library's exports, and the one way an export is called,
// which the host's scenarios and the sweep's cases share.
#pragma once

#include "tests/host/ExportLibrary.h"
#include "tests/host/HostEnv.h"
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"

#include <jni.h>

#include <functional>
#include <string>
#include <type_traits>

struct Session {
    HostEnv& host;
    JNIEnv* env;
    const ExportLibrary& exports;
    int breaches;
    jobject agent; // the receiving object a scenario may keep for its calls
    // Where the class of an exception an export leaves pending is kept (and the exception
    // cleared); null: it is printed, with the breaches noticed, as a host run shows them.
    std::string* pendingException = nullptr;
};

// Calls an export as the JVM calls a native method: in a native frame of its own, its result
// handed back to the caller's frame. Then prints the exception the export left pending as
// "exception <class name>" (and clears it, as the Java caller would see it thrown) and the
// breaches of JNI's rules noticed, as "breach <text>", or keeps the exception's class where the
// session says. call returns the export's result for an object result, null otherwise (a
// primitive result is kept by call itself).
jobject CallExport(Session& session, const std::function<jobject()>& call);

// Calls the export with the session's env and receiving object and these arguments, through
// CallExport; returns what it returned.
template <Export which, typename... Arguments> auto Call(Session& session, Arguments... arguments) {
    auto function = session.exports.Get<which>();
    using Result = decltype(function(session.env, session.agent, arguments...));
    if constexpr (std::is_pointer_v<Result>) {
        return static_cast<Result>(CallExport(
            session, [&] { return function(session.env, session.agent, arguments...); }));
    } else {
        Result result{};
        CallExport(session, [&] {
            result = function(session.env, session.agent, arguments...);
            return nullptr;
        });
        return result;
    }
}

// A result as the host prints it; a String[] loses its local reference.
inline std::string ResultText(JNIEnv*, jboolean value) {
    return BooleanText(value);
}
inline std::string ResultText(JNIEnv*, jbyte value) {
    return ByteText(value);
}
inline std::string ResultText(JNIEnv*, jlong value) {
    return LongText(value);
}
inline std::string ResultText(JNIEnv* env, jobjectArray array) {
    std::string text = StringArrayText(env, array);
    env->DeleteLocalRef(array);
    return text;
}

// An export of one text argument, called on text: its result's text. PrintTextCall prints the
// call as "<method>(<text>) -> <result>" too.
template <Export which> std::string TextCallResult(Session& session, jstring text) {
    return ResultText(session.env, Call<which>(session, text));
}
template <Export which> std::string TextCallResult(Session& session, const char* text) {
    jstring argument = NewJavaString(session.env, text);
    std::string result = TextCallResult<which>(session, argument);
    session.env->DeleteLocalRef(argument);
    return result;
}
template <Export which> std::string PrintTextCall(Session& session, const char* text) {
    jstring argument = NewJavaString(session.env, text);
    std::string result = TextCallResult<which>(session, argument);
    PrintLine(std::string(CatalogueEntry(which).method) + "(" +
              JavaStringText(session.env, argument) + ") -> " + result);
    session.env->DeleteLocalRef(argument);
    return result;
}

// Prints the breaches noticed since the last look, counting them in the session.
void PrintBreaches(Session& session);

// Runs body in a local frame of the host's own, so that what it makes lapses when it ends.
void InHostFrame(Session& session, jint capacity, const std::function<void()>& body);
