#include "Platform/Posix/StringConversion.h"

#include "Platform/Posix/AnsiCodePage.h"
#include "Platform/Posix/Errors.h"

namespace {

constexpr UINT kAnsiCodePage = 1252;
constexpr char kDefaultChar = '?';

// The characters of bytes 0x80..0x9F; the five bytes the code page leaves undefined map to the
// C1 control of the same number, as Windows' table has them.
constexpr char16_t kC1Range[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t AnsiToUtf16(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kC1Range[byte - 0x80] : static_cast<char16_t>(byte);
}

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
    char byte = Utf16UnitToAnsiBestFit(unit);
    bool exact = AnsiToUtf16(static_cast<unsigned char>(byte)) == unit;
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
        lpWideCharStr[i] = AnsiToUtf16(static_cast<unsigned char>(lpMultiByteStr[i]));
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
