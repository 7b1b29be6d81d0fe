// The scenarios a host run can play, one function each, in one table: an export joins the run
// with a scenario of its own and a line in the table.
#pragma once

#include "tests/host/ExportCall.h"

#include <string>
#include <vector>

struct Scenario {
    const char* name;
    void (*play)(Session& session);
    std::vector<Export> needs; // a scenario whose exports are missing is skipped
};

const std::vector<Scenario>& AllScenarios();

// Plays the named scenario, or every one for an empty list; false for an unknown name.
bool PlayScenarios(Session& session, const std::vector<std::string>& names);

void RootDirectoryScenario(Session& session);
void VersionInformationScenario(Session& session);
void InstalledSoftwareScenario(Session& session);
void ServicesScenario(Session& session);
void EventLogScenario(Session& session);
void PerfmonScenario(Session& session);
void RegistryWalkScenario(Session& session);
void RegistryBadInputScenario(Session& session);
