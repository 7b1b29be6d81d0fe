// The classic event log file over a whole file: its layout (clean, wrapped or dirty), every
// record forwards and backwards as ReadEventLogA walks them, a seek by number, and one record
// appended to the file as it stands, which must then read back as written.
#include "Platform/Posix/advapi32/EventLogFile.h"
#include "Platform/Posix/common/WinError.h"

#include "fuzz/FuzzSupport.h"

#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A log holds at most a file's worth of smallest records; the walks stop there.
constexpr DWORD kMostSteps = 0x80000 / kEvtSmallestRecord;

int LogDescriptor() {
    static const int descriptor = memfd_create("fuzz.evt", MFD_CLOEXEC);
    FuzzCheck(descriptor >= 0, "a memory file opens");
    return descriptor;
}

bool Restore(int descriptor, const uint8_t* data, size_t size) {
    if (ftruncate(descriptor, 0) != 0) {
        return false;
    }
    size_t written = 0;
    while (written < size) {
        ssize_t got = pwrite(descriptor, data + written, size - written, off_t(written));
        if (got <= 0) {
            return false;
        }
        written += size_t(got);
    }
    return true;
}

DWORD RecordNumber(const std::string& record) {
    return reinterpret_cast<const EVENTLOGRECORD*>(record.data())->RecordNumber;
}

void WalkForwards(int descriptor, const EvtLayout& layout) {
    DWORD offset = layout.start;
    std::string stored;
    std::string ansi;
    for (DWORD steps = 0; steps < kMostSteps && steps < EvtRecordCount(layout); ++steps) {
        if (EvtReadRecord(descriptor, layout, offset, &stored) != ERROR_SUCCESS) {
            return;
        }
        FuzzCheck(stored.size() >= kEvtSmallestRecord, "a record holds its fixed part");
        if (EvtRecordToAnsi(stored, &ansi)) {
            FuzzCheck(ansi.size() >= kEvtSmallestRecord, "an ANSI record holds its fixed part");
        }
        offset = EvtRingAdvance(layout, offset, DWORD(stored.size()));
    }
}

void WalkBackwards(int descriptor, const EvtLayout& layout) {
    DWORD offset = layout.end;
    std::string stored;
    for (DWORD steps = 0; steps < kMostSteps && steps < EvtRecordCount(layout); ++steps) {
        if (EvtPreviousOffset(descriptor, layout, offset, &offset) != ERROR_SUCCESS ||
            EvtReadRecord(descriptor, layout, offset, &stored) != ERROR_SUCCESS) {
            return;
        }
    }
}

void SeekMiddle(int descriptor, const EvtLayout& layout) {
    if (EvtRecordCount(layout) == 0) {
        return;
    }
    DWORD number = layout.oldest + EvtRecordCount(layout) / 2;
    DWORD offset = 0;
    std::string stored;
    if (EvtFindRecord(descriptor, layout, number, 0, 0, &offset) == ERROR_SUCCESS &&
        EvtReadRecord(descriptor, layout, offset, &stored) == ERROR_SUCCESS) {
        FuzzCheck(RecordNumber(stored) == number, "a seek finds the record of that number");
    }
}

void AppendAndReadBack(int descriptor, EvtLayout layout) {
    const char* strings[] = {"first insert", "second"};
    const BYTE sid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    const BYTE bytes[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01};
    EvtNewRecord parts = {layout.next, 1700000000,   1700000001, 0x40000010,  4,
                          3,           "FuzzSource", "FUZZHOST", sid,         sizeof sid,
                          2,           strings,      bytes,      sizeof bytes};
    std::string record = EvtBuildRecord(parts);
    DWORD number = layout.next;
    if (EvtAppend(descriptor, &layout, record, 1700000002, false) != ERROR_SUCCESS) {
        return;
    }
    EvtLayout reloaded;
    FuzzCheck(EvtLoadLayout(descriptor, &reloaded) == ERROR_SUCCESS, "an appended log reloads");
    FuzzCheck(reloaded.next == number + 1, "the next number follows the appended record");
    DWORD offset = 0;
    std::string stored;
    FuzzCheck(EvtPreviousOffset(descriptor, reloaded, reloaded.end, &offset) == ERROR_SUCCESS &&
                  EvtReadRecord(descriptor, reloaded, offset, &stored) == ERROR_SUCCESS,
              "the appended record reads back");
    FuzzCheck(stored == record, "the appended record reads back as written");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int descriptor = LogDescriptor();
    if (!Restore(descriptor, data, size)) {
        abort();
    }
    EvtLayout layout;
    if (EvtLoadLayout(descriptor, &layout) != ERROR_SUCCESS) {
        return 0;
    }
    FuzzCheck(layout.ringEnd <= size || size == 0, "the ring lies inside the file");
    WalkForwards(descriptor, layout);
    WalkBackwards(descriptor, layout);
    SeekMiddle(descriptor, layout);
    AppendAndReadBack(descriptor, layout);
    return 0;
}
