// Every export of the catalogue is covered by each harness (a host scenario plays it, a sweep case
// sweeps it, a benchmark times it) unless the catalogue says why none does, and a reason stands
// only while it holds. Its names and signatures are held to the javac -h headers and the export
// tables by check_exports.sh.
#include "tests/host/Scenarios.h"
#include "tests/support/ExportCatalogue.h"
#include "tests/sweep/SweepCases.h"

#include <gtest/gtest.h>

#include <ctype.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string SourceText(const std::string& relative) {
    std::ifstream file(std::string(PALLWICK_SOURCE_DIR) + "/" + relative);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The exports a harness reaches, and for each export the catalogue's reason that it reaches
// none: each export must have one or the other, not both.
void ExpectEachCoveredOrExcused(const std::set<Export>& covered,
                                const char* ExportCoverage::*whyNot, const char* harness) {
    for (size_t i = 0; i < kExportCount; ++i) {
        const ExportEntry& entry = kExportCatalogue[i];
        bool excused = entry.coverage.*whyNot != nullptr;
        bool reached = covered.count(static_cast<Export>(i)) > 0;
        EXPECT_TRUE(reached || excused)
            << entry.symbol << ": no " << harness << ", and the catalogue says not why";
        EXPECT_FALSE(reached && excused)
            << entry.symbol << " has a " << harness << " now; the catalogue's reason for none goes";
    }
}

// The benchmark binary's source, by the rule that names the binary: EventLogBench.cpp builds
// event_log_bench.
std::string BenchSource(const std::string& binary) {
    std::string source = "bench/";
    bool upper = true;
    for (char c : binary.substr(0, binary.rfind("_bench"))) {
        if (c == '_') {
            upper = true;
            continue;
        }
        source += upper ? (char)toupper((unsigned char)c) : c;
        upper = false;
    }
    return source + "Bench.cpp";
}

TEST(ExportCatalogue, EveryExportIsPlayedByAHostScenario) {
    std::set<Export> played;
    for (const Scenario& scenario : AllScenarios()) {
        played.insert(scenario.needs.begin(), scenario.needs.end());
    }
    ExpectEachCoveredOrExcused(played, &ExportCoverage::whyNoHostScenario, "host scenario");
}

TEST(ExportCatalogue, EveryExportIsSweptByACase) {
    std::set<Export> swept;
    for (const SweepCase& sweepCase : SweepCases()) {
        swept.insert(sweepCase.which);
    }
    ExpectEachCoveredOrExcused(swept, &ExportCoverage::whyNoSweepCase, "sweep case");
}

// A benchmark the catalogue names is registered in its binary's source, which calls the export.
TEST(ExportCatalogue, EveryExportIsTimedByABenchmark) {
    std::set<Export> timed;
    for (size_t i = 0; i < kExportCount; ++i) {
        const ExportCoverage& coverage = kExportCatalogue[i].coverage;
        if (coverage.benchmark == nullptr) {
            continue;
        }
        std::string source = BenchSource(coverage.benchBinary);
        std::string text = SourceText(source);
        EXPECT_NE(std::string::npos,
                  text.find("BENCHMARK(" + std::string(coverage.benchmark) + ")"))
            << source << " registers no benchmark " << coverage.benchmark;
        EXPECT_NE(std::string::npos, text.find(std::string(kExportCatalogue[i].symbol) + "("))
            << source << " does not call " << kExportCatalogue[i].symbol;
        timed.insert(static_cast<Export>(i));
    }
    ExpectEachCoveredOrExcused(timed, &ExportCoverage::whyNoBenchmark, "benchmark");
}

// Whether the text defines the function: its name follows JNICALL, as in a definition, not in a
// call.
bool Defines(const std::string& text, const std::string& symbol) {
    for (size_t at = text.find(symbol + "("); at != std::string::npos;
         at = text.find(symbol + "(", at + 1)) {
        size_t end = text.find_last_not_of(" \n", at - 1);
        if (end != std::string::npos && end + 1 >= 7 && text.compare(end - 6, 7, "JNICALL") == 0) {
            return true;
        }
    }
    return false;
}

TEST(ExportCatalogue, EachExportIsDefinedInItsAgentSource) {
    for (const ExportEntry& entry : kExportCatalogue) {
        EXPECT_TRUE(
            Defines(SourceText(std::string("InventoryAgents/") + entry.source), entry.symbol))
            << entry.source << " does not define " << entry.symbol;
    }
}

} // namespace
