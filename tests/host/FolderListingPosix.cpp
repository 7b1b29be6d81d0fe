#include "tests/host/FolderListing.h"

#include "Platform/Posix/common/DosPaths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

std::vector<std::string> FileNamesOf(const std::string& dosFolder) {
    std::vector<std::string> names;
    char folder[kPathCapacity];
    if (!DosPathToUnix(dosFolder.c_str(), folder, sizeof folder)) {
        return names;
    }
    DIR* listing = opendir(folder);
    if (listing == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(listing)) {
        std::string path = std::string(folder) + "/" + entry->d_name;
        struct stat status;
        if (stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
            names.push_back(entry->d_name);
        }
    }
    closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}
