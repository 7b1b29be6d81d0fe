// The scenarios a host run can play, one function each, in one table: an export joins the run
// with a scenario of its own and a line in the table. The calls a scenario makes on texts of
// these tables are also the sweep's cases (tests/sweep/SweepCases.cpp): the same call on the same
// text, played by the host and swept call by call.
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

// The roots checkRootDirectory is asked about.
inline constexpr const char* kRootPaths[] = {
    // The prefix's own drives, its drives marked network, CD-ROM and floppy, a letter it lacks.
    "C:\\", "Z:\\", "c:\\", "z:\\", "N:\\", "O:\\", "P:\\", "K:\\",
    // Folders named with and without the trailing separator, and what is no root at all.
    "C:\\windows\\", "C:\\windows", "C:\\no-such-folder\\", "C", "C:", "", "\\", "CC:\\"};

// The paths parseCounterPath takes apart: each part present or left out, a machine, a parent
// and an index, and what is no counter path.
inline constexpr const char* kParsedCounterPaths[] = {
    "\\Processor(0)\\% User Time",
    "\\\\host\\Process(parent/java#2)\\ID Process",
    "\\Memory\\Available Bytes",
    "no path",
    "",
    "\\Process(\\ID Process",
    "\\Thread(/0)\\% Processor Time",
    "\\Process(svchost#99999999999)\\ID Process"};

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
