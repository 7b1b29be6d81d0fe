// Performance counters: the ANSI PDH functions over the layer's performance objects (see
// PerfObjects.h), with the declarations and status codes as Windows' <pdh.h> and <pdhmsg.h> give.
// Real-time data of this machine only.
#pragma once

#include "Platform/Posix/common/Win32Types.h"

typedef LONG PDH_STATUS;
typedef HANDLE PDH_HQUERY;
typedef HANDLE PDH_HCOUNTER;
typedef char* PZZSTR;

#define PDH_CSTATUS_VALID_DATA (static_cast<DWORD>(0x00000000L))
#define PDH_CSTATUS_NEW_DATA (static_cast<DWORD>(0x00000001L))
#define PDH_CSTATUS_NO_MACHINE (static_cast<DWORD>(0x800007D0L))
#define PDH_CSTATUS_NO_INSTANCE (static_cast<DWORD>(0x800007D1L))
#define PDH_MORE_DATA (static_cast<DWORD>(0x800007D2L))
#define PDH_CSTATUS_ITEM_NOT_VALIDATED (static_cast<DWORD>(0x800007D3L))
#define PDH_NO_DATA (static_cast<DWORD>(0x800007D5L))
#define PDH_CSTATUS_NO_OBJECT (static_cast<DWORD>(0xC0000BB8L))
#define PDH_CSTATUS_NO_COUNTER (static_cast<DWORD>(0xC0000BB9L))
#define PDH_CSTATUS_INVALID_DATA (static_cast<DWORD>(0xC0000BBAL))
#define PDH_MEMORY_ALLOCATION_FAILURE (static_cast<DWORD>(0xC0000BBBL))
#define PDH_INVALID_HANDLE (static_cast<DWORD>(0xC0000BBCL))
#define PDH_INVALID_ARGUMENT (static_cast<DWORD>(0xC0000BBDL))
#define PDH_CSTATUS_BAD_COUNTERNAME (static_cast<DWORD>(0xC0000BC0L))
#define PDH_INSUFFICIENT_BUFFER (static_cast<DWORD>(0xC0000BC2L))
#define PDH_INVALID_PATH (static_cast<DWORD>(0xC0000BC4L))
#define PDH_INVALID_DATA (static_cast<DWORD>(0xC0000BC6L))
#define PDH_NOT_IMPLEMENTED (static_cast<DWORD>(0xC0000BD3L))

#define PDH_FMT_RAW (static_cast<DWORD>(0x00000010))
#define PDH_FMT_ANSI (static_cast<DWORD>(0x00000020))
#define PDH_FMT_UNICODE (static_cast<DWORD>(0x00000040))
#define PDH_FMT_LONG (static_cast<DWORD>(0x00000100))
#define PDH_FMT_DOUBLE (static_cast<DWORD>(0x00000200))
#define PDH_FMT_LARGE (static_cast<DWORD>(0x00000400))
#define PDH_FMT_NOSCALE (static_cast<DWORD>(0x00001000))
#define PDH_FMT_1000 (static_cast<DWORD>(0x00002000))
#define PDH_FMT_NODATA (static_cast<DWORD>(0x00004000))
#define PDH_FMT_NOCAP100 (static_cast<DWORD>(0x00008000))

typedef struct _PDH_FMT_COUNTERVALUE {
    DWORD CStatus;
    union {
        LONG longValue;
        double doubleValue;
        LONGLONG largeValue;
        LPCSTR AnsiStringValue;
        const wchar_t* WideStringValue;
    };
} PDH_FMT_COUNTERVALUE, *PPDH_FMT_COUNTERVALUE;

typedef struct _PDH_COUNTER_PATH_ELEMENTS_A {
    LPSTR szMachineName;
    LPSTR szObjectName;
    LPSTR szInstanceName;
    LPSTR szParentInstance;
    DWORD dwInstanceIndex;
    LPSTR szCounterName;
} PDH_COUNTER_PATH_ELEMENTS_A, *PPDH_COUNTER_PATH_ELEMENTS_A;

PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR szDataSource, DWORD_PTR dwUserData, PDH_HQUERY* phQuery);
PDH_STATUS WINAPI PdhAddCounterA(PDH_HQUERY hQuery, LPCSTR szFullCounterPath, DWORD_PTR dwUserData,
                                 PDH_HCOUNTER* phCounter);
PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY hQuery);
PDH_STATUS WINAPI PdhGetFormattedCounterValue(PDH_HCOUNTER hCounter, DWORD dwFormat,
                                              LPDWORD lpdwType, PPDH_FMT_COUNTERVALUE pValue);
PDH_STATUS WINAPI PdhRemoveCounter(PDH_HCOUNTER hCounter);
PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY hQuery);
PDH_STATUS WINAPI PdhExpandCounterPathA(LPCSTR szWildCardPath, PZZSTR mszExpandedPathList,
                                        LPDWORD pcchPathListLength);
PDH_STATUS WINAPI PdhParseCounterPathA(LPCSTR szFullPathBuffer,
                                       PPDH_COUNTER_PATH_ELEMENTS_A pCounterPathElements,
                                       LPDWORD pdwBufferSize, DWORD dwFlags);
