#include "tests/host/StandInHostEnv.h"

std::unique_ptr<HostEnv> MakeStandInHostEnv() {
    return std::make_unique<StandInHostEnv>();
}
