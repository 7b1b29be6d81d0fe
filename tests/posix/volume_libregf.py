#!/usr/bin/env python3
"""Holds a Windows volume's registry, as the layer reads it from the hive files that a real
Windows 7 machine wrote, to what libregf reads from the same files: every key of the SYSTEM hive
with its last-write time and every value with its type and data, in the order Windows enumerates
them, CurrentControlSet included as the link Windows makes; and every service the manager lists
to its key in the hive.

usage: volume_libregf.py REGISTRY_WALK SERVICE_LIST WINDOWS_DATA SCRATCH
Exits 77 (skipped) when WINDOWS_DATA is not there."""
import os
import shutil
import struct
import subprocess
import sys

import pyregf

REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 1, 2, 4, 7, 11


def ansi(data16):
    """UTF-16 as the A functions hand it out (Windows-1252, '?' for what it cannot hold)."""
    text = data16.decode("utf-16-le", errors="surrogatepass")
    return text.encode("cp1252", errors="replace")


def escaped(data):
    out = []
    for c in data:
        if c in (0x5C, 0x22):
            out.append("\\" + chr(c))
        elif 0x20 <= c < 0x7F:
            out.append(chr(c))
        else:
            out.append("\\x%02x" % c)
    return "".join(out)


def data_text(kind, data):
    if kind == REG_DWORD and len(data) == 4:
        return "dword:%u" % int.from_bytes(data, "little")
    if kind == REG_QWORD and len(data) == 8:
        return "qword:%u" % int.from_bytes(data, "little")
    if kind in (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ):
        # The A functions convert whole units; an odd last byte stays as it is.
        converted = ansi(data[: len(data) // 2 * 2]) + data[len(data) // 2 * 2 :]
        return 'str(%u):"%s"' % (kind, escaped(converted))
    return "hex(%x):%s" % (kind, ",".join("%02x" % b for b in data))


def value_bytes(value, hive_bytes):
    """A value's data. Data shorter than four bytes is kept in the value's cell, in the first bytes
    of its data offset field, which libregf does not hand out as stored: it is read there."""
    data = value.data or b""
    if 0 < len(data) < 4:
        stored, field = struct.unpack_from("<I4s", hive_bytes, value.offset + 4)
        if stored & 0x80000000 and stored & 0x7FFFFFFF == len(data):
            return field[: len(data)]
    return data


def walk(key, path, lines, hive_bytes):
    lines.append("[%s] time=%016x" % (path, key.get_last_written_time_as_integer()))
    values = sorted(key.values, key=lambda v: (v.name or "").upper())
    for value in values:
        name = (value.name or "").encode("cp1252", errors="replace").decode("latin-1")
        lines.append('  "%s"=%s' % (name, data_text(value.type, value_bytes(value, hive_bytes))))
    children = [(sub.name, sub) for sub in key.sub_keys]
    if path == "SYSTEM":
        current = key.get_sub_key_by_path("Select").get_value_by_name("Current")
        target = key.get_sub_key_by_name("ControlSet%03u" % current.get_data_as_integer())
        children.append(("CurrentControlSet", target))
    for name, sub in sorted(children, key=lambda child: child[0].upper()):
        walk(sub, path + "\\" + name, lines, hive_bytes)


def service_lines(hive, layer_listing):
    """Each service the manager listed, against its key: type, start, image and the texts as
    stored (a volume's manager runs nothing, so every one is stopped)."""
    services = hive.get_key_by_path("ControlSet001\\Services")
    problems = []
    for line in layer_listing:
        fields = line.split("\t")
        name = fields[0]
        listed = dict(field.split("=", 1) for field in fields[1:] if "=" in field)
        key = services.get_sub_key_by_name(name)
        if key is None:
            problems.append("listed but not in the hive: " + name)
            continue

        def text(value_name):
            # Text of another type (NDProxy's DisplayName is REG_MULTI_SZ) is no text to the
            # manager, as to Wine's.
            value = key.get_value_by_name(value_name)
            if value is None or value.type not in (REG_SZ, REG_EXPAND_SZ):
                return None
            raw = value.data or b""
            return ansi(raw[: len(raw) // 2 * 2]).decode("latin-1").split("\0")[0]

        def number(value_name):
            value = key.get_value_by_name(value_name)
            return value.get_data_as_integer() if value is not None else None

        expected = {"type": "0x%x" % number("Type"), "start": str(number("Start")),
                    "path": text("ImagePath") or "", "display": text("DisplayName") or ""}
        for field, value in expected.items():
            if listed.get(field) != value:
                problems.append("%s %s: layer %r, hive %r" % (name, field, listed.get(field), value))
    return problems


def main():
    walker, lister, data, scratch = sys.argv[1:5]
    system = os.path.join(data, "SYSTEM")
    if not os.path.exists(system):
        print("no Windows data at " + data)
        return 77
    shutil.rmtree(scratch, ignore_errors=True)
    config = os.path.join(scratch, "volume", "Windows", "System32", "config")
    os.makedirs(config)
    os.symlink(system, os.path.join(config, "SYSTEM"))
    env = dict(os.environ, PALLWICK_WINDOWS_ROOT=os.path.join(scratch, "volume"))
    layer = subprocess.run([walker, "-t", "HKLM", "SYSTEM"], env=env, check=True,
                           capture_output=True).stdout.decode("latin-1").splitlines()
    hive = pyregf.file()
    hive.open(system)
    expected = []
    with open(system, "rb") as raw:
        hive_bytes = raw.read()
    walk(hive.get_root_key(), "SYSTEM", expected, hive_bytes)
    failures = 0
    if layer != expected:
        for index, (got, want) in enumerate(zip(layer, expected)):
            if got != want:
                print("line %d:\n  layer:   %s\n  libregf: %s" % (index + 1, got, want))
                failures += 1
                if failures > 10:
                    break
        if len(layer) != len(expected):
            print("layer printed %d lines, libregf %d" % (len(layer), len(expected)))
            failures += 1
    keys = sum(1 for line in expected if line.startswith("["))
    print("registry: %d keys and %d values compared" % (keys, len(expected) - keys))

    listing = subprocess.run([lister], env=env, check=True,
                             capture_output=True).stdout.decode("latin-1").splitlines()
    problems = service_lines(hive, listing)
    for problem in problems[:20]:
        print(problem)
    print("services: %d listed, each against its key" % len(listing))
    return 1 if failures or problems or not listing else 0


if __name__ == "__main__":
    sys.exit(main())
