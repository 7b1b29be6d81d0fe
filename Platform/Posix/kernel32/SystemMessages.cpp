// The text table is generated from the one list of codes, sorted as that list is, so that a
// lookup is a binary search.
#include "Platform/Posix/kernel32/SystemMessages.h"

#include "Platform/Posix/common/WinError.h"

namespace {

struct SystemMessage {
    DWORD code;
    const char* text;
};

#define PALLWICK_SYSTEM_MESSAGE(name, code, text) {static_cast<DWORD>(name), text},
constexpr SystemMessage kSystemMessages[] = {PALLWICK_WIN32_ERRORS(PALLWICK_SYSTEM_MESSAGE)};
#undef PALLWICK_SYSTEM_MESSAGE

constexpr size_t kSystemMessageCount = sizeof(kSystemMessages) / sizeof(kSystemMessages[0]);

constexpr bool IsSortedByCode() {
    for (size_t i = 1; i < kSystemMessageCount; ++i) {
        if (kSystemMessages[i - 1].code >= kSystemMessages[i].code) {
            return false;
        }
    }
    return true;
}
static_assert(IsSortedByCode(), "the error list must stay sorted by code, without duplicates");

} // namespace

const char* SystemMessageText(DWORD code) {
    size_t low = 0;
    size_t high = kSystemMessageCount;
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (kSystemMessages[middle].code < code) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    bool found = low < kSystemMessageCount && kSystemMessages[low].code == code;
    return found ? kSystemMessages[low].text : nullptr;
}
