// Performance counters: expansion, sampling with and without a delay, parsing and instance checks,
// bad input among them. Values differ between any two runs, so they print as "-1" or "value"; the
// machine's name in an expanded path prints as <machine>.
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

#include "com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent.h"

#include <string>
#include <vector>

namespace {

using ExpandFunction = EXPORT_FUNCTION_TYPE(WindowsPerfmonInventoryAgent, getExpandedCounterPaths);
using ValuesFunction = EXPORT_FUNCTION_TYPE(WindowsPerfmonInventoryAgent, getCounterValues);
using ParseFunction = EXPORT_FUNCTION_TYPE(WindowsPerfmonInventoryAgent, parseCounterPath);
using CheckFunction = EXPORT_FUNCTION_TYPE(WindowsPerfmonInventoryAgent, checkInstanceExists);

constexpr const char kAgentClass[] =
    "com/quorvane/inventory/inventoryagent/WindowsPerfmonInventoryAgent";

// The printed path, quoted and escaped ("\\\\VM\\Memory..."), with the machine's name as
// <machine>.
std::string WithoutMachine(const std::string& printed) {
    const std::string lead = "\"\\\\\\\\";
    if (printed.compare(0, lead.size(), lead) != 0) {
        return printed;
    }
    size_t end = printed.find("\\\\", lead.size());
    return lead + "<machine>" + (end != std::string::npos ? printed.substr(end) : std::string());
}

// True when the expansion gave a list.
bool Expand(Session& session, const char* path) {
    auto expand = session.exports.Get<ExpandFunction>(Export::GetExpandedCounterPaths);
    jstring argument = NewJavaString(session.env, path);
    auto paths = static_cast<jobjectArray>(
        CallExport(session, [&] { return expand(session.env, session.agent, argument); }));
    jsize count = paths != nullptr ? session.env->GetArrayLength(paths) : 0;
    PrintLine("getExpandedCounterPaths(" + JavaStringText(session.env, argument) + ") -> " +
              (paths != nullptr ? "String[" + std::to_string(count) + "]" : "null"));
    for (jsize i = 0; i < count; ++i) {
        auto element = static_cast<jstring>(session.env->GetObjectArrayElement(paths, i));
        PrintLine("  " + WithoutMachine(JavaStringText(session.env, element)));
        session.env->DeleteLocalRef(element);
    }
    session.env->DeleteLocalRef(argument);
    session.env->DeleteLocalRef(paths);
    return paths != nullptr;
}

void Sample(Session& session, const std::vector<const char*>& paths, jint delay, bool nullList) {
    auto values = session.exports.Get<ValuesFunction>(Export::GetCounterValues);
    jobjectArray argument = nullList ? nullptr : NewJavaStringArray(session.env, paths);
    auto result = static_cast<jdoubleArray>(
        CallExport(session, [&] { return values(session.env, session.agent, argument, delay); }));
    std::string text = "null";
    if (result != nullptr) {
        std::vector<jdouble> numbers((size_t)session.env->GetArrayLength(result));
        session.env->GetDoubleArrayRegion(result, 0, (jsize)numbers.size(), numbers.data());
        text = "[";
        for (size_t i = 0; i < numbers.size(); ++i) {
            text += std::string(i > 0 ? ", " : "") + (numbers[i] == -1.0 ? "-1" : "value");
        }
        text += "]";
    }
    PrintLine("getCounterValues(" + std::to_string(nullList ? 0 : paths.size()) + " paths, " +
              IntText(delay) + ") -> " + text);
    session.env->DeleteLocalRef(result);
    session.env->DeleteLocalRef(argument);
}

void Parse(Session& session, const char* path) {
    auto parse = session.exports.Get<ParseFunction>(Export::ParseCounterPath);
    jstring argument = NewJavaString(session.env, path);
    auto parts = static_cast<jobjectArray>(
        CallExport(session, [&] { return parse(session.env, session.agent, argument); }));
    PrintLine("parseCounterPath(" + JavaStringText(session.env, argument) + ") -> " +
              StringArrayText(session.env, parts));
    session.env->DeleteLocalRef(parts);
    session.env->DeleteLocalRef(argument);
}

void Check(Session& session, const char* path) {
    auto check = session.exports.Get<CheckFunction>(Export::PerfmonCheckInstanceExists);
    jstring argument = NewJavaString(session.env, path);
    jboolean result = JNI_FALSE;
    CallExport(session, [&] {
        result = check(session.env, session.agent, argument);
        return nullptr;
    });
    PrintLine("checkInstanceExists(" + JavaStringText(session.env, argument) + ") -> " +
              BooleanText(result));
    session.env->DeleteLocalRef(argument);
}

} // namespace

void PerfmonScenario(Session& session) {
    session.agent = NewJavaObject(session.env, kAgentClass);
    bool expands = Expand(session, "\\Processor(_Total)\\% Processor Time");
    Expand(session, "\\Memory\\*");
    Expand(session, "\\Process(pallwick_never_started*)\\ID Process");
    Expand(session, "\\NoSuchObject(*)\\*");
    Expand(session, nullptr);
    const std::vector<const char*> paths = {
        "\\Processor(_Total)\\% Processor Time", "\\Memory\\Available Bytes",
        "\\NoSuchObject\\No Such Counter", "\\System\\Processes",
        "\\LogicalDisk(_Total)\\% Free Space"};
    Sample(session, paths, 0, false);
    Sample(session, paths, -1, false);
    Sample(session, paths, 1, false);
    Sample(session, {}, 0, false);
    Sample(session, {}, 0, true);
    // A PDH that cannot expand a plain path is a stub whose parser ends the process.
    if (expands) {
        for (const char* path :
             {"\\Processor(0)\\% User Time", "\\\\host\\Process(parent/java#2)\\ID Process",
              "\\Memory\\Available Bytes", "no path", "", "\\Process(\\ID Process",
              "\\Thread(/0)\\% Processor Time", "\\Process(svchost#99999999999)\\ID Process"}) {
            Parse(session, path);
        }
        Parse(session, nullptr);
    } else {
        PrintLine("parseCounterPath skipped: this PDH cannot expand a plain path");
    }
    for (const char* path : {"\\System\\Processes", "\\Process(pallwick_never_started)\\ID Process",
                             "\\NoSuchObject\\No Such Counter", ""}) {
        Check(session, path);
    }
    Check(session, nullptr);
}
