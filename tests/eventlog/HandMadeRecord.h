// Event records laid out by hand as ReadEventLogA gives them: the fixed part, the source name,
// the insertion strings, the SID, the data, then the length again. What a record claims about
// its parts can be set to lie.
#pragma once

#include "Platform/Win32.h"

#include <string.h>

#include <string>
#include <vector>

struct HandMadeRecord {
    EVENTLOGRECORD header = {};
    std::string source = "Source";
    std::vector<std::string> strings;
    int claimedStrings = -1; // NumStrings when not the count of strings
    bool terminateLast = true;
    std::string sid;
    std::string data;

    std::vector<BYTE> Bytes() const {
        EVENTLOGRECORD fixed = header;
        std::string tail(source.c_str(), source.size() + 1);
        fixed.StringOffset = (DWORD)(sizeof fixed + tail.size());
        for (size_t i = 0; i < strings.size(); ++i) {
            tail += strings[i];
            if (terminateLast || i + 1 < strings.size()) {
                tail += '\0';
            }
        }
        fixed.NumStrings = (WORD)(claimedStrings < 0 ? (int)strings.size() : claimedStrings);
        fixed.UserSidOffset = sid.empty() ? 0 : (DWORD)(sizeof fixed + tail.size());
        fixed.UserSidLength = (DWORD)sid.size();
        tail += sid;
        fixed.DataOffset = (DWORD)(sizeof fixed + tail.size());
        fixed.DataLength = (DWORD)data.size();
        tail += data;
        fixed.Length = (DWORD)(sizeof fixed + tail.size() + sizeof(DWORD));
        std::vector<BYTE> bytes(fixed.Length);
        memcpy(bytes.data(), &fixed, sizeof fixed);
        memcpy(bytes.data() + sizeof fixed, tail.data(), tail.size());
        memcpy(bytes.data() + sizeof fixed + tail.size(), &fixed.Length, sizeof(DWORD));
        return bytes;
    }
};

inline EVENTLOGRECORD* Header(std::vector<BYTE>& bytes) {
    return reinterpret_cast<EVENTLOGRECORD*>(bytes.data());
}

// S-1-5-18, the local system account.
inline std::string LocalSystemSid() {
    return std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);
}
