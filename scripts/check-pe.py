#!/usr/bin/python3
# Reads what Windows reads of a program before it runs it, from the file (Debian's python3-pefile,
# for /usr/bin/python3), and checks it:
#   check-pe.py manifest FILE    the embedded manifest's own assemblyIdentity names the image's
#                                machine (x86 for i386, amd64 for x86-64)
# Prints what it found; exits 1 when a check fails, 2 when the file cannot be read.
import sys
import xml.etree.ElementTree as ElementTree

import pefile

MACHINES = {0x14C: "x86", 0x8664: "amd64"}
RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"


def resources(pe, type_id):
    """The data of every resource of one type, as (name or id, bytes)."""
    found = []
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != type_id:
            continue
        for named in entry.directory.entries:
            for language in named.directory.entries:
                data = language.data.struct
                found.append((named.id, pe.get_data(data.OffsetToData, data.Size)))
    return found


def check_manifest(pe):
    machine = MACHINES.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine))
    manifests = resources(pe, RT_MANIFEST)
    if len(manifests) != 1:
        print(f"  machine {machine}: {len(manifests)} manifests, not one")
        return False
    root = ElementTree.fromstring(manifests[0][1])
    identity = root.find(ASM_V1 + "assemblyIdentity")
    arch = identity.get("processorArchitecture") if identity is not None else None
    print(f"  machine {machine}, manifest processorArchitecture {arch}")
    return arch == machine


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in CHECKS:
        print("usage: check-pe.py manifest FILE", file=sys.stderr)
        return 2
    try:
        pe = pefile.PE(sys.argv[2])
    except (OSError, pefile.PEFormatError) as error:
        print(f"  {sys.argv[2]}: {error}")
        return 2
    return 0 if CHECKS[sys.argv[1]](pe) else 1


CHECKS = {"manifest": check_manifest}

if __name__ == "__main__":
    sys.exit(main())
