#include "Platform/Posix/pdh/ProcText.h"

#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/common/PosixCalls.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace {

// /proc/stat of a host with many processors and interrupts stays well below this.
constexpr size_t kProcTextLimit = 4 * 1024 * 1024;

} // namespace

bool ReadProcText(const char* relative, std::string* text) {
    text->clear();
    char path[kPathCapacity];
    if (!ProcPath(relative, path, sizeof(path))) {
        return false;
    }
    int descriptor = PosixOpen(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    char chunk[8192];
    bool ok = true;
    for (;;) {
        ssize_t got = PosixRead(descriptor, chunk, sizeof(chunk));
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        if (text->size() + static_cast<size_t>(got) > kProcTextLimit) {
            ok = false;
            break;
        }
        text->append(chunk, static_cast<size_t>(got));
    }
    close(descriptor);
    return ok;
}

bool ProcKeyValue(const std::string& text, const char* key, double* value) {
    size_t keyLength = strlen(key);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end - at > keyLength && text.compare(at, keyLength, key) == 0 &&
            (text[at + keyLength] == ':' || text[at + keyLength] == ' ')) {
            std::string rest = text.substr(at + keyLength + 1, end - at - keyLength - 1);
            char* parsedEnd = nullptr;
            double parsed = strtod(rest.c_str(), &parsedEnd);
            if (parsedEnd == rest.c_str()) {
                return false;
            }
            *value = parsed;
            return true;
        }
        at = end + 1;
    }
    return false;
}

std::vector<std::string> ProcFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < line.size()) {
        size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string::npos) {
            break;
        }
        size_t end = line.find_first_of(" \t", start);
        if (end == std::string::npos) {
            end = line.size();
        }
        fields.push_back(line.substr(start, end - start));
        at = end;
    }
    return fields;
}

std::vector<std::string> ProcLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

ULONGLONG PerfSampleTime100ns() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 10000000ULL +
           static_cast<ULONGLONG>(now.tv_nsec) / 100ULL;
}
