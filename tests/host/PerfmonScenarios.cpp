// Performance counters: expansion, sampling with and without a delay, parsing and instance checks,
// bad input among them. Values differ between any two runs, so they print as "-1" or "value"; the
// machine's name in an expanded path prints as <machine>.
#include "tests/host/HostJni.h"
#include "tests/host/JavaText.h"
#include "tests/host/ResultPrinter.h"
#include "tests/host/Scenarios.h"

#include <string>
#include <vector>

namespace {

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
    jstring argument = NewJavaString(session.env, path);
    jobjectArray paths = Call<Export::GetExpandedCounterPaths>(session, argument);
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
    jobjectArray argument = nullList ? nullptr : NewJavaStringArray(session.env, paths);
    jdoubleArray result = Call<Export::GetCounterValues>(session, argument, delay);
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
        for (const char* path : kParsedCounterPaths) {
            PrintTextCall<Export::ParseCounterPath>(session, path);
        }
        PrintTextCall<Export::ParseCounterPath>(session, nullptr);
    } else {
        PrintLine("parseCounterPath skipped: this PDH cannot expand a plain path");
    }
    for (const char* path : {"\\System\\Processes", "\\Process(pallwick_never_started)\\ID Process",
                             "\\NoSuchObject\\No Such Counter", ""}) {
        PrintTextCall<Export::PerfmonCheckInstanceExists>(session, path);
    }
    PrintTextCall<Export::PerfmonCheckInstanceExists>(session, nullptr);
}
