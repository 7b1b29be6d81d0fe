"""Holds the layer's reading of an .evtx log that Windows wrote against pyevtx (libevtx).

    eventlog_libevtx.py <eventlog_tool> <windows-data folder> <scratch folder>

The file goes into a fresh prefix's winevt\\Logs folder and is read through OpenEventLogA and
ReadEventLogA from the File value Windows registers (%SystemRoot%\\system32\\winevt\\Logs\\...).
Each record must be the one the classic API makes of the .evtx record, worked out here from what
pyevtx reads and from the record's XML, field by field. Skips (77) when the data is absent.
"""
import calendar
import os
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

import pyevtx

EVENT_NS = "{http://schemas.microsoft.com/win/2004/08/events/event}"
AUDIT_SUCCESS = 0x0020000000000000
AUDIT_FAILURE = 0x0010000000000000
FILETIME_TO_1970 = 11644473600


def ansi_hex(text):
    return (text or "").encode("cp1252", "replace").hex()


def sid_hex(text):
    if not text:
        return ""
    parts = text.split("-")
    authority = int(parts[2])
    subs = [int(p) for p in parts[3:]]
    binary = bytes([int(parts[1]), len(subs)]) + authority.to_bytes(6, "big")
    for sub in subs:
        binary += sub.to_bytes(4, "little")
    return binary.hex()


def event_type(level, keywords):
    if keywords & AUDIT_FAILURE:
        return 16
    if keywords & AUDIT_SUCCESS:
        return 8
    return {1: 1, 2: 1, 3: 2}.get(level, 4)


def seconds_of(system_time):
    # "2015-08-08T02:06:17.078125000Z": whole seconds of UTC.
    stamp = system_time[:19]
    return calendar.timegm(tuple(int(x) for x in (stamp[0:4], stamp[5:7], stamp[8:10],
                                                  stamp[11:13], stamp[14:16], stamp[17:19])))


def data_hex(record):
    try:
        return (record.data or b"").hex()
    except OSError:
        return ""


def expected_records(path):
    log = pyevtx.file()
    log.open(path)
    try:
        records = []
        for index in range(log.number_of_records):
            record = log.get_record(index)
            system = ElementTree.fromstring(record.xml_string).find(EVENT_NS + "System")
            provider = system.find(EVENT_NS + "Provider")
            source = provider.get("EventSourceName") or record.source_name
            keywords = int(system.findtext(EVENT_NS + "Keywords") or "0", 16)
            created = system.find(EVENT_NS + "TimeCreated").get("SystemTime")
            written = record.get_written_time_as_integer() // 10000000 - FILETIME_TO_1970
            qualifiers = record.event_identifier_qualifiers or 0
            strings = [ansi_hex(record.get_string(i)) for i in range(record.number_of_strings)]
            records.append([
                record.identifier,
                seconds_of(created),
                written,
                (qualifiers << 16) | (record.event_identifier & 0xFFFF),
                event_type(record.event_level, keywords),
                int(system.findtext(EVENT_NS + "Task") or "0"),
                ansi_hex(source),
                ansi_hex(record.computer_name),
                sid_hex(record.user_security_identifier),
                "%d:%s" % (len(strings), ",".join(strings)),
                data_hex(record),
            ])
        return sorted(records, key=lambda fields: fields[0])
    finally:
        log.close()


def layer_records(tool, prefix, name):
    env = dict(os.environ, WINEPREFIX=prefix)
    out = subprocess.run([tool, "fields", "%SystemRoot%\\system32\\winevt\\Logs\\" + name],
                         check=True, stdout=subprocess.PIPE, env=env).stdout.decode("ascii")
    lines = out.splitlines()
    records = []
    for line in lines[:-1]:
        fields = line.split("|")
        records.append([int(f) for f in fields[:6]] + fields[6:])
    count, oldest = (int(f) for f in lines[-1].split("|"))
    return records, count, oldest


NAMES = ["RecordNumber", "TimeGenerated", "TimeWritten", "EventID", "EventType", "EventCategory",
         "SourceName", "Computername", "UserSid", "Strings", "Data"]


def main(tool, data, scratch):
    source = os.path.join(data, "System2.evtx")
    if not os.path.exists(source):
        print("skipped: %s is absent" % source)
        return 77
    prefix = os.path.join(scratch, "prefix")
    shutil.rmtree(prefix, ignore_errors=True)
    logs = os.path.join(prefix, "drive_c", "windows", "system32", "winevt", "Logs")
    os.makedirs(logs)
    shutil.copy(source, logs)
    theirs = expected_records(source)
    ours, count, oldest = layer_records(tool, prefix, "System2.evtx")
    if len(ours) != len(theirs):
        raise AssertionError("the layer read %d records, pyevtx %d" % (len(ours), len(theirs)))
    if count != len(theirs) or oldest != theirs[0][0]:
        raise AssertionError("GetNumberOfEventLogRecords %d, GetOldestEventLogRecord %d; "
                             "expected %d and %d" % (count, oldest, len(theirs), theirs[0][0]))
    compared = 0
    strings = 0
    for mine, other in zip(ours, theirs):
        for name, a, b in zip(NAMES, mine, other):
            if a != b:
                raise AssertionError("record %s: %s is %r through the layer, %r by pyevtx" %
                                     (other[0], name, a, b))
            compared += 1
        strings += int(other[9].split(":")[0])
    print("System2.evtx: %d records, %d fields (%d strings among them) agree with pyevtx; "
          "count %d, oldest %d" % (len(ours), compared, strings, count, oldest))
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
