// getServices over 5,000 services against its floor (bench/ServicesFloor.h): the manager calls,
// the JNI work any implementation needs and the records the collection writes at the default
// level.
#include "bench/BenchSupport.h"
#include "bench/ServicesFloor.h"
#include "tests/support/Machine.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

constexpr int kServiceCount = 5000;

// The services live in the layer's registry for the life of the process; nothing is written to
// the machine image.
void InstallServices() {
    for (int i = 0; i < kServiceCount; ++i) {
        PutService({"BenchService" + std::to_string(i), "Bench service number " + std::to_string(i),
                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                    "C:\\bench\\service.exe -k bench", nullptr, "A service for the benchmark"});
    }
}

void GetServices(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    for (auto _ : state) {
        jobject vector = NewServiceVector(env);
        Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
            env, nullptr, vector);
        env->DeleteLocalRef(vector);
    }
}

void GetServicesFloor(benchmark::State& state) {
    JNIEnv* env = BenchJniEnv();
    ServiceFloorIds ids = LookUpServiceFloorIds(env);
    static BYTE config[kServiceFloorBufferSize], description[kServiceFloorBufferSize];
    for (auto _ : state) {
        CollectFloorServices(env, ids, config, description);
    }
    env->DeleteLocalRef(ids.serviceClass);
}

BENCHMARK(GetServices)->Unit(benchmark::kMillisecond);
BENCHMARK(GetServicesFloor)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    InstallServices();
    OpenFloorLog("floor.LOG");
    BenchPair("GetServices", "GetServicesFloor");
    BenchResultSize("GetServices", ServicesBytes);
    return RunBenchmarks(argc, argv);
}
