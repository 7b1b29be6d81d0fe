// The event log agent's insert expansion: a message text with %n and %%n markers, filled from a
// record of any bytes (its strings found through its own offsets and counts) and from the
// parameter messages of the source the record names. The input is the message text, a NUL, and
// the record; the record's source can be the fuzz machine's FuzzSource, whose message file
// holds messages 1 to 4.
#include "InventoryAgents/EventLogAgent/EventMessages.h"

#include "fuzz/FuzzMachine.h"
#include "fuzz/FuzzSupport.h"

#include <stdlib.h>
#include <string.h>

#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* end = static_cast<const uint8_t*>(memchr(data, '\0', size));
    if (end == nullptr) {
        return 0;
    }
    size_t textLength = size_t(end - data);
    size_t recordSize = size - textLength - 1;
    if (recordSize < sizeof(EVENTLOGRECORD) || textLength >= kEventMessageSize) {
        return 0;
    }
    // The record in a buffer of exactly its size, aligned as ReadNextEventRecord's malloc is.
    std::vector<uint8_t> record(end + 1, data + size);
    std::vector<char> message(kEventMessageSize);
    memcpy(message.data(), data, textLength);
    message[textLength] = '\0';
    ExpandEventMessageInserts(reinterpret_cast<const EVENTLOGRECORD*>(record.data()),
                              DWORD(recordSize), message.data(), message.size(), "Application");
    FuzzCheck(memchr(message.data(), '\0', message.size()) != nullptr,
              "the expanded message stays terminated");
    return 0;
}
