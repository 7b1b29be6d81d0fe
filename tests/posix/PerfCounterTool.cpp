// Prints counter values of this host through the layer's performance objects, for the check
// against psutil. Arguments: the interval in milliseconds between the two samples, then queries
// "Object|instance|Counter" where the instance is a name, "pid=N" (the Process instance whose
// ID Process is N) or empty for Memory and System. Prints "query<TAB>value" or "query<TAB>none".
#include "Platform/Posix/pdh/PerfObjects.h"

#include <map>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <time.h>

namespace {

struct Samples {
    PerfSnapshot first;
    PerfSnapshot second;
};

const PerfInstance* FindInstance(const PerfObjectInfo& object, const PerfSnapshot& snapshot,
                                 const std::string& instance) {
    for (const PerfInstance& candidate : snapshot.instances) {
        if (instance.compare(0, 4, "pid=") == 0) {
            int id = FindPerfCounter(object, "ID Process");
            if (id >= 0 && candidate.name != "_Total" &&
                candidate.values[static_cast<size_t>(id)] ==
                    strtod(instance.c_str() + 4, nullptr)) {
                return &candidate;
            }
        } else if (candidate.name == instance) {
            return &candidate;
        }
    }
    return nullptr;
}

bool QueryValue(const std::string& query, std::map<const PerfObjectInfo*, Samples>& samples,
                double* value) {
    size_t first = query.find('|');
    size_t second = query.find('|', first == std::string::npos ? 0 : first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        return false;
    }
    const PerfObjectInfo* object = FindPerfObject(query.substr(0, first).c_str());
    if (object == nullptr) {
        return false;
    }
    int counter = FindPerfCounter(*object, query.substr(second + 1).c_str());
    const Samples& pair = samples[object];
    std::string instance = query.substr(first + 1, second - first - 1);
    const PerfInstance* now = FindInstance(*object, pair.second, instance);
    const PerfInstance* before = FindInstance(*object, pair.first, instance);
    return counter >= 0 && now != nullptr &&
           PerfFormattedValue(*object, static_cast<size_t>(counter), *now, before,
                              pair.second.time100ns - pair.first.time100ns, value);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s interval-ms Object|instance|Counter ...\n", argv[0]);
        return 2;
    }
    long intervalMs = strtol(argv[1], nullptr, 10);
    std::map<const PerfObjectInfo*, Samples> samples;
    for (const PerfObjectInfo& object : PerfObjects()) {
        samples[&object].first = object.read();
    }
    struct timespec pause = {intervalMs / 1000, (intervalMs % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
    for (const PerfObjectInfo& object : PerfObjects()) {
        samples[&object].second = object.read();
    }
    for (int i = 2; i < argc; ++i) {
        double value = 0;
        if (QueryValue(argv[i], samples, &value)) {
            printf("%s\t%.6f\n", argv[i], value);
        } else {
            printf("%s\tnone\n", argv[i]);
        }
    }
    return 0;
}
