#!/usr/bin/env python3
"""The wineboot-made prefix and the same machine as a Windows volume give the same inventory.

The volume is the prefix's drive_c as C: (its entries linked in), with the prefix's registry
exported by Wine's own `reg export` and merged into hive files by hivex's hivexregedit: SYSTEM and
SOFTWARE in windows\\system32\\config, DEFAULT, and the user's NTUSER.DAT in the profile folder
that ProfileList names. The host plays every scenario over both, and the outputs must agree but
for the differences listed in DIFFERENCES, each with its reason.

usage: volume_differential.py HOST LIBRARY MAKE_HIVE SCRATCH
Exits 77 (skipped) without a wineboot-made prefix in PALLWICK_WINEBOOT_PREFIX, Wine or hivex."""
import os
import re
import shutil
import subprocess
import sys

# What the prefix's live Wine state or the hive files explain, once each.
DIFFERENCES = [
    (r'^checkRootDirectory\("(Z:|z:|\\\\)',
     "a volume has no drive but C:; the prefix maps Z: to the host's /"),
    (r"^collectVersionInformationForFile\(<fixtures>|^  \[",
     "the version fixtures are on the host, which a volume does not show"),
    (r"^getLastModifiedTime\(",
     "hivexregedit stamps every key it writes with its own time"),
    (r'^getChildKeyNames\("(HKEY_LOCAL_MACHINE|HKLM)\\?\\?"\)',
     "Windows mounts its hives as SOFTWARE and SYSTEM; Wine names them Software and System"),
]
# And what is taken out of a line that otherwise agrees.
REMOVED = [
    (r', "Temporary System Parameters"',
     "a volatile key of the running Wine, which reg export writes out with the rest"),
]
# A machine that is not running has no counters: the whole section differs by design.
COUNTERS = "== performance-counters"


def wine_tools():
    script = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "wine.sh")
    found = subprocess.run(["bash", "-c", 'source "$0"; echo "$PALLWICK_WINE"', script],
                           capture_output=True, text=True).stdout.strip()
    return found if found and shutil.which("hivexregedit") else None


def export(wine, prefix, key, target):
    """A registry key as Wine's reg writes it (UTF-16), in the UTF-8 hivexregedit reads."""
    raw = target + ".utf16"
    subprocess.run([wine, "reg", "export", key, raw, "/y"], check=True,
                   env=dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all"),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(raw, "rb") as source:
        text = source.read().decode("utf-16")
    with open(target, "w", encoding="utf-8") as out:
        out.write(text.lstrip("\ufeff"))


def hive(make_hive, scratch, name, reg_file, prefix_in_file):
    path = os.path.join(scratch, "hives", name)
    empty = os.path.join(scratch, "empty.json")
    with open(empty, "w") as description:
        description.write("{}")
    subprocess.run([sys.executable, make_hive, empty, path], check=True)
    subprocess.run(["hivexregedit", "--merge", "--prefix", prefix_in_file, path, reg_file],
                   check=True)
    return path


def mirror(folder, target, skip=()):
    """TARGET holds a link to each entry of FOLDER but those skipped, which the caller makes."""
    os.makedirs(target, exist_ok=True)
    for name in os.listdir(folder):
        if name not in skip:
            os.symlink(os.path.join(folder, name), os.path.join(target, name))


def kept(lines):
    out, in_counters = [], False
    for line in lines:
        if line.startswith("== "):
            in_counters = line == COUNTERS
        if not in_counters and not any(re.search(p, line) for p, _ in DIFFERENCES):
            for pattern, _ in REMOVED:
                line = re.sub(pattern, "", line)
            out.append(line)
    return out


def main():
    host, library, make_hive, scratch = sys.argv[1:5]
    prefix = os.environ.get("PALLWICK_WINEBOOT_PREFIX", "")
    wine = wine_tools()
    if not prefix or not os.path.exists(os.path.join(prefix, "system.reg")) or not wine:
        print("skipped: no wineboot-made prefix, Wine or hivexregedit")
        return 77
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(os.path.join(scratch, "hives"))
    exports = {}
    for name, key in [("SYSTEM", r"HKLM\System"), ("SOFTWARE", r"HKLM\Software"),
                      ("DEFAULT", r"HKU\.Default"), ("NTUSER", "HKCU")]:
        exports[name] = os.path.join(scratch, name + ".reg")
        export(wine, prefix, key, exports[name])
    hives = {
        "SYSTEM": hive(make_hive, scratch, "SYSTEM", exports["SYSTEM"],
                       "HKEY_LOCAL_MACHINE\\System"),
        "SOFTWARE": hive(make_hive, scratch, "SOFTWARE", exports["SOFTWARE"],
                         "HKEY_LOCAL_MACHINE\\Software"),
        "DEFAULT": hive(make_hive, scratch, "DEFAULT", exports["DEFAULT"], "HKEY_USERS\\.Default"),
        "NTUSER": hive(make_hive, scratch, "NTUSER", exports["NTUSER"], "HKEY_CURRENT_USER"),
    }
    drive_c = os.path.realpath(os.path.join(prefix, "drive_c"))
    user = next(name for name in os.listdir(os.path.join(drive_c, "users"))
                if os.path.isdir(os.path.join(drive_c, "users", name, "AppData")))
    volume = os.path.join(scratch, "volume")
    mirror(drive_c, volume, ("windows", "users"))
    mirror(os.path.join(drive_c, "windows"), os.path.join(volume, "windows"), ("system32",))
    mirror(os.path.join(drive_c, "windows", "system32"),
           os.path.join(volume, "windows", "system32"), ("config",))
    mirror(os.path.join(drive_c, "users"), os.path.join(volume, "users"), (user,))
    mirror(os.path.join(drive_c, "users", user), os.path.join(volume, "users", user))
    config = os.path.join(volume, "windows", "system32", "config")
    os.makedirs(config)
    for name in ("SYSTEM", "SOFTWARE", "DEFAULT"):
        shutil.copy(hives[name], os.path.join(config, name))
    shutil.copy(hives["NTUSER"], os.path.join(volume, "users", user, "NTUSER.DAT"))

    runs = {}
    for kind, env in [("prefix", {"WINEPREFIX": prefix}),
                      ("volume", {"PALLWICK_WINDOWS_ROOT": volume,
                                  "PALLWICK_WINDOWS_USER": user})]:
        folder = os.path.join(scratch, "run-" + kind)
        os.makedirs(folder)
        runs[kind] = subprocess.Popen([host, library], cwd=folder, stdout=subprocess.PIPE,
                                      env=dict(os.environ, **env))
    output = {kind: run.communicate()[0].decode("latin-1").splitlines()
              for kind, run in runs.items()}
    prefix_lines, volume_lines = kept(output["prefix"]), kept(output["volume"])
    print("%d of %d lines compared; set aside:" % (len(prefix_lines), len(output["prefix"])))
    for pattern, reason in DIFFERENCES + REMOVED + [(COUNTERS, "an image is not running")]:
        print("  %s: %s" % (pattern, reason))
    if prefix_lines != volume_lines:
        import difflib
        for line in list(difflib.unified_diff(prefix_lines, volume_lines, "prefix", "volume",
                                              lineterm=""))[:60]:
            print(line)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
