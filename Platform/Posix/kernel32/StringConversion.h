// Text between the ANSI code page and UTF-16: GetACP, MultiByteToWideChar and WideCharToMultiByte
// for the one ANSI code page the layer has, Windows-1252 (Wine's under its default English
// locale), with Windows' best-fit substitutes.
#pragma once

#include "Platform/Posix/common/Win32Types.h"
#include "Platform/Posix/common/WinError.h"

// UTF-16 code units, as on Windows (where wchar_t is 16 bits; on Linux it is 32).
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* LPCWCH;
typedef const CHAR* LPCCH;

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

extern "C" {
UINT WINAPI GetACP(void);
// CodePage CP_ACP, CP_THREAD_ACP or 1252; dwFlags 0, MB_PRECOMPOSED or MB_ERR_INVALID_CHARS
// (every byte of 1252 has a character, so nothing is invalid).
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
// CodePage as above; dwFlags 0 or WC_NO_BEST_FIT_CHARS.
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);
}
