#!/usr/bin/python3
# Checks the permissions an .msi sets, from its MsiLockPermissionsEx table as msiinfo exports it:
#   msiinfo export X.msi MsiLockPermissionsEx | check-msi-permissions.py OBJECT...
# Each OBJECT is LockObject:Table:KIND, KIND one of
#   file     the program: no one but SYSTEM and Administrators may write, delete, rename or
#            change its permissions;
#   folder   the program's folder: the same for the folder object itself, but users may add
#            files to it (and what its inheritable, files-only entries give the files they add);
#   parent   the folder above it: no one but SYSTEM and Administrators may write anything.
# Every object must have exactly one row, with a protected DACL (D:P), written with SIDs (no
# account name: SDDL has none but the two-letter well-known ones and S-1-...). Prints each object's
# SDDL and what fails; exits 1 when anything does.
import re
import sys

ADMINS = {"SY", "BA", "S-1-5-18", "S-1-5-32-544"}
# SDDL's rights letters, as access masks.
LETTERS = {
    "GA": 0x10000000, "GX": 0x20000000, "GW": 0x40000000, "GR": 0x80000000,
    "FA": 0x1F01FF, "FX": 0x1200A0, "FW": 0x120116, "FR": 0x120089,
    "SD": 0x10000, "RC": 0x20000, "WD": 0x40000, "WO": 0x80000,
    "RP": 0x10, "WP": 0x20, "CC": 0x1, "DC": 0x2, "LC": 0x4, "SW": 0x8, "LO": 0x80, "DT": 0x40,
    "CR": 0x100, "KA": 0xF003F, "KR": 0x20019, "KW": 0x20006, "KX": 0x20019,
}
ADD_FILE = 0x2
# Write data, append data or add a subfolder, write extended attributes, delete a child, write
# attributes, delete, change permissions, take ownership, generic write or all.
WRITES = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x40000000 | 0x10000000
SIDS = re.compile(r"^(S-1(-\d+)+|[A-Z]{2})$")


def mask_of(rights):
    if re.fullmatch(r"0[xX][0-9a-fA-F]+", rights):
        return int(rights, 16)
    if len(rights) % 2 or any(rights[i:i + 2] not in LETTERS for i in range(0, len(rights), 2)):
        raise ValueError(f"rights {rights!r} not understood")
    mask = 0
    for i in range(0, len(rights), 2):
        mask |= LETTERS[rights[i:i + 2]]
    return mask


def problems(sddl, kind):
    """What is wrong with one object's SDDL, as sentences."""
    found = []
    match = re.fullmatch(r"D:([A-Z]*)((\([^()]*\))*)", sddl)
    if not match:
        return [f"not a DACL in SDDL: {sddl}"]
    if "P" not in match.group(1):
        found.append("the DACL is not protected (D:P): it inherits what the folder above gives")
    for ace in re.findall(r"\(([^()]*)\)", match.group(2)):
        parts = ace.split(";")
        if len(parts) != 6:
            found.append(f"entry ({ace}) not understood")
            continue
        ace_type, flags, rights, _, _, sid = parts
        if not SIDS.match(sid):
            found.append(f"entry ({ace}) names an account, not a SID")
            continue
        if ace_type != "A" or sid in ADMINS:
            continue
        try:
            mask = mask_of(rights)
        except ValueError as error:
            found.append(str(error))
            continue
        if "IO" in flags:
            # Inherit-only: not for the object itself. On the folder, for the files added to it.
            if kind != "folder" or "CI" in flags:
                if mask & WRITES:
                    found.append(f"entry ({ace}) lets {sid} write what is made inside")
            continue
        allowed = ADD_FILE if kind == "folder" else 0
        if mask & WRITES & ~allowed:
            found.append(f"entry ({ace}) lets {sid} write, delete or change it: {mask:#x}")
    return found


def main():
    objects = sys.argv[1:]
    if not objects:
        print("usage: check-msi-permissions.py LockObject:Table:KIND ... < MsiLockPermissionsEx", file=sys.stderr)
        return 2
    rows = {}
    for line in sys.stdin.read().splitlines()[3:]:
        fields = line.split("\t")
        if len(fields) >= 4:
            rows.setdefault((fields[1], fields[2]), []).append(fields[3])
    failed = False
    for entry in objects:
        lock_object, table, kind = entry.split(":")
        sddls = rows.get((lock_object, table), [])
        if len(sddls) != 1:
            print(f"  {lock_object} ({table}): {len(sddls)} rows, not one")
            failed = True
            continue
        print(f"  {lock_object} ({table}, {kind}): {sddls[0]}")
        for problem in problems(sddls[0], kind):
            print(f"    {problem}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
