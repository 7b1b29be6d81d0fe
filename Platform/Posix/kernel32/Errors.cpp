#include "Platform/Posix/kernel32/Errors.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/kernel32/SystemMessages.h"

#include <string.h>

namespace {

// Constant-initialised, so it is valid even before the shared object's static initialisers run.
thread_local DWORD t_lastError = ERROR_SUCCESS;

bool IsEnglishOrNeutral(DWORD languageId) {
    WORD primary = PRIMARYLANGID(languageId);
    return languageId == 0 || primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

} // namespace

extern "C" {

DWORD WINAPI GetLastError(void) {
    return t_lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

// Only system messages are known here. Inserts are not expanded: a text holding one needs
// FORMAT_MESSAGE_IGNORE_INSERTS, as Windows needs arguments for it otherwise.
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    (void)lpSource;
    (void)Arguments;
    const DWORD supported =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if (lpBuffer == nullptr || (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
        (dwFlags & ~supported) != 0) {
        FailWith(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = SystemMessageText(dwMessageId);
    if (text == nullptr) {
        FailWith(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    if (!IsEnglishOrNeutral(dwLanguageId)) {
        FailWith(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    if ((dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && strchr(text, '%') != nullptr) {
        FailWith(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = strlen(text);
    // Windows leaves the caller's buffer untouched when the text does not fit.
    if (static_cast<size_t>(nSize) < length + 1) {
        FailWith(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(lpBuffer, text, length + 1);
    return static_cast<DWORD>(length);
}

} // extern "C"
