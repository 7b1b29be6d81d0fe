// The PE resource reader over a whole file held in memory: headers, section table, the three
// levels of the resource tree by id and by name, every language of a resource and its data.
#include "Platform/Posix/common/PeResources.h"
#include "Platform/Posix/common/WinError.h"

#include "fuzz/FuzzSupport.h"

#include <stdint.h>
#include <stdlib.h>

namespace {

constexpr WORD kVersionType = 16;
constexpr WORD kMessageTableType = 11;
constexpr DWORD kLanguageCapacity = 8;

void ReadEveryLanguage(const PeResources* resources, PeName type, PeName name) {
    WORD languages[kLanguageCapacity];
    DWORD count = 0;
    if (PeResourceLanguages(resources, type, name, languages, kLanguageCapacity, &count) !=
        ERROR_SUCCESS) {
        return;
    }
    for (DWORD i = 0; i < count && i < kLanguageCapacity; ++i) {
        PeResourceData data;
        if (PeFindResource(resources, type, name, languages[i], &data) != ERROR_SUCCESS) {
            continue;
        }
        FuzzCheck(data.offset + data.size <= resources->source.size, "data lies inside the file");
        void* out = malloc(data.size == 0 ? 1 : data.size);
        DWORD copied = PeReadResource(resources, &data, out, data.size);
        FuzzCheck(copied <= data.size, "no more copied than asked");
        free(out);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PeSource source = PeSourceOfMemory(data, size);
    PeResources resources;
    if (PeResourcesOpen(&source, &resources) != ERROR_SUCCESS) {
        return 0;
    }
    FuzzCheck(resources.directoryOffset + resources.directorySize <= size,
              "the resource directory lies inside the file");
    ReadEveryLanguage(&resources, PeId(kVersionType), PeId(1));
    ReadEveryLanguage(&resources, PeId(kMessageTableType), PeId(1));
    ReadEveryLanguage(&resources, PeName{0, "FUZZ"}, PeName{0, "Name"});
    PeResourcesRelease(&resources);
    return 0;
}
