// A stand-in host process: loads the library named on its command line, as a JVM would, and
// exits. Tests run copies of it under the names whose log placement they check.
#include <dlfcn.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    if (dlopen(argv[1], RTLD_NOW) == nullptr) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    return 0;
}
