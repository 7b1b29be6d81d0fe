#include "Platform/Posix/kernel32/Messages.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/kernel32/SystemMessages.h"

#include <string.h>

namespace {

constexpr DWORD kSupportedFlags =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;

bool IsEnglishOrNeutral(DWORD languageId) {
    WORD primary = PRIMARYLANGID(languageId);
    return languageId == 0 || primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

// The text of a message in the language asked for, from the source the flags name, or the Win32
// code of why there is none. Only the system's messages are known so far: a module's message
// table (FORMAT_MESSAGE_FROM_HMODULE over a data-file module, see DataFileModules.h) is the next
// source, looked up here in the same way.
DWORD FindMessageText(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                      const char** text) {
    (void)flags;
    (void)source;
    *text = SystemMessageText(messageId);
    if (*text == nullptr) {
        return ERROR_MR_MID_NOT_FOUND;
    }
    return IsEnglishOrNeutral(languageId) ? ERROR_SUCCESS : ERROR_RESOURCE_LANG_NOT_FOUND;
}

} // namespace

extern "C" {

// Inserts are not expanded: a text holding one needs FORMAT_MESSAGE_IGNORE_INSERTS, as Windows
// needs arguments for it otherwise.
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    if (!FaultAllows(LayerCall::FormatMessageA)) {
        return 0;
    }
    (void)Arguments;
    if (lpBuffer == nullptr || (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
        (dwFlags & ~kSupportedFlags) != 0) {
        FailWith(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = nullptr;
    DWORD error = FindMessageText(dwFlags, lpSource, dwMessageId, dwLanguageId, &text);
    if (error != ERROR_SUCCESS) {
        FailWith(error);
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
