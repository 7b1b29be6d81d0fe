#include "tests/host/Scenarios.h"

#include "tests/host/ResultPrinter.h"

#include <stdio.h>

namespace {

// Everything a scenario makes outside the calls' own frames; the loops drop their references
// as they go.
constexpr jint kScenarioFrameCapacity = 64;

bool Exported(const Session& session, const Scenario& scenario) {
    for (Export needed : scenario.needs) {
        if (!session.exports.Has(needed)) {
            return false;
        }
    }
    return true;
}

void Play(Session& session, const Scenario& scenario) {
    PrintLine(std::string("== ") + scenario.name);
    if (!Exported(session, scenario)) {
        PrintLine("skipped: an export it calls is missing");
        return;
    }
    InHostFrame(session, kScenarioFrameCapacity, [&] {
        session.agent = nullptr;
        scenario.play(session);
        session.agent = nullptr;
    });
    PrintBreaches(session);
}

} // namespace

const std::vector<Scenario>& AllScenarios() {
    static const std::vector<Scenario> scenarios = {
        {"root-directories", RootDirectoryScenario, {Export::CheckRootDirectory}},
        {"version-information", VersionInformationScenario, {Export::CollectVersionInformation}},
        {"installed-software",
         InstalledSoftwareScenario,
         {Export::GetAttributeValues, Export::InstalledCheckInstance, Export::ReleaseResources}},
        {"services", ServicesScenario, {Export::GetServices, Export::ServiceCheckInstance}},
        {"event-logs",
         EventLogScenario,
         {Export::GetAllLogFileNames, Export::OpenEventLogHandle, Export::CloseEventLog,
          Export::ReadNextEventLogRecord, Export::EventLogCheckInstanceExists}},
        {"performance-counters",
         PerfmonScenario,
         {Export::GetExpandedCounterPaths, Export::GetCounterValues, Export::ParseCounterPath,
          Export::PerfmonCheckInstanceExists}},
        {"registry-walk",
         RegistryWalkScenario,
         {Export::GetChildKeyNames, Export::GetChildValueNames, Export::GetValue,
          Export::GetDefaultValue, Export::GetLastModifiedTime,
          Export::RegistryCheckInstanceExists}},
        {"registry-bad-input",
         RegistryBadInputScenario,
         {Export::GetChildKeyNames, Export::GetChildValueNames, Export::GetValue,
          Export::GetDefaultValue, Export::GetLastModifiedTime,
          Export::RegistryCheckInstanceExists}},
    };
    return scenarios;
}

bool PlayScenarios(Session& session, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        bool known = false;
        for (const Scenario& scenario : AllScenarios()) {
            known = known || name == scenario.name;
        }
        if (!known) {
            fprintf(stderr, "no scenario %s\n", name.c_str());
            return false;
        }
    }
    for (const Scenario& scenario : AllScenarios()) {
        bool chosen = names.empty();
        for (const std::string& name : names) {
            chosen = chosen || name == scenario.name;
        }
        if (chosen) {
            Play(session, scenario);
        }
    }
    return true;
}
