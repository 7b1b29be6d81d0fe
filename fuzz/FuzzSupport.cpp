#include "fuzz/FuzzSupport.h"

#include <fcntl.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string g_prefix;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

void RemovePrefix() {
    if (!g_prefix.empty()) {
        nftw(g_prefix.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
}

void MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0) {
        perror(path.c_str());
        abort();
    }
}

} // namespace

const std::string& FuzzPrefix(const char* systemReg) {
    if (!g_prefix.empty()) {
        return g_prefix;
    }
    // Every iteration may write its input there: a disk-backed /tmp costs milliseconds a write,
    // memory microseconds.
    const char* temp = getenv("TMPDIR");
    if (temp == nullptr || temp[0] == '\0') {
        temp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    }
    std::string pattern = std::string(temp) + "/pallwick-fuzz-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        perror("mkdtemp");
        abort();
    }
    g_prefix = pattern;
    atexit(RemovePrefix);
    MakeFolder(g_prefix + "/drive_c");
    // No process, processor or disk of this host takes part: the counters expand over nothing.
    MakeFolder(g_prefix + "/proc");
    std::string reg(systemReg);
    if (!reg.empty() && !WriteFuzzFile(g_prefix + "/system.reg",
                                       reinterpret_cast<const uint8_t*>(reg.data()), reg.size())) {
        abort();
    }
    setenv("WINEPREFIX", g_prefix.c_str(), 1);
    setenv("PALLWICK_PROC_ROOT", (g_prefix + "/proc").c_str(), 1);
    return g_prefix;
}

bool WriteFuzzFile(const std::string& path, const uint8_t* data, size_t size) {
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return false;
    }
    size_t written = 0;
    while (written < size) {
        ssize_t got = write(descriptor, data + written, size - written);
        if (got <= 0) {
            break;
        }
        written += static_cast<size_t>(got);
    }
    close(descriptor);
    return written == size;
}

void FuzzCheck(bool holds, const char* what) {
    if (!holds) {
        fprintf(stderr, "fuzz check failed: %s\n", what);
        abort();
    }
}
