// pallwick_host [--jvm] LIBRARY [SCENARIO...]: loads the library, names the exports it lacks,
// and plays the scenarios (all by default) through the JNI stand-in, or with --jvm through a
// real JVM in the process, printing every result as plain text. Exits 1 when the library could
// not be loaded or any breach of JNI's rules was seen, 2 on bad usage.
#include "tests/host/ExportCall.h"
#include "tests/host/ExportLibrary.h"
#include "tests/host/HostEnv.h"
#include "tests/host/Scenarios.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

int Usage() {
    fprintf(stderr, "usage: pallwick_host [--jvm] LIBRARY [SCENARIO...]\nscenarios:");
    for (const Scenario& scenario : AllScenarios()) {
        fprintf(stderr, " %s", scenario.name);
    }
    fprintf(stderr, "\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int next = 1;
    bool jvm = next < argc && strcmp(argv[next], "--jvm") == 0;
    next += jvm ? 1 : 0;
    if (next >= argc) {
        return Usage();
    }
    const char* libraryPath = argv[next++];
    std::vector<std::string> names(argv + next, argv + argc);

    // The env first: the JVM must not find the library already loaded by someone else.
    ExportLibrary exports;
    if (!exports.Load(libraryPath)) {
        return 1;
    }
    std::unique_ptr<HostEnv> host = jvm ? MakeJvmHostEnv() : MakeStandInHostEnv();
    if (host == nullptr) {
        return 1;
    }
    Session session{*host, host->env(), exports, 0, nullptr};
    if (!PlayScenarios(session, names)) {
        return Usage();
    }
    PrintBreaches(session);
    fflush(stdout);
    if (session.breaches > 0) {
        fprintf(stderr, "%d breaches of JNI's rules\n", session.breaches);
        return 1;
    }
    return 0;
}
