// Performance counters: the ANSI PDH functions over the layer's performance objects (see
// PerfObjects.h), with the declarations and status codes as Windows' <pdh.h> and <pdhmsg.h> give.
// Real-time data of this machine only.
#pragma once

#include "Platform/Posix/common/Win32Types.h"

typedef LONG PDH_STATUS;
typedef HANDLE PDH_HQUERY;
typedef HANDLE PDH_HCOUNTER;
typedef char* PZZSTR;

#define PDH_CSTATUS_VALID_DATA ((DWORD)0x00000000L)
#define PDH_CSTATUS_NEW_DATA ((DWORD)0x00000001L)
#define PDH_CSTATUS_NO_MACHINE ((DWORD)0x800007D0L)
#define PDH_CSTATUS_NO_INSTANCE ((DWORD)0x800007D1L)
#define PDH_MORE_DATA ((DWORD)0x800007D2L)
#define PDH_CSTATUS_ITEM_NOT_VALIDATED ((DWORD)0x800007D3L)
#define PDH_NO_DATA ((DWORD)0x800007D5L)
#define PDH_CSTATUS_NO_OBJECT ((DWORD)0xC0000BB8L)
#define PDH_CSTATUS_NO_COUNTER ((DWORD)0xC0000BB9L)
#define PDH_CSTATUS_INVALID_DATA ((DWORD)0xC0000BBAL)
#define PDH_MEMORY_ALLOCATION_FAILURE ((DWORD)0xC0000BBBL)
#define PDH_INVALID_HANDLE ((DWORD)0xC0000BBCL)
#define PDH_INVALID_ARGUMENT ((DWORD)0xC0000BBDL)
#define PDH_CSTATUS_BAD_COUNTERNAME ((DWORD)0xC0000BC0L)
#define PDH_INSUFFICIENT_BUFFER ((DWORD)0xC0000BC2L)
#define PDH_INVALID_PATH ((DWORD)0xC0000BC4L)
#define PDH_INVALID_DATA ((DWORD)0xC0000BC6L)
#define PDH_NOT_IMPLEMENTED ((DWORD)0xC0000BD3L)

#define PDH_FMT_RAW ((DWORD)0x00000010)
#define PDH_FMT_ANSI ((DWORD)0x00000020)
#define PDH_FMT_UNICODE ((DWORD)0x00000040)
#define PDH_FMT_LONG ((DWORD)0x00000100)
#define PDH_FMT_DOUBLE ((DWORD)0x00000200)
#define PDH_FMT_LARGE ((DWORD)0x00000400)
#define PDH_FMT_NOSCALE ((DWORD)0x00001000)
#define PDH_FMT_1000 ((DWORD)0x00002000)
#define PDH_FMT_NODATA ((DWORD)0x00004000)
#define PDH_FMT_NOCAP100 ((DWORD)0x00008000)

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
