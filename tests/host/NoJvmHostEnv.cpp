#include "tests/host/HostEnv.h"

#include <stdio.h>

std::unique_ptr<HostEnv> MakeJvmHostEnv() {
    fprintf(stderr, "no JVM can be embedded in this build\n");
    return nullptr;
}
