#include "Platform/Posix/advapi32/EventLogEvtx.h"

#include "Platform/Posix/advapi32/EventLogHandles.h"
#include "Platform/Posix/advapi32/SidText.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/ScopedResource.h"

#include <libevtx.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Seconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01.
constexpr uint64_t kFiletimeTo1970 = 11644473600ull;
constexpr uint64_t kFiletimeUnitsPerSecond = 10000000ull;
// No text of one record comes near this; a size past it is a damaged record's.
constexpr size_t kLongestText = static_cast<size_t>(1) << 24;
// The classic file's offsets are 32-bit and the classic reader takes files of up to 2 GiB.
constexpr unsigned long long kMostRecordBytes = 0x7FFFFFFCull - kEvtHeaderSize - kEvtEofSize;

struct EvtxErrorReleaser {
    void operator()(libevtx_error_t* error) const { libevtx_error_free(&error); }
};
using ScopedEvtxError = ScopedResource<libevtx_error_t*, EvtxErrorReleaser>;

struct EvtxFileReleaser {
    void operator()(libevtx_file_t* file) const { libevtx_file_free(&file, nullptr); }
};
using ScopedEvtxFile = ScopedResource<libevtx_file_t*, EvtxFileReleaser>;

// An open file is closed before it is freed.
struct EvtxFileCloser {
    void operator()(libevtx_file_t* file) const { libevtx_file_close(file, nullptr); }
};
using ScopedEvtxOpen = ScopedResource<libevtx_file_t*, EvtxFileCloser>;

struct EvtxRecordReleaser {
    void operator()(libevtx_record_t* record) const { libevtx_record_free(&record, nullptr); }
};
using ScopedEvtxRecord = ScopedResource<libevtx_record_t*, EvtxRecordReleaser>;

// libevtx's UTF-16 (terminated, in units) as text up to its first NUL.
std::u16string TakeUnits(const std::vector<uint16_t>& units) {
    std::u16string text;
    for (uint16_t unit : units) {
        if (unit == 0) {
            break;
        }
        text.push_back(static_cast<char16_t>(unit));
    }
    return text;
}

using TextSize = int (*)(libevtx_record_t*, size_t*, libevtx_error_t**);
using TextValue = int (*)(libevtx_record_t*, uint16_t*, size_t, libevtx_error_t**);

// A text of the record: empty where the record has none or libevtx cannot give it.
std::u16string ReadText(libevtx_record_t* record, TextSize sizeOf, TextValue valueOf) {
    ScopedEvtxError error;
    size_t units = 0;
    if (sizeOf(record, &units, error.receive()) != 1 || units == 0 || units > kLongestText) {
        return {};
    }
    std::vector<uint16_t> buffer(units);
    if (valueOf(record, buffer.data(), units, error.receive()) != 1) {
        return {};
    }
    return TakeUnits(buffer);
}

std::u16string ReadString(libevtx_record_t* record, int index) {
    ScopedEvtxError error;
    size_t units = 0;
    if (libevtx_record_get_utf16_string_size(record, index, &units, error.receive()) != 1 ||
        units == 0 || units > kLongestText) {
        return {};
    }
    std::vector<uint16_t> buffer(units);
    if (libevtx_record_get_utf16_string(record, index, buffer.data(), units, error.receive()) !=
        1) {
        return {};
    }
    return TakeUnits(buffer);
}

std::string ReadData(libevtx_record_t* record) {
    ScopedEvtxError error;
    size_t size = 0;
    if (libevtx_record_get_data_size(record, &size, error.receive()) != 1 || size == 0 ||
        size > kLongestText) {
        return {};
    }
    std::string data(size, '\0');
    if (libevtx_record_get_data(record, reinterpret_cast<uint8_t*>(&data[0]), size,
                                error.receive()) != 1) {
        return {};
    }
    return data;
}

// What the record holds; false for a record without the identifier and time every record has,
// which is a damaged one.
bool ReadEvent(libevtx_record_t* record, EvtxEvent* event) {
    ScopedEvtxError error;
    if (libevtx_record_get_identifier(record, &event->identifier, error.receive()) != 1 ||
        libevtx_record_get_written_time(record, &event->written, error.receive()) != 1 ||
        libevtx_record_get_event_identifier(record, &event->eventId, error.receive()) != 1) {
        return false;
    }
    event->hasQualifiers = libevtx_record_get_event_identifier_qualifiers(
                               record, &event->qualifiers, error.receive()) == 1;
    if (libevtx_record_get_event_level(record, &event->level, error.receive()) != 1) {
        event->level = 0;
    }
    event->sourceName = ReadText(record, libevtx_record_get_utf16_source_name_size,
                                 libevtx_record_get_utf16_source_name);
    event->computer = ReadText(record, libevtx_record_get_utf16_computer_name_size,
                               libevtx_record_get_utf16_computer_name);
    event->userSid = ReadText(record, libevtx_record_get_utf16_user_security_identifier_size,
                              libevtx_record_get_utf16_user_security_identifier);
    int strings = 0;
    if (libevtx_record_get_number_of_strings(record, &strings, error.receive()) == 1) {
        for (int i = 0; i < strings && i < 0xFFFF; ++i) {
            event->strings.push_back(ReadString(record, i));
        }
    }
    event->data = ReadData(record);
    event->system = EvtxReadSystem(ReadText(record, libevtx_record_get_utf16_xml_string_size,
                                            libevtx_record_get_utf16_xml_string));
    return true;
}

bool IsDigit(char16_t unit) {
    return unit >= u'0' && unit <= u'9';
}

int HexDigit(char16_t unit) {
    if (IsDigit(unit)) {
        return unit - u'0';
    }
    if (unit >= u'a' && unit <= u'f') {
        return unit - u'a' + 10;
    }
    if (unit >= u'A' && unit <= u'F') {
        return unit - u'A' + 10;
    }
    return -1;
}

// A decimal or 0x-prefixed hexadecimal number filling text, up to limit.
bool ParseNumber(const std::u16string& text, unsigned long long limit, unsigned long long* value) {
    bool hex = text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
    unsigned base = hex ? 16 : 10;
    size_t at = hex ? 2 : 0;
    if (at == text.size()) {
        return false;
    }
    unsigned long long result = 0;
    for (; at < text.size(); ++at) {
        int digit = hex ? HexDigit(text[at]) : IsDigit(text[at]) ? text[at] - u'0' : -1;
        if (digit < 0 || result > (limit - static_cast<unsigned>(digit)) / base) {
            return false;
        }
        result = result * base + static_cast<unsigned>(digit);
    }
    *value = result;
    return true;
}

// The five entities libevtx writes into the text it renders, back to their characters.
std::u16string Unescape(const std::u16string& text) {
    static const struct {
        const char16_t* entity;
        char16_t character;
    } kEntities[] = {
        {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};
    std::u16string out;
    for (size_t at = 0; at < text.size();) {
        bool replaced = false;
        for (const auto& each : kEntities) {
            std::u16string entity(each.entity);
            if (text.compare(at, entity.size(), entity) == 0) {
                out.push_back(each.character);
                at += entity.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out.push_back(text[at++]);
        }
    }
    return out;
}

// The text of <name>...</name> within section, or nothing.
bool ElementText(const std::u16string& section, const std::u16string& name, std::u16string* text) {
    std::u16string open = u"<" + name + u">";
    size_t begin = section.find(open);
    if (begin == std::u16string::npos) {
        return false;
    }
    begin += open.size();
    size_t end = section.find(u"</" + name + u">", begin);
    if (end == std::u16string::npos) {
        return false;
    }
    *text = Unescape(section.substr(begin, end - begin));
    return true;
}

// The value of attribute of the element called name within section, or nothing.
bool AttributeValue(const std::u16string& section, const std::u16string& name,
                    const std::u16string& attribute, std::u16string* value) {
    size_t begin = section.find(u"<" + name + u" ");
    if (begin == std::u16string::npos) {
        return false;
    }
    size_t tagEnd = section.find(u'>', begin);
    std::u16string tag =
        section.substr(begin, tagEnd == std::u16string::npos ? tagEnd : tagEnd - begin);
    std::u16string lead = u" " + attribute + u"=\"";
    size_t at = tag.find(lead);
    if (at == std::u16string::npos) {
        return false;
    }
    at += lead.size();
    size_t end = tag.find(u'"', at);
    if (end == std::u16string::npos) {
        return false;
    }
    *value = Unescape(tag.substr(at, end - at));
    return true;
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    long long era = (year >= 0 ? year : year - 399) / 400;
    unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

// The text a record's SID has, as the binary SID the classic record holds; nothing where the
// text is none.
std::string BinarySid(const std::u16string& text) {
    char ansi[256];
    if (text.empty() || text.size() >= sizeof ansi) {
        return {};
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] > 0x7F) {
            return {};
        }
        ansi[i] = static_cast<char>(text[i]);
    }
    ansi[text.size()] = '\0';
    BYTE binary[kLargestSidSize];
    DWORD length = 0;
    if (!ParseSid(ansi, binary, &length)) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(binary), length);
}

void AppendBytes(std::string* out, const void* data, size_t count) {
    out->append(static_cast<const char*>(data), count);
}

DWORD WriteImage(int descriptor, const std::string& image) {
    size_t done = 0;
    while (done < image.size()) {
        ssize_t put = PosixPwrite(descriptor, image.data() + done, image.size() - done,
                                  static_cast<off_t>(done));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Win32ErrorFromErrno(errno);
        }
        done += static_cast<size_t>(put);
    }
    return ERROR_SUCCESS;
}

bool IsImageOf(const EvtxImage& image, const struct stat& info) {
    return image.descriptor >= 0 && image.device == info.st_dev && image.inode == info.st_ino &&
           image.size == info.st_size && image.modified.tv_sec == info.st_mtim.tv_sec &&
           image.modified.tv_nsec == info.st_mtim.tv_nsec;
}

} // namespace

bool EvtxIsEvtxPath(const char* path) {
    size_t length = strlen(path);
    return length >= 5 && strcasecmp(path + length - 5, ".evtx") == 0;
}

EvtxSystem EvtxReadSystem(const std::u16string& xml) {
    EvtxSystem system{};
    size_t begin = xml.find(u"<System>");
    size_t end = begin == std::u16string::npos ? begin : xml.find(u"</System>", begin);
    if (end == std::u16string::npos) {
        return system;
    }
    std::u16string section = xml.substr(begin, end - begin);
    std::u16string text;
    unsigned long long number = 0;
    AttributeValue(section, u"Provider", u"EventSourceName", &system.eventSourceName);
    if (ElementText(section, u"Task", &text) && ParseNumber(text, 0xFFFF, &number)) {
        system.task = static_cast<WORD>(number);
    }
    if (ElementText(section, u"Keywords", &text) &&
        ParseNumber(text, 0xFFFFFFFFFFFFFFFFull, &number)) {
        system.keywords = number;
    }
    if (AttributeValue(section, u"TimeCreated", u"SystemTime", &text)) {
        system.hasCreated = EvtxParseSystemTime(text, &system.created);
    }
    return system;
}

bool EvtxParseSystemTime(const std::u16string& text, DWORD* seconds) {
    static const struct {
        size_t at;
        char16_t separator;
    } kSeparators[] = {{4, u'-'}, {7, u'-'}, {10, u'T'}, {13, u':'}, {16, u':'}};
    if (text.size() < 19) {
        return false;
    }
    for (const auto& each : kSeparators) {
        if (text[each.at] != each.separator) {
            return false;
        }
    }
    auto field = [&text](size_t at, size_t count, unsigned* value) {
        *value = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (!IsDigit(text[i])) {
                return false;
            }
            *value = *value * 10 + static_cast<unsigned>(text[i] - u'0');
        }
        return true;
    };
    unsigned year, month, day, hour, minute, second;
    if (!field(0, 4, &year) || !field(5, 2, &month) || !field(8, 2, &day) || !field(11, 2, &hour) ||
        !field(14, 2, &minute) || !field(17, 2, &second) || month < 1 || month > 12 || day < 1 ||
        day > 31 || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    long long total = DaysFromCivil(year, month, day) * 86400 + hour * 3600LL + minute * 60LL +
                      static_cast<long long>(second);
    if (total < 0 || total > 0xFFFFFFFFLL) {
        return false;
    }
    *seconds = static_cast<DWORD>(total);
    return true;
}

DWORD EvtxFiletimeToSeconds(uint64_t filetime) {
    uint64_t seconds = filetime / kFiletimeUnitsPerSecond;
    if (seconds < kFiletimeTo1970) {
        return 0;
    }
    seconds -= kFiletimeTo1970;
    return seconds > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(seconds);
}

// EventType, after the levels and keywords of winmeta.h. A record with an audit keyword is an
// audit of that outcome, whatever its level (the Security log's events have level 0,
// LogAlways). Otherwise Critical (1) and Error (2) are errors, Warning (3) a warning, and
// LogAlways, Informational (4), Verbose (5) and a provider's own levels (16 on) information, the
// classic types having no other kind. The audit failure bit is also the CorrelationHint keyword
// of transfer events, which go to no Security log; the classic type cannot tell them apart, and
// such a record reads as an audit failure. Failure is looked at first: a record that claims both
// outcomes is not shown as a success.
WORD EvtxEventType(uint8_t level, unsigned long long keywords) {
    if (keywords & kEvtxKeywordAuditFailure) {
        return EVENTLOG_AUDIT_FAILURE;
    }
    if (keywords & kEvtxKeywordAuditSuccess) {
        return EVENTLOG_AUDIT_SUCCESS;
    }
    switch (level) {
    case 1:
    case 2:
        return EVENTLOG_ERROR_TYPE;
    case 3:
        return EVENTLOG_WARNING_TYPE;
    default:
        return EVENTLOG_INFORMATION_TYPE;
    }
}

// The classic record of an .evtx record, field by field, as the classic API gives the records of
// a log kept in the new format (the System element's properties, EVT_SYSTEM_PROPERTY_ID, and the
// event schema's SystemPropertiesType):
// - RecordNumber: the EventRecordID, numbered as EvtxLayOut says.
// - TimeGenerated: TimeCreated's SystemTime, when the event was raised; TimeWritten: the time the
//   record was written to the file (the record header's). Both in seconds since 1970 (UTC), as
//   EVENTLOGRECORD has them, the fraction of a second dropped; a record without TimeCreated was
//   generated when it was written.
// - EventID: the EventID element (16 bits) with its Qualifiers attribute as the upper 16 bits:
//   a classic event's full identifier (severity, customer and facility bits over the code) is
//   kept as the two halves, and a manifest event has no qualifiers, so its EventID is the code.
// - EventType: from the Level and Keywords elements (EvtxEventType).
// - EventCategory: the Task element, where a classic source's category is kept.
// - The strings: the EventData's values in order (an empty Data element gives an empty string).
// - UserSid: the Security element's UserID, in binary; none where the record has none.
// - The data: the EventData's Binary element, the classic raw data.
// - SourceName: the Provider's EventSourceName, the classic source that reported the event,
//   where the record has one; else the Provider's Name.
// - Computername: the Computer element.
std::string EvtxClassicRecord(const EvtxEvent& event, DWORD recordNumber) {
    EvtWideRecord parts;
    parts.recordNumber = recordNumber;
    parts.timeWritten = EvtxFiletimeToSeconds(event.written);
    parts.timeGenerated = event.system.hasCreated ? event.system.created : parts.timeWritten;
    parts.eventId =
        (event.hasQualifiers ? (event.qualifiers & 0xFFFFu) << 16 : 0) | (event.eventId & 0xFFFFu);
    parts.eventType = EvtxEventType(event.level, event.system.keywords);
    parts.eventCategory = event.system.task;
    parts.source =
        event.system.eventSourceName.empty() ? event.sourceName : event.system.eventSourceName;
    parts.computer = event.computer;
    parts.sid = BinarySid(event.userSid);
    parts.strings = event.strings;
    parts.data = event.data;
    return EvtBuildWideRecord(parts);
}

// The classic reading code takes records numbered one after another from the oldest: GetNumber
// and GetOldest are arithmetic on the header's numbers, and each record read must bear the
// number that follows. An .evtx file holds its records in the order of its chunks, which after
// the log has wrapped is not the order of their identifiers, so the records are first put in
// that order. A sound log's identifiers then run on without a gap, and each record keeps its
// identifier as its number, as Windows gives it. Identifiers with gaps (a record libevtx could
// not read, left out) are numbered on from the oldest's identifier, without the gaps: the numbers
// stay what the classic API promises (consecutive, stable for as long as the file is unchanged, so
// a record found once is found again), at the cost of records after a gap bearing a number below
// their identifier. A record whose identifier is already taken is a leftover of a damaged chunk:
// the first in the file is kept. Numbering starts at 1 instead where the identifiers no longer fit
// 32 bits. A log beyond what a classic file can hold keeps its newest records, as a full classic
// log does.
void EvtxLayOut(std::vector<EvtxClassicEntry>* records, std::string* image) {
    std::stable_sort(records->begin(), records->end(),
                     [](const EvtxClassicEntry& a, const EvtxClassicEntry& b) {
                         return a.identifier < b.identifier;
                     });
    records->erase(std::unique(records->begin(), records->end(),
                               [](const EvtxClassicEntry& a, const EvtxClassicEntry& b) {
                                   return a.identifier == b.identifier;
                               }),
                   records->end());
    size_t first = records->size();
    unsigned long long used = 0;
    while (first > 0 && used + (*records)[first - 1].record.size() <= kMostRecordBytes) {
        used += (*records)[--first].record.size();
    }
    DWORD count = static_cast<DWORD>(records->size() - first);
    unsigned long long oldest = count == 0 ? 0 : (*records)[first].identifier;
    if (count != 0 && (oldest == 0 || oldest + count > 0xFFFFFFFFull)) {
        oldest = 1;
    }
    DWORD next = count == 0 ? 1 : static_cast<DWORD>(oldest + count);
    DWORD end = kEvtHeaderSize + static_cast<DWORD>(used);
    EvtHeader header = EvtNewHeader(end + kEvtEofSize, 0);
    header.endOffset = end;
    header.currentRecordNumber = next;
    header.oldestRecordNumber = static_cast<DWORD>(oldest);
    image->clear();
    image->reserve(header.maxSize);
    AppendBytes(image, &header, sizeof header);
    for (size_t i = first; i < records->size(); ++i) {
        std::string& record = (*records)[i].record;
        DWORD number = static_cast<DWORD>(oldest + (i - first));
        memcpy(&record[offsetof(EVENTLOGRECORD, RecordNumber)], &number, sizeof number);
        image->append(record);
    }
    EvtEofRecord eof = EvtEofFor(kEvtHeaderSize, end, next, static_cast<DWORD>(oldest));
    AppendBytes(image, &eof, sizeof eof);
}

DWORD EvtxBuildClassicLog(const char* evtxPath, std::string* image) {
    ScopedEvtxError error;
    ScopedEvtxFile file;
    if (libevtx_file_initialize(file.receive(), error.receive()) != 1) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (libevtx_file_open(file.get(), evtxPath, LIBEVTX_OPEN_READ, error.receive()) != 1) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    ScopedEvtxOpen opened(file.get());
    int count = 0;
    if (libevtx_file_get_number_of_records(file.get(), &count, error.receive()) != 1) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    // Records libevtx recovers from a chunk's unused space were deleted or overwritten: the
    // classic API never shows them.
    std::vector<EvtxClassicEntry> records;
    for (int i = 0; i < count; ++i) {
        ScopedEvtxRecord record;
        EvtxEvent event{};
        if (libevtx_file_get_record_by_index(file.get(), i, record.receive(), error.receive()) !=
                1 ||
            !ReadEvent(record.get(), &event)) {
            continue;
        }
        records.push_back(EvtxClassicEntry{event.identifier, EvtxClassicRecord(event, 0)});
    }
    EvtxLayOut(&records, image);
    return ERROR_SUCCESS;
}

DWORD EvtxOpenImage(EvtxImage* image, int evtxDescriptor, const char* path, int* descriptor) {
    *descriptor = -1;
    struct stat info;
    if (PosixFstat(evtxDescriptor, &info) != 0) {
        return Win32ErrorFromErrno(errno);
    }
    if (!IsImageOf(*image, info)) {
        // libevtx opens by name: through the descriptor's own name, so that the image is made of
        // the very file that was looked at, where /proc shows it.
        char byDescriptor[64];
        snprintf(byDescriptor, sizeof byDescriptor, "/proc/self/fd/%d", evtxDescriptor);
        struct stat shown;
        const char* source = PosixStat(byDescriptor, &shown) == 0 ? byDescriptor : path;
        std::string classic;
        DWORD error = EvtxBuildClassicLog(source, &classic);
        if (error != ERROR_SUCCESS) {
            return error;
        }
        ScopedDescriptor made(memfd_create("pallwick-evtx", MFD_CLOEXEC));
        if (made.get() < 0) {
            return Win32ErrorFromErrno(errno);
        }
        error = WriteImage(made.get(), classic);
        if (error != ERROR_SUCCESS) {
            return error;
        }
        EvtxReleaseImage(image);
        *image = EvtxImage{made.release(), info.st_dev, info.st_ino, info.st_size, info.st_mtim};
    }
    *descriptor = fcntl(image->descriptor, F_DUPFD_CLOEXEC, 0);
    return *descriptor < 0 ? Win32ErrorFromErrno(errno) : ERROR_SUCCESS;
}

void EvtxReleaseImage(EvtxImage* image) {
    if (image->descriptor >= 0) {
        close(image->descriptor);
    }
    image->descriptor = -1;
}
