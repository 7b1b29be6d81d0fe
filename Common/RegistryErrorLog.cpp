#include "Common/RegistryErrorLog.h"

#include "Common/DiagnosticLog.h"

void LogRegistryError(const char* source, const char* function, uint32_t line, LONG status) {
    SetLastError(static_cast<DWORD>(status));
    LogLastSystemError(source, function, line);
}
