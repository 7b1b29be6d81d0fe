#include "Platform/Posix/advapi32/AccountSids.h"

#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/advapi32/SidText.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/kernel32/Environment.h"
#include "Platform/Posix/kernel32/Memory.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr BYTE kSidRevision = 1;
constexpr BYTE kMaxSubAuthorities = 15;
constexpr DWORD kSidFixedSize = 8;

struct WellKnownAccount {
    const char* sid;
    const char* name;
    const char* domain;
    SID_NAME_USE use;
};

// The accounts every Windows machine has, under the names and domains an English Windows gives.
constexpr WellKnownAccount kWellKnown[] = {
    {"S-1-0-0", "NULL SID", "", SidTypeWellKnownGroup},
    {"S-1-1-0", "Everyone", "", SidTypeWellKnownGroup},
    {"S-1-2-0", "LOCAL", "", SidTypeWellKnownGroup},
    {"S-1-3-0", "CREATOR OWNER", "", SidTypeWellKnownGroup},
    {"S-1-3-1", "CREATOR GROUP", "", SidTypeWellKnownGroup},
    {"S-1-5-1", "DIALUP", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-2", "NETWORK", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-3", "BATCH", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-4", "INTERACTIVE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-6", "SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-7", "ANONYMOUS LOGON", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-11", "Authenticated Users", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-18", "SYSTEM", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-19", "LOCAL SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-20", "NETWORK SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-32", "BUILTIN", "BUILTIN", SidTypeDomain},
    {"S-1-5-32-544", "Administrators", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-545", "Users", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-546", "Guests", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-547", "Power Users", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-551", "Backup Operators", "BUILTIN", SidTypeAlias},
};

const BYTE* SidBytes(PSID sid) {
    return static_cast<const BYTE*>(sid);
}

// "S-1-5-32-544" for the SID's binary form; sid must be valid.
void SidToText(PSID sid, char* out, size_t size) {
    const BYTE* bytes = SidBytes(sid);
    unsigned long long authority = 0;
    for (int i = 2; i < 8; ++i) {
        authority = (authority << 8) | bytes[i];
    }
    int used = snprintf(out, size, "S-%u-%llu", bytes[0], authority);
    for (BYTE i = 0; i < bytes[1] && used > 0 && size_t(used) < size; ++i) {
        DWORD sub;
        memcpy(&sub, bytes + kSidFixedSize + 4 * i, 4);
        used += snprintf(out + used, size - size_t(used), "-%u", sub);
    }
}

// One decimal (or 0x-prefixed hex) number of a SID's text, up to limit; moves *text past it.
bool TakeNumber(const char** text, unsigned long long limit, unsigned long long* value) {
    const char* at = *text;
    if (!isdigit(static_cast<unsigned char>(*at))) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    *value = strtoull(at, &end, at[0] == '0' && (at[1] == 'x' || at[1] == 'X') ? 16 : 10);
    if (errno != 0 || end == at || *value > limit) {
        return false;
    }
    *text = end;
    return true;
}

const WellKnownAccount* FindAccount(PSID sid) {
    char text[256];
    SidToText(sid, text, sizeof text);
    for (const WellKnownAccount& account : kWellKnown) {
        if (strcmp(account.sid, text) == 0) {
            return &account;
        }
    }
    return nullptr;
}

// An account the machine's own SAM names. A Windows volume's accounts are its own: the SAM hive
// keeps each name as a key whose default value's type is the account's RID, and the SECURITY
// hive keeps the machine's SID (the accounts' domain) as the default value of Policy\PolAcDmS.
struct ImageAccount {
    char name[257];
    char domain[257];
    SID_NAME_USE use;
};

// The name under namesPath whose RID is rid.
bool FindNameByRid(const char* namesPath, DWORD rid, char* name, size_t nameSize) {
    HKEY names = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, namesPath, 0, KEY_READ, &names) != ERROR_SUCCESS) {
        return false;
    }
    bool found = false;
    char candidate[257];
    for (DWORD index = 0; !found; ++index) {
        DWORD size = sizeof candidate;
        if (RegEnumKeyExA(names, index, candidate, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        HKEY account = nullptr;
        DWORD type = 0;
        if (RegOpenKeyExA(names, candidate, 0, KEY_READ, &account) == ERROR_SUCCESS) {
            found = RegQueryValueExA(account, nullptr, nullptr, &type, nullptr, nullptr) ==
                        ERROR_SUCCESS &&
                    type == rid;
            RegCloseKey(account);
        }
        if (found) {
            snprintf(name, nameSize, "%s", candidate);
        }
    }
    RegCloseKey(names);
    return found;
}

// Whether the first subAuthorities of sid are the machine's SID.
bool IsMachineDomain(const BYTE* sid, BYTE subAuthorities) {
    BYTE machine[kLargestSidSize];
    DWORD size = sizeof machine;
    HKEY policy = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SECURITY\\Policy\\PolAcDmS", 0, KEY_READ, &policy) !=
        ERROR_SUCCESS) {
        return false;
    }
    bool read =
        RegQueryValueExA(policy, nullptr, nullptr, nullptr, machine, &size) == ERROR_SUCCESS;
    RegCloseKey(policy);
    DWORD length = kSidFixedSize + 4u * subAuthorities;
    return read && size == length && machine[1] == subAuthorities &&
           memcmp(machine + 2, sid + 2, 6) == 0 && memcmp(machine + 8, sid + 8, length - 8) == 0;
}

DWORD SubAuthority(const BYTE* sid, BYTE index) {
    DWORD value = 0;
    memcpy(&value, sid + kSidFixedSize + 4u * index, sizeof value);
    return value;
}

bool FindImageAccount(PSID sid, ImageAccount* account) {
    const BYTE* bytes = SidBytes(sid);
    static const BYTE kNtAuthority[6] = {0, 0, 0, 0, 0, 5};
    BYTE count = bytes[1];
    if (memcmp(bytes + 2, kNtAuthority, 6) != 0 || count < 2) {
        return false;
    }
    if (count == 2 && SubAuthority(bytes, 0) == 32) { // BUILTIN, under the image's own names
        snprintf(account->domain, sizeof account->domain, "BUILTIN");
        account->use = SidTypeAlias;
        return FindNameByRid("SAM\\SAM\\Domains\\Builtin\\Aliases\\Names", SubAuthority(bytes, 1),
                             account->name, sizeof account->name);
    }
    if (SubAuthority(bytes, 0) != 21 || (count != 4 && count != 5) || !IsMachineDomain(bytes, 4)) {
        return false;
    }
    DWORD size = sizeof account->domain;
    if (!GetComputerNameA(account->domain, &size)) {
        return false;
    }
    if (count == 4) { // the machine itself
        snprintf(account->name, sizeof account->name, "%s", account->domain);
        account->use = SidTypeDomain;
        return true;
    }
    static const struct {
        const char* names;
        SID_NAME_USE use;
    } kKinds[] = {
        {"SAM\\SAM\\Domains\\Account\\Users\\Names", SidTypeUser},
        {"SAM\\SAM\\Domains\\Account\\Groups\\Names", SidTypeGroup},
        {"SAM\\SAM\\Domains\\Account\\Aliases\\Names", SidTypeAlias},
    };
    for (const auto& kind : kKinds) {
        if (FindNameByRid(kind.names, SubAuthority(bytes, 4), account->name,
                          sizeof account->name)) {
            account->use = kind.use;
            return true;
        }
    }
    return false;
}

} // namespace

static_assert(kLargestSidSize == kSidFixedSize + 4 * kMaxSubAuthorities, "room for any SID");

bool ParseSid(const char* text, BYTE* out, DWORD* length) {
    if ((text[0] != 'S' && text[0] != 's') || text[1] != '-') {
        return false;
    }
    text += 2;
    unsigned long long revision = 0;
    unsigned long long authority = 0;
    if (!TakeNumber(&text, 0xFF, &revision) || revision != kSidRevision || *text++ != '-' ||
        !TakeNumber(&text, 0xFFFFFFFFFFFFull, &authority)) {
        return false;
    }
    out[0] = kSidRevision;
    for (int i = 7; i >= 2; --i, authority >>= 8) {
        out[i] = BYTE(authority & 0xFF);
    }
    BYTE count = 0;
    while (*text == '-') {
        ++text;
        unsigned long long sub = 0;
        if (count == kMaxSubAuthorities || !TakeNumber(&text, 0xFFFFFFFFu, &sub)) {
            return false;
        }
        DWORD value = DWORD(sub);
        memcpy(out + kSidFixedSize + 4 * count++, &value, 4);
    }
    out[1] = count;
    *length = kSidFixedSize + 4u * count;
    return *text == '\0' && count > 0;
}

BOOL WINAPI IsValidSid(PSID pSid) {
    return pSid != nullptr && SidBytes(pSid)[0] == kSidRevision &&
           SidBytes(pSid)[1] <= kMaxSubAuthorities;
}

DWORD WINAPI GetLengthSid(PSID pSid) {
    return IsValidSid(pSid) ? kSidFixedSize + 4u * SidBytes(pSid)[1] : 0;
}

BOOL WINAPI ConvertStringSidToSidA(LPCSTR StringSid, PSID* Sid) {
    if (!FaultAllows(LayerCall::ConvertStringSidToSidA)) {
        return FALSE;
    }
    if (StringSid == nullptr || Sid == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    BYTE binary[kLargestSidSize];
    DWORD length = 0;
    if (!ParseSid(StringSid, binary, &length)) {
        return FailWith(ERROR_INVALID_SID);
    }
    void* copy = LocalAlloc(LMEM_FIXED, length);
    if (copy == nullptr) {
        return FALSE;
    }
    memcpy(copy, binary, length);
    *Sid = copy;
    return TRUE;
}

BOOL WINAPI LookupAccountSidA(LPCSTR lpSystemName, PSID Sid, LPSTR Name, LPDWORD cchName,
                              LPSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                              PSID_NAME_USE peUse) {
    (void)lpSystemName;
    if (!FaultAllows(LayerCall::LookupAccountSidA)) {
        return FALSE;
    }
    if (!IsValidSid(Sid)) {
        return FailWith(ERROR_INVALID_SID);
    }
    if (cchName == nullptr || cchReferencedDomainName == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    // The image's own accounts first: its SAM may name a built-in group in its own language.
    ImageAccount imageAccount;
    WellKnownAccount found = {nullptr, imageAccount.name, imageAccount.domain, SidTypeUnknown};
    const WellKnownAccount* account = &found;
    if (FindImageAccount(Sid, &imageAccount)) {
        found.use = imageAccount.use;
    } else if ((account = FindAccount(Sid)) == nullptr) {
        return FailWith(ERROR_NONE_MAPPED);
    }
    DWORD nameNeeded = DWORD(strlen(account->name)) + 1;
    DWORD domainNeeded = DWORD(strlen(account->domain)) + 1;
    // Either size short fails the call and both are told; a null buffer with room is skipped.
    if (*cchName < nameNeeded || *cchReferencedDomainName < domainNeeded) {
        *cchName = nameNeeded;
        *cchReferencedDomainName = domainNeeded;
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
    }
    if (Name != nullptr) {
        memcpy(Name, account->name, nameNeeded);
    }
    if (ReferencedDomainName != nullptr) {
        memcpy(ReferencedDomainName, account->domain, domainNeeded);
    }
    *cchName = nameNeeded - 1;
    *cchReferencedDomainName = domainNeeded - 1;
    if (peUse != nullptr) {
        *peUse = account->use;
    }
    return TRUE;
}
