"""Holds the layer's event logs against libevt, a reader of the format written by others.

    eventlog_libevt.py <eventlog_tool> <make_evt.py> <scratch folder>

Both ways: the logs the layer writes (plain, wrapped with a split record, left dirty) read the
same in libevt, record for record and field for field, with nothing recovered; and the files
make_evt.py writes in Windows' ring layout read the same through the layer as in libevt and as
evtexport lists them.
"""
import os
import re
import subprocess
import sys

import pyevt


def sid_field(record):
    sid = record.user_security_identifier
    return sid if sid else ""


def data_field(record):
    # pyevt raises for a record without data instead of answering empty.
    try:
        return (record.data or b"").hex()
    except OSError:
        return ""


def libevt_records(path):
    log = pyevt.file()
    log.open(path)
    try:
        if log.number_of_recovered_records != 0:
            raise AssertionError("%s: libevt recovered %d records" %
                                 (path, log.number_of_recovered_records))
        lines = []
        for index in range(log.number_of_records):
            record = log.get_record(index)
            strings = [record.get_string(i) for i in range(record.number_of_strings)]
            lines.append("|".join([
                str(record.identifier), str(record.get_creation_time_as_integer()),
                str(record.get_written_time_as_integer()), str(record.event_identifier),
                str(record.event_type), str(record.event_category), record.source_name,
                record.computer_name, sid_field(record), "^".join(strings), data_field(record)]))
        return lines
    finally:
        log.close()


def layer_records(tool, path):
    out = subprocess.run([tool, "dump", path], check=True, stdout=subprocess.PIPE).stdout
    return out.decode("cp1252").splitlines()


def evtexport_numbers(path):
    out = subprocess.run(["evtexport", path], check=True, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL).stdout.decode("utf-8", "replace")
    return [int(n) for n in re.findall(r"^Event number\s*:\s*(\d+)", out, re.M)]


def compare(tool, path):
    ours = layer_records(tool, path)
    theirs = libevt_records(path)
    if not ours:
        raise AssertionError("%s: no records" % path)
    if ours != theirs:
        for mine, other in zip(ours, theirs):
            if mine != other:
                print("layer:  " + mine + "\nlibevt: " + other)
                break
        raise AssertionError("%s: the layer read %d records, libevt %d, and they differ" %
                             (path, len(ours), len(theirs)))
    listed = evtexport_numbers(path)
    numbers = [int(line.split("|")[0]) for line in ours]
    if listed != numbers:
        raise AssertionError("%s: evtexport lists %s, the layer read %s" % (path, listed, numbers))
    print("%s: %d records agree (%d..%d)" % (os.path.basename(path), len(ours), numbers[0],
                                             numbers[-1]))


def main(tool, generator, scratch):
    os.makedirs(scratch, exist_ok=True)
    written = os.path.join(scratch, "written")
    generated = os.path.join(scratch, "generated")
    for folder in (written, generated):
        os.makedirs(folder, exist_ok=True)
        for name in os.listdir(folder):
            os.unlink(os.path.join(folder, name))
    for kind in ("plain", "wrapped", "dirty"):
        path = os.path.join(written, kind + ".evt")
        subprocess.run([tool, "write", path, kind], check=True)
        compare(tool, path)
    subprocess.run([sys.executable, generator, generated], check=True)
    for kind in ("preallocated", "wrapped", "dirty"):
        compare(tool, os.path.join(generated, kind + ".evt"))


if __name__ == "__main__":
    main(*sys.argv[1:4])
