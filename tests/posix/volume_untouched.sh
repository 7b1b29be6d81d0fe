#!/usr/bin/env bash
# A whole inventory over a Windows volume leaves it as it was: the host plays every scenario
# (each export the catalogue gives a scenario, setting-up writes included) over a volume made of
# the tests' hives, and every file and folder below the volume's root has the same name, size,
# time, mode and contents after as before; and the diagnostic log is written all the same, in
# its place for the host program, outside the volume.
# usage: volume_untouched.sh HOST LIBRARY HIVES SCRATCH
set -euo pipefail
host=$1 library=$2 hives=$3 scratch=$4
rm -rf "$scratch"
volume=$scratch/volume
mkdir -p "$volume/Windows/System32/config" "$volume/Users/alice" "$scratch/run"
for hive in SYSTEM SOFTWARE SAM SECURITY; do
    cp "$hives/$hive" "$volume/Windows/System32/config/$hive"
done
cp "$hives/NTUSER" "$volume/Users/alice/NTUSER.DAT"
snapshot() {
    (cd "$volume" && find . -printf '%p %y %s %T@ %m\n' | sort &&
        find . -type f -exec sha256sum {} + | sort)
}
# The log of a host program is logs/<library>.LOG in the parent of the program's folder.
log=$(dirname "$(dirname "$(realpath "$host")")")/logs/$(basename "$library" | cut -d. -f1).LOG
logged=$(stat -c %s "$log" 2>/dev/null || echo 0)
before=$(snapshot)
(cd "$scratch/run" && PALLWICK_WINDOWS_ROOT=$volume "$host" "$library" >"$scratch/host.txt")
after=$(snapshot)
if [ "$(stat -c %s "$log" 2>/dev/null || echo 0)" -le "$logged" ]; then
    echo "no record was written to $log"
    exit 1
fi
called=$(grep -oE '^[a-zA-Z]+\(' "$scratch/host.txt" | sort -u | wc -l)
echo "$(grep -c . <<<"$before") lines of the volume's listing and hashes compared after" \
    "$(grep -c '^[a-zA-Z]*(' "$scratch/host.txt") export calls ($called methods)"
if [ "$before" != "$after" ]; then
    diff <(echo "$before") <(echo "$after") || true
    echo "the inventory changed the volume"
    exit 1
fi
