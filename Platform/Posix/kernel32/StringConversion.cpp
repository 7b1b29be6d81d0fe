#include "Platform/Posix/kernel32/StringConversion.h"

#include "Platform/Posix/common/Utf16Text.h"
#include "Platform/Posix/kernel32/Errors.h"

namespace {

constexpr UINT kAnsiCodePage = 1252;
constexpr char kDefaultChar = '?';

bool IsAnsiCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_THREAD_ACP || codePage == kAnsiCodePage;
}

// The checks both directions share: a known code page, a source of at least one unit, and an
// output buffer that exists when it has a size.
bool ValidArguments(UINT codePage, const void* source, int sourceLength, const void* output,
                    int outputSize) {
    if (!IsAnsiCodePage(codePage) || source == nullptr || sourceLength == 0 || sourceLength < -1 ||
        outputSize < 0 || (outputSize > 0 && output == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

// The number of units to convert: a length of -1 takes the text with its terminator.
template <typename Unit> int SourceLength(const Unit* source, int length) {
    if (length >= 0) {
        return length;
    }
    int count = 0;
    while (source[count] != 0) {
        ++count;
    }
    return count + 1;
}

// The byte of one unit, and whether it is the default character standing for a unit the code
// page lacks. Without WC_NO_BEST_FIT_CHARS a best-fit letter is no default (U+0100 gives 'A');
// with it, only a unit that converts back to itself has a byte of its own.
char AnsiByteOf(char16_t unit, DWORD flags, char defaultChar, bool* usedDefault) {
    char byte = Utf16UnitToAnsi(unit);
    bool exact = AnsiByteToUnit(static_cast<unsigned char>(byte)) == unit;
    bool substituted =
        (flags & WC_NO_BEST_FIT_CHARS) != 0 ? !exact : !exact && byte == kDefaultChar;
    *usedDefault = substituted;
    return substituted ? defaultChar : byte;
}

} // namespace

UINT WINAPI GetACP(void) {
    return kAnsiCodePage;
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    if (!ValidArguments(CodePage, lpMultiByteStr, cbMultiByte, lpWideCharStr, cchWideChar)) {
        return 0;
    }
    if ((dwFlags & ~static_cast<DWORD>(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    int count = SourceLength(lpMultiByteStr, cbMultiByte);
    if (cchWideChar == 0) {
        return count;
    }
    if (cchWideChar < count) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        lpWideCharStr[i] = AnsiByteToUnit(static_cast<unsigned char>(lpMultiByteStr[i]));
    }
    return count;
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    if (!ValidArguments(CodePage, lpWideCharStr, cchWideChar, lpMultiByteStr, cbMultiByte)) {
        return 0;
    }
    // WC_ERR_INVALID_CHARS belongs to UTF-8 alone; the others are not implemented here.
    if ((dwFlags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    int count = SourceLength(lpWideCharStr, cchWideChar);
    if (cbMultiByte > 0 && cbMultiByte < count) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    char defaultChar = lpDefaultChar != nullptr ? *lpDefaultChar : kDefaultChar;
    bool anyDefault = false;
    for (int i = 0; i < count; ++i) {
        bool usedDefault = false;
        char byte = AnsiByteOf(lpWideCharStr[i], dwFlags, defaultChar, &usedDefault);
        anyDefault = anyDefault || usedDefault;
        if (cbMultiByte > 0) {
            lpMultiByteStr[i] = byte;
        }
    }
    if (lpUsedDefaultChar != nullptr) {
        *lpUsedDefaultChar = anyDefault ? TRUE : FALSE;
    }
    return count;
}
