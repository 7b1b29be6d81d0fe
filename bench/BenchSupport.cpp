#include "bench/BenchSupport.h"

#include "Common/DiagnosticLog.h"
#include "tests/support/EmbeddedJvm.h"

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <utility>

namespace {

JNIEnv* benchEnv = nullptr;
std::vector<std::pair<std::string, std::string>> pairs;

// Keeps each benchmark's real time per iteration, to divide the pairs afterwards.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.iterations > 0 && run.run_type == Run::RT_Iteration) {
                seconds[run.benchmark_name()] = run.real_accumulated_time / (double)run.iterations;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

} // namespace

JNIEnv* BenchJniEnv() {
    return benchEnv;
}

std::string BenchPrefix() {
    const char* prefix = getenv("WINEPREFIX");
    return prefix != nullptr ? prefix : "";
}

void BenchPair(const std::string& exportBenchmark, const std::string& floorBenchmark) {
    pairs.emplace_back(exportBenchmark, floorBenchmark);
}

int RunBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchEnv = CreateEmbeddedJvm(false, nullptr);
    if (benchEnv == nullptr) {
        return 1;
    }
    // The log as the library keeps it in production: open, at the default level.
    OpenLogFile("bench.LOG");
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printf("\n%-60s %12s\n", "export / floor", "ratio");
    for (const auto& pair : pairs) {
        auto exported = reporter.seconds.find(pair.first);
        auto floor = reporter.seconds.find(pair.second);
        if (exported != reporter.seconds.end() && floor != reporter.seconds.end() &&
            floor->second > 0) {
            printf("%-60s %12.2f\n", pair.first.c_str(), exported->second / floor->second);
        }
    }
    CloseLogFile();
    return 0;
}
