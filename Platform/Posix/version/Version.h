// Version resources of PE files: GetFileVersionInfoSizeA, GetFileVersionInfoA and
// VerQueryValueA, with the block laid out as Windows hands it to the ANSI functions (the
// resource's own UTF-16 tree, then room where VerQueryValueA puts the ANSI copies of strings).
// Files are read as data, never loaded. Paths are DOS paths (see DosPaths.h).
#pragma once

#include "Platform/Posix/common/Win32Types.h"

#define VS_VERSION_INFO 1
#define VS_USER_DEFINED 100

#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VS_FFI_FILEFLAGSMASK 0x0000003Fu

#define VS_FF_DEBUG 0x00000001u
#define VS_FF_PRERELEASE 0x00000002u
#define VS_FF_PATCHED 0x00000004u
#define VS_FF_PRIVATEBUILD 0x00000008u
#define VS_FF_INFOINFERRED 0x00000010u
#define VS_FF_SPECIALBUILD 0x00000020u

#define VOS_UNKNOWN 0x00000000u
#define VOS_DOS 0x00010000u
#define VOS_OS216 0x00020000u
#define VOS_OS232 0x00030000u
#define VOS_NT 0x00040000u
#define VOS_WINCE 0x00050000u
#define VOS__BASE 0x00000000u
#define VOS__WINDOWS16 0x00000001u
#define VOS__PM16 0x00000002u
#define VOS__PM32 0x00000003u
#define VOS__WINDOWS32 0x00000004u
#define VOS_DOS_WINDOWS16 0x00010001u
#define VOS_DOS_WINDOWS32 0x00010004u
#define VOS_OS216_PM16 0x00020002u
#define VOS_OS232_PM32 0x00030003u
#define VOS_NT_WINDOWS32 0x00040004u

#define VFT_UNKNOWN 0x00000000u
#define VFT_APP 0x00000001u
#define VFT_DLL 0x00000002u
#define VFT_DRV 0x00000003u
#define VFT_FONT 0x00000004u
#define VFT_VXD 0x00000005u
#define VFT_STATIC_LIB 0x00000007u

#define VFT2_UNKNOWN 0x00000000u
#define VFT2_DRV_PRINTER 0x00000001u
#define VFT2_DRV_KEYBOARD 0x00000002u
#define VFT2_DRV_LANGUAGE 0x00000003u
#define VFT2_DRV_DISPLAY 0x00000004u
#define VFT2_DRV_MOUSE 0x00000005u
#define VFT2_DRV_NETWORK 0x00000006u
#define VFT2_DRV_SYSTEM 0x00000007u
#define VFT2_DRV_INSTALLABLE 0x00000008u
#define VFT2_DRV_SOUND 0x00000009u
#define VFT2_DRV_COMM 0x0000000Au
#define VFT2_DRV_INPUTMETHOD 0x0000000Bu
#define VFT2_DRV_VERSIONED_PRINTER 0x0000000Cu
#define VFT2_FONT_RASTER 0x00000001u
#define VFT2_FONT_VECTOR 0x00000002u
#define VFT2_FONT_TRUETYPE 0x00000003u

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "VS_FIXEDFILEINFO as Windows lays it out");

extern "C" {
// The buffer size GetFileVersionInfoA needs: twice the resource plus four bytes, as Windows
// reports it; 0 with the last error set when the file has no version resource.
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);
}
